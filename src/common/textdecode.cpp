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
bool isStrictUtf8(QByteArrayView bytes)
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
QString decodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    const qsizetype units = bytes.size() / 2;
    const auto unit = [&](qsizetype k) -> char16_t {
        const uchar a = uchar(bytes[2 * k]);
        const uchar b = uchar(bytes[2 * k + 1]);
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
    if (bytes.size() % 2 != 0)
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
// Decodes from `from` up to the first character boundary at or after
// from + atLeast (or the end), which *end receives.
QString decodeCp932(QByteArrayView bytes, qsizetype from, qsizetype atLeast, qsizetype *end)
{
    QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        qFatal("No windows-31j (code page 932) decoder in this Qt build; "
               "Shift_JIS files cannot be read. Qt needs ICU support.");

    QString out;
    const qsizetype n = bytes.size();
    const qsizetype stop = atLeast < n - from ? from + atLeast : n;
    out.reserve(stop - from + 1);
    QByteArray run;
    const auto flush = [&]() {
        if (run.isEmpty())
            return;
        QString part = decoder.decode(run);
        part.replace(QChar(0x1A), QChar::ReplacementCharacter);
        out += part;
        run.clear();
    };
    qsizetype i = from;
    for (; i < n && i < stop; ++i) {
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
    if (end)
        *end = i;
    return out;
}

QString decodeUtf8(QByteArrayView bytes, bool afterMark)
{
    if (!afterMark)
        return QString::fromUtf8(bytes);
    // ConvertInitialBom: a second mark after ours is content, not skipped.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8Bom;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LeBom;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BeBom;
    return isStrictUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
}

qsizetype markLength(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return 3;
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom:
        return 2;
    default:
        return 0;
    }
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
    const TextEncoding encoding = detectEncoding(bytes);
    const QByteArrayView content = QByteArrayView(bytes).sliced(markLength(encoding));
    QString text;
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        text = decodeUtf8(content, encoding == TextEncoding::Utf8Bom);
        break;
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom:
        text = decodeUtf16(content, encoding == TextEncoding::Utf16BeBom);
        break;
    case TextEncoding::ShiftJis:
        text = decodeCp932(content, 0, content.size(), nullptr);
        break;
    }
    if (detected)
        *detected = encoding;
    return text;
}

PieceDecoder::PieceDecoder(QByteArrayView bytes)
    : m_bytes(bytes)
    , m_encoding(detectEncoding(bytes))
    , m_pos(markLength(m_encoding))
{
}

QString PieceDecoder::next(qsizetype bytes)
{
    const qsizetype n = m_bytes.size();
    if (m_pos >= n)
        return QString();
    bytes = qMax<qsizetype>(bytes, 4);
    qsizetype end = bytes < n - m_pos ? m_pos + bytes : n;
    QString piece;
    switch (m_encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        // Cut before the lead byte of a sequence that the cut would split;
        // a run of stray continuation bytes may be cut anywhere.
        if (end < n) {
            qsizetype p = end;
            for (int back = 0; back < 3 && p > m_pos && (uchar(m_bytes[p]) & 0xC0) == 0x80; ++back)
                --p;
            const uchar lead = uchar(m_bytes[p]);
            const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if ((lead & 0xC0) != 0x80 && p > m_pos && p + length > end)
                end = p;
        }
        piece = decodeUtf8(m_bytes.sliced(m_pos, end - m_pos), m_encoding == TextEncoding::Utf8Bom);
        break;
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom: {
        const bool big = m_encoding == TextEncoding::Utf16BeBom;
        if (end < n) {
            end = m_pos + (end - m_pos) / 2 * 2;
            // A pair of surrogates stays together.
            const qsizetype last = end - 2;
            const char16_t unit = big ? char16_t(uchar(m_bytes[last]) << 8 | uchar(m_bytes[last + 1]))
                                      : char16_t(uchar(m_bytes[last + 1]) << 8 | uchar(m_bytes[last]));
            if (QChar::isHighSurrogate(unit) && last > m_pos)
                end = last;
        }
        piece = decodeUtf16(m_bytes.sliced(m_pos, end - m_pos), big);
        break;
    }
    case TextEncoding::ShiftJis:
        piece = decodeCp932(m_bytes, m_pos, end - m_pos, &end);
        break;
    }
    m_pos = end;
    return piece;
}
