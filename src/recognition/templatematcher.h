// SPDX-License-Identifier: GPL-3.0-or-later
// Stroke-order-free recognition against per-character stroke templates.
#pragma once

#include "engine/recognizer.h"

#include <QStringList>
#include <array>
#include <vector>

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
    bool contains(const QString &text) const;
    // The character's strokes in its template, or 0 when it has none.
    int strokeCount(const QString &text) const;
    QString path() const { return m_path; }
    QStringList pathsTried() const { return m_pathsTried; }

    // Chords scaled into the NormalizedSide square, centred; `bounds` is the
    // box to fit (null: the box of the chords' ends).
    static QList<Chord> fittedChords(const QList<Chord> &chords, const QRectF &bounds = QRectF());

private:
    // How fittedChords moves and scales the points of one ink.
    struct Fit
    {
        QPointF from; // the centre of the box fitted
        double sx = 1, sy = 1;
        QPointF place(QPointF p) const;
    };
    static Fit fitOf(const QRectF &box);
    static constexpr int ShapeCells = 4;
    static constexpr int ShapeBins = 4;
    using Shape = std::array<float, ShapeCells * ShapeCells * ShapeBins>;
    // Thousands of characters live for the whole program: they are kept in
    // a few blocks rather than thousands of small ones among the parser's
    // leftovers, and as small as they can be without changing a result.
    // A character's chords are [firstChord, firstChord + chordCount) of
    // m_smallChords when every number of the file is a whole one from 0 to
    // 255 (as the Debian file's are), else of m_chords (single precision),
    // as the file gives them: fitted when compared. Its shape is zero but at the
    // m_shapeIndex[firstShape, firstShape + shapeCount), whose values
    // m_shapeValue holds (a character touches about a third of the shape's
    // cells and directions). Its text is m_texts.mid(textStart, textLength).
    using StoredChord = std::array<float, 4>;
    using SmallChord = std::array<quint8, 4>;
    struct Template
    {
        int firstChord;
        int firstShape;
        int textStart;
        quint16 textLength;
        quint8 chordCount;
        quint8 shapeCount;
    };
    // The template's chords, fitted, into `out`.
    void fittedChordsOf(const Template &t, std::vector<Chord> &out) const;
    static Shape shapeOf(const Chord *chords, int count);
    // The coarse distance of the template's shape from `shape`.
    float shapeDistance(const Template &t, const Shape &shape) const;
    // The assignment cost of `input` against `reference`, both fitted;
    // lower is closer.
    static double matchCost(const QList<Chord> &input, const Chord *reference, int count);
    QStringView textOf(const Template &t) const { return QStringView(m_texts).mid(t.textStart, t.textLength); }
    // Index in m_templates of the character, or -1.
    int find(QStringView text) const;

    std::vector<Template> m_templates;
    std::vector<StoredChord> m_chords;
    std::vector<SmallChord> m_smallChords;
    std::vector<quint8> m_shapeIndex;
    std::vector<float> m_shapeValue;
    QString m_texts;
    std::vector<int> m_byText; // indices of m_templates in the order of their texts
    QString m_path;
    QStringList m_pathsTried;
};
