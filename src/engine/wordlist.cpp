// SPDX-License-Identifier: GPL-3.0-or-later
#include "wordlist.h"

#include <QChar>
#include <algorithm>

namespace {

bool isBlank(char32_t c)
{
    return c == U' ' || c == U'\t' || c == U'\u3000';
}

bool isInvalid(char32_t c)
{
    // Controls and U+FFFD (what undecodable bytes became) are never part
    // of a word a player can write.
    return (c < 0x20) || (c >= 0x7F && c < 0xA0) || c == 0xFFFD;
}

constexpr quint64 MaxCount = (quint64(1) << 22) - 1;

// No character above this has a case.
constexpr char32_t LastCased = 0x1FFFF;

// One code point as text. QString::fromUcs4 would take a leading U+FEFF
// for a byte-order mark and drop it, turning a word into one character.
void append(QString &text, char32_t c)
{
    if (QChar::requiresSurrogates(c)) {
        text += QChar(QChar::highSurrogate(c));
        text += QChar(QChar::lowSurrogate(c));
    } else {
        text += QChar(char16_t(c));
    }
}

} // namespace

QString WordList::trimmed(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line.at(begin).unicode()))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1).unicode()))
        --end;
    return line.mid(begin, end - begin);
}

qsizetype WordList::characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()))
            ++count;
    }
    return count;
}

QStringList WordList::characters(const QString &text)
{
    QStringList out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(text.mid(i, 2));
            ++i;
        } else {
            out.append(text.mid(i, 1));
        }
    }
    return out;
}

WordList::Line WordList::classify(const QString &line, QString *word)
{
    const QString t = trimmed(line);
    if (t.isEmpty())
        return Line::Empty;
    const QList<uint> points = t.toUcs4();
    for (uint c : points) {
        if (isInvalid(c))
            return Line::InvalidCharacter;
    }
    if (points.size() == 1)
        return Line::TooShort;
    if (points.size() > 2) {
        // Two characters with blanks between them are a common slip.
        const bool blanks = std::any_of(points.begin(), points.end(), [](uint c) { return isBlank(c); });
        const auto nonBlank = std::count_if(points.begin(), points.end(), [](uint c) { return !isBlank(c); });
        return blanks && nonBlank == 2 ? Line::SpaceInside : Line::TooLong;
    }
    if (word)
        *word = t;
    return Line::Word;
}

// Building.

WordList::Builder::Builder()
    : m_mergeAt(FirstLook)
{
}

void WordList::Builder::add(QStringView text)
{
    const QChar *p = text.data();
    const QChar *const end = p + text.size();
    while (p != end) {
        // The common case at full speed: a line of two characters and its end.
        if (!m_highSurrogate && m_count == 0 && end - p >= 3) {
            const char16_t a = p[0].unicode(), b = p[1].unicode(), c = p[2].unicode();
            if ((c == u'\n' || c == u'\r') && a > 0xA0 && b > 0xA0 && !QChar::isSurrogate(a)
                && !QChar::isSurrogate(b) && !isBlank(a) && !isBlank(b) && a != 0xFFFD && b != 0xFFFD) {
                addWord(a, b);
                p += 3;
                continue;
            }
        }
        const char16_t u = (p++)->unicode();
        if (m_highSurrogate) {
            const char16_t high = m_highSurrogate;
            m_highSurrogate = 0;
            if (QChar::isLowSurrogate(u)) {
                character(QChar::surrogateToUcs4(high, u));
                continue;
            }
            character(0xFFFD); // a lone half
        }
        if (QChar::isHighSurrogate(u))
            m_highSurrogate = u;
        else if (QChar::isLowSurrogate(u))
            character(0xFFFD);
        else
            character(u);
    }
}

void WordList::Builder::character(char32_t c)
{
    if (c == U'\n' || c == U'\r') {
        endLine();
        return;
    }
    if (isBlank(c)) {
        if (m_count > 0)
            m_blankAfter = true;
        return;
    }
    // A character after a blank that follows a character: blanks inside.
    if (m_blankAfter || isInvalid(c) || m_count >= 2)
        m_notWord = true;
    if (m_count == 0)
        m_first = c;
    else if (m_count == 1)
        m_second = c;
    if (m_count < 3)
        ++m_count;
}

void WordList::Builder::endLine()
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        character(0xFFFD);
    }
    if (!m_notWord && m_count == 2)
        addWord(m_first, m_second);
    m_count = 0;
    m_blankAfter = false;
    m_notWord = false;
}

void WordList::Builder::addWord(char32_t first, char32_t second)
{
    if (m_entries.size() >= m_mergeAt) {
        // Repeated words are merged when the latest words repeat: a list of
        // few words repeated millions of times stays small, while a list of
        // distinct words is sorted only once, at the end.
        if (repeats())
            merge();
        m_mergeAt = qMax<size_t>(FirstLook, m_entries.size() * 2);
    }
    m_entries.push_back(key(first, second) << CountBits | 1);
}

bool WordList::Builder::repeats() const
{
    const size_t n = qMin<size_t>(m_entries.size(), 1 << 16);
    std::vector<quint64> latest(m_entries.end() - qsizetype(n), m_entries.end());
    std::sort(latest.begin(), latest.end());
    const size_t distinct = size_t(std::unique(latest.begin(), latest.end()) - latest.begin());
    return distinct * 4 < n * 3;
}

void WordList::Builder::merge()
{
    std::sort(m_entries.begin(), m_entries.end());
    size_t out = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const quint64 e = m_entries[i];
        if (out > 0) {
            quint64 &last = m_entries[out - 1];
            const quint64 room = MaxCount - (last & MaxCount);
            if (last >> CountBits == e >> CountBits && room > 0) {
                const quint64 moved = qMin(room, e & MaxCount);
                last += moved;
                if (moved == (e & MaxCount))
                    continue;
                m_entries[out++] = e - moved;
                continue;
            }
        }
        m_entries[out++] = e;
    }
    // Shrinking frees the blocks past the end; shrink_to_fit would copy.
    m_entries.resize(out);
}

WordList WordList::Builder::finish()
{
    endLine();
    merge();
    WordList list;
    list.m_entries = std::move(m_entries);
    m_entries = {};
    bool repeated = false;
    for (const quint64 e : list.m_entries) {
        list.m_size += qsizetype(e & MaxCount);
        repeated = repeated || (e & MaxCount) != 1;
    }
    if (repeated) {
        list.m_ends.reserve(list.m_entries.size());
        quint64 total = 0;
        for (const quint64 e : list.m_entries) {
            total += e & MaxCount;
            list.m_ends.push_back(quint32(qMin<quint64>(total, 0xFFFFFFFFu)));
        }
    }
    return list;
}

void WordList::load(const QStringList &lines)
{
    Builder builder;
    for (const QString &line : lines) {
        QString word;
        if (classify(line, &word) == Line::Word) {
            builder.add(word);
            builder.add(u"\n");
        }
    }
    *this = builder.finish();
}

void WordList::clear()
{
    *this = WordList();
}

// Reading.

QString WordList::text(quint64 entry)
{
    const quint64 k = entry >> CountBits;
    QString word;
    append(word, char32_t(k >> 21));
    append(word, char32_t(k & 0x1FFFFF));
    return word;
}

QString WordList::at(qsizetype index) const
{
    if (index < 0 || index >= m_size)
        return QString();
    if (m_ends.empty())
        return text(m_entries[size_t(index)]);
    const auto found = std::upper_bound(m_ends.begin(), m_ends.end(), quint64(index));
    return text(m_entries[size_t(found - m_ends.begin())]);
}

QStringList WordList::words() const
{
    QStringList out;
    out.reserve(m_size);
    for (const quint64 e : m_entries) {
        const QString word = text(e);
        for (quint64 copy = 0; copy < (e & MaxCount); ++copy)
            out.append(word);
    }
    return out;
}

QSet<QString> WordList::distinctCharacters() const
{
    QSet<char32_t> seen;
    for (const quint64 e : m_entries) {
        const quint64 k = e >> CountBits;
        seen.insert(char32_t(k >> 21));
        seen.insert(char32_t(k & 0x1FFFFF));
    }
    QSet<QString> out;
    out.reserve(seen.size());
    for (const char32_t c : seen) {
        QString character;
        append(character, c);
        out.insert(character);
    }
    return out;
}

QList<char32_t> WordList::caseVariants(char32_t c) const
{
    // Kanji and kana have no case: nothing else folds to them.
    if (QChar::toCaseFolded(c) == c && QChar::toUpper(c) == c && QChar::toLower(c) == c
        && QChar::toTitleCase(c) == c)
        return {c};
    if (m_folds.empty()) {
        for (char32_t o = 0; o <= LastCased; ++o) {
            const char32_t f = QChar::toCaseFolded(o);
            if (f != o)
                m_folds.emplace_back(f, o);
        }
        std::sort(m_folds.begin(), m_folds.end());
    }
    // Every character that folds as c does: its folded form and those that fold to it.
    const char32_t folded = QChar::toCaseFolded(c);
    QList<char32_t> out{folded};
    auto it = std::lower_bound(m_folds.begin(), m_folds.end(), std::make_pair(folded, char32_t(0)));
    for (; it != m_folds.end() && it->first == folded; ++it)
        out.append(it->second);
    return out;
}

bool WordList::contains(const QString &text) const
{
    const QList<uint> points = text.toUcs4();
    if (points.size() != 2 || m_entries.empty())
        return false;
    for (const char32_t first : caseVariants(points[0])) {
        for (const char32_t second : caseVariants(points[1])) {
            const quint64 wanted = key(first, second);
            const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), wanted,
                                                [](quint64 e, quint64 k) { return (e >> CountBits) < k; });
            if (found != m_entries.end() && (*found >> CountBits) == wanted)
                return true;
        }
    }
    return false;
}
