// SPDX-License-Identifier: GPL-3.0-or-later
#include "printpage.h"

#include <QStringList>

namespace PrintPage {

QByteArray wrap(const QString &html)
{
    QString page = html;
    const qsizetype head = page.indexOf(QLatin1String("<head>"));
    if (head >= 0) {
        page.insert(head + 6, QStringLiteral("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                                             "<link rel=\"stylesheet\" href=\"/teacher/print.css\">"
                                             "<script src=\"/teacher/print.js\" defer></script>"));
    }
    const qsizetype body = page.indexOf(QLatin1String("<body>"));
    if (body >= 0)
        page.insert(body + 6, QStringLiteral("\n<div class=\"printbar\"><button id=\"printnow\" type=\"button\">いんさつ</button></div>"));
    return page.toUtf8();
}

QList<qint64> idsIn(const QString &path, const QString &prefix, const QString &suffix, int count)
{
    if (!path.startsWith(prefix) || !path.endsWith(suffix) || path.size() < prefix.size() + suffix.size())
        return {};
    const QStringList parts = path.mid(prefix.size(), path.size() - prefix.size() - suffix.size()).split(u'-');
    if (parts.size() != count)
        return {};
    QList<qint64> ids;
    for (const QString &p : parts) {
        // Digits only: no sign, no blanks, nothing toLongLong would forgive.
        if (p.isEmpty() || p.size() > 15)
            return {};
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                return {};
        }
        ids.append(p.toLongLong());
    }
    return ids;
}

} // namespace PrintPage
