// SPDX-License-Identifier: GPL-3.0-or-later
// Which of several hosts behind one proxy holds a class game.
#pragma once

#include <QString>
#include <QStringView>

// A host behind a proxy has a route, 1 to 99, written as two digits. Its
// class codes begin with it, and every address of a class carries it as
// ?h=NN, so that the proxy sends the class to its host without the hosts
// sharing anything but the database.
namespace ClassRoute {

constexpr int Digits = 2;
constexpr int Lowest = 1;
constexpr int Highest = 99;

// "07" → 7; anything but two digits from 01 to 99 → -1.
int parse(QStringView text);
// 7 → "07"; empty for 0 (no route).
QString text(int route);
// The route a class code begins with, when it is longer than random
// digits alone; 0 when it has none.
int ofCode(const QString &code, int randomDigits);

} // namespace ClassRoute
