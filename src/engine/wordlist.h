// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <deque>
#include <utility>
#include <vector>

// The words of a chosen word-list file: every line that, trimmed, is
// exactly two characters. Characters are Unicode code points, so a kanji
// outside the Basic Multilingual Plane counts as one. A word on several
// lines is kept once per line. Look-up matches a whole entry, ignoring
// letter case.
//
// The list is compact, since a file may hold millions of words: each word
// is one integer (both characters packed), in one array sorted by the
// characters, which is also the list's order; repeated words share an entry
// that counts them. The order of the lines in the file is not kept.
class WordList
{
public:
    // Why a line is or is not a word.
    enum class Line {
        Word,
        Empty,
        TooShort,          // one character
        TooLong,           // three or more characters
        SpaceInside,       // two characters with blanks between them
        InvalidCharacter,  // control characters or undecodable bytes
    };

    // The line without leading and trailing blanks (space, tab, U+3000).
    static QString trimmed(const QString &line);
    // Classifies a line; for a Word, *word gets the trimmed word.
    static Line classify(const QString &line, QString *word = nullptr);
    // Number of Unicode code points (a surrogate pair counts once).
    static qsizetype characterCount(const QString &text);
    // The text's characters, one string per code point.
    static QStringList characters(const QString &text);

    // Collects the words of a text given piece by piece: lines end at CR or
    // LF and may run over pieces, and no string is made per line.
    class Builder
    {
    public:
        Builder();
        void add(QStringView text);
        // Ends the last line and hands over the list; the builder is empty after.
        WordList finish();

    private:
        void character(char32_t c);
        void endLine();
        void addWord(char32_t first, char32_t second);
        bool repeats() const;
        void merge();

        // Entries gathered before the first look for repeated words.
        static constexpr size_t FirstLook = 1 << 20;

        std::deque<quint64> m_entries;
        size_t m_mergeAt;
        char16_t m_highSurrogate = 0;
        char32_t m_first = 0, m_second = 0;
        int m_count = 0;        // characters of the line after leading blanks, up to 3
        bool m_blankAfter = false;
        bool m_notWord = false;
    };

    WordList() = default;
    WordList(const WordList &) = default;
    WordList &operator=(const WordList &) = default;
    // Moving never copies the words (futures copy what moves might throw).
    WordList(WordList &&other) noexcept { swap(other); }
    WordList &operator=(WordList &&other) noexcept
    {
        WordList taken;
        taken.swap(other);
        swap(taken);
        return *this;
    }
    void swap(WordList &other) noexcept
    {
        m_entries.swap(other.m_entries);
        m_ends.swap(other.m_ends);
        std::swap(m_size, other.m_size);
        m_folds.swap(other.m_folds);
    }

    // Replaces the list with the words among lines.
    void load(const QStringList &lines);
    void clear();

    // Lines that are words.
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Word `index` (0 <= index < size()) in the list's order.
    QString at(qsizetype index) const;
    // Every word in the list's order, each copy of a repeated one; for small
    // lists (a million words take some 50 MB as strings).
    QStringList words() const;
    // The characters that the words are made of, each once.
    QSet<QString> distinctCharacters() const;

    // Whether text is a whole entry of the list, ignoring letter case.
    bool contains(const QString &text) const;

private:
    static constexpr int CountBits = 22;
    static quint64 key(char32_t first, char32_t second) { return quint64(first) << 21 | second; }
    static QString text(quint64 entry);
    QList<char32_t> caseVariants(char32_t c) const;

    // (key << CountBits) | copies, sorted; a word with more copies than the
    // count holds has several entries.
    std::deque<quint64> m_entries;
    // Copies up to and including each entry; empty while every entry is one copy.
    std::vector<quint32> m_ends;
    qsizetype m_size = 0;
    // (folded, original) for every character whose case folding differs.
    mutable std::vector<std::pair<char32_t, char32_t>> m_folds;
};
