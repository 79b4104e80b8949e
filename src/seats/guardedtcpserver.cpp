// SPDX-License-Identifier: GPL-3.0-or-later
#include "guardedtcpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const char *const UpgradedProperty = "taruvoUpgraded";

QString key(const QHostAddress &address)
{
    // An IPv4 client of a dual-stack socket shows as ::ffff:a.b.c.d.
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

GuardedTcpServer::GuardedTcpServer(QObject *parent)
    : QTcpServer(parent)
{
    setMaxPendingConnections(MaxConnections);
}

int GuardedTcpServer::connectionsFrom(const QHostAddress &peer) const
{
    return m_perAddress.value(key(peer));
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QString from = key(socket->peerAddress());
    if (m_count >= MaxConnections || m_perAddress.value(from) >= MaxPerAddress) {
        ++m_refused;
        socket->abort();
        delete socket;
        return;
    }
    ++m_count;
    ++m_perAddress[from];
    m_sockets.insert(socket);
    connect(socket, &QObject::destroyed, this, [this, from, socket] {
        m_sockets.remove(socket);
        --m_count;
        if (--m_perAddress[from] <= 0)
            m_perAddress.remove(from);
    });
    socket->setReadBufferSize(HttpReadBuffer);

    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(HttpDeadlineMs, socket, [guarded] {
        if (guarded && !guarded->property(UpgradedProperty).toBool())
            guarded->abort();
    });
    // Checked on every arrival, before the web server answers it: a client
    // that asks and asks without reading piles up answers here.
    connect(socket, &QTcpSocket::readyRead, socket, [guarded] {
        if (guarded && guarded->bytesToWrite() > MaxUnsent)
            guarded->abort();
    });
    addPendingConnection(socket);
}

QTcpSocket *GuardedTcpServer::find(const QHostAddress &peer, quint16 peerPort) const
{
    for (QTcpSocket *s : m_sockets) {
        if (s->peerPort() == peerPort && s->peerAddress().isEqual(peer, QHostAddress::TolerantConversion))
            return s;
    }
    return nullptr;
}

void GuardedTcpServer::upgraded(const QHostAddress &peer, quint16 peerPort)
{
    if (QTcpSocket *socket = find(peer, peerPort)) {
        socket->setProperty(UpgradedProperty, true);
        socket->setReadBufferSize(WebSocketReadBuffer);
    }
}
