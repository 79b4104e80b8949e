// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultscsv.h"

#include "host/resultsstore.h"

#include <QStringList>

namespace ResultsCsv {

QString cell(const QString &text)
{
    QString t = text;
    if (!t.isEmpty()) {
        const QChar first = t.at(0);
        if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r'
            || first == u'＝' || first == u'＋' || first == u'－' || first == u'＠')
            t.prepend(u'\'');
    }
    t.replace(u'"', QStringLiteral("\"\""));
    return u'"' + t + u'"';
}

QString outcomeText(const QString &outcome)
{
    if (outcome == QLatin1String("win"))
        return QStringLiteral("かち");
    if (outcome == QLatin1String("lose"))
        return QStringLiteral("まけ");
    if (outcome == QLatin1String("draw"))
        return QStringLiteral("ひきわけ");
    if (outcome == QLatin1String("alone"))
        return QStringLiteral("ひとり");
    return QString();
}

QString stateText(const QString &state)
{
    if (state == QLatin1String("finished"))
        return QStringLiteral("終了");
    if (state == QLatin1String("interrupted"))
        return QStringLiteral("中断");
    if (state == QLatin1String("running"))
        return QStringLiteral("進行中");
    return state;
}

QByteArray make(const ClassResults &results)
{
    QStringList lines;
    lines << QStringList{QStringLiteral("クラスゲーム"), QStringLiteral("ラウンド"), QStringLiteral("名前"),
                         QStringLiteral("あいて"), QStringLiteral("見つけた単語"), QStringLiteral("単語の数"),
                         QStringLiteral("まちがい"), QStringLiteral("点数"), QStringLiteral("結果"),
                         QStringLiteral("状態")}
                 .join(u',');
    for (const ChildResult &r : results.rows) {
        lines << QStringList{cell(results.game.name),
                             QString::number(r.round),
                             cell(r.name),
                             cell(r.partner),
                             cell(r.wordsFound.join(u' ')),
                             QString::number(r.wordsFound.size()),
                             QString::number(r.wrongTries),
                             QString::number(r.score),
                             cell(outcomeText(r.outcome)),
                             cell(stateText(r.state))}
                     .join(u',');
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

} // namespace ResultsCsv
