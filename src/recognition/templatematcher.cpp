// SPDX-License-Identifier: GPL-3.0-or-later
// Template matching by minimum-cost stroke assignment.
#include "recognition/templatematcher.h"

#include "common/regularfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Costs are in units of the NormalizedSide (300) square.
constexpr double ReversalPenalty = 8;   // a stroke written backwards: forgiven, but not free
constexpr double UnmatchedBase = 45;    // a stroke with no partner...
constexpr double UnmatchedPerLength = 0.35; // ...costs more the longer it is
constexpr double JoinPenalty = 12;      // two strokes written as one
constexpr int Prefiltered = 120;        // characters left for the assignment
constexpr double StretchLimit = 0.5;    // see fittedChords

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

double length(const TemplateMatcher::Chord &c)
{
    return distance(c.start, c.end);
}

double pairCost(const TemplateMatcher::Chord &a, const TemplateMatcher::Chord &b)
{
    const double forward = distance(a.start, b.start) + distance(a.end, b.end);
    const double backward = distance(a.start, b.end) + distance(a.end, b.start) + ReversalPenalty;
    return std::min(forward, backward);
}

double unmatchedCost(const TemplateMatcher::Chord &c)
{
    return UnmatchedBase + UnmatchedPerLength * length(c);
}

// Minimum total of a k x k cost matrix over one-to-one assignments
// (Hungarian method with potentials, O(k^3)).
double minimumAssignment(const std::vector<double> &cost, int k)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> u(k + 1, 0), v(k + 1, 0), minv(k + 1);
    std::vector<int> p(k + 1, 0), way(k + 1, 0);
    std::vector<char> used(k + 1);
    for (int i = 1; i <= k; ++i) {
        p[0] = i;
        int j0 = 0;
        std::fill(minv.begin(), minv.end(), inf);
        std::fill(used.begin(), used.end(), 0);
        do {
            used[j0] = 1;
            const int i0 = p[j0];
            double delta = inf;
            int j1 = 0;
            for (int j = 1; j <= k; ++j) {
                if (used[j])
                    continue;
                const double cur = cost[(i0 - 1) * k + (j - 1)] - u[i0] - v[j];
                if (cur < minv[j]) {
                    minv[j] = cur;
                    way[j] = j0;
                }
                if (minv[j] < delta) {
                    delta = minv[j];
                    j1 = j;
                }
            }
            for (int j = 0; j <= k; ++j) {
                if (used[j]) {
                    u[p[j]] += delta;
                    v[j] -= delta;
                } else {
                    minv[j] -= delta;
                }
            }
            j0 = j1;
        } while (p[j0] != 0);
        do {
            const int j1 = way[j0];
            p[j0] = p[j1];
            j0 = j1;
        } while (j0);
    }
    double total = 0;
    for (int j = 1; j <= k; ++j) {
        if (p[j])
            total += cost[(p[j] - 1) * k + (j - 1)];
    }
    return total;
}

// Assignment cost per stroke: pairs, plus a penalty for each stroke left over.
double assignment(const QList<TemplateMatcher::Chord> &a, const QList<TemplateMatcher::Chord> &b)
{
    const int n = int(a.size()), m = int(b.size());
    const int k = std::max(n, m);
    if (k == 0)
        return 0;
    std::vector<double> cost(size_t(k) * size_t(k), 0);
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            double c = 0;
            if (i < n && j < m)
                c = pairCost(a[i], b[j]);
            else if (i < n)
                c = unmatchedCost(a[i]);
            else if (j < m)
                c = unmatchedCost(b[j]);
            cost[size_t(i) * size_t(k) + size_t(j)] = c;
        }
    }
    return minimumAssignment(cost, k) / k;
}

// `chords` with chords j and j+1 made one, from the start of j to the end of j+1.
QList<TemplateMatcher::Chord> joined(const QList<TemplateMatcher::Chord> &chords, int j)
{
    QList<TemplateMatcher::Chord> out = chords;
    out[j].end = chords[j + 1].end;
    out.removeAt(j + 1);
    return out;
}

} // namespace

TemplateMatcher::TemplateMatcher(const QStringList &paths)
{
    for (const QString &p : paths) {
        if (p.isEmpty())
            continue;
        m_pathsTried.append(p);
        // The Debian file is under 2 MB; anything far larger is not it.
        const FileContents file = readRegularFile(p, 64 * 1024 * 1024);
        if (file.ok && load(file.bytes)) {
            m_path = p;
            return;
        }
    }
}

bool TemplateMatcher::load(const QByteArray &json)
{
    m_templates.clear();
    m_index.clear();
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    const QJsonObject groups = doc.object();
    for (auto g = groups.begin(); g != groups.end(); ++g) {
        const QJsonObject chars = g.value().toObject();
        for (auto c = chars.begin(); c != chars.end(); ++c) {
            const QString text = c.key();
            if (text.isEmpty() || m_index.contains(text))
                continue;
            QList<Chord> chords;
            for (const QJsonValue &s : c.value().toArray()) {
                const QJsonArray xy = s.toArray();
                if (xy.size() != 4)
                    continue;
                const Chord chord{QPointF(xy[0].toDouble(), xy[1].toDouble()),
                                  QPointF(xy[2].toDouble(), xy[3].toDouble())};
                if (std::isfinite(chord.start.x() + chord.start.y() + chord.end.x() + chord.end.y()))
                    chords.append(chord);
            }
            if (chords.isEmpty() || chords.size() > 64)
                continue;
            Template t{text, fittedChords(chords), {}};
            t.shape = shapeOf(t.chords);
            m_index.insert(text, int(m_templates.size()));
            m_templates.push_back(std::move(t));
        }
    }
    return !m_templates.empty();
}

QList<TemplateMatcher::Chord> TemplateMatcher::fittedChords(const QList<Chord> &chords, const QRectF &bounds)
{
    QRectF box = bounds;
    if (box.isNull()) {
        Ink ends;
        for (const Chord &c : chords)
            ends.strokes.append(Stroke{c.start, c.end});
        box = inkBounds(ends);
    }
    // Half way between keeping the aspect ratio and filling both axes: a hand
    // that writes wider or taller than the templates still lines up, while
    // 日 stays taller than 曰. An axis shorter than StretchLimit of the other
    // is stretched only as if it were that long, so that 一 stays flat.
    const double extent = std::max(box.width(), box.height());
    const double fill = 0.8 * NormalizedSide;
    auto scale = [&](double axis) {
        if (extent < 1e-6)
            return 1.0;
        const double stretched = std::max(axis, StretchLimit * extent);
        return fill / std::sqrt(extent * stretched);
    };
    const double sx = scale(box.width());
    const double sy = scale(box.height());
    const QPointF centre(NormalizedSide / 2, NormalizedSide / 2);
    auto place = [&](QPointF p) {
        return centre + QPointF((p.x() - box.center().x()) * sx, (p.y() - box.center().y()) * sy);
    };
    QList<Chord> out;
    out.reserve(chords.size());
    for (const Chord &c : chords)
        out.append({place(c.start), place(c.end)});
    return out;
}

TemplateMatcher::Shape TemplateMatcher::shapeOf(const QList<Chord> &chords)
{
    // Where the ink lies and which way it runs (either direction alike), in a
    // coarse grid: enough to throw out most characters cheaply.
    Shape shape{};
    const double cell = NormalizedSide / ShapeCells;
    double total = 0;
    for (const Chord &c : chords) {
        const double len = length(c);
        const int samples = std::max(1, int(len / 8));
        double angle = std::atan2(c.end.y() - c.start.y(), c.end.x() - c.start.x());
        if (angle < 0)
            angle += M_PI;
        const int bin = int(std::lround(angle / (M_PI / ShapeBins))) % ShapeBins;
        const double weight = std::max(len, 4.0) / samples;
        for (int s = 0; s < samples; ++s) {
            const QPointF p = c.start + (c.end - c.start) * ((s + 0.5) / samples);
            const int cx = std::clamp(int(p.x() / cell), 0, ShapeCells - 1);
            const int cy = std::clamp(int(p.y() / cell), 0, ShapeCells - 1);
            shape[size_t((cy * ShapeCells + cx) * ShapeBins + bin)] += float(weight);
            total += weight;
        }
    }
    if (total > 0) {
        for (float &f : shape)
            f = float(f / total);
    }
    return shape;
}

double TemplateMatcher::matchCost(const QList<Chord> &input, const QList<Chord> &reference)
{
    double best = assignment(input, reference);
    // Fewer strokes than the character has: perhaps two were written as one.
    if (input.size() < reference.size()) {
        for (int j = 0; j + 1 < reference.size(); ++j)
            best = std::min(best, assignment(input, joined(reference, j)) + JoinPenalty);
    }
    return best;
}

QList<Candidate> TemplateMatcher::classify(const Ink &ink, int count) const
{
    if (m_templates.empty() || count <= 0)
        return {};
    const Ink clean = boundedInk(ink);
    if (clean.strokes.isEmpty())
        return {};
    QList<Chord> raw;
    for (const Stroke &s : clean.strokes)
        raw.append({s.first(), s.last()});
    // Placed by all the ink, not only the stroke ends: a joined stroke's
    // turning point still counts.
    const QList<Chord> input = fittedChords(raw, inkBounds(clean));
    const int n = int(input.size());
    const Shape shape = shapeOf(input);

    std::vector<std::pair<float, int>> coarse;
    coarse.reserve(m_templates.size());
    for (size_t t = 0; t < m_templates.size(); ++t) {
        const Template &tpl = m_templates[t];
        if (std::abs(int(tpl.chords.size()) - n) > 2)
            continue;
        float d = 0;
        for (size_t i = 0; i < shape.size(); ++i)
            d += std::abs(shape[i] - tpl.shape[i]);
        coarse.emplace_back(d, int(t));
    }
    const size_t keep = std::min(coarse.size(), size_t(Prefiltered));
    std::partial_sort(coarse.begin(), coarse.begin() + ptrdiff_t(keep), coarse.end());

    std::vector<std::pair<double, int>> scored;
    scored.reserve(keep);
    for (size_t i = 0; i < keep; ++i) {
        const Template &tpl = m_templates[size_t(coarse[i].second)];
        scored.emplace_back(matchCost(input, tpl.chords), coarse[i].second);
    }
    std::sort(scored.begin(), scored.end());
    QList<Candidate> out;
    for (size_t i = 0; i < scored.size() && int(out.size()) < count; ++i)
        out.append({m_templates[size_t(scored[i].second)].text, -scored[i].first});
    return out;
}
