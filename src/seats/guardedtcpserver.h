// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket of the seats' server, with its limits.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// Accepts connections for the web server with limits that the web server
// itself does not set: how many connections at once, in all and from one
// address; what a connection may send before it is read (a GET or HEAD
// request line and headers, no body); how long it may stay before it
// becomes a seat's WebSocket; how much it may leave unread of what it is
// sent.
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
    // connections, and requests never finished, go after this.
    static constexpr int HttpDeadlineMs = 10000;
    // A client that does not read what it asked for is cut off.
    static constexpr qint64 MaxUnsent = 2 * 1024 * 1024;

    explicit GuardedTcpServer(QObject *parent = nullptr);

    // Addresses refused at once, without a word: cheaper than hearing them out.
    void setShunned(std::function<bool(const QHostAddress &)> shunned) { m_shunned = std::move(shunned); }
    // A host that serves a whole class takes more connections than a
    // console's two seats: limits in place of the ones above.
    void setLimits(int connections, int perAddress);
    // Addresses the limit per address does not apply to: a reverse proxy
    // that every device comes through.
    void setExempt(std::function<bool(const QHostAddress &)> exempt) { m_exempt = std::move(exempt); }

    // For tests: a shorter deadline for connections accepted from now on.
    void setHttpDeadlineMs(int ms) { m_deadlineMs = ms; }

    // A connection has become a WebSocket: no deadline any more, and room
    // for a whole message.
    void upgraded(const QHostAddress &peer, quint16 peerPort);
    // Connections open now, and from one address.
    int connectionCount() const;
    int connectionsFrom(const QHostAddress &peer) const;
    // Connections refused for the limits since listening began.
    int refusedCount() const { return m_refused; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    // The web server takes every signal of a socket it hands on, so what
    // is watched is watched again then.
    void watch(QTcpSocket *socket);
    void cut(QTcpSocket *socket);

    std::function<bool(const QHostAddress &)> m_shunned;
    std::function<bool(const QHostAddress &)> m_exempt;
    int m_maxConnections = MaxConnections;
    int m_maxPerAddress = MaxPerAddress;
    int m_deadlineMs = HttpDeadlineMs;
    int m_refused = 0;
    // Every socket accepted and not yet deleted, wherever it now lives.
    mutable QList<QPointer<QTcpSocket>> m_sockets;
};
