// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket of the seats' server, with its limits.
#pragma once

#include <QHash>
#include <QSet>
#include <QHostAddress>
#include <QTcpServer>

class QTcpSocket;

// Accepts connections for the web server with limits that the web server
// itself does not set: how many connections at once, in all and from one
// address; how much a connection may send before it is read; how long a
// connection may stay before it becomes a seat's WebSocket; how much it may
// leave unread of what it is sent.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 64;
    static constexpr int MaxPerAddress = 24;
    // A request line and its headers fit; a request body does not.
    static constexpr qint64 HttpReadBuffer = 16 * 1024;
    // A seat's messages are far smaller.
    static constexpr qint64 WebSocketReadBuffer = 128 * 1024;
    // A browser fetches the page in a few seconds; idle keep-alive
    // connections go after this.
    static constexpr int HttpDeadlineMs = 20000;
    // A client that does not read what it asked for is cut off.
    static constexpr qint64 MaxUnsent = 2 * 1024 * 1024;

    explicit GuardedTcpServer(QObject *parent = nullptr);

    // A connection has become a WebSocket: no deadline any more, and room
    // for a whole message.
    void upgraded(const QHostAddress &peer, quint16 peerPort);
    // Connections open now, and from one address.
    int connectionCount() const { return m_count; }
    int connectionsFrom(const QHostAddress &peer) const;
    // Connections refused for the limits since listening began.
    int refusedCount() const { return m_refused; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QTcpSocket *find(const QHostAddress &peer, quint16 peerPort) const;

    int m_count = 0;
    int m_refused = 0;
    QHash<QString, int> m_perAddress;
    // Every socket accepted and not yet gone, wherever it now lives.
    QSet<QTcpSocket *> m_sockets;
};
