// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The words of a chosen word-list file: every line that, trimmed, is
// exactly two characters. Characters are Unicode code points, so a kanji
// outside the Basic Multilingual Plane counts as one. A word on several
// lines is kept once per line. Look-up matches a whole entry, ignoring
// letter case, through an index built at load.
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

    // Replaces the list with the words among lines, in their order.
    void load(const QStringList &lines);
    void clear();

    qsizetype size() const { return m_words.size(); }
    bool isEmpty() const { return m_words.isEmpty(); }
    const QString &at(qsizetype index) const { return m_words.at(index); }
    const QStringList &words() const { return m_words; }

    // Whether text is a whole entry of the list, ignoring letter case.
    bool contains(const QString &text) const;

private:
    QStringList m_words;
    QHash<QString, int> m_index; // case-folded word -> count
};
