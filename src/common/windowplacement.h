// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's windows go on the screen when they first appear.
#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace WindowPlacement {

// Space kept between windows and around them, in pixels.
constexpr int Gap = 8;
// How far each window of a cascade sits below the one before: a caption's
// height, so that every caption stays in sight.
constexpr int CascadeStep = 32;

// A window frame as window managers draw them, on the generous side: the
// real one is known only once a window has been shown.
inline constexpr QMargins EstimatedFrame{8, 40, 8, 8};

// Top-left corners (frames included) for windows of the given outer sizes,
// taken from left to right, on a screen whose free area is `available`.
// Side by side, the row centred, when they fit without overlapping;
// otherwise a cascade: each window overlaps the one before by the same
// amount and sits lower, its caption in sight. A window keeps its size; one
// larger than the screen shows its top-left corner.
QList<QPoint> arrange(const QRect &available, const QList<QSize> &outerSizes);

// Whether arrange() puts these windows side by side rather than in a cascade.
bool fitInRow(const QRect &available, const QList<QSize> &outerSizes);

} // namespace WindowPlacement

namespace WindowPlacement {

// Top-left corner (frame included) for one more window of outer size
// `outer`: where it covers none of keepClear and as little of ratherClear as
// the screen allows, else as little of keepClear as it can. Places are tried
// beside each window and in the corners of `available`, the window kept on
// the screen.
QPoint besideOthers(const QRect &available, const QSize &outer, const QList<QRect> &keepClear,
                    const QList<QRect> &ratherClear = {});

// The place and outer size, from `preferred` down to `minimum`, of the
// largest window that covers none of keepClear (of equal sizes, the one
// covering least of ratherClear); where even the minimum cannot, the
// preferred size (no larger than the screen) placed as besideOthers places it.
QRect fitBeside(const QRect &available, const QSize &preferred, const QSize &minimum,
                const QList<QRect> &keepClear, const QList<QRect> &ratherClear = {});

} // namespace WindowPlacement
