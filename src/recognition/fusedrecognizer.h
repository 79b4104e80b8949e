// SPDX-License-Identifier: GPL-3.0-or-later
// The ink model, Zinnia and the stroke-order-free template matcher, ranked together.
#pragma once

#include "engine/recognizer.h"

#include <QMutex>
#include <QSet>

#include <atomic>

class InkModelRecognizer;
class ZinniaRecognizer;
class TemplateMatcher;

// Adds up the three rankings' scores, weighted. The ink model reads messy
// and run-together writing best but knows only the characters it was
// trained on; Zinnia and the templates know thousands more (a rare kanji of
// a teacher's list). Without the model the other two rank as they did
// before it existed.
//
// In a game the model reads first and, when it is sure of a free board
// character (SureModel), alone: most of a class's ink then costs a tenth.
//
// The result is the best score, except that in a game a free board
// character goes first within BoardMargin (contextMargins()), else a
// character of the preferred set (the loaded word list) when it scores
// within PreferenceMargin of the best and at least PreferenceFloor. Behind
// the result come the free board characters, the list's characters, then
// kanji of the school years (unless
// a later jōyō kanji leads them by more than SchoolYearMargin), then the
// other jōyō kanji, then the rest; forms that are only parts of kanji never.
class FusedRecognizer : public Recognizer
{
public:
    // Any part may be unavailable; the others then rank alone.
    FusedRecognizer(const InkModelRecognizer &model, const ZinniaRecognizer &zinnia, const TemplateMatcher &templates);

    QList<Candidate> classify(const Ink &ink, int count) const override;
    QList<Candidate> classifyInGame(const Ink &ink, int count, const ReadingContext &context) const override;
    ContextMargins contextMargins() const override;
    bool isAvailable() const override;

    // May be set while another thread classifies.
    void setPreferredCharacters(const QSet<QString> &characters);
    QSet<QString> preferredCharacters() const;

    // Chosen on the development split with bench/recognition/prefer.py:
    // list characters written by a realistic fast hand read right 3.9
    // points more often (semi-cursive 1.3, a dropped stroke 2.6), other
    // kanji come out as list characters 0.8 points more often.
    static constexpr double PreferenceMargin = 1.0;
    // Below this fused score the ink is more scribble than character:
    // without it, random scribbles would come out as list characters 34
    // points more often instead of 4.
    static constexpr double PreferenceFloor = -8.0;
    // How far a school-year kanji may trail a later-taught one behind the
    // result and still go before it. Chosen on the benchmark's development
    // split (realistic hand): without a limit, later-taught kanji were among
    // the first five 0.911 of the time and school kanji 0.997; with 1.0,
    // 0.982 and 0.993.
    static constexpr double SchoolYearMargin = 1.0;

    // In a game (chosen on the development split with
    // bench/recognition/context.py): a free board character goes first when
    // it trails the best by at most BoardMargin and scores at least
    // BoardFloor; the two boxes read as a board word when its characters
    // trail the two best by at most PairMargin together and PairEach apiece,
    // each scoring at least PairFloor.
    static constexpr double BoardMargin = 2.0;
    static constexpr double BoardFloor = -8.0;
    static constexpr double PairMargin = 3.0;
    static constexpr double PairEach = 3.0;
    static constexpr double PairFloor = -10.0;

    // In a game, a free board character the models give a probability of
    // at least 0.7 (this log-probability) is read by them alone: 48-73 % of
    // the benchmark's ink, no condition of its development split more than
    // 0.2 points worse than with all three, semi-cursive ink (which
    // misleads Zinnia and the templates) 4.6 points better. 0.5 passed that
    // rule too, but the gaps between the models' own candidates are
    // narrower than the fused ones, and a plainly written 田 beside a board
    // word with 由 then became that word. Characters outside the models are
    // why it is never done outside a game: sure models are then sometimes
    // sure of the wrong kanji.
    static constexpr double SureModel = -0.357;

    // Readings so far by the model alone and by all three (for benchmarks).
    quint64 sureReadings() const { return m_sureReadings.load(std::memory_order_relaxed); }
    quint64 fullReadings() const { return m_fullReadings.load(std::memory_order_relaxed); }

private:
    // The candidates scored, in a game by the model alone when it is sure.
    QList<Candidate> ranked(const Ink &ink, const ReadingContext &context) const;
    // Whether the ink looks run together (fewer strokes than the models'
    // sure best has), given the three engines' lists.
    bool runTogether(const Ink &ink, const QList<Candidate> &model, const QList<Candidate> &zinnia,
                     const QList<Candidate> &templates) const;
    // Every candidate, the first `count` in the box's order.
    QList<Candidate> ordered(const Ink &ink, int count, const ReadingContext &context) const;

    const InkModelRecognizer &m_model;
    const ZinniaRecognizer &m_zinnia;
    const TemplateMatcher &m_templates;
    mutable QMutex m_preferredLock;
    QSet<QString> m_preferred;
    mutable std::atomic<quint64> m_sureReadings{0};
    mutable std::atomic<quint64> m_fullReadings{0};
};
