// SPDX-License-Identifier: GPL-3.0-or-later
// taruvo-wordlist --make: a word list from the kanji a class has learned.
#pragma once

#include <QStringList>

class QTextStream;

// Runs the maker with the arguments after --make; returns the exit status
// (0 written, 1 too few words, 2 a problem) and reports to out and err.
int makeWordList(const QStringList &arguments, QTextStream &out, QTextStream &err);
