// SPDX-License-Identifier: GPL-3.0-or-later
#include "gameclock.h"

#include <chrono>

qint64 SteadyClock::nowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString GameClock::elapsedText(qint64 startMs, qint64 nowMs)
{
    if (startMs >= nowMs)
        return QStringLiteral("--");
    return QString::number((nowMs - startMs) / 1000);
}

QString GameClock::finalText(qint64 elapsedSeconds, int limitSeconds)
{
    return QString::number(qMin<qint64>(elapsedSeconds, limitSeconds));
}

GameResult decideGame(double score1, double score2)
{
    if (score1 > score2)
        return GameResult::Player1Wins;
    if (score2 > score1)
        return GameResult::Player2Wins;
    return GameResult::Draw;
}
