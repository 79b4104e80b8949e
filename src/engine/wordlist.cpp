// SPDX-License-Identifier: GPL-3.0-or-later
#include "wordlist.h"

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

void WordList::load(const QStringList &lines)
{
    clear();
    m_words.reserve(lines.size() / 2);
    QString word;
    for (const QString &line : lines) {
        if (classify(line, &word) == Line::Word) {
            m_words.append(word);
            ++m_index[word.toCaseFolded()];
        }
    }
}

void WordList::clear()
{
    m_words.clear();
    m_index.clear();
}

bool WordList::contains(const QString &text) const
{
    return m_index.contains(text.toCaseFolded());
}
