// SPDX-License-Identifier: GPL-3.0-or-later
#include "gamereview.h"

#include "engine/game.h"
#include "learning/worddictionary.h"

#include <QJsonArray>

namespace {

template <typename T>
void lookUp(T &item, const QString &word, const WordDictionary &dictionary)
{
    if (const DictionaryEntry *entry = dictionary.find(word)) {
        item.readings = entry->readings;
        item.meaning = entry->meaning;
    }
}

QJsonObject wordJson(const ReviewWord &w, bool meanings)
{
    QJsonObject o{{"word", w.word}, {"readings", QJsonArray::fromStringList(w.readings)}, {"foundBy", w.foundBy}};
    if (meanings)
        o.insert(QStringLiteral("meaning"), w.meaning);
    return o;
}

QJsonArray wordsJson(const QList<ReviewWord> &words, bool meanings)
{
    QJsonArray out;
    for (const ReviewWord &w : words)
        out.append(wordJson(w, meanings));
    return out;
}

} // namespace

QString GameReview::outcomeText(Judgement::Outcome outcome)
{
    return QString::fromUtf8(outcome == Judgement::NoWord ? Game::NoWordText
                                 : outcome == Judgement::Correct ? Game::CorrectText
                                                                 : Game::NoCharacterText);
}

GameReview GameReview::of(const Game &game, const WordDictionary &dictionary)
{
    GameReview review;
    for (const QString &word : game.pool().dealtWords()) {
        ReviewWord w;
        w.word = word;
        lookUp(w, word, dictionary);
        review.m_words.append(w);
    }
    for (int player = 1; player <= Rules::Players; ++player) {
        ReviewPlayer &p = review.m_players[player - 1];
        p.score = game.score(player);
        for (const QString &answer : game.answers(player)) {
            if (!answer.isEmpty())
                p.found << answer;
        }
        // Each correct answer claims one dealt word equal to it that nobody
        // has claimed yet (a list may deal the same word twice).
        for (const QString &answer : std::as_const(p.found)) {
            auto it = std::find_if(review.m_words.begin(), review.m_words.end(),
                                   [&](const ReviewWord &w) { return w.foundBy == 0 && w.word == answer; });
            if (it != review.m_words.end()) {
                it->foundBy = player;
            } else {
                ReviewWord other;
                other.word = answer;
                other.foundBy = player;
                lookUp(other, answer, dictionary);
                review.m_otherWords.append(other);
            }
        }
        for (const Game::WrongTry &wrong : game.wrongTries(player)) {
            ReviewTry t;
            t.answer = wrong.answer;
            t.outcome = wrong.outcome;
            lookUp(t, wrong.answer, dictionary);
            p.wrongTries.append(t);
        }
        p.wrongTryCount = game.wrongTryCount(player);
    }
    if (game.isOver()) {
        const GameResult result = decideGame(game.score(1), game.score(2));
        const auto text = [](const char *t) { return QString::fromUtf8(t); };
        review.m_players[0].result = text(result == GameResult::Player1Wins ? Game::WinText
                                          : result == GameResult::Player2Wins ? Game::LoseText
                                                                              : Game::DrawText);
        review.m_players[1].result = text(result == GameResult::Player2Wins ? Game::WinText
                                          : result == GameResult::Player1Wins ? Game::LoseText
                                                                              : Game::DrawText);
    }
    return review;
}

QList<ReviewWord> GameReview::notFound() const
{
    QList<ReviewWord> out;
    for (const ReviewWord &w : m_words) {
        if (w.foundBy == 0)
            out.append(w);
    }
    return out;
}

QJsonObject GameReview::toJson(bool meanings) const
{
    QJsonArray players;
    for (int player = 1; player <= Rules::Players; ++player) {
        const ReviewPlayer &p = this->player(player);
        QJsonArray tries;
        for (const ReviewTry &t : p.wrongTries) {
            QJsonObject o{{"answer", t.answer},
                          {"reason", t.outcome == Judgement::NoWord ? "noWord" : "noCharacter"},
                          {"text", outcomeText(t.outcome)},
                          {"readings", QJsonArray::fromStringList(t.readings)}};
            if (meanings)
                o.insert(QStringLiteral("meaning"), t.meaning);
            tries.append(o);
        }
        players.append(QJsonObject{{"player", player},
                                   {"score", p.score},
                                   {"result", p.result},
                                   {"found", QJsonArray::fromStringList(p.found)},
                                   {"wrongTries", tries},
                                   {"wrongTryCount", p.wrongTryCount}});
    }
    return QJsonObject{{"words", wordsJson(m_words, meanings)},
                       {"otherWords", wordsJson(m_otherWords, meanings)},
                       {"players", players}};
}
