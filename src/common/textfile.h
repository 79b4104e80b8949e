// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a whole text file as decoded lines.
#pragma once

#include "textdecode.h"

#include <QString>
#include <QStringList>

// Word lists are small; anything this large is not one and would only
// exhaust memory.
inline constexpr qint64 MaxTextFileBytes = 128LL << 20;

struct TextLines
{
    bool ok = false;        // false: nothing could be read; error says why
    QString error;
    TextEncoding encoding = TextEncoding::Utf8;
    QStringList lines;
};

// Splits decoded text into lines ending at CR LF, LF or CR; a last line
// without a line end counts, an empty text has no lines.
QStringList splitLines(const QString &text);

// Reads (see readRegularFile), decodes (see decodeText) and splits a file
// of at most maxBytes. Anything readRegularFile refuses, or a larger file,
// gives ok = false, no lines and the reason.
TextLines readTextLines(const QString &path, qint64 maxBytes = MaxTextFileBytes);

