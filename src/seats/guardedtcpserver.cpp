// SPDX-License-Identifier: GPL-3.0-or-later
#include "guardedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

const char *const UpgradedProperty = "taruvoUpgraded";
const char *const CheckedProperty = "taruvoChecked";

bool sameAddress(const QHostAddress &a, const QHostAddress &b)
{
    // An IPv4 client of a dual-stack socket shows as ::ffff:a.b.c.d.
    return a.isEqual(b, QHostAddress::TolerantConversion);
}

} // namespace

GuardedTcpServer::GuardedTcpServer(QObject *parent)
    : QTcpServer(parent)
{
    setMaxPendingConnections(MaxConnections);
}

void GuardedTcpServer::setLimits(int connections, int perAddress)
{
    m_maxConnections = connections;
    m_maxPerAddress = perAddress;
    setMaxPendingConnections(connections);
}

int GuardedTcpServer::connectionCount() const
{
    m_sockets.removeAll(nullptr);
    return int(m_sockets.size());
}

int GuardedTcpServer::connectionsFrom(const QHostAddress &peer) const
{
    m_sockets.removeAll(nullptr);
    int n = 0;
    for (const QPointer<QTcpSocket> &s : m_sockets)
        n += sameAddress(s->peerAddress(), peer);
    return n;
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    const bool exempt = m_exempt && m_exempt(peer);
    if (connectionCount() >= m_maxConnections || (!exempt && connectionsFrom(peer) >= m_maxPerAddress)
        || (m_shunned && m_shunned(peer))) {
        ++m_refused;
        socket->abort();
        delete socket;
        return;
    }
    m_sockets.append(socket);
    socket->setReadBufferSize(HttpReadBuffer);
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(m_deadlineMs, socket, [this, guarded] {
        if (guarded && !guarded->property(UpgradedProperty).toBool())
            cut(guarded);
    });
    watch(socket);
    addPendingConnection(socket);
}

void GuardedTcpServer::watch(QTcpSocket *socket)
{
    // Checked on every arrival, before the web server reads it. The server
    // only answers GET and HEAD (a WebSocket starts with GET too), so
    // anything else is cut at once rather than parsed; and a client that
    // asks and asks without reading piles up answers here.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (!socket->isOpen())
            return;
        if (!socket->property(CheckedProperty).toBool()) {
            const QByteArray start = socket->peek(5);
            auto fits = [&start](const QByteArray &method) {
                const qsizetype n = qMin(start.size(), method.size());
                return start.left(n) == method.left(n);
            };
            if (!fits("GET ") && !fits("HEAD ")) {
                cut(socket);
                return;
            }
            socket->setProperty(CheckedProperty, start.size() == 5);
        }
        if (socket->bytesToWrite() > MaxUnsent)
            cut(socket);
    });
}

void GuardedTcpServer::cut(QTcpSocket *socket)
{
    const bool upgraded = socket->property(UpgradedProperty).toBool();
    // Nobody reads from it any more, not even later in this arrival.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->abort();
    // The web server forgets a socket whose request it could not parse;
    // one that is still the web server's goes here. A WebSocket's goes
    // with its WebSocket.
    if (!upgraded)
        socket->deleteLater();
}

void GuardedTcpServer::upgraded(const QHostAddress &peer, quint16 peerPort)
{
    m_sockets.removeAll(nullptr);
    for (const QPointer<QTcpSocket> &s : m_sockets) {
        if (s->peerPort() == peerPort && sameAddress(s->peerAddress(), peer)) {
            s->setProperty(UpgradedProperty, true);
            s->setProperty(CheckedProperty, true);
            s->setReadBufferSize(WebSocketReadBuffer);
            watch(s);
            return;
        }
    }
}
