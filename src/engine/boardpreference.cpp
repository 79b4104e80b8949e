// SPDX-License-Identifier: GPL-3.0-or-later
#include "boardpreference.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool isUsable(double v)
{
    return std::isfinite(v);
}

// The highest finite score; -infinity when there is none.
double bestScore(const QList<Candidate> &candidates)
{
    double best = -std::numeric_limits<double>::infinity();
    for (const Candidate &c : candidates) {
        if (isUsable(c.score))
            best = std::max(best, c.score);
    }
    return best;
}

// A character's score in one box; a character listed twice counts where it
// scores best.
QHash<QString, double> scoresOf(const QList<Candidate> &candidates)
{
    QHash<QString, double> out;
    out.reserve(candidates.size());
    for (const Candidate &c : candidates) {
        auto it = out.find(c.text);
        if (it == out.end())
            out.insert(c.text, c.score);
        else
            *it = std::max(*it, c.score);
    }
    return out;
}

} // namespace

int BoardPreference::boardFirst(const QList<Candidate> &candidates, const ReadingContext &context,
                                const ContextMargins &margins)
{
    if (candidates.isEmpty() || context.isEmpty() || !(margins.board >= 0)
        || context.isFree(candidates.first().text))
        return -1;
    const double best = bestScore(candidates);
    if (!isUsable(best))
        return -1;
    int pick = -1;
    for (int i = 1; i < candidates.size(); ++i) {
        const Candidate &c = candidates[i];
        if (!isUsable(c.score) || !context.isFree(c.text) || best - c.score > margins.board || c.score < margins.floor)
            continue;
        if (pick < 0 || c.score > candidates[pick].score)
            pick = i;
    }
    return pick;
}

BoardPreference::PairReading BoardPreference::pair(const QList<Candidate> &first, const QList<Candidate> &second,
                                                   const ReadingContext &context, const ContextMargins &margins)
{
    if (first.isEmpty() || second.isEmpty() || !(margins.pair >= 0) || !(margins.each >= 0)
        || context.isBoardWord(first.first().text, second.first().text))
        return {};
    const double bestA = bestScore(first), bestB = bestScore(second);
    if (!isUsable(bestA) || !isUsable(bestB))
        return {};
    const QHash<QString, double> a = scoresOf(first), b = scoresOf(second);
    PairReading out;
    double cost = 0;
    for (const auto &[x, y] : context.boardWords()) {
        const auto sx = a.constFind(x), sy = b.constFind(y);
        if (sx == a.cend() || sy == b.cend() || !isUsable(*sx) || !isUsable(*sy) || *sx < margins.pairFloor
            || *sy < margins.pairFloor)
            continue;
        const double dx = bestA - *sx, dy = bestB - *sy;
        if (dx > margins.each || dy > margins.each || dx + dy > margins.pair)
            continue;
        if (!out.isValid() || dx + dy < cost) {
            out = {x, y};
            cost = dx + dy;
        }
    }
    return out;
}
