// SPDX-License-Identifier: GPL-3.0-or-later
// What the game needs of a handwriting recogniser: ink in, ranked characters out.
#pragma once

#include "engine/ink.h"
#include "engine/readingcontext.h"

#include <QList>
#include <QString>

struct Candidate
{
    QString text;  // one character
    double score = 0; // larger is better; comparable only within one result
};

class Recognizer
{
public:
    virtual ~Recognizer() = default;

    // At most `count` candidates, best first. Empty when the ink holds nothing
    // usable or the recogniser is not available.
    virtual QList<Candidate> classify(const Ink &ink, int count) const = 0;

    // The same ink read in a game, where only the context's characters and
    // words can score. The first `count` candidates are the box's, best
    // first, a free board character ahead where contextMargins() allow; the
    // rest of what the recogniser scored follows, so that the two boxes can
    // be read as a pair (BoardPreference::pair). By default the context is
    // not used.
    virtual QList<Candidate> classifyInGame(const Ink &ink, int count, const ReadingContext &context) const
    {
        Q_UNUSED(context);
        return classify(ink, count);
    }
    // How far the context may move a reading, in this recogniser's scores;
    // by default not at all.
    virtual ContextMargins contextMargins() const { return {}; }

    // False when the recogniser could not load what it needs; classify then
    // returns nothing.
    virtual bool isAvailable() const = 0;
};
