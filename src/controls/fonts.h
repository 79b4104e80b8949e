// SPDX-License-Identifier: GPL-3.0-or-later
// Window designs and configuration files name Windows typefaces ("ＭＳ 明朝").
// They keep those names; Qt's substitution table makes them render with an
// installed Japanese face, so kanji never come out as boxes.
#pragma once

#include <QString>

namespace Fonts {

// The typeface every window design uses.
inline const QString DesignFace = QStringLiteral("ＭＳ 明朝");

// No typeface has a longer name; a longer setting is a mistake, and looking
// it up would cost the font system seconds.
constexpr int MaxNameLength = 256;

// Makes `name` render with an installed face: nothing when it is installed,
// otherwise a substitution to a Japanese Mincho face (a Gothic face for
// Gothic-style names). Returns the family that will render. Logs a line
// when no Japanese face is installed at all. Each call asks the font
// system; call it once per name.
QString mapToInstalled(const QString &name);

} // namespace Fonts
