// SPDX-License-Identifier: GPL-3.0-or-later
// What a game tells the recogniser about a player's seat.
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <utility>

class CharacterPool;
class WordList;

// The characters still free on a player's board and the words of the list
// they make: only these can score, so a box reads them first where the ink
// allows. A value, copied to the recognition thread with each ink; an
// empty context (no game dealt) prefers nothing.
class ReadingContext
{
public:
    ReadingContext() = default;
    // freeEntries: the character of every free board place, a character
    // once per place.
    ReadingContext(const QStringList &freeEntries, const WordList &words);
    // The free places of the pool and the list, as the judge sees them.
    static ReadingContext of(const CharacterPool &pool, const WordList &words);

    bool isEmpty() const { return m_free.isEmpty(); }
    bool isFree(const QString &character) const { return m_free.contains(character); }
    // True when first followed by second would be judged correct now: a
    // word of the list whose characters are free on two places.
    bool isBoardWord(const QString &first, const QString &second) const;

    const QSet<QString> &freeCharacters() const { return m_free; }
    // Every board word, as (first, second), sorted.
    const QList<std::pair<QString, QString>> &boardWords() const { return m_words; }

    bool operator==(const ReadingContext &other) const
    {
        return m_free == other.m_free && m_words == other.m_words;
    }
    bool operator!=(const ReadingContext &other) const { return !(*this == other); }

private:
    QSet<QString> m_free;
    QList<std::pair<QString, QString>> m_words;
};

// How far a recogniser lets the context move a reading, in its own score
// units; a negative margin turns that rule off.
struct ContextMargins
{
    // A free board character goes first when it trails the best score by at
    // most `board` and scores at least `floor`.
    double board = -1;
    double floor = 0;
    // Two boxes read as a board word when its characters trail the best of
    // each box by at most `pair` together, at most `each` in either box, and
    // score at least `pairFloor`.
    double pair = -1;
    double each = -1;
    double pairFloor = 0;
};
