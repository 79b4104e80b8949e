// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the text files that teachers bring: configuration files and
// word lists, many of them written on Windows in Shift_JIS.
#include "textdecode.h"

#include <QStringDecoder>
#include <QtGlobal>

namespace {

bool inRange(uchar c, uchar low, uchar high)
{
    return c >= low && c <= high;
}

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF, and a
// sequence cut off by the end of the data is invalid too.
bool isStrictUtf8(const QByteArray &bytes)
{
    const qsizetype n = bytes.size();
    const auto at = [&bytes](qsizetype i) { return uchar(bytes[i]); };
    qsizetype i = 0;
    while (i < n) {
        const uchar c = at(i);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int trail;
        uchar low = 0x80, high = 0xBF; // allowed range of the first trail byte
        if (inRange(c, 0xC2, 0xDF)) {
            trail = 1;
        } else if (inRange(c, 0xE0, 0xEF)) {
            trail = 2;
            if (c == 0xE0)
                low = 0xA0; // overlong
            else if (c == 0xED)
                high = 0x9F; // surrogates
        } else if (inRange(c, 0xF0, 0xF4)) {
            trail = 3;
            if (c == 0xF0)
                low = 0x90; // overlong
            else if (c == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return false; // stray continuation, C0/C1 overlong lead, F5..FF
        }
        if (n - i <= trail)
            return false;
        if (!inRange(at(i + 1), low, high))
            return false;
        for (int k = 2; k <= trail; ++k) {
            if (!inRange(at(i + k), 0x80, 0xBF))
                return false;
        }
        i += trail + 1;
    }
    return true;
}

// Done by hand because QStringDecoder passes lone surrogates through and
// silently drops an odd last byte.
QString decodeUtf16(const QByteArray &bytes, qsizetype from, bool bigEndian)
{
    const qsizetype units = (bytes.size() - from) / 2;
    const auto unit = [&](qsizetype k) -> char16_t {
        const uchar a = uchar(bytes[from + 2 * k]);
        const uchar b = uchar(bytes[from + 2 * k + 1]);
        return bigEndian ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
    };
    QString out;
    out.reserve(units + 1);
    for (qsizetype k = 0; k < units; ++k) {
        const char16_t u = unit(k);
        if (QChar::isHighSurrogate(u) && k + 1 < units && QChar::isLowSurrogate(unit(k + 1))) {
            out.append(QChar(u));
            out.append(QChar(unit(k + 1)));
            ++k;
        } else if (QChar::isSurrogate(u)) {
            out.append(QChar::ReplacementCharacter);
        } else {
            out.append(QChar(u));
        }
    }
    if ((bytes.size() - from) % 2 != 0)
        out.append(QChar::ReplacementCharacter);
    return out;
}

bool isCp932Lead(uchar c)
{
    return inRange(c, 0x81, 0x9F) || inRange(c, 0xE0, 0xFC);
}

bool isCp932Trail(uchar c)
{
    return inRange(c, 0x40, 0x7E) || inRange(c, 0x80, 0xFC);
}

// ICU's windows-31j swaps some control codes (0x1A, 0x1C, 0x7F) and marks
// bad bytes with U+001A, so ASCII is copied here as Windows maps it, and
// ICU only sees whole katakana and double-byte characters.
QString decodeCp932(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        qFatal("No windows-31j (code page 932) decoder in this Qt build; "
               "Shift_JIS files cannot be read. Qt needs ICU support.");

    QString out;
    out.reserve(bytes.size());
    QByteArray run;
    const auto flush = [&]() {
        if (run.isEmpty())
            return;
        QString part = decoder.decode(run);
        part.replace(QChar(0x1A), QChar::ReplacementCharacter);
        out += part;
        run.clear();
    };
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80) {
            flush();
            out.append(QChar(c));
        } else if (inRange(c, 0xA1, 0xDF)) {
            run.append(char(c));
        } else if (isCp932Lead(c) && i + 1 < n && isCp932Trail(uchar(bytes[i + 1]))) {
            run.append(char(c));
            run.append(bytes[i + 1]);
            ++i;
        } else {
            // A lead byte without its trail loses only itself; the next
            // byte is read afresh.
            flush();
            out.append(QChar::ReplacementCharacter);
        }
    }
    flush();
    return out;
}

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 with BOM");
    case TextEncoding::Utf16LeBom:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16BeBom:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::ShiftJis:
        return QStringLiteral("Shift_JIS (CP932)");
    }
    return QString();
}

QString decodeText(const QByteArray &bytes, TextEncoding *detected)
{
    TextEncoding encoding;
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = TextEncoding::Utf8Bom;
        // ConvertInitialBom: a second mark after ours is content, not skipped.
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        text = decoder.decode(QByteArrayView(bytes).sliced(3));
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = TextEncoding::Utf16LeBom;
        text = decodeUtf16(bytes, 2, false);
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = TextEncoding::Utf16BeBom;
        text = decodeUtf16(bytes, 2, true);
    } else if (isStrictUtf8(bytes)) {
        encoding = TextEncoding::Utf8;
        text = QString::fromUtf8(bytes);
    } else {
        encoding = TextEncoding::ShiftJis;
        text = decodeCp932(bytes);
    }
    if (detected)
        *detected = encoding;
    return text;
}
