// SPDX-License-Identifier: GPL-3.0-or-later
// The one recogniser that every handwriting box of the program shares.
#pragma once

#include "engine/recognizer.h"

#include <QSet>
#include <QStringList>

class ZinniaRecognizer;
class TemplateMatcher;

class SharedRecognizer
{
public:
    // Zinnia and the template matcher, fused. Loaded on first use and kept
    // until the program ends. What cannot be loaded is named in one log line
    // with the paths tried; with no Zinnia model the recogniser is unavailable.
    static const Recognizer &instance();
    static const ZinniaRecognizer &zinnia();
    static const TemplateMatcher &templates();

    // The characters of the loaded word list: recognition puts them first
    // where they score close to the best. Call again for each new list; an
    // empty set prefers nothing.
    static void setPreferredCharacters(const QSet<QString> &characters);

    // Where the Zinnia model is looked for: the application folder first,
    // then the system's Tegaki models.
    static QStringList modelPaths();
    // Where the stroke templates are looked for: the application folder
    // first, then Debian's python3-kanjidraw.
    static QStringList templatePaths();
};
