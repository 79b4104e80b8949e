// SPDX-License-Identifier: GPL-3.0-or-later
// Stroke-order-free recognition against per-character stroke templates.
#pragma once

#include "engine/recognizer.h"

#include <QHash>
#include <QStringList>
#include <array>

// Compares the input's strokes with each character's template strokes
// (straight start-to-end segments, as KanjiVG-derived data gives them),
// pairing them by a minimum-cost assignment. Neither stroke order nor
// direction matters; a stroke count one or two off costs a penalty, and two
// strokes written as one are tried as such. A cheap prefilter on stroke
// count and coarse shape leaves few characters for the assignment.
class TemplateMatcher : public Recognizer
{
public:
    // A stroke reduced to where it starts and ends.
    struct Chord
    {
        QPointF start, end;
    };

    TemplateMatcher() = default;
    // Reads the first of `paths` that loads (JSON: {"<count>": {"字": [[x0, y0, x1, y1], ...]}}).
    explicit TemplateMatcher(const QStringList &paths);

    // Replaces the templates by those in `json`; false (and none kept) when it holds none.
    bool load(const QByteArray &json);

    QList<Candidate> classify(const Ink &ink, int count) const override;
    bool isAvailable() const override { return !m_templates.empty(); }

    int size() const { return int(m_templates.size()); }
    bool contains(const QString &text) const { return m_index.contains(text); }
    QString path() const { return m_path; }
    QStringList pathsTried() const { return m_pathsTried; }

    // Chords scaled into the NormalizedSide square, centred; `bounds` is the
    // box to fit (null: the box of the chords' ends).
    static QList<Chord> fittedChords(const QList<Chord> &chords, const QRectF &bounds = QRectF());

private:
    static constexpr int ShapeCells = 4;
    static constexpr int ShapeBins = 4;
    using Shape = std::array<float, ShapeCells * ShapeCells * ShapeBins>;
    struct Template
    {
        QString text;
        QList<Chord> chords; // fitted
        Shape shape;
    };
    static Shape shapeOf(const QList<Chord> &chords);
    // The assignment cost of `input` against `reference`, both fitted;
    // lower is closer.
    static double matchCost(const QList<Chord> &input, const QList<Chord> &reference);

    std::vector<Template> m_templates;
    QHash<QString, int> m_index;
    QString m_path;
    QStringList m_pathsTried;
};
