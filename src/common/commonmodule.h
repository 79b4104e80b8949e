// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the console and the player windows.
#pragma once

#include <QString>
#include <cstdint>

namespace CommonModule {

// The larger of a and b: a when a > b, otherwise b.
int16_t IntMax(int16_t a, int16_t b);
// The smaller of a and b: a when a < b, otherwise b.
int16_t IntMin(int16_t a, int16_t b);

// Numeric value of a text, as the game reads scores, times and settings.
// Blanks, tabs and line feeds are ignored wherever they stand; then the
// longest leading number is taken: an optional sign, digits, an optional
// "." with digits, an optional exponent (E or D, optional sign, digits), or
// an integer with the prefix "&H" (hexadecimal) or "&O" (octal). Whatever
// follows is ignored; a text without a leading number gives 0.
// Never returns NaN; an exponent too large gives +-infinity.
double leadingNumber(const QString &text);

} // namespace CommonModule
