// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostsocket.h"

#include "seats/guardedtcpserver.h"

#include <QJsonDocument>
#include <QNetworkRequest>
#include <QWebSocket>

HostSocket::HostSocket(std::unique_ptr<QWebSocket> socket, const QHostAddress &peer, int maxBytes, double perSecond,
                       double burst, QObject *parent)
    : QObject(parent)
    , m_socket(std::move(socket))
    , m_peer(peer)
    , m_perSecond(perSecond)
    , m_burst(burst)
    , m_tokens(burst)
{
    m_socket->setParent(nullptr);
    m_socket->setMaxAllowedIncomingFrameSize(quint64(maxBytes));
    m_socket->setMaxAllowedIncomingMessageSize(quint64(maxBytes));
    m_lastHeard.start();
    m_bucketClock.start();
    connect(m_socket.get(), &QWebSocket::textMessageReceived, this, [this](const QString &text) {
        if (m_ended)
            return;
        m_lastHeard.restart();
        if (takeToken())
            emit message(text.toUtf8());
    });
    connect(m_socket.get(), &QWebSocket::binaryMessageReceived, this, [this](const QByteArray &) {
        if (!m_ended && takeToken())
            refuseMessage(QStringLiteral("binary messages are not accepted; send JSON text"));
    });
    connect(m_socket.get(), &QWebSocket::pong, this, [this] { m_lastHeard.restart(); });
    connect(m_socket.get(), &QWebSocket::disconnected, this, &HostSocket::ended);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(DeadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] { refuse(QStringLiteral("late"), QStringLiteral("too slow")); });
    m_deadline.start();
}

HostSocket::~HostSocket()
{
    if (m_socket)
        m_socket->disconnect(this);
}

QString HostSocket::header(const QByteArray &name) const
{
    return QString::fromLatin1(m_socket->request().rawHeader(name));
}

QHostAddress HostSocket::socketPeer() const
{
    return m_socket->peerAddress();
}

quint16 HostSocket::socketPort() const
{
    return m_socket->peerPort();
}

qint64 HostSocket::bytesToWrite() const
{
    return m_ended ? 0 : m_socket->bytesToWrite();
}

void HostSocket::send(const QJsonObject &message)
{
    if (!m_ended)
        m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void HostSocket::refuse(const QString &reason, const QString &why)
{
    if (m_ended)
        return;
    send({{QStringLiteral("t"), QStringLiteral("refused")}, {QStringLiteral("reason"), reason},
          {QStringLiteral("why"), why}});
    m_deadline.stop();
    m_socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why.left(100));
    closeSoon();
}

void HostSocket::refuseMessage(const QString &why, qint64 id)
{
    if (++m_refused > MaxRefused) {
        emit misbehaved(m_identified ? GuardedTcpServer::CutWeight : 1);
        refuse(QStringLiteral("flood"), QStringLiteral("too many refused messages"));
        return;
    }
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("refused")}, {QStringLiteral("why"), why}};
    if (id >= 0)
        o.insert(QStringLiteral("id"), double(id));
    send(o);
}

void HostSocket::close(const QString &reason)
{
    if (m_ended)
        return;
    send({{QStringLiteral("t"), QStringLiteral("closed")}, {QStringLiteral("reason"), reason}});
    m_deadline.stop();
    m_socket->close(QWebSocketProtocol::CloseCodeNormal, reason.left(100));
    closeSoon();
}

void HostSocket::closeSoon()
{
    // A peer that does not answer the closing handshake is not waited for.
    QTimer::singleShot(3000, this, [this] {
        if (!m_ended) {
            m_socket->abort();
            ended();
        }
    });
}

void HostSocket::keepAlive()
{
    if (m_ended)
        return;
    if (m_lastHeard.elapsed() > SilenceMs) {
        m_socket->abort();
        ended();
        return;
    }
    m_socket->ping();
}

bool HostSocket::takeToken()
{
    const qint64 ms = m_bucketClock.restart();
    m_tokens = qMin(m_burst, m_tokens + double(ms) * m_perSecond / 1000.0);
    if (m_tokens >= 1) {
        m_tokens -= 1;
        m_toldFlood = false;
        return true;
    }
    if (++m_refused > MaxRefused) {
        emit misbehaved(m_identified ? GuardedTcpServer::CutWeight : 1);
        refuse(QStringLiteral("flood"), QStringLiteral("too many messages"));
        return false;
    }
    if (!m_toldFlood) {
        m_toldFlood = true;
        send({{QStringLiteral("t"), QStringLiteral("refused")},
              {QStringLiteral("why"), QStringLiteral("too many messages: at most %1 a second").arg(m_perSecond)}});
    }
    return false;
}

void HostSocket::ended()
{
    if (m_ended)
        return;
    m_ended = true;
    m_deadline.stop();
    if (m_socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
        emit misbehaved(m_identified ? GuardedTcpServer::CutWeight : 1);
    emit finished();
    deleteLater();
}
