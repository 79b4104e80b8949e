// SPDX-License-Identifier: GPL-3.0-or-later
// One game between two players: the word list, the board, the clock, the
// scores and every decision, free of any window.
#pragma once

#include "common/rules.h"
#include "engine/characterpool.h"
#include "engine/gameclock.h"
#include "engine/judge.h"
#include "engine/random.h"
#include "engine/readingcontext.h"
#include "engine/wordlist.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <memory>

class PlayerView;

// The limits the operator sets. They are read at the moment a rule needs
// them, so a change during a game counts at once.
class GameLimits
{
public:
    virtual ~GameLimits() = default;
    virtual bool timeLimitOn() const = 0;
    virtual int timeLimitSeconds() const = 0;
    virtual bool answerLimitOn() const = 0;
    virtual int answerLimit() const = 0;
};

// The game between player 1 and player 2. It drives the views of each
// player's seat (PlayerView: a window, a browser, several at once) and tells
// the console what changed through its signals.
//
// Order of what a call does:
// - start(): on player 1's views AllLock, AllClear, then on player 2's; the
//   deal (poolChanged), board characters place by place to player 1's then
//   player 2's views; the reading context to player 1's, then player 2's
//   views; AllUnLock on player 1's, then player 2's views;
//   clockChanged("0"), clockRunningChanged(true), overChanged(false).
// - SeigoHantei(): a correct answer disables the two places in player 1's
//   views, then player 2's (poolChanged first), and sends both the reading
//   context without the two characters; then the answering player's
//   result text, feedback item and its performance, own score, the other's
//   opponent score, and the answer slot. A wrong one: result text, item,
//   performance. Then the answer-limit test, which may call EndGame.
// - EndGame(): clockRunningChanged(false), AllLock on player 1's then player
//   2's views, clockChanged(final), item and result text to player 1's then
//   player 2's views, the winner's performance (player 1's on a draw),
//   overChanged(true).
class Game : public QObject
{
    Q_OBJECT
public:
    explicit Game(const GameLimits &limits, QObject *parent = nullptr);
    ~Game() override;

    // Chance and time; the defaults are a clock-seeded generator and the
    // steady clock. Tests put fixed ones in.
    void setRandom(std::unique_ptr<UniformRandom> random);
    void setClock(std::unique_ptr<MonotonicClock> clock);
    // Seeds the default generator from the clock (once, at start-up).
    void seedFromClock();

    // Views of player 1 or 2; a view is driven until it is removed, and must
    // be removed before it goes.
    void addView(int player, PlayerView *view);
    void removeView(PlayerView *view);
    // Brings a view that joins late up to what its player's seat shows.
    void present(int player, PlayerView *view) const;

    // The word list. Replacing or emptying it also empties the board.
    const WordList &words() const { return m_words; }
    void setWords(WordList words);
    void clearWords();
    bool canStart() const { return !m_loading && m_words.size() >= Rules::WordsPerGame; }

    // A new list is being read, off the windows' thread: the old list is
    // gone, both players are locked and nothing is judged or dealt. A tick
    // of the clock that falls in the load waits for its end.
    void beginLoading();
    // The new list is in (setWords): AllLock and AllClear on both players,
    // then the tick that waited, if any.
    void finishLoading();
    bool isLoading() const { return m_loading; }

    const CharacterPool &pool() const { return m_pool; }
    // What player's handwriting is read against: the characters still free
    // on the board and the words of the list they make; empty without a deal.
    const ReadingContext &readingContext(int player) const { return m_contexts[index(player)]; }
    int score(int player) const { return m_scores[index(player)]; }
    QStringList answers(int player) const { return m_answers[index(player)]; }
    // The answers of a player judged wrong since the deal, for reviewing the
    // game: the first WrongTriesKept of them, and how many there were.
    struct WrongTry
    {
        QString answer; // at most WrongTryLength characters of it
        Judgement::Outcome outcome = Judgement::NoCharacter;
    };
    static constexpr int WrongTriesKept = 100;
    static constexpr int WrongTryLength = 8;
    const QList<WrongTry> &wrongTries(int player) const { return m_wrongTries[index(player)]; }
    int wrongTryCount(int player) const { return m_wrongTryCounts[index(player)]; }
    bool isLocked(int player) const { return m_locked[index(player)]; }
    QString clockText() const { return m_clockText; }
    bool isClockRunning() const { return m_clockRunning; }
    // True from the end of a game to the next deal: the players may then be
    // released, and the game cannot end again.
    bool isOver() const { return m_over; }

    // AllLock, then AllClear on player 1's views, then on player 2's.
    void lockAndClearPlayers();
    // AllUnLock on player 1's views, then on player 2's.
    void unlockPlayers();

    // A new deal from any state; ignored while the list holds too few words
    // or a list is being read.
    void start();
    // Judges the answer St of player PNum (1: player 1, anything else:
    // player 2); may end the game. Ignored while a list is being read.
    void SeigoHantei(int16_t PNum, const QString &St);
    // One tick of the clock: the display, then the time limit.
    void tick();
    // The end of the game; does nothing once the game is over.
    void EndGame();

    static constexpr const char *CorrectText = "正解！！";
    static constexpr const char *NoCharacterText = "文字がない！";
    static constexpr const char *NoWordText = "単語がない！！";
    static constexpr const char *WinText = "かち！！";
    static constexpr const char *LoseText = "まけ！！";
    static constexpr const char *DrawText = "ひきわけ！！";

signals:
    void wordsChanged();
    void poolChanged();
    void clockChanged(const QString &text);
    void clockRunningChanged(bool running);
    void overChanged(bool over);

private:
    static int index(int player) { return player == 1 ? 0 : 1; }
    QList<PlayerView *> views(int player) const { return m_views[index(player)]; }
    void clearPlayer(int player);
    void lockPlayer(int player);
    void unlockPlayer(int player);
    void showOutcome(int player, const QString &text, int item);
    void recordWrongTry(int player, const QString &answer, Judgement::Outcome outcome);
    // Writes the elapsed time; false when no time has passed ("--").
    bool updateClock();
    void setClockRunning(bool running);
    void setOver(bool over);
    // Works out each player's reading context from the pool and tells the views.
    void updateReadingContexts();

    const GameLimits &m_limits;
    std::unique_ptr<UniformRandom> m_random;
    std::unique_ptr<MonotonicClock> m_clock;
    WordList m_words;
    CharacterPool m_pool;
    ReadingContext m_contexts[Rules::Players];
    QList<PlayerView *> m_views[Rules::Players];
    int m_scores[Rules::Players] = {0, 0};
    QStringList m_answers[Rules::Players];
    QList<WrongTry> m_wrongTries[Rules::Players];
    int m_wrongTryCounts[Rules::Players] = {0, 0};
    bool m_locked[Rules::Players] = {true, true}; // seats start locked
    QString m_results[Rules::Players];
    int m_items[Rules::Players] = {Rules::Neutral, Rules::Neutral};
    qint64 m_startMs = 0;
    QString m_clockText = QStringLiteral("0");
    bool m_clockRunning = false;
    bool m_over = false;
    bool m_loading = false;
    bool m_tickPending = false;
};
