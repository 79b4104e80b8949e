// SPDX-License-Identifier: GPL-3.0-or-later
// Template matching by minimum-cost stroke assignment.
#include "recognition/templatematcher.h"

#include "common/regularfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

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
double assignment(const QList<TemplateMatcher::Chord> &a, const TemplateMatcher::Chord *b, int m)
{
    const int n = int(a.size());
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

// The count chords with chords j and j+1 made one, from the start of j to the end of j+1.
std::vector<TemplateMatcher::Chord> joined(const TemplateMatcher::Chord *chords, int count, int j)
{
    std::vector<TemplateMatcher::Chord> out(chords, chords + count);
    out[size_t(j)].end = chords[j + 1].end;
    out.erase(out.begin() + j + 1);
    return out;
}

// The box of the chords' ends, as inkBounds gives it for them.
QRectF endsBounds(const TemplateMatcher::Chord *chords, int count)
{
    if (count == 0)
        return {};
    qreal left = chords->start.x(), right = left, top = chords->start.y(), bottom = top;
    for (const TemplateMatcher::Chord *c = chords; c != chords + count; ++c) {
        for (QPointF p : {c->start, c->end}) {
            left = qMin(left, p.x());
            right = qMax(right, p.x());
            top = qMin(top, p.y());
            bottom = qMax(bottom, p.y());
        }
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
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
    std::vector<Template> templates;
    std::vector<StoredChord> chords;
    std::vector<quint8> shapeIndex;
    std::vector<float> shapeValue;
    QString texts;
    {
        const QJsonDocument doc = QJsonDocument::fromJson(json);
        const QJsonObject groups = doc.object();
        QSet<QString> seen;
        QList<Chord> raw;
        for (auto g = groups.begin(); g != groups.end(); ++g) {
            const QJsonObject chars = g.value().toObject();
            for (auto c = chars.begin(); c != chars.end(); ++c) {
                const QString text = c.key();
                if (text.isEmpty() || text.size() > 0xFFFF || seen.contains(text))
                    continue;
                raw.clear();
                for (const QJsonValue &s : c.value().toArray()) {
                    const QJsonArray xy = s.toArray();
                    if (xy.size() != 4)
                        continue;
                    // Rounded as stored, so that loading and comparing fit the same points.
                    const StoredChord c{float(xy[0].toDouble()), float(xy[1].toDouble()),
                                        float(xy[2].toDouble()), float(xy[3].toDouble())};
                    if (std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]) && std::isfinite(c[3]))
                        raw.append({QPointF(c[0], c[1]), QPointF(c[2], c[3])});
                }
                if (raw.isEmpty() || raw.size() > 64)
                    continue;
                const QList<Chord> fitted = fittedChords(raw);
                const Shape shape = shapeOf(fitted.constData(), int(fitted.size()));
                const Template t{int(chords.size()), int(shapeIndex.size()), int(texts.size()), quint16(text.size()),
                                 quint8(raw.size()), 0};
                templates.push_back(t);
                for (size_t i = 0; i < shape.size(); ++i) {
                    if (shape[i] != 0) {
                        shapeIndex.push_back(quint8(i));
                        shapeValue.push_back(shape[i]);
                        ++templates.back().shapeCount;
                    }
                }
                for (const Chord &c : raw)
                    chords.push_back({float(c.start.x()), float(c.start.y()), float(c.end.x()), float(c.end.y())});
                texts += text;
                seen.insert(text);
            }
        }
    }
    // The document is gone: the tables are copied to their exact size
    // after it, so that its leftovers lie in one piece the allocator can
    // give back.
    m_templates.assign(templates.begin(), templates.end());
    const bool small = std::all_of(chords.begin(), chords.end(), [](const StoredChord &c) {
        return std::all_of(c.begin(), c.end(), [](float v) { return v >= 0 && v <= 255 && v == std::floor(v); });
    });
    m_chords.clear();
    m_smallChords.clear();
    if (small) {
        m_smallChords.reserve(chords.size());
        for (const StoredChord &c : chords)
            m_smallChords.push_back({quint8(c[0]), quint8(c[1]), quint8(c[2]), quint8(c[3])});
    } else {
        m_chords.assign(chords.begin(), chords.end());
    }
    m_chords.shrink_to_fit();
    m_smallChords.shrink_to_fit();
    m_shapeIndex.assign(shapeIndex.begin(), shapeIndex.end());
    m_shapeValue.assign(shapeValue.begin(), shapeValue.end());
    m_texts = QString(texts.constData(), texts.size());
    m_byText.resize(m_templates.size());
    std::iota(m_byText.begin(), m_byText.end(), 0);
    std::sort(m_byText.begin(), m_byText.end(), [this](int a, int b) {
        return textOf(m_templates[size_t(a)]) < textOf(m_templates[size_t(b)]);
    });
    return !m_templates.empty();
}

int TemplateMatcher::find(QStringView text) const
{
    const auto at = std::lower_bound(m_byText.begin(), m_byText.end(), text,
                                     [this](int t, QStringView key) { return textOf(m_templates[size_t(t)]) < key; });
    return at != m_byText.end() && textOf(m_templates[size_t(*at)]) == text ? *at : -1;
}

bool TemplateMatcher::contains(const QString &text) const
{
    return find(text) >= 0;
}

int TemplateMatcher::strokeCount(const QString &text) const
{
    const int at = find(text);
    return at >= 0 ? m_templates[size_t(at)].chordCount : 0;
}

TemplateMatcher::Fit TemplateMatcher::fitOf(const QRectF &box)
{
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
    return {box.center(), scale(box.width()), scale(box.height())};
}

QPointF TemplateMatcher::Fit::place(QPointF p) const
{
    const QPointF centre(NormalizedSide / 2, NormalizedSide / 2);
    return centre + QPointF((p.x() - from.x()) * sx, (p.y() - from.y()) * sy);
}

QList<TemplateMatcher::Chord> TemplateMatcher::fittedChords(const QList<Chord> &chords, const QRectF &bounds)
{
    const Fit fit = fitOf(bounds.isNull() ? endsBounds(chords.constData(), int(chords.size())) : bounds);
    QList<Chord> out;
    out.reserve(chords.size());
    for (const Chord &c : chords)
        out.append({fit.place(c.start), fit.place(c.end)});
    return out;
}

void TemplateMatcher::fittedChordsOf(const Template &t, std::vector<Chord> &out) const
{
    out.clear();
    for (int i = t.firstChord; i < t.firstChord + t.chordCount; ++i) {
        if (m_smallChords.empty()) {
            const StoredChord &c = m_chords[size_t(i)];
            out.push_back({QPointF(c[0], c[1]), QPointF(c[2], c[3])});
        } else {
            const SmallChord &c = m_smallChords[size_t(i)];
            out.push_back({QPointF(c[0], c[1]), QPointF(c[2], c[3])});
        }
    }
    const Fit fit = fitOf(endsBounds(out.data(), int(out.size())));
    for (Chord &c : out)
        c = {fit.place(c.start), fit.place(c.end)};
}

float TemplateMatcher::shapeDistance(const Template &t, const Shape &shape) const
{
    // The same sum, in the same order, as over the whole shape.
    const quint8 *index = m_shapeIndex.data() + t.firstShape;
    const float *value = m_shapeValue.data() + t.firstShape;
    int k = 0;
    float d = 0;
    for (size_t i = 0; i < shape.size(); ++i) {
        const float other = k < t.shapeCount && index[k] == i ? value[k++] : 0.0f;
        d += std::abs(shape[i] - other);
    }
    return d;
}

TemplateMatcher::Shape TemplateMatcher::shapeOf(const Chord *chords, int count)
{
    // Where the ink lies and which way it runs (either direction alike), in a
    // coarse grid: enough to throw out most characters cheaply.
    Shape shape{};
    const double cell = NormalizedSide / ShapeCells;
    double total = 0;
    for (const Chord *c = chords; c != chords + count; ++c) {
        const double len = length(*c);
        const int samples = std::max(1, int(len / 8));
        double angle = std::atan2(c->end.y() - c->start.y(), c->end.x() - c->start.x());
        if (angle < 0)
            angle += M_PI;
        const int bin = int(std::lround(angle / (M_PI / ShapeBins))) % ShapeBins;
        const double weight = std::max(len, 4.0) / samples;
        for (int s = 0; s < samples; ++s) {
            const QPointF p = c->start + (c->end - c->start) * ((s + 0.5) / samples);
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

double TemplateMatcher::matchCost(const QList<Chord> &input, const Chord *reference, int count)
{
    double best = assignment(input, reference, count);
    // Fewer strokes than the character has: perhaps two were written as one.
    if (input.size() < count) {
        for (int j = 0; j + 1 < count; ++j) {
            const std::vector<Chord> fewer = joined(reference, count, j);
            best = std::min(best, assignment(input, fewer.data(), int(fewer.size())) + JoinPenalty);
        }
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
    const Shape shape = shapeOf(input.constData(), n);

    std::vector<std::pair<float, int>> coarse;
    coarse.reserve(m_templates.size());
    for (size_t t = 0; t < m_templates.size(); ++t) {
        const Template &tpl = m_templates[t];
        if (std::abs(tpl.chordCount - n) > 2)
            continue;
        coarse.emplace_back(shapeDistance(tpl, shape), int(t));
    }
    const size_t keep = std::min(coarse.size(), size_t(Prefiltered));
    std::partial_sort(coarse.begin(), coarse.begin() + ptrdiff_t(keep), coarse.end());

    std::vector<std::pair<double, int>> scored;
    scored.reserve(keep);
    std::vector<Chord> reference;
    for (size_t i = 0; i < keep; ++i) {
        fittedChordsOf(m_templates[size_t(coarse[i].second)], reference);
        scored.emplace_back(matchCost(input, reference.data(), int(reference.size())), coarse[i].second);
    }
    std::sort(scored.begin(), scored.end());
    QList<Candidate> out;
    for (size_t i = 0; i < scored.size() && int(out.size()) < count; ++i)
        out.append({textOf(m_templates[size_t(scored[i].second)]).toString(), -scored[i].first});
    return out;
}
