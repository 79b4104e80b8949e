// SPDX-License-Identifier: GPL-3.0-or-later
// Readings and meanings of two-kanji words, for reviewing a game and for
// making word lists.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

struct DictionaryEntry
{
    QString word;         // two kanji
    QStringList readings; // in kana, the usual one first
    QString meaning;      // short English, may be empty
};

// The words of a dictionary file, in the file's order, which is the order
// of how common they are (the most common first).
//
// The file is UTF-8 text, one word a line: the word, a tab, its readings in
// kana separated by commas, a tab, and the meaning. Lines starting with '#'
// and empty lines are comments. A line that is not exactly that (a word not
// of two kanji, a reading not in kana, too many or too long readings, a
// meaning too long or with control characters) is skipped and counted, so
// that a damaged file shows no reading rather than a wrong one; of a word
// on several lines the first counts.
class WordDictionary
{
public:
    static constexpr qint64 MaxFileBytes = 8 << 20;
    static constexpr int MaxReadings = 8;
    static constexpr int MaxReadingLength = 32;
    static constexpr int MaxMeaningLength = 200;

    // The file's name, and where the program looks for it: beside the
    // program, then in the installation's data folder.
    static QString fileName();
    static QStringList paths();

    // Reads the file at path through the bounded reader; an empty
    // dictionary and the reason when it cannot be read.
    static WordDictionary read(const QString &path, QString *error = nullptr);
    // The first of paths() that can be read; *found gets its path.
    static WordDictionary readFirst(const QStringList &paths, QString *found = nullptr, QString *error = nullptr);
    static WordDictionary parse(const QString &text);

    // Null when the word is not in the dictionary.
    const DictionaryEntry *find(const QString &word) const;
    // 0 for the most common word; -1 when the word is not in the dictionary.
    int rank(const QString &word) const { return m_index.value(word, -1); }
    const QList<DictionaryEntry> &entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    // Lines that were neither entries nor comments.
    int skippedLines() const { return m_skipped; }

    // Whether c is a kanji as dictionary words are made of (CJK ideographs
    // and the iteration mark 々).
    static bool isKanji(char32_t c);
    static bool isKana(QStringView text);

private:
    bool addLine(QStringView line);

    QList<DictionaryEntry> m_entries;
    QHash<QString, int> m_index;
    int m_skipped = 0;
};
