// SPDX-License-Identifier: GPL-3.0-or-later
// One pair's game in a round of a class, or one child's alone.
#pragma once

#include "engine/game.h"
#include "host/classsettings.h"
#include "learning/gamereview.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class RecognitionQueue;
class RemoteSeat;
class WordDictionary;
class WordList;

// An engine Game whose players are children's seats in browsers. Each seat
// is a RemoteSeat kept for its child's device (known by the child's token),
// so the child's page takes it up as its own. With one child the game has
// no player 2: the child plays against the clock. When the game is over,
// each seat is given its child's part of the game's review, as the
// console's seats are.
//
// Signals: answerJudged after the game has shown an answer's outcome;
// finished once, when the game is over (after the answerJudged of an answer
// that ended it); changed whenever scores, time or state move.
class ClassMatch : public QObject, private GameLimits
{
    Q_OBJECT
public:
    struct Player
    {
        qint64 childId = 0;
        QString token;    // the child's device
        QString seatCode; // what the child's page joins the seat with
    };

    // How long a box's ink rests before it is read ahead: one reading a
    // character instead of one a stroke, for a host with many seats.
    static constexpr int ReadAheadDelayMs = 250;

    // players: one or two. recognition and dictionary (the readings of the
    // review) may be null; the dictionary must outlive the match.
    ClassMatch(qint64 id, const ClassSettings &settings, const WordList &words, RecognitionQueue *recognition,
               const QList<Player> &players, const WordDictionary *dictionary, QObject *parent = nullptr);
    // The seats leave the game and are released: their pages are told.
    ~ClassMatch() override;

    qint64 id() const { return m_id; }
    int playerCount() const { return int(m_players.size()); }
    bool alone() const { return m_players.size() == 1; }
    // 1 or 2; 0 when the child does not play here.
    int playerOf(qint64 childId) const;
    qint64 childId(int player) const { return m_players.at(player - 1).childId; }
    RemoteSeat *seat(int player) const { return m_seats.value(player - 1); }
    const Game &game() const { return m_game; }

    // Deals (the same seed gives the same board) and starts the clock.
    void start(quint64 dealSeed);
    void tick();
    // Ends the game now, as the time limit would.
    void end();

    bool isStarted() const { return m_started; }
    bool isOver() const { return m_game.isOver(); }
    bool isRunning() const { return m_started && !m_game.isOver(); }

    int score(int player) const;
    int wrongTries(int player) const { return m_wrong[player == 2 ? 1 : 0]; }
    QStringList wordsFound(int player) const;
    // Whole seconds to the time limit; -1 without one.
    int secondsLeft() const;
    // "win", "lose", "draw", or "alone" for a child who played alone;
    // empty until the game is over.
    QString outcome(int player) const;

    // The game's review, made when it ended; empty before.
    const GameReview &review() const { return m_review; }
    // A player's part of it as that player's seat page is sent it; a child
    // who played alone has no opponent in it.
    QJsonObject seatReview(int player) const;

signals:
    // outcome: Correct, or why the answer was wrong.
    void answerJudged(int player, const QString &word, Judgement::Outcome outcome);
    void finished();
    void changed();

private:
    // GameLimits
    bool timeLimitOn() const override { return m_settings.timeLimitOn; }
    int timeLimitSeconds() const override { return m_settings.timeLimitSeconds; }
    bool answerLimitOn() const override { return m_settings.answerLimitOn; }
    int answerLimit() const override { return m_settings.answerLimit; }

    void judge(int16_t player, const QString &word);
    void gameOver(bool over);
    void makeReview();

    qint64 m_id;
    ClassSettings m_settings;
    QList<Player> m_players;
    Game m_game;
    // Each seat reads in a lane of its own of the recogniser given, in
    // turn with the others; they go after the seats.
    std::vector<std::unique_ptr<RecognitionQueue>> m_lanes;
    QList<RemoteSeat *> m_seats;
    const WordDictionary *m_dictionary;
    GameReview m_review;
    int m_wrong[Rules::Players] = {0, 0};
    bool m_started = false;
    bool m_judging = false;
    bool m_finishOwed = false;
};
