// SPDX-License-Identifier: GPL-3.0-or-later
#include "gamereview.h"

#include "engine/game.h"
#include "learning/worddictionary.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

template <typename T>
void readingsOf(T &item, const QString &word, const WordDictionary &dictionary)
{
    if (std::optional<DictionaryEntry> entry = dictionary.lookUp(word)) {
        item.readings = std::move(entry->readings);
        item.meaning = std::move(entry->meaning);
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
    PlayedGame played;
    played.dealt = game.pool().dealtWords();
    for (int player = 1; player <= Rules::Players; ++player) {
        PlayedGame::Player &p = played.players[player - 1];
        p.score = game.score(player);
        p.found = game.answers(player);
        for (const Game::WrongTry &wrong : game.wrongTries(player))
            p.wrongTries.append({wrong.answer, wrong.outcome});
        p.wrongTryCount = game.wrongTryCount(player);
    }
    played.over = game.isOver();
    return of(played, dictionary);
}

GameReview GameReview::of(const PlayedGame &game, const WordDictionary &dictionary)
{
    GameReview review;
    for (const QString &word : game.dealt) {
        ReviewWord w;
        w.word = word;
        readingsOf(w, word, dictionary);
        review.m_words.append(w);
    }
    for (int player = 1; player <= Rules::Players; ++player) {
        const PlayedGame::Player &played = game.players[player - 1];
        ReviewPlayer &p = review.m_players[player - 1];
        p.score = played.score;
        for (const QString &answer : played.found) {
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
                readingsOf(other, answer, dictionary);
                review.m_otherWords.append(other);
            }
        }
        for (const auto &[answer, outcome] : played.wrongTries) {
            if (p.wrongTries.size() >= Game::WrongTriesKept)
                break;
            ReviewTry t;
            t.answer = answer.left(Game::WrongTryLength);
            if (!t.answer.isEmpty() && t.answer.back().isHighSurrogate())
                t.answer.chop(1);
            t.outcome = outcome;
            readingsOf(t, t.answer, dictionary);
            p.wrongTries.append(t);
        }
        p.wrongTryCount = qMax(played.wrongTryCount, int(p.wrongTries.size()));
    }
    if (game.over) {
        const GameResult result = decideGame(game.players[0].score, game.players[1].score);
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

namespace {

QJsonObject tryJson(const ReviewTry &t, bool meanings)
{
    QJsonObject o{{"answer", t.answer},
                  {"reason", t.outcome == Judgement::NoWord ? "noWord" : "noCharacter"},
                  {"text", GameReview::outcomeText(t.outcome)},
                  {"readings", QJsonArray::fromStringList(t.readings)}};
    if (meanings)
        o.insert(QStringLiteral("meaning"), t.meaning);
    return o;
}

QJsonObject playerEntry(int player, const ReviewPlayer &p)
{
    return QJsonObject{{"player", player},
                       {"score", p.score},
                       {"result", p.result},
                       {"found", QJsonArray::fromStringList(p.found)}};
}

qsizetype compactSize(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).size();
}

} // namespace

QJsonObject GameReview::toJson(bool meanings) const
{
    QJsonArray players;
    for (int player = 1; player <= Rules::Players; ++player) {
        const ReviewPlayer &p = this->player(player);
        QJsonArray tries;
        for (const ReviewTry &t : p.wrongTries)
            tries.append(tryJson(t, meanings));
        QJsonObject entry = playerEntry(player, p);
        entry.insert(QStringLiteral("wrongTries"), tries);
        entry.insert(QStringLiteral("wrongTryCount"), p.wrongTryCount);
        players.append(entry);
    }
    return QJsonObject{{"words", wordsJson(m_words, meanings)},
                       {"otherWords", wordsJson(m_otherWords, meanings)},
                       {"players", players}};
}

QJsonObject GameReview::playerJson(int player, bool meanings, qsizetype maxBytes) const
{
    player = player == 1 ? 1 : 2;
    QJsonArray players;
    for (int n = 1; n <= Rules::Players; ++n)
        players.append(playerEntry(n, this->player(n)));
    QJsonObject out{{"player", player},
                    {"words", wordsJson(m_words, meanings)},
                    {"otherWords", wordsJson(m_otherWords, meanings)}};
    const ReviewPlayer &own = this->player(player);
    QJsonObject entry = players.at(player - 1).toObject();
    entry.insert(QStringLiteral("wrongTries"), QJsonArray());
    entry.insert(QStringLiteral("wrongTryCount"), own.wrongTryCount);
    players.replace(player - 1, entry);
    out.insert(QStringLiteral("players"), players);
    qsizetype size = compactSize(out);
    if (size > maxBytes)
        return {};
    // Each try adds its compact form and, after the first, a comma.
    QJsonArray tries;
    for (const ReviewTry &t : own.wrongTries) {
        const QJsonObject o = tryJson(t, meanings);
        const qsizetype more = compactSize(o) + (tries.isEmpty() ? 0 : 1);
        if (size + more > maxBytes)
            break;
        size += more;
        tries.append(o);
    }
    entry.insert(QStringLiteral("wrongTries"), tries);
    players.replace(player - 1, entry);
    out.insert(QStringLiteral("players"), players);
    return out;
}
