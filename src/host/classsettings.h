// SPDX-License-Identifier: GPL-3.0-or-later
// What a teacher sets for a class game, and how much one host takes.
#pragma once

#include "common/rules.h"

#include <QString>

struct ClassSettings
{
    static constexpr int MaxNameLength = 60;

    QString name;     // the class game's name, as the teacher typed it
    QString listName; // the word list's name: a bundled file or an upload
    bool timeLimitOn = true;
    int timeLimitSeconds = Rules::TimeLimitStart;
    bool answerLimitOn = true;
    int answerLimit = Rules::AnswerLimitStart;

    // The console panel's ranges; a name of 1 to MaxNameLength characters
    // without line breaks or other controls. False with *why otherwise.
    bool check(QString *why) const;
};

// How many a host serves at once; more are refused with a reason.
struct HostLimits
{
    // Every open class code is one more a guesser may hit: beyond this many
    // open at once, guessing any of them would be easier than a console's
    // seat code.
    static constexpr int MaxClasses = 30;

    int childrenPerClass = 40;
    int children = 400;   // in all open class games together
    int classes = 20;     // open class games, at most MaxClasses
};
