// SPDX-License-Identifier: GPL-3.0-or-later
// When Japanese schools teach a kanji.
#pragma once

#include <QString>

// 1 to 6 for the kanji of that primary-school year, 7 for the other jōyō
// kanji (taught later), 0 for any other character or text.
int kanjiSchoolYear(const QString &text);
