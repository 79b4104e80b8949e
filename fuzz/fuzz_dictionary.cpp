// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the dictionary of readings, a file the program reads at
// start: decoded and parsed, with the invariants the review relies on.
#include "common/textdecode.h"
#include "learning/worddictionary.h"

#include <QByteArray>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const WordDictionary d = WordDictionary::parse(decodeText(bytes));
    for (qsizetype i = 0; i < d.size(); ++i) {
        const DictionaryEntry &e = d.entries().at(i);
        if (d.find(e.word) != &e || d.rank(e.word) != i)
            std::abort(); // an entry that cannot be found, or found elsewhere
        const std::optional<DictionaryEntry> made = d.lookUp(e.word);
        if (!made || d.wordAt(i) != e.word || made->readings != e.readings || made->meaning != e.meaning)
            std::abort(); // the packed entry read back differently
        const QList<uint> codes = e.word.toUcs4();
        if (codes.size() != 2 || !WordDictionary::isKanji(codes[0]) || !WordDictionary::isKanji(codes[1]))
            std::abort(); // a word that is not two kanji
        if (e.readings.isEmpty() || e.readings.size() > WordDictionary::MaxReadings)
            std::abort();
        for (const QString &r : e.readings) {
            if (!WordDictionary::isKana(r) || r.size() > WordDictionary::MaxReadingLength)
                std::abort(); // a reading that is not kana
        }
        if (e.meaning.size() > WordDictionary::MaxMeaningLength || e.meaning.contains(QLatin1Char('\t'))
            || e.meaning.contains(QLatin1Char('\n')))
            std::abort();
    }
    return 0;
}
