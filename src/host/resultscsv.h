// SPDX-License-Identifier: GPL-3.0-or-later
// A class game's results as a spreadsheet file.
#pragma once

#include <QByteArray>
#include <QString>

struct ClassResults;

namespace ResultsCsv {

// One row per child and game: class game, round, name, partner, words
// found, their number, wrong tries, score, outcome, state. UTF-8 with a
// byte-order mark and CRLF line ends, as Excel opens it; text quoted, and a
// cell that starts with = + - @ (or a tab or carriage return) gets a
// leading apostrophe, so that no spreadsheet takes it for a formula.
QByteArray make(const ClassResults &results);

// One cell as make() writes it.
QString cell(const QString &text);

// How outcomes and states read in the file and on the pages.
QString outcomeText(const QString &outcome);
QString stateText(const QString &state);

} // namespace ResultsCsv
