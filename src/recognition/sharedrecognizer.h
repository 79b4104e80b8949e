// SPDX-License-Identifier: GPL-3.0-or-later
// The one recogniser that every handwriting box of the program shares.
#pragma once

#include "engine/recognizer.h"

#include <QSet>
#include <QStringList>

class InkModelRecognizer;
class ZinniaRecognizer;
class TemplateMatcher;

class SharedRecognizer
{
public:
    // The ink model, Zinnia and the template matcher, fused. Loaded on
    // first use and kept until the program ends. What cannot be loaded is
    // named in one log line with the paths tried; with neither the ink
    // model nor Zinnia's the recogniser is unavailable.
    static const Recognizer &instance();
    static const InkModelRecognizer &inkModel();
    static const ZinniaRecognizer &zinnia();
    static const TemplateMatcher &templates();

    // The characters of the loaded word list: recognition puts them first
    // where they score close to the best. Call again for each new list; an
    // empty set prefers nothing.
    static void setPreferredCharacters(const QSet<QString> &characters);

    // Where the Zinnia model is looked for: the application folder first,
    // then the system's Tegaki models.
    static QStringList modelPaths();
    // Where the ink model is looked for: the application folder first, then
    // where the installation puts it.
    static QStringList inkModelPaths();
    // Where the stroke templates are looked for: the application folder
    // first, then Debian's python3-kanjidraw.
    static QStringList templatePaths();
};
