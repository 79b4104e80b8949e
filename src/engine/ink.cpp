// SPDX-License-Identifier: GPL-3.0-or-later
// Ink normalisation and the text form of ink.
#include "engine/ink.h"

#include <QStringView>
#include <QtMath>
#include <cmath>

namespace {

// Finite and far from overflowing when scaled: anything else is not ink.
bool usable(double x, double y)
{
    return std::isfinite(x) && std::isfinite(y) && std::abs(x) < 1e9 && std::abs(y) < 1e9;
}

qreal pathLength(const Stroke &stroke)
{
    qreal length = 0;
    for (int i = 1; i < stroke.size(); ++i)
        length += std::hypot(stroke[i].x() - stroke[i - 1].x(), stroke[i].y() - stroke[i - 1].y());
    return length;
}

} // namespace

bool Ink::isEmpty() const
{
    for (const Stroke &s : strokes) {
        if (!s.isEmpty())
            return false;
    }
    return true;
}

QRectF inkBounds(const Ink &ink)
{
    bool first = true;
    qreal left = 0, top = 0, right = 0, bottom = 0;
    for (const Stroke &s : ink.strokes) {
        for (QPointF p : s) {
            if (first) {
                left = right = p.x();
                top = bottom = p.y();
                first = false;
            } else {
                left = qMin(left, p.x());
                right = qMax(right, p.x());
                top = qMin(top, p.y());
                bottom = qMax(bottom, p.y());
            }
        }
    }
    if (first)
        return {};
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

Ink cleanedInk(const Ink &ink)
{
    Ink out;
    out.canvas = ink.canvas;
    for (const Stroke &s : ink.strokes) {
        Stroke kept;
        kept.reserve(s.size());
        for (QPointF p : s) {
            if (usable(p.x(), p.y()))
                kept.append(p);
        }
        if (!kept.isEmpty())
            out.strokes.append(kept);
    }
    return out;
}

Ink fittedInk(const Ink &ink)
{
    Ink out;
    out.canvas = QSizeF(NormalizedSide, NormalizedSide);
    const QRectF box = inkBounds(ink);
    const qreal extent = qMax(box.width(), box.height());
    // Below this the ink is a dot: magnifying it would only magnify noise.
    const qreal scale = extent > 1e-6 ? 0.8 * NormalizedSide / extent : 1.0;
    const QPointF centre(NormalizedSide / 2, NormalizedSide / 2);
    for (const Stroke &s : ink.strokes) {
        Stroke moved;
        moved.reserve(s.size());
        for (QPointF p : s)
            moved.append(centre + (p - box.center()) * scale);
        out.strokes.append(moved);
    }
    return out;
}

Stroke resampledStroke(const Stroke &stroke, qreal spacing)
{
    if (stroke.size() < 2 || !(spacing > 0))
        return stroke;
    Stroke out{stroke.first()};
    qreal carried = 0; // distance walked since the last emitted point
    for (int i = 1; i < stroke.size(); ++i) {
        QPointF a = stroke[i - 1];
        const QPointF b = stroke[i];
        qreal segment = std::hypot(b.x() - a.x(), b.y() - a.y());
        while (carried + segment >= spacing) {
            const qreal t = (spacing - carried) / segment;
            a = a + (b - a) * t;
            out.append(a);
            segment = std::hypot(b.x() - a.x(), b.y() - a.y());
            carried = 0;
        }
        carried += segment;
    }
    const QPointF end = stroke.last();
    const QPointF last = out.last();
    if (std::hypot(end.x() - last.x(), end.y() - last.y()) > spacing * 0.25 || out.size() == 1)
        out.append(end);
    else
        out.last() = end;
    return out;
}

Stroke smoothedStroke(const Stroke &stroke)
{
    if (stroke.size() < 3)
        return stroke;
    Stroke out(stroke);
    for (int i = 1; i + 1 < stroke.size(); ++i)
        out[i] = (stroke[i - 1] + 2 * stroke[i] + stroke[i + 1]) / 4;
    return out;
}

Ink normalizedInk(const Ink &ink)
{
    Ink out = fittedInk(cleanedInk(ink));
    // About 50 steps across the character: fine enough for every hook,
    // coarse enough to iron out the tremor of a small hand.
    const qreal spacing = NormalizedSide / 60;
    // A scribble that goes back and forth a thousand times stays a few
    // thousand points.
    constexpr qreal MaxPoints = 2000;
    for (Stroke &s : out.strokes)
        s = smoothedStroke(resampledStroke(s, qMax(spacing, pathLength(s) / MaxPoints)));
    return out;
}

Ink parseInkLine(const QString &line, QSizeF canvas)
{
    Ink ink;
    ink.canvas = canvas;
    QStringView text(line);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        text = text.mid(tab + 1);
    for (QStringView part : text.split(QLatin1Char(';'))) {
        Stroke stroke;
        for (QStringView token : part.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype comma = token.indexOf(QLatin1Char(','));
            if (comma < 0)
                continue;
            bool okX = false, okY = false;
            const double x = token.left(comma).toDouble(&okX);
            const double y = token.mid(comma + 1).toDouble(&okY);
            if (okX && okY && usable(x, y))
                stroke.append(QPointF(x, y));
        }
        if (!stroke.isEmpty())
            ink.strokes.append(stroke);
    }
    return ink;
}
