// SPDX-License-Identifier: GPL-3.0-or-later
// What a game leaves to learn from: its words with their readings, who
// found which, the words nobody found and each player's wrong tries.
#pragma once

#include "common/rules.h"
#include "engine/judge.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

class Game;
class WordDictionary;

struct ReviewWord
{
    QString word;
    QStringList readings; // empty when the dictionary lacks the word
    QString meaning;
    int foundBy = 0;      // 1 or 2; 0 when nobody found it
};

struct ReviewTry
{
    QString answer;
    Judgement::Outcome outcome = Judgement::NoCharacter;
    QStringList readings; // when the answer is a word of the dictionary
    QString meaning;
};

struct ReviewPlayer
{
    int score = 0;
    QString result;             // "かち！！", "まけ！！", "ひきわけ！！"; empty before the end
    QStringList found;          // correct answers, in the order given
    QList<ReviewTry> wrongTries; // at most Game::WrongTriesKept
    int wrongTryCount = 0;      // all of them
};

// A game as a record of it keeps it, for reviewing a game that is gone:
// what was dealt and what each player answered.
struct PlayedGame
{
    struct Player
    {
        int score = 0;
        QStringList found; // correct answers, in the order given
        QList<std::pair<QString, Judgement::Outcome>> wrongTries; // the ones kept
        int wrongTryCount = 0; // all of them
    };
    QStringList dealt; // in the order drawn
    Player players[Rules::Players];
    bool over = false; // ended by its limits or by hand: it has a result
};

// A review is a value: made once from the game at its end, it stays as it
// was while the players go on after the game.
class GameReview
{
public:
    // The game as it stands: its dealt words with readings from dictionary.
    static GameReview of(const Game &game, const WordDictionary &dictionary);
    // The same from a record of the game; wrong tries past
    // Game::WrongTriesKept are counted only, as a game keeps them.
    static GameReview of(const PlayedGame &game, const WordDictionary &dictionary);

    bool isEmpty() const { return m_words.isEmpty(); }
    // The words dealt for the game, in the order they were drawn.
    const QList<ReviewWord> &words() const { return m_words; }
    // Correct answers that were not dealt words (two dealt words' characters
    // that make a word of the list), with who found them.
    const QList<ReviewWord> &otherWords() const { return m_otherWords; }
    QList<ReviewWord> notFound() const;
    const ReviewPlayer &player(int player) const { return m_players[player == 1 ? 0 : 1]; }

    // The review for a browser page or the class host, as JSON: meanings
    // only when asked for. Its shape:
    //   {"words": [{"word", "readings": [...], "meaning"?, "foundBy": 0|1|2}],
    //    "otherWords": [same], "players": [{"player": 1|2, "score", "result",
    //    "found": [...], "wrongTries": [{"answer", "reason": "noCharacter"|
    //    "noWord", "text", "readings", "meaning"?}], "wrongTryCount"}]}
    QJsonObject toJson(bool meanings) const;
    // One player's review, for that player's own page: the same shape with
    // "player": player added, and the wrong tries of that player only (the
    // other's entry has none: a child sees its own mistakes, not its
    // opponent's). The wrong tries are cut to keep the whole within
    // maxBytes of compact JSON ("wrongTryCount" still counts all); empty
    // when even the words do not fit.
    QJsonObject playerJson(int player, bool meanings, qsizetype maxBytes) const;

    // What the player window said for a wrong outcome.
    static QString outcomeText(Judgement::Outcome outcome);

private:
    QList<ReviewWord> m_words;
    QList<ReviewWord> m_otherWords;
    ReviewPlayer m_players[Rules::Players];
};
