// SPDX-License-Identifier: GPL-3.0-or-later
#include "seataddresses.h"

#include <QNetworkInterface>

namespace SeatAddresses {

QStringList hosts(const QHostAddress &listening)
{
    const bool everywhere = listening == QHostAddress(QHostAddress::Any)
                            || listening == QHostAddress(QHostAddress::AnyIPv4)
                            || listening == QHostAddress(QHostAddress::AnyIPv6);
    if (!everywhere)
        return {listening.toString()};
    QStringList found, loopback;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : interfaces) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry &e : i.addressEntries()) {
            const QHostAddress a = e.ip();
            if (a.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            (a.isLoopback() ? loopback : found) << a.toString();
        }
    }
    // Loopback reaches nothing but this PC: named only when there is nothing else.
    if (found.isEmpty())
        found << (loopback.isEmpty() ? QStringList{QStringLiteral("127.0.0.1")} : loopback);
    return found;
}

QString joinUrl(const QString &host, quint16 port, const QString &code)
{
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("http://%1:%2/#%3").arg(h).arg(port).arg(code);
}

} // namespace SeatAddresses
