// SPDX-License-Identifier: GPL-3.0-or-later
// Zinnia and the stroke-order-free template matcher, ranked together.
#pragma once

#include "engine/recognizer.h"

#include <QMutex>
#include <QSet>

class ZinniaRecognizer;
class TemplateMatcher;

// Combines the two rankings by score. Zinnia reads well-ordered writing
// best; the template matcher forgives order, direction and joined strokes.
// A character of the preferred set (the loaded word list) goes first when it
// scores within PreferenceMargin of the best and at least PreferenceFloor; a
// clear winner stays first.
class FusedRecognizer : public Recognizer
{
public:
    // Either part may be unavailable; the other then ranks alone.
    FusedRecognizer(const ZinniaRecognizer &zinnia, const TemplateMatcher &templates);

    QList<Candidate> classify(const Ink &ink, int count) const override;
    bool isAvailable() const override;

    // May be set while another thread classifies.
    void setPreferredCharacters(const QSet<QString> &characters);
    QSet<QString> preferredCharacters() const;

    // Chosen from bench/recognition/prefer.py with the bundled first-grade
    // list: list characters written distorted read 1.7 points more often
    // right (7.5 with two strokes joined), while other kanji come out as list
    // characters 0.5 points more often and random scribbles 0.4 points more
    // often. Without the floor, scribbles would gain 39 points.
    static constexpr double PreferenceMargin = 0.5;
    // Below this fused score the ink is more scribble than character.
    static constexpr double PreferenceFloor = -2.0;

private:
    const ZinniaRecognizer &m_zinnia;
    const TemplateMatcher &m_templates;
    mutable QMutex m_preferredLock;
    QSet<QString> m_preferred;
};
