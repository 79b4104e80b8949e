// SPDX-License-Identifier: GPL-3.0-or-later
#include "classreview.h"

#include "host/resultsstore.h"
#include "learning/reviewhtml.h"
#include "learning/worddictionary.h"

namespace ClassReview {

PlayedGame played(const GameRecord &game)
{
    PlayedGame out;
    out.dealt = game.dealt;
    out.over = game.state == QLatin1String("finished");
    for (qsizetype i = 0; i < game.players.size() && i < Rules::Players; ++i) {
        const GameRecord::Player &from = game.players.at(i);
        PlayedGame::Player &p = out.players[i];
        p.score = from.score;
        int wrong = 0;
        for (const GameRecord::Answer &a : from.answers) {
            if (a.outcome == Judgement::Correct) {
                p.found << a.word;
                continue;
            }
            ++wrong;
            // A try kept without its reason is counted, not shown with a
            // reason it may not have had.
            if (a.reasonKnown)
                p.wrongTries.append({a.word, a.outcome});
        }
        p.wrongTryCount = qMax(from.wrongTries, wrong);
    }
    return out;
}

GameReview of(const GameRecord &game, const WordDictionary *dictionary)
{
    const WordDictionary none;
    return GameReview::of(played(game), dictionary ? *dictionary : none);
}

QString childPage(const GameRecord &game, qint64 childId, const WordDictionary *dictionary)
{
    int player = 0;
    for (qsizetype i = 0; i < game.players.size(); ++i) {
        if (game.players.at(i).childId == childId)
            player = int(i + 1);
    }
    if (!game.found || player == 0)
        return {};
    const GameReview review = of(game, dictionary);
    ReviewHtml::Options options;
    options.player = player;
    options.player1Name = game.players.value(0).name;
    options.player2Name = game.players.size() > 1 ? game.players.at(1).name : QStringLiteral("—");
    QString html = ReviewHtml::review(review, options);
    if (game.dealt.isEmpty()) {
        // Kept before the games' words were: what is known, and no claim
        // that every word was found.
        const QString note = QStringLiteral("<p><b>このゲームの ことばは のこっていません（前の版の 結果）。"
                                            "見つけた ことばと まちがいの 数だけ です。</b></p>\n");
        html.replace(QStringLiteral("<p>ありません。ぜんぶ見つけました！</p>\n"), QString());
        html.replace(QStringLiteral("<h2>だれも見つけなかったことば</h2>\n"), note);
    }
    return html;
}

QString sheetTitle(const GameRecord &game)
{
    return QStringLiteral("%1 ・ ラウンド %2").arg(game.className).arg(game.round);
}

QString sheetPage(const GameRecord &game, const WordDictionary *dictionary)
{
    if (!game.found || game.dealt.isEmpty())
        return {};
    return ReviewHtml::sheet(of(game, dictionary), sheetTitle(game));
}

} // namespace ClassReview
