// SPDX-License-Identifier: GPL-3.0-or-later
// Readings and meanings of two-kanji words, for reviewing a game and for
// making word lists.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <iterator>
#include <memory>
#include <optional>

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
//
// The entries are kept packed, about the file's size: their text once, in
// UTF-8, and two arrays of offsets (the file's order and the words' order,
// for a binary search). An entry is made as strings only when asked for.
// Copies share the packed entries; a dictionary is read-only once made and
// may be read from several threads.
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

    // The word's entry, made anew; none when the word is not in the
    // dictionary.
    std::optional<DictionaryEntry> lookUp(const QString &word) const;
    // 0 for the most common word; -1 when the word is not in the dictionary.
    int rank(const QString &word) const;
    // The word and the entry of rank 0 <= rank < size().
    QString wordAt(qsizetype rank) const;
    DictionaryEntry entryAt(qsizetype rank) const;
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    // Lines that were neither entries nor comments.
    int skippedLines() const { return m_skipped; }

    // Entries that stay: an entry asked for here is made once and kept, as
    // strings, for as long as the dictionary or a copy of it is, and is the
    // same object however it is asked for. All of them take some seven
    // times the packed dictionary; code that runs for long uses lookUp().
    class Entries;
    // Null when the word is not in the dictionary.
    const DictionaryEntry *find(const QString &word) const;
    Entries entries() const;

    // Whether c is a kanji as dictionary words are made of (CJK ideographs
    // and the iteration mark 々).
    static bool isKanji(char32_t c);
    static bool isKana(QStringView text);

private:
    struct Packed;
    struct Kept;

    const DictionaryEntry &kept(qsizetype rank) const;

    std::shared_ptr<const Packed> m_packed;
    std::shared_ptr<Kept> m_kept;
    int m_skipped = 0;
};

// The entries in rank order, as kept by WordDictionary::find(); valid while
// the dictionary or a copy of it is.
class WordDictionary::Entries
{
public:
    class const_iterator
    {
    public:
        using value_type = DictionaryEntry;
        using difference_type = qsizetype;
        using reference = const DictionaryEntry &;
        using pointer = const DictionaryEntry *;
        using iterator_category = std::forward_iterator_tag;

        const_iterator() = default;
        reference operator*() const { return m_entries->at(m_rank); }
        pointer operator->() const { return &m_entries->at(m_rank); }
        const_iterator &operator++()
        {
            ++m_rank;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator was = *this;
            ++m_rank;
            return was;
        }
        bool operator==(const const_iterator &other) const { return m_rank == other.m_rank; }
        bool operator!=(const const_iterator &other) const { return m_rank != other.m_rank; }

    private:
        friend class Entries;
        const_iterator(const Entries *entries, qsizetype rank) : m_entries(entries), m_rank(rank) {}
        const Entries *m_entries = nullptr;
        qsizetype m_rank = 0;
    };

    // 0 <= rank < size()
    const DictionaryEntry &at(qsizetype rank) const { return m_dictionary.kept(rank); }
    qsizetype size() const { return m_dictionary.size(); }
    bool isEmpty() const { return size() == 0; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    friend class WordDictionary;
    explicit Entries(const WordDictionary &dictionary) : m_dictionary(dictionary) {}
    WordDictionary m_dictionary; // shares the packed entries and those kept
};
