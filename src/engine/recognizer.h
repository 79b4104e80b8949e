// SPDX-License-Identifier: GPL-3.0-or-later
// What the game needs of a handwriting recogniser: ink in, ranked characters out.
#pragma once

#include "engine/ink.h"

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

    // False when the recogniser could not load what it needs; classify then
    // returns nothing.
    virtual bool isAvailable() const = 0;
};
