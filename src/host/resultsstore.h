// SPDX-License-Identifier: GPL-3.0-or-later
// The class games' results on disk, kept through crashes and power cuts.
#pragma once

#include "engine/judge.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

class QThread;

struct ClassGameRecord
{
    qint64 id = 0;
    QString name;
    QString listName;
    int timeLimitSeconds = 0; // 0: no time limit
    int answerLimit = 0;      // 0: no answer limit
    QDateTime created;
    QDateTime closed;         // null while open
    int children = 0;         // read back only
    int games = 0;            // read back only
};

// One child's part in one game of a round.
struct ChildResult
{
    qint64 gameId = 0;
    int round = 0;
    QString state;          // "running", "finished", "interrupted"
    qint64 childId = 0;
    QString name;
    QString partner;        // empty when the child played alone
    QStringList wordsFound; // in the order found
    int wrongTries = 0;
    int score = 0;
    QString outcome;        // "win", "lose", "draw", "alone"; empty unless finished
};

// One game as the store keeps it, for its review.
struct GameRecord
{
    struct Answer
    {
        QString word;
        Judgement::Outcome outcome = Judgement::Correct;
        bool reasonKnown = true; // false for wrong tries kept before reasons were
    };
    struct Player
    {
        qint64 childId = 0;
        QString name;
        int score = 0;
        int wrongTries = 0;
        QString outcome; // as ChildResult's
        QList<Answer> answers; // in the order judged, the first MaxAnswers
    };
    static constexpr int MaxAnswers = 1000;

    bool found = false;
    qint64 id = 0;
    qint64 classGameId = 0;
    QString className;
    int round = 0;
    QString state;     // as ChildResult's
    QStringList dealt; // empty for games kept before the words were
    QList<Player> players; // player 1, then player 2 if any
};

struct ClassResults
{
    bool found = false;
    ClassGameRecord game;
    QStringList children;     // every child who joined, in join order
    QList<ChildResult> rows;  // by round, game, player
};

// The results of class games in an SQLite database, through Qt SQL: every
// call that writes is one transaction, committed before the next begins,
// write-ahead logged and synchronous, so a killed host or a power cut
// loses at most the write under way. The writes run in order on a thread
// of their own, so that the disk never holds up the games; reads come back
// as futures.
//
// Opening marks the games that were running when the host last stopped as
// interrupted, and closes the class games that were open. A file that is
// not a database, or a damaged one, is moved aside and a new one made; a
// database that cannot be written (read-only file or folder, a full disk)
// leaves the store without writing, and problem() says so in one line:
// the host serves on regardless.
//
// All SQL is in this class's source; identifiers are handed out here so
// that the caller knows them at once.
class ResultsStore : public QObject
{
    Q_OBJECT
public:
    // 1: the class games, children, games, players and answers; 2: each
    // game's dealt words and why a try was wrong. An older file is brought
    // up to date when opened, its results kept.
    static constexpr int SchemaVersion = 2;

    explicit ResultsStore(const QString &path, QObject *parent = nullptr);
    // Finishes every write asked for.
    ~ResultsStore() override;

    QString path() const { return m_path; }
    bool isWritable() const { return m_writable.load(); }
    // Empty while all is well; else why results are not kept.
    QString problem() const;
    // What opening found worth telling: games marked interrupted, a damaged
    // file moved aside.
    QString openingNotice() const { return m_notice; }
    int interruptedAtOpen() const { return m_interruptedAtOpen; }

    enum class Kind { ClassGame, Child, Game, Answer };
    qint64 newId(Kind kind);

    struct PlayerEnd
    {
        int score = 0;
        int wrongTries = 0;
        QString outcome;
    };

    void addClassGame(const ClassGameRecord &record);
    void closeClassGame(qint64 id);
    void addChild(qint64 classGameId, qint64 childId, const QString &name);
    // A child taken out of the class: its name goes unless it has played.
    void forgetChild(qint64 childId);
    // children: the child of player 1, then of player 2 if any; dealt: the
    // words dealt, in the order drawn.
    void startGame(qint64 gameId, qint64 classGameId, int round, const QList<qint64> &children,
                   const QStringList &dealt = {});
    // outcome: Correct, or why the answer was wrong.
    void recordAnswer(qint64 gameId, int player, qint64 childId, const QString &word, Judgement::Outcome outcome,
                      int score, int wrongTries);
    void finishGame(qint64 gameId, const QList<PlayerEnd> &players);
    // The host stops while the game runs.
    void interruptGame(qint64 gameId);
    void deleteClassGame(qint64 id);

    // Newest first, the last 500.
    QFuture<QList<ClassGameRecord>> classGames();
    QFuture<ClassResults> results(qint64 classGameId);
    QFuture<GameRecord> game(qint64 gameId);

    // Waits until every write asked for so far is on disk (or failed).
    void flush();

signals:
    // Emitted on the store's own thread; connect queued.
    void problemChanged(const QString &problem);

private:
    template<typename F> void post(F &&job);
    void open();
    void write(const char *what, const std::function<bool()> &transaction);
    void fail(const QString &problem);

    QString m_path;
    QString m_connection;
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr; // lives on m_thread
    std::atomic<bool> m_writable{false};
    mutable QMutex m_problemLock;
    QString m_problem;
    QString m_notice;
    QString m_journal;
    int m_interruptedAtOpen = 0;
    int m_schema = 0; // the file's, once opened (older when it could not be brought up to date)
    qint64 m_next[4] = {1, 1, 1, 1};
};
