// SPDX-License-Identifier: GPL-3.0-or-later
// A review or a sheet from the results, as a page the teacher prints.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace PrintPage {

// The document with the host's print style (A4) and a button that prints
// it, itself left off the paper.
QByteArray wrap(const QString &html);

// The numbers of a path such as "/teacher/review/12-34.html": prefix, count
// whole numbers joined by '-', suffix. Empty unless it is exactly that.
QList<qint64> idsIn(const QString &path, const QString &prefix, const QString &suffix, int count);

} // namespace PrintPage
