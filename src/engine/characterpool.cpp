// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterpool.h"

#include "random.h"
#include "wordlist.h"

#include <cmath>
#include <utility>

namespace {

// floor(r * n), kept inside 0..n-1 even if a generator strays to r = 1.
int pick(UniformRandom &random, int n)
{
    const double r = random.next();
    const int k = int(std::floor(r * n));
    return k < 0 ? 0 : (k >= n ? n - 1 : k);
}

} // namespace

void CharacterPool::deal(const WordList &words, UniformRandom &random)
{
    clear();
    const int n = int(qMin<qsizetype>(words.size(), 0x7FFFFFFF));
    if (n < WordsPerGame)
        return;
    // The entries drawn so far: a game draws 18, whatever the list's length.
    QList<int> drawn;
    for (int draw = 0; draw < WordsPerGame; ++draw) {
        int k = pick(random, n);
        // A sound generator finds a free entry quickly; a broken one must not
        // hang the window, so after very many misses the next free entry
        // after k is taken.
        for (int misses = 0; drawn.contains(k); ++misses) {
            if (misses < 10000) {
                k = pick(random, n);
            } else {
                while (drawn.contains(k))
                    k = (k + 1) % n;
            }
        }
        const QString word = words.at(k);
        for (const QString &character : WordList::characters(word))
            m_entries.append({character, false});
        m_dealt.append(word);
        drawn.append(k);
    }
    for (int g = 0; g < Size && g < size(); ++g) {
        const int k = pick(random, Size);
        if (k != g && k < size())
            std::swap(m_entries[g].character, m_entries[k].character);
    }
}

int CharacterPool::lowestFree(const QString &character, int except) const
{
    for (int i = 0; i < size() && i < Size; ++i) {
        const Entry &e = m_entries.at(i);
        if (i != except && !e.used && e.character == character)
            return i;
    }
    return Size;
}

void CharacterPool::markUsed(int index)
{
    if (index >= 0 && index < size())
        m_entries[index].used = true;
}
