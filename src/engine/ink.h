// SPDX-License-Identifier: GPL-3.0-or-later
// Handwritten ink as plain data, and the normalisation every recogniser sees.
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

// One stroke: the points from pen down to pen up, in writing order.
using Stroke = QList<QPointF>;

// Strokes on a canvas whose y axis grows downwards.
struct Ink
{
    QList<Stroke> strokes;
    QSizeF canvas{300, 300};

    // True when no stroke holds a point.
    bool isEmpty() const;
};

// Side of the square that normalised ink is drawn into.
constexpr qreal NormalizedSide = 300;

// Bounding box of all points; an empty rectangle for empty ink.
QRectF inkBounds(const Ink &ink);

// Ink without empty strokes and without points that are not finite numbers
// (or beyond a billion, which no canvas has).
Ink cleanedInk(const Ink &ink);

// Scales the character so that the longer side of its bounding box fills 80 %
// of a NormalizedSide square, aspect ratio kept, centred. A single dot is only
// moved to the centre.
Ink fittedInk(const Ink &ink);

// Points at even steps of `spacing` along the stroke, ends kept. A stroke of a
// single point (a dot) stays one point.
Stroke resampledStroke(const Stroke &stroke, qreal spacing);

// One pass of a [1 2 1] filter; the ends stay where the pen touched.
Stroke smoothedStroke(const Stroke &stroke);

// The stroke reduced to the points that carry its shape (Ramer-Douglas-
// Peucker: no point dropped lies further than `tolerance` from what is
// kept), ends kept. With more than `maxPoints` left, the tolerance doubles
// until at most that many are.
Stroke simplifiedStroke(const Stroke &stroke, qreal tolerance, int maxPoints);

// Ink that costs every recogniser about what a neat character costs:
// cleaned, each stroke simplified (to at most `maxPointsPerStroke` points)
// on the scale of the whole character. Empty when the ink is plainly not a
// character: more strokes than any kanji has with a few stray taps, or a
// scribble whose pen travelled many times across the character.
Ink boundedInk(const Ink &ink, int maxPointsPerStroke = 48);

// What recognisers classify: bounded, fitted, resampled and lightly
// smoothed, on a NormalizedSide square canvas.
Ink normalizedInk(const Ink &ink);

// Reads one line of the text form of ink: anything up to a first tab is a
// label and ignored; strokes are separated by ";", points by spaces, a point
// is "x,y". Points that do not read as two usable numbers are skipped.
Ink parseInkLine(const QString &line, QSizeF canvas);
