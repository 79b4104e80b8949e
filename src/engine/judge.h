// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/rules.h"

#include <QString>

class CharacterPool;
class WordList;

// The verdict on a submitted two-character answer.
struct Judgement
{
    enum Outcome { Correct, NoCharacter, NoWord };
    Outcome outcome = NoCharacter;
    int first = Rules::BoardPlaces;  // pool index of the first character; BoardPlaces when none
    int second = Rules::BoardPlaces; // pool index of the second, never equal to first
};

// Both characters must be free on the board (the lowest free entry of each,
// two different entries for a doubled character), and the whole answer a
// word of the list. Characters are counted as Unicode code points; any
// after the second take part only in the word look-up. An empty or short
// pool simply has no free characters.
Judgement judge(const CharacterPool &pool, const WordList &words, const QString &answer);
