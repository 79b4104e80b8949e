// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for what reads teachers' files: the decoder, the line
// splitter and the word classifier, with the invariants callers rely on.
#include "common/textdecode.h"
#include "common/textfile.h"
#include "engine/wordlist.h"

#include <QByteArray>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TextEncoding encoding;
    const QString text = decodeText(bytes, &encoding);
    const QStringList lines = splitLines(text);
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
            std::abort(); // a line end inside a line
    }
    WordList list;
    list.load(lines);
    for (const QString &word : list.words()) {
        if (WordList::characterCount(word) != 2 || !list.contains(word))
            std::abort(); // a word that is not two characters or cannot be found
        if (WordList::characters(word).join(QString()) != word)
            std::abort(); // splitting into characters lost something
    }
    // Decoded and read a piece at a time, as large lists are, the text and
    // the words are the same.
    // Small pieces cut anywhere; a large input in some 64 pieces.
    const qsizetype piece = qMax<qsizetype>(4 + (size > 0 ? data[0] % 61 : 0), qsizetype(size / 64));
    PieceDecoder decoder(bytes);
    WordList::Builder builder;
    QString joined;
    while (!decoder.atEnd()) {
        const QString part = decoder.next(piece);
        joined += part;
        builder.add(part);
    }
    if (joined != text || decoder.encoding() != encoding)
        std::abort(); // the pieces decode differently from the whole
    if (builder.finish().words() != list.words())
        std::abort(); // the piecewise reader keeps other words than the line rules
    // Valid UTF-8 without a mark must decode losslessly.
    if (encoding == TextEncoding::Utf8 && text.toUtf8() != bytes)
        std::abort();
    return 0;
}
