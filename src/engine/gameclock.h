// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <QString>

// A source of monotonic time in milliseconds. The game measures elapsed
// time with it, so midnight and changes of the system clock do not matter.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;
    virtual qint64 nowMs() const = 0;
};

class SteadyClock : public MonotonicClock
{
public:
    qint64 nowMs() const override;
};

// The elapsed-time arithmetic of a game.
namespace GameClock {

// The clock display: whole seconds since start, or "--" when now is not
// after start (which only a clock that stands still can give).
QString elapsedText(qint64 startMs, qint64 nowMs);

// The final display with the time limit on: never more than the limit,
// however long the game ran.
QString finalText(qint64 elapsedSeconds, int limitSeconds);

} // namespace GameClock

// Who won, from the two scores.
enum class GameResult { Player1Wins, Player2Wins, Draw };
GameResult decideGame(double score1, double score2);
