// SPDX-License-Identifier: GPL-3.0-or-later
// The one recogniser that every handwriting box of the program shares.
#pragma once

#include "engine/recognizer.h"

#include <QStringList>

class SharedRecognizer
{
public:
    // Loaded on first use and kept until the program ends. When the model
    // cannot be loaded, one line naming the paths tried goes to the log and
    // the recogniser stays unavailable.
    static const Recognizer &instance();

    // Where the model is looked for: the application folder first, then
    // the system's Tegaki models.
    static QStringList modelPaths();
};
