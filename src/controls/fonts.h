// SPDX-License-Identifier: GPL-3.0-or-later
// Window designs and configuration files name Windows typefaces ("ＭＳ 明朝").
// They keep those names; Qt's substitution table makes them render with an
// installed Japanese face, so kanji never come out as boxes.
#pragma once

#include <QString>

namespace Fonts {

// The typeface every window design uses.
inline const QString DesignFace = QStringLiteral("ＭＳ 明朝");

// Makes `name` render with an installed face: nothing when it is installed,
// otherwise a substitution to a Japanese Mincho face (a Gothic face for
// Gothic-style names). Returns the family that will render. Logs one line
// when no Japanese face is installed at all.
QString mapToInstalled(const QString &name);

} // namespace Fonts
