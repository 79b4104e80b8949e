// SPDX-License-Identifier: GPL-3.0-or-later
// The names children type to join a class.
#pragma once

#include <QString>

namespace ChildName {

// Characters a name may have, a surrogate pair counting once.
constexpr int MaxLength = 16;

// The name as the class shows it: blanks (space, tab, U+3000) at either end
// dropped, runs of blanks inside made one space. Empty, with *why, when the
// name is empty, longer than MaxLength, or holds characters that are not
// text (controls, format characters, unpaired surrogates, private use,
// line or paragraph separators, U+FFFD).
QString clean(const QString &typed, QString *why = nullptr);

// What two names are compared by for "already in the class": NFKC, case
// folded, blanks removed; so ＴＡＲＯ, taro and "ta ro" are one name.
QString identity(const QString &name);

} // namespace ChildName
