// SPDX-License-Identifier: GPL-3.0-or-later
// A class game: the children of a class, their pairs and the rounds they play.
#pragma once

#include "engine/wordlist.h"
#include "host/classsettings.h"
#include "host/pairing.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class ClassMatch;
class RecognitionQueues;
class RemoteSeat;
class ResultsStore;
class UniformRandom;
class WordDictionary;

// What a teacher runs for a class: children join with the class code and a
// name, wait in the lobby, are paired (in join order as they come, or
// shuffled, and swapped by the teacher), and play rounds: every pair at
// once, each pair one game (ClassMatch), with a deal of its own or one deal
// for the whole class. An odd child out plays alone against the clock.
//
// Phases: Lobby (joining, pairing) -> startAll -> Playing -> every game over
// (by its limits or endAll) -> RoundOver -> release -> Lobby ... ; close()
// ends it for good. Children may join in any phase but Closed; who joins
// during a round waits for the next.
//
// Everything that counts goes to the results store as it happens: each
// child's name on joining, each game's start, every judged answer, each
// game's end.
//
// Signals: changed whenever anything a dashboard shows moves; placesChanged
// when children move between the lobby and their seats; closed once.
class ClassGame : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Lobby, Playing, RoundOver, Closed };
    enum class Entry { Joined, BadName, NameTaken, Full, Closed };

    struct Child
    {
        qint64 id = 0;
        QString name;
        QString token;     // the child's device: 32 hex digits
        QString seatCode;  // what the child's seat page joins with
        int lobbyLinks = 0; // lobby pages open now
    };

    // store and recognition may be null; words hold at least a deal's
    // worth. Each game's seats read with the next recogniser in turn.
    ClassGame(qint64 id, const QString &code, const ClassSettings &settings, WordList words, ResultsStore *store,
              RecognitionQueues *recognition, int maxChildren, QObject *parent = nullptr);
    ~ClassGame() override;

    // Chance for shuffling and dealing; tests put a fixed one in.
    void setRandom(std::unique_ptr<UniformRandom> random);
    // The readings of the reviews at the end of each game, from the next
    // round on; null: none. It must outlive the class game.
    void setDictionary(const WordDictionary *dictionary) { m_dictionary = dictionary; }

    qint64 id() const { return m_id; }
    QString code() const { return m_code; }
    const ClassSettings &settings() const { return m_settings; }
    const WordList &words() const { return m_words; }
    Phase phase() const { return m_phase; }
    int round() const { return m_round; }

    const QList<Child> &children() const { return m_children; }
    const Child *child(qint64 id) const;
    const Child *childByToken(const QString &token) const;
    const Child *childBySeatCode(const QString &seatCode) const;
    // The plan for the next round (or the round being played).
    const QList<Pair> &pairs() const { return m_pairs; }
    const QList<ClassMatch *> &matches() const { return m_matches; }
    ClassMatch *matchOf(qint64 childId) const;
    // The child's seat while it plays a round; null in the lobby.
    RemoteSeat *seatOf(qint64 childId) const;

    // A child asks to join with the name it typed; *childId is its id.
    // Refused, with *why in a line: a name that is no name, a name already
    // in the class, a full class, a closed one.
    Entry join(const QString &typedName, qint64 *childId, QString *why);
    // The teacher takes a child out, in the lobby only; its device is
    // forgotten, and so is its name unless it has played.
    bool remove(qint64 childId, QString *why);
    // Lobby pages of a child opened and closed, for the dashboard.
    void lobbyLinked(qint64 childId, int delta);

    bool makePairs(bool shuffle, QString *why);
    bool swap(qint64 a, qint64 b, QString *why);
    bool startAll(bool oneDeal, QString *why);
    bool endAll(QString *why);
    // As the console's 解除 after a game: the seats are released and the
    // children go back to the lobby for the next round.
    bool release(QString *why);
    // Ends any game under way and the class game itself; nobody can join.
    void close();
    // The host stops: games under way are marked interrupted, as they
    // stand, their seats go, and the class game is closed.
    void abandon();

    void tick();

signals:
    void changed();
    void placesChanged();
    void closed();

private:
    void matchFinished(ClassMatch *match);
    void clearMatches();
    QString newToken() const;
    QString newSeatCode() const;

    qint64 m_id;
    QString m_code;
    ClassSettings m_settings;
    WordList m_words;
    ResultsStore *m_store;
    RecognitionQueues *m_recognition;
    const WordDictionary *m_dictionary = nullptr;
    int m_maxChildren;
    std::unique_ptr<UniformRandom> m_random;
    Phase m_phase = Phase::Lobby;
    int m_round = 0;
    QList<Child> m_children;
    QList<Pair> m_pairs;
    QList<ClassMatch *> m_matches;
};
