// SPDX-License-Identifier: GPL-3.0-or-later
#include "classroute.h"

namespace ClassRoute {

int parse(QStringView text)
{
    if (text.size() != Digits)
        return -1;
    int n = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        n = n * 10 + (c.unicode() - '0');
    }
    return n >= Lowest && n <= Highest ? n : -1;
}

QString text(int route)
{
    if (route < Lowest || route > Highest)
        return {};
    return QStringLiteral("%1").arg(route, Digits, 10, QLatin1Char('0'));
}

int ofCode(const QString &code, int randomDigits)
{
    if (code.size() != randomDigits + Digits)
        return 0;
    return qMax(0, parse(QStringView(code).left(Digits)));
}

} // namespace ClassRoute
