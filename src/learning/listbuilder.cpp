// SPDX-License-Identifier: GPL-3.0-or-later
#include "listbuilder.h"

#include "learning/worddictionary.h"

#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>

QList<char32_t> kanjiOfText(QStringView text)
{
    QList<char32_t> out;
    QSet<char32_t> seen;
    for (const uint c : text.toUcs4()) {
        // The iteration mark is no kanji of its own to learn.
        if (c != 0x3005 && WordDictionary::isKanji(c) && !seen.contains(c)) {
            seen.insert(c);
            out.append(c);
        }
    }
    return out;
}

QSet<char32_t> ListBuilder::kanjiOfYears(const QSet<int> &years, const std::function<int(char32_t)> &yearOf) const
{
    QSet<char32_t> out;
    for (qsizetype rank = 0; rank < m_dictionary.size(); ++rank) {
        for (const uint c : m_dictionary.wordAt(rank).toUcs4()) {
            if (years.contains(yearOf(c)))
                out.insert(c);
        }
    }
    return out;
}

BuiltList ListBuilder::build(const QSet<char32_t> &allowed, int maxWords, int minWords) const
{
    BuiltList out;
    // For each kanji not allowed: the words it would add, most common first.
    QHash<char32_t, QStringList> adds;
    for (qsizetype rank = 0; rank < m_dictionary.size(); ++rank) {
        const QString word = m_dictionary.wordAt(rank);
        const QList<uint> cs = word.toUcs4();
        if (cs.size() != 2 || !readable(cs[0]) || !readable(cs[1]))
            continue;
        const bool first = allowed.contains(cs[0]), second = allowed.contains(cs[1]);
        if (first && second) {
            if (maxWords <= 0 || out.words.size() < maxWords)
                out.words << word;
        } else if (first || second || cs[0] == cs[1]) {
            adds[first ? cs[1] : cs[0]] << word;
        }
    }
    if (out.words.size() >= minWords)
        return out;
    QList<char32_t> kanji = adds.keys();
    // The most words first; of equal counts, the kanji of the more common word.
    std::sort(kanji.begin(), kanji.end(), [&](char32_t a, char32_t b) {
        const QStringList &wa = adds[a], &wb = adds[b];
        if (wa.size() != wb.size())
            return wa.size() > wb.size();
        const int ra = m_dictionary.rank(wa.first()), rb = m_dictionary.rank(wb.first());
        return ra != rb ? ra < rb : a < b;
    });
    for (char32_t k : kanji.mid(0, SuggestionCount)) {
        const QStringList &words = adds[k];
        out.suggestions.append({QString::fromUcs4(&k, 1), int(words.size()), words.mid(0, ExampleCount)});
    }
    return out;
}

bool writeWordListFile(const QString &path, const QStringList &words, bool replace, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !replace) {
        if (error)
            *error = QStringLiteral("%1 exists already (--replace to overwrite it)").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(words.join(QLatin1Char('\n')).toUtf8() + '\n');
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
