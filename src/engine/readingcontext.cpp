// SPDX-License-Identifier: GPL-3.0-or-later
#include "readingcontext.h"

#include "characterpool.h"
#include "wordlist.h"

#include <algorithm>

ReadingContext::ReadingContext(const QStringList &freeEntries, const WordList &words)
{
    for (const QString &c : freeEntries)
        m_free.insert(c);
    // Two different places, as the judge takes them: a doubled character
    // needs two free places. A board has 36 places, so this is at most 1260
    // look-ups.
    QSet<std::pair<QString, QString>> seen;
    for (qsizetype i = 0; i < freeEntries.size(); ++i) {
        for (qsizetype j = 0; j < freeEntries.size(); ++j) {
            const std::pair<QString, QString> word{freeEntries[i], freeEntries[j]};
            if (i == j || seen.contains(word))
                continue;
            seen.insert(word);
            if (words.contains(word.first + word.second))
                m_words.append(word);
        }
    }
    std::sort(m_words.begin(), m_words.end());
}

ReadingContext ReadingContext::of(const CharacterPool &pool, const WordList &words)
{
    QStringList free;
    for (int i = 0; i < pool.size() && i < CharacterPool::Size; ++i) {
        if (!pool.at(i).used)
            free << pool.at(i).character;
    }
    return ReadingContext(free, words);
}

bool ReadingContext::isBoardWord(const QString &first, const QString &second) const
{
    return std::binary_search(m_words.cbegin(), m_words.cend(), std::pair<QString, QString>{first, second});
}
