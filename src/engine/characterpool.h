// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/rules.h"

#include <QList>
#include <QString>
#include <QStringList>

class UniformRandom;
class WordList;

// The characters dealt onto the board: entry n (0..35) is shown on board
// button n + 1 of both player windows, and is free until a correct answer
// uses it.
class CharacterPool
{
public:
    static constexpr int Size = Rules::BoardPlaces;
    static constexpr int WordsPerGame = Rules::WordsPerGame;

    struct Entry
    {
        QString character; // one Unicode code point
        bool used = false;
    };

    // Draws 18 entries of words by index (an entry is never drawn twice in
    // one deal, though equal words on several lines can each be drawn),
    // splits them into 36 characters and shuffles them: for g = 0..35, swap
    // entry g with entry floor(r * 36). All entries start free.
    // Precondition: words.size() >= WordsPerGame.
    void deal(const WordList &words, UniformRandom &random);
    void clear()
    {
        m_entries.clear();
        m_dealt.clear();
    }

    int size() const { return int(m_entries.size()); }
    // The words of the last deal, in the order they were drawn.
    const QStringList &dealtWords() const { return m_dealt; }
    const Entry &at(int index) const { return m_entries.at(index); }

    // The lowest free index other than except whose character is
    // character, or Size when there is none.
    int lowestFree(const QString &character, int except = -1) const;
    void markUsed(int index);

private:
    QList<Entry> m_entries;
    QStringList m_dealt;
};
