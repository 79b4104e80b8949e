// SPDX-License-Identifier: GPL-3.0-or-later
#include "textfile.h"

#include <QFile>
#include <QFileInfo>

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
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("file not found");
        return result;
    }
    // Only regular files: a directory has no lines, and reading a FIFO or a
    // device could block for ever.
    if (!info.isFile()) {
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    if (info.size() > maxBytes) {
        result.error = QStringLiteral("file too large (%1 bytes; at most %2)").arg(info.size()).arg(maxBytes);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    // Read one byte more than allowed, in case the file grew meanwhile.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    if (bytes.size() > maxBytes) {
        result.error = QStringLiteral("file too large (at most %1 bytes)").arg(maxBytes);
        return result;
    }
    result.ok = true;
    result.lines = splitLines(decodeText(bytes, &result.encoding));
    return result;
}
