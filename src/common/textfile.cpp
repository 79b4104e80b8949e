// SPDX-License-Identifier: GPL-3.0-or-later
#include "textfile.h"

#include "regularfile.h"

QStringList splitLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

TextLines readTextLines(const QString &path, qint64 maxBytes)
{
    TextLines result;
    const FileContents file = readRegularFile(path, maxBytes);
    if (!file.ok) {
        result.error = file.error;
        return result;
    }
    result.ok = true;
    result.lines = splitLines(decodeText(file.bytes, &result.encoding));
    return result;
}
