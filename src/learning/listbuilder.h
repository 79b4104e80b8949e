// SPDX-License-Identifier: GPL-3.0-or-later
// Word lists made from the kanji a class has learned.
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class WordDictionary;

// The kanji of a pasted text, each once, in the order they first appear;
// everything that is not a kanji (kana, letters, blanks, commas) is passed over.
QList<char32_t> kanjiOfText(QStringView text);

struct BuiltList
{
    // Words made only of the allowed kanji, the most common first.
    QStringList words;
    struct Suggestion
    {
        QString kanji;
        int addedWords = 0;
        QStringList examples; // the most common of the words it adds
    };
    // While words are fewer than a game needs: the kanji not yet allowed
    // that would add the most words, the most first.
    QList<Suggestion> suggestions;
};

// Chooses from the dictionary's words, which are the common two-kanji
// words in the order of how common they are.
class ListBuilder
{
public:
    static constexpr int SuggestionCount = 5;
    static constexpr int ExampleCount = 3;

    explicit ListBuilder(const WordDictionary &dictionary) : m_dictionary(dictionary) {}

    // The kanji a handwriting box can read; words with others are never
    // chosen nor suggested. By default every kanji.
    void setReadable(std::function<bool(char32_t)> readable) { m_readable = std::move(readable); }

    // The dictionary's kanji whose school year (1 to 6, 7 for the jōyō kanji
    // taught later; 0 for none) is one of years.
    QSet<char32_t> kanjiOfYears(const QSet<int> &years, const std::function<int(char32_t)> &yearOf) const;

    // The words made only of allowed kanji, at most maxWords of them (0: all);
    // suggestions when fewer than minWords.
    BuiltList build(const QSet<char32_t> &allowed, int maxWords = 0, int minWords = 18) const;

private:
    bool readable(char32_t c) const { return !m_readable || m_readable(c); }

    const WordDictionary &m_dictionary;
    std::function<bool(char32_t)> m_readable;
};

// Writes words as a word list (UTF-8, one a line) to path, whole or not at
// all; an existing file is kept unless replace is set. False and the reason
// when it cannot.
bool writeWordListFile(const QString &path, const QStringList &words, bool replace, QString *error);
