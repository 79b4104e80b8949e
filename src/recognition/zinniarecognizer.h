// SPDX-License-Identifier: GPL-3.0-or-later
// Recognition through Zinnia and a Tegaki model file.
#pragma once

#include "common/regularfile.h"
#include "engine/recognizer.h"

#include <QStringList>
#include <memory>

namespace zinnia {
class Recognizer;
}

// Classifies normalised ink with Zinnia. The model is read once, from the
// first of the given paths that holds one (see readZinniaModel).
class ZinniaRecognizer : public Recognizer
{
public:
    explicit ZinniaRecognizer(const QStringList &modelPaths);
    ~ZinniaRecognizer() override;

    QList<Candidate> classify(const Ink &ink, int count) const override;
    bool isAvailable() const override { return m_model != nullptr; }

    // The model file in use; empty when none could be opened.
    QString modelPath() const { return m_modelPath; }
    // Whether the model is mapped from the page cache (shared with every
    // other program using it) rather than copied into this one's memory.
    bool isModelShared() const { return m_modelBytes.isMapped(); }
    // Every path that was tried, in order.
    QStringList pathsTried() const { return m_pathsTried; }
    // Each path that could not be used, with the reason.
    QStringList problems() const { return m_problems; }

    // Points a stroke keeps for Zinnia: its feature extraction grows
    // exponentially with the turns of a stroke (a 20-turn zigzag takes
    // 92 MB, 28 turns a gigabyte), while no stroke of a kanji has ten.
    static constexpr int MaxPointsPerStroke = 12;

private:
    // Classifies ink that is already bounded and normalised.
    QList<Candidate> classifyNormalized(const Ink &ink, int count) const;

    struct Deleter
    {
        void operator()(zinnia::Recognizer *r) const;
    };
    FileBytes m_modelBytes; // the model points into these: declared first, freed last
    std::unique_ptr<zinnia::Recognizer, Deleter> m_model;
    QString m_modelPath;
    QStringList m_pathsTried;
    QStringList m_problems;
};
