// SPDX-License-Identifier: GPL-3.0-or-later
// The game's context applied to scored readings: board characters and board words first where they score close.
#pragma once

#include "engine/readingcontext.h"
#include "engine/recognizer.h"

#include <QList>
#include <QString>

// The rules by which a box reads in the game's context, on candidates with
// the recogniser's scores. "Best" is the highest score among a box's
// candidates; a character plainly written otherwise trails a board
// character by more than the margins and keeps its reading.
namespace BoardPreference {

// The index of the free board character that goes first: the best-scoring
// one within margins.board of the best and at least margins.floor. -1 when
// the first candidate is free on the board already, or none qualifies.
int boardFirst(const QList<Candidate> &candidates, const ReadingContext &context, const ContextMargins &margins);

struct PairReading
{
    QString first;
    QString second;
    bool isValid() const { return !first.isEmpty() && !second.isEmpty(); }
};

// The board word two boxes read as, given each box's candidates (its
// result first): none when the results make a board word already, or when
// no board word's characters trail the two best by at most margins.pair
// together and margins.each apiece, each scoring at least margins.pairFloor.
// Of several, the one that trails least; ties go to the first in the
// context's order.
PairReading pair(const QList<Candidate> &first, const QList<Candidate> &second, const ReadingContext &context,
                 const ContextMargins &margins);

} // namespace BoardPreference
