// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowplacement.h"

#include <algorithm>
#include <utility>

namespace WindowPlacement {

namespace {

// The windows' row: its width with the gaps between them, and its height.
std::pair<qint64, int> rowSize(const QList<QSize> &outerSizes)
{
    qint64 width = Gap * qint64(std::max<qsizetype>(0, outerSizes.size() - 1));
    int height = 0;
    for (const QSize &s : outerSizes) {
        width += std::max(0, s.width());
        height = std::max(height, s.height());
    }
    return {width, height};
}

} // namespace

bool fitInRow(const QRect &available, const QList<QSize> &outerSizes)
{
    const auto [width, height] = rowSize(outerSizes);
    return !available.isEmpty() && width + 2 * Gap <= available.width() && height + 2 * Gap <= available.height();
}

QList<QPoint> arrange(const QRect &available, const QList<QSize> &outerSizes)
{
    QList<QPoint> places;
    const qsizetype n = outerSizes.size();
    if (n == 0 || available.isEmpty())
        return QList<QPoint>(n, available.topLeft());

    const auto [rowWidth, rowHeight] = rowSize(outerSizes);
    // Keeps a window on the free area, its top-left corner first.
    auto inside = [&available](QPoint p, QSize s) {
        p.setX(std::max(available.left(), std::min(p.x(), available.right() + 1 - s.width())));
        p.setY(std::max(available.top(), std::min(p.y(), available.bottom() + 1 - s.height())));
        return p;
    };

    if (fitInRow(available, outerSizes)) {
        int x = available.left() + int((available.width() - rowWidth) / 2);
        const int y = available.top() + (available.height() - rowHeight) / 2;
        for (const QSize &s : outerSizes) {
            places.append(QPoint(x, y));
            x += s.width() + Gap;
        }
        return places;
    }

    // A cascade: each window overlaps the one before by the same amount,
    // just enough for the row to fit, and sits a step lower.
    const qint64 excess = rowWidth + 2 * Gap - available.width();
    const int overlap = n > 1 ? int((excess + n - 2) / (n - 1)) : 0;
    int x = available.left() + Gap;
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0)
            x = std::max(x + CascadeStep, x + outerSizes.at(i - 1).width() + Gap - overlap);
        const int y = available.top() + Gap + CascadeStep * int(i);
        places.append(inside(QPoint(x, y), outerSizes.at(i)));
    }
    return places;
}

} // namespace WindowPlacement

namespace {

qint64 coveredArea(const QRect &window, const QList<QRect> &others)
{
    qint64 area = 0;
    for (const QRect &other : others) {
        const QRect both = window.intersected(other);
        if (!both.isEmpty())
            area += qint64(both.width()) * both.height();
    }
    return area;
}

// Moves a window of that size into the area, its top-left corner first.
QPoint kept(const QRect &available, const QSize &outer, QPoint at)
{
    at.setX(qMax(available.left(), qMin(at.x(), available.right() + 1 - outer.width())));
    at.setY(qMax(available.top(), qMin(at.y(), available.bottom() + 1 - outer.height())));
    return at;
}

} // namespace

QPoint WindowPlacement::besideOthers(const QRect &available, const QSize &outer, const QList<QRect> &keepClear,
                                     const QList<QRect> &ratherClear)
{
    QList<QPoint> tries{available.topLeft(), {available.right() + 1 - outer.width(), available.top()},
                        {available.left(), available.bottom() + 1 - outer.height()},
                        {available.right() + 1 - outer.width(), available.bottom() + 1 - outer.height()}};
    for (const QRect &r : keepClear + ratherClear) {
        tries << QPoint(r.right() + 1 + Gap, r.top()) << QPoint(r.left() - Gap - outer.width(), r.top())
              << QPoint(r.left(), r.bottom() + 1 + Gap) << QPoint(r.left(), r.top() - Gap - outer.height());
    }
    QPoint best = kept(available, outer, available.topLeft());
    qint64 bestKeep = -1, bestRather = -1;
    for (const QPoint &t : std::as_const(tries)) {
        const QPoint at = kept(available, outer, t);
        const QRect window(at, outer);
        const qint64 keep = coveredArea(window, keepClear), rather = coveredArea(window, ratherClear);
        if (bestKeep < 0 || keep < bestKeep || (keep == bestKeep && rather < bestRather)) {
            best = at;
            bestKeep = keep;
            bestRather = rather;
        }
    }
    return best;
}

QRect WindowPlacement::fitBeside(const QRect &available, const QSize &preferred, const QSize &minimum,
                                 const QList<QRect> &keepClear, const QList<QRect> &ratherClear)
{
    constexpr int Steps = 16;
    QRect best;
    qint64 bestArea = -1, bestRather = 0;
    for (int i = 0; i <= Steps; ++i) {
        for (int j = 0; j <= Steps; ++j) {
            const QSize size(preferred.width() - (preferred.width() - minimum.width()) * i / Steps,
                             preferred.height() - (preferred.height() - minimum.height()) * j / Steps);
            if (size.width() > available.width() || size.height() > available.height())
                continue;
            const QRect window(besideOthers(available, size, keepClear, ratherClear), size);
            if (coveredArea(window, keepClear) > 0)
                continue;
            const qint64 area = qint64(size.width()) * size.height(), rather = coveredArea(window, ratherClear);
            if (area > bestArea || (area == bestArea && rather < bestRather)) {
                best = window;
                bestArea = area;
                bestRather = rather;
            }
        }
    }
    const QSize whole = preferred.boundedTo(available.size());
    return bestArea >= 0 ? best : QRect(besideOthers(available, whole, keepClear, ratherClear), whole);
}
