// SPDX-License-Identifier: GPL-3.0-or-later
#include "judge.h"

#include "characterpool.h"
#include "wordlist.h"

Judgement judge(const CharacterPool &pool, const WordList &words, const QString &answer)
{
    const QStringList chars = WordList::characters(answer);
    const QString firstChar = chars.value(0);
    const QString secondChar = chars.value(1);

    Judgement j;
    // An empty character matches no pool entry.
    j.first = firstChar.isEmpty() ? CharacterPool::Size : pool.lowestFree(firstChar);
    j.second = secondChar.isEmpty() ? CharacterPool::Size : pool.lowestFree(secondChar, j.first);
    if (j.first == CharacterPool::Size || j.second == CharacterPool::Size)
        j.outcome = Judgement::NoCharacter;
    else if (!words.contains(answer))
        j.outcome = Judgement::NoWord;
    else
        j.outcome = Judgement::Correct;
    return j;
}
