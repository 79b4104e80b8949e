// SPDX-License-Identifier: GPL-3.0-or-later
#include "reviewhtml.h"

#include "learning/gamereview.h"

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString readingsOf(const QStringList &readings)
{
    return esc(readings.join(QStringLiteral("・")));
}

QString playerName(const ReviewHtml::Options &o, int player)
{
    return player == 1 ? o.player1Name : o.player2Name;
}

QString wordRow(const ReviewWord &w, const ReviewHtml::Options &o, bool who)
{
    QString row = QStringLiteral("<tr><td style=\"font-size:20pt\">%1</td><td style=\"font-size:14pt\">%2</td>")
                      .arg(esc(w.word), readingsOf(w.readings));
    if (o.meanings)
        row += QStringLiteral("<td>%1</td>").arg(esc(w.meaning));
    if (who) {
        row += w.foundBy ? QStringLiteral("<td>%1</td>").arg(esc(playerName(o, w.foundBy)))
                         : QStringLiteral("<td>—</td>");
    }
    return row + QStringLiteral("</tr>\n");
}

QString wordTable(const QList<ReviewWord> &words, const ReviewHtml::Options &o, bool who)
{
    QString html = QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n<tr><th>ことば</th><th>よみ</th>");
    if (o.meanings)
        html += QStringLiteral("<th>意味 (English)</th>");
    if (who)
        html += QStringLiteral("<th>見つけた人</th>");
    html += QStringLiteral("</tr>\n");
    for (const ReviewWord &w : words)
        html += wordRow(w, o, who);
    return html + QStringLiteral("</table>\n");
}

} // namespace

QString ReviewHtml::review(const GameReview &review, const Options &o)
{
    const QList<int> players = o.player == 1 || o.player == 2 ? QList<int>{o.player} : QList<int>{1, 2};
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>ふりかえり</title></head><body>\n"
                                  "<h1>ふりかえり</h1>\n<p>");
    for (int player : players) {
        const ReviewPlayer &p = review.player(player);
        html += QStringLiteral("%1: %2 点 %3<br>\n").arg(esc(playerName(o, player))).arg(p.score).arg(esc(p.result));
    }
    html += QStringLiteral("</p>\n<h2>このゲームのことば</h2>\n") + wordTable(review.words(), o, true);

    const QList<ReviewWord> missed = review.notFound();
    html += QStringLiteral("<h2>だれも見つけなかったことば</h2>\n");
    html += missed.isEmpty() ? QStringLiteral("<p>ありません。ぜんぶ見つけました！</p>\n") : wordTable(missed, o, false);

    if (!review.otherWords().isEmpty())
        html += QStringLiteral("<h2>ほかに見つけたことば</h2>\n") + wordTable(review.otherWords(), o, true);

    for (int player : players) {
        const ReviewPlayer &p = review.player(player);
        html += QStringLiteral("<h2>%1 のまちがい</h2>\n").arg(esc(playerName(o, player)));
        if (p.wrongTries.isEmpty()) {
            html += QStringLiteral("<p>ありません。</p>\n");
            continue;
        }
        html += QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n"
                               "<tr><th>こたえ</th><th>けっか</th><th>よみ</th>");
        if (o.meanings)
            html += QStringLiteral("<th>意味 (English)</th>");
        html += QStringLiteral("</tr>\n");
        for (const ReviewTry &t : p.wrongTries) {
            html += QStringLiteral("<tr><td style=\"font-size:16pt\">%1</td><td>%2</td><td style=\"font-size:14pt\">%3</td>")
                        .arg(esc(t.answer), esc(GameReview::outcomeText(t.outcome)), readingsOf(t.readings));
            if (o.meanings)
                html += QStringLiteral("<td>%1</td>").arg(esc(t.meaning));
            html += QStringLiteral("</tr>\n");
        }
        html += QStringLiteral("</table>\n");
        if (p.wrongTryCount > p.wrongTries.size())
            html += QStringLiteral("<p>ほかに %1 回</p>\n").arg(p.wrongTryCount - p.wrongTries.size());
    }
    return html + QStringLiteral("</body></html>\n");
}

QString ReviewHtml::sheet(const GameReview &review, const QString &title, double scale)
{
    scale = qBound(0.1, scale, 1.0);
    const auto pt = [scale](double size) { return QString::number(size * scale, 'f', 1); };
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>%1</title></head><body>\n"
                                  "<h1 style=\"font-size:%2pt\">%1</h1>\n"
                                  "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"6\">\n")
                       .arg(esc(title), pt(22));
    const QList<ReviewWord> &words = review.words();
    const qsizetype rows = (words.size() + 1) / 2;
    // Down the first column, then the second, as a list is read.
    for (qsizetype r = 0; r < rows; ++r) {
        html += QStringLiteral("<tr>");
        for (qsizetype c = 0; c < 2; ++c) {
            const qsizetype i = c * rows + r;
            if (i >= words.size()) {
                html += QStringLiteral("<td width=\"50%\"></td>");
                continue;
            }
            const ReviewWord &w = words.at(i);
            html += QStringLiteral("<td width=\"50%\"><span style=\"font-size:%3pt\">%1</span>"
                                   "<br><span style=\"font-size:%4pt\">%2</span></td>")
                        .arg(esc(w.word), readingsOf(w.readings), pt(40), pt(22));
        }
        html += QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</table>\n</body></html>\n");
}
