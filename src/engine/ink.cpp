// SPDX-License-Identifier: GPL-3.0-or-later
// Ink normalisation and the text form of ink.
#include "engine/ink.h"

#include <QStringView>
#include <QtMath>
#include <cmath>
#include <vector>

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

Stroke simplifiedStroke(const Stroke &stroke, qreal tolerance, int maxPoints)
{
    if (stroke.size() <= 2)
        return stroke;
    maxPoints = qMax(2, maxPoints);
    Stroke current = stroke;
    for (;;) {
        // Iterative, so that no stroke can exhaust the call stack.
        std::vector<char> keep(size_t(current.size()), 0);
        keep.front() = keep.back() = 1;
        std::vector<std::pair<int, int>> spans{{0, int(current.size()) - 1}};
        while (!spans.empty()) {
            const auto [first, last] = spans.back();
            spans.pop_back();
            const QPointF a = current[first], b = current[last];
            const qreal dx = b.x() - a.x(), dy = b.y() - a.y();
            const qreal chord = std::hypot(dx, dy);
            qreal worst = -1;
            int at = -1;
            for (int i = first + 1; i < last; ++i) {
                const QPointF p = current[i];
                const qreal d = chord > 1e-12 ? std::abs(dy * (p.x() - a.x()) - dx * (p.y() - a.y())) / chord
                                              : std::hypot(p.x() - a.x(), p.y() - a.y());
                if (d > worst) {
                    worst = d;
                    at = i;
                }
            }
            if (at >= 0 && worst > tolerance) {
                keep[size_t(at)] = 1;
                spans.push_back({first, at});
                spans.push_back({at, last});
            }
        }
        Stroke out;
        for (int i = 0; i < current.size(); ++i) {
            if (keep[size_t(i)])
                out.append(current[i]);
        }
        if (out.size() <= maxPoints || !(tolerance > 0) || !std::isfinite(tolerance))
            return out;
        current = out;
        tolerance *= 2;
    }
}

Ink boundedInk(const Ink &ink, int maxPointsPerStroke)
{
    // The most strokes a jōyō kanji has is 29; a child adds a few taps.
    constexpr int MaxStrokes = 40;
    // Pen travel in units of the character's size: a neat 29-stroke kanji
    // travels about ten, a single stroke at most about two, a whole
    // character written in one run-together stroke under ten.
    constexpr qreal MaxStrokeTravel = 16;
    constexpr qreal MaxTravel = 48;
    // Shape detail kept, as a share of the character's size: under a pixel
    // of a 300-pixel box, far below what any recogniser resolves.
    constexpr qreal Tolerance = 0.0025;
    // Points closer than this share to the last one kept add nothing.
    constexpr qreal MinStep = 0.001;

    Ink clean = cleanedInk(ink);
    if (clean.strokes.size() > MaxStrokes)
        return Ink{{}, ink.canvas};
    const QRectF box = inkBounds(clean);
    const qreal extent = qMax(box.width(), box.height());
    if (!(extent > 1e-9)) {
        for (Stroke &s : clean.strokes)
            s = Stroke{s.first()};
        return clean;
    }
    qreal travel = 0;
    for (Stroke &s : clean.strokes) {
        Stroke thinned{s.first()};
        qreal length = 0;
        for (int i = 1; i < s.size(); ++i) {
            const QPointF last = thinned.last();
            const qreal step = std::hypot(s[i].x() - last.x(), s[i].y() - last.y());
            if (step >= MinStep * extent || i + 1 == s.size()) {
                thinned.append(s[i]);
                length += step;
            }
        }
        travel += length;
        if (length > MaxStrokeTravel * extent || travel > MaxTravel * extent)
            return Ink{{}, ink.canvas};
        s = simplifiedStroke(thinned, Tolerance * extent, maxPointsPerStroke);
    }
    return clean;
}

Ink normalizedInk(const Ink &ink)
{
    Ink out = fittedInk(boundedInk(ink));
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
