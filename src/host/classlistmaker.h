// SPDX-License-Identifier: GPL-3.0-or-later
// Word lists a teacher makes on the host from the kanji the class has learned.
#pragma once

#include "common/rules.h"
#include "learning/listbuilder.h"

#include <QFuture>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>

class WordDictionary;

// Runs the list builder for a teacher's page: the kanji of school grades
// and/or kanji pasted, only the kanji a handwriting box can read. A list
// holds at most MaxWords words, the most common first. Lists are made one
// at a time off the caller's thread, so that a whole grade never holds up
// the games.
class ClassListMaker
{
public:
    static constexpr int MaxWords = 2000;
    static constexpr int MaxPastedCharacters = 4000;
    static constexpr int Grades = 7; // 1 to 6, and 7 for the jōyō kanji taught later

    struct Made
    {
        bool ok = false;       // false: the reason is in error
        QString error;
        int kanji = 0;         // kanji allowed, of the grades and pasted
        QString unreadable;    // pasted kanji no box can read, left out
        QStringList words;     // at most MaxWords
        QList<BuiltList::Suggestion> suggestions; // while words are too few for a game
        bool enough() const { return words.size() >= Rules::WordsPerGame; }
    };

    // dictionary may be null (no words at all); yearOf gives a kanji's
    // school grade (0 for none); readable may be empty (every kanji).
    // All three must outlive the maker.
    ClassListMaker(const WordDictionary *dictionary, std::function<int(char32_t)> yearOf,
                   std::function<bool(char32_t)> readable);
    // Waits for the lists being made.
    ~ClassListMaker();

    // grades: each 1 to Grades; pasted: any text, its kanji count. Refused
    // (ok false) when both are empty, a grade is out of range or the text
    // too long.
    Made make(const QSet<int> &grades, const QString &pasted) const;
    QFuture<Made> makeLater(const QSet<int> &grades, const QString &pasted);

private:
    const WordDictionary *m_dictionary;
    std::function<int(char32_t)> m_yearOf;
    std::function<bool(char32_t)> m_readable;
    QThreadPool m_pool;
};
