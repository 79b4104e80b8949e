// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the text files that teachers bring: configuration files and
// word lists, many of them written on Windows in Shift_JIS.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

enum class TextEncoding {
    Utf8,       // valid UTF-8 without a byte-order mark (plain ASCII included)
    Utf8Bom,
    Utf16LeBom,
    Utf16BeBom,
    ShiftJis,   // code page 932, the Windows variant of Shift_JIS
};

// A short human-readable name ("UTF-8", "UTF-8 with BOM", "UTF-16LE", ...).
QString encodingName(TextEncoding encoding);

// Decodes bytes: a byte-order mark first (UTF-8, UTF-16 LE/BE), else valid
// UTF-8, else code page 932. The mark is not part of the result. Invalid
// sequences become U+FFFD; never fails.
QString decodeText(const QByteArray &bytes, TextEncoding *detected = nullptr);

// Decodes a text piece by piece exactly as decodeText decodes it whole, for
// texts too large to hold decoded at once. The encoding is found as
// decodeText finds it (which reads all of the bytes once); the bytes must
// outlive the decoder.
class PieceDecoder
{
public:
    explicit PieceDecoder(QByteArrayView bytes);
    TextEncoding encoding() const { return m_encoding; }
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    // The next piece: about `bytes` bytes, cut between whole characters.
    QString next(qsizetype bytes = 1 << 20);

private:
    QByteArrayView m_bytes;
    TextEncoding m_encoding;
    qsizetype m_pos;
};
