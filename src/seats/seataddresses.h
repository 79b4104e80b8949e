// SPDX-License-Identifier: GPL-3.0-or-later
// Where a device on the network finds the console's seats.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace SeatAddresses {

// The hosts a device can reach the server at: for a server listening
// everywhere, the IPv4 addresses of the network interfaces that are up
// (loopback only when there is no other); otherwise the address listened on.
QStringList hosts(const QHostAddress &listening);

// The page's address with the seat's code, as the QR code carries it:
// http://192.168.1.20:8700/#123456
QString joinUrl(const QString &host, quint16 port, const QString &code);

} // namespace SeatAddresses
