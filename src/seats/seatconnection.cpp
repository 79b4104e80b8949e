// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatconnection.h"

#include "seats/guardedtcpserver.h"
#include "seats/remoteseat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

SeatConnection::SeatConnection(std::unique_ptr<QWebSocket> socket, QObject *parent)
    : QObject(parent)
    , m_socket(std::move(socket))
    , m_peer(m_socket->peerAddress())
    , m_peerPort(m_socket->peerPort())
{
    m_socket->setParent(nullptr);
    // A larger frame is refused from its header, before its payload is read.
    m_socket->setMaxAllowedIncomingFrameSize(JoinMaxBytes);
    m_socket->setMaxAllowedIncomingMessageSize(JoinMaxBytes);
    m_lastHeard.start();
    m_bucketClock.start();

    connect(m_socket.get(), &QWebSocket::textMessageReceived, this, &SeatConnection::received);
    connect(m_socket.get(), &QWebSocket::binaryMessageReceived, this, [this](const QByteArray &bytes) {
        if (!isJoined()) {
            fail(QStringLiteral("join"), QStringLiteral("join first"), 1);
            return;
        }
        if (takeToken(bytes.size()))
            refuseMessage(-1, QStringLiteral("binary messages are not accepted; send JSON text"));
    });
    connect(m_socket.get(), &QWebSocket::pong, this, [this] { m_lastHeard.restart(); });
    connect(m_socket.get(), &QWebSocket::disconnected, this, &SeatConnection::ended);

    m_joinDeadline.setSingleShot(true);
    m_joinDeadline.setInterval(JoinDeadlineMs);
    connect(&m_joinDeadline, &QTimer::timeout, this, [this] {
        if (!isJoined())
            fail(QStringLiteral("late"), QStringLiteral("no join in time"), 1);
    });
    m_joinDeadline.start();
}

SeatConnection::~SeatConnection()
{
    if (m_seat)
        m_seat->linkGone(this);
    if (m_socket)
        m_socket->disconnect(this);
}

void SeatConnection::attach(RemoteSeat *seat)
{
    m_seat = seat;
    m_joinDeadline.stop();
    m_socket->setMaxAllowedIncomingFrameSize(SeatMessage::MaxBytes);
    m_socket->setMaxAllowedIncomingMessageSize(SeatMessage::MaxBytes);
}

void SeatConnection::refuse(const QString &reason, const QString &why)
{
    send(QJsonDocument(QJsonObject{{QStringLiteral("t"), QStringLiteral("refused")},
                                   {QStringLiteral("reason"), reason},
                                   {QStringLiteral("why"), why}})
             .toJson(QJsonDocument::Compact));
    // The seat is left as its device dropped it.
    if (RemoteSeat *seat = m_seat) {
        m_seat = nullptr;
        seat->linkGone(this);
    }
    if (!m_ended) {
        m_socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why.left(100));
        closeSoon();
    }
}

int SeatConnection::cutWeight() const
{
    return isJoined() ? GuardedTcpServer::CutWeight : 1;
}

void SeatConnection::fail(const QString &reason, const QString &why, int weight)
{
    if (!m_faultTold) {
        m_faultTold = true;
        emit misbehaved(weight);
    }
    refuse(reason, why);
}

void SeatConnection::closeSoon()
{
    // A peer that does not answer the closing handshake is not waited for.
    QTimer::singleShot(3000, this, [this] {
        if (!m_ended) {
            m_socket->abort();
            ended();
        }
    });
}

void SeatConnection::keepAlive()
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

void SeatConnection::send(const QByteArray &message)
{
    if (m_ended)
        return;
    refill();
    m_bytes -= double(message.size());
    m_socket->sendTextMessage(QString::fromUtf8(message));
    // A device that does not read piles up what it is sent.
    if (m_socket->bytesToWrite() > GuardedTcpServer::MaxUnsent) {
        if (!m_faultTold) {
            m_faultTold = true;
            emit misbehaved(cutWeight());
        }
        m_socket->abort();
        ended();
    }
}

void SeatConnection::close(const QString &reason)
{
    // Called by the seat, which has let go of this link already.
    m_seat = nullptr;
    if (m_ended)
        return;
    send(QJsonDocument(QJsonObject{{QStringLiteral("t"), QStringLiteral("closed")},
                                   {QStringLiteral("reason"), reason}})
             .toJson(QJsonDocument::Compact));
    if (m_ended)
        return;
    m_socket->close(QWebSocketProtocol::CloseCodeNormal, reason.left(100));
    closeSoon();
}

void SeatConnection::refill()
{
    // Token buckets: refilled at the average rate, as deep as the burst.
    const qint64 ms = m_bucketClock.restart();
    m_tokens = qMin(MessageBurst, m_tokens + ms * MessagesPerSecond / 1000.0);
    m_bytes = qMin(ByteBurst, m_bytes + ms * BytesPerSecond / 1000.0);
}

bool SeatConnection::takeToken(qint64 bytes)
{
    refill();
    if (m_tokens >= 1 && m_bytes >= 0) {
        m_tokens -= 1;
        m_bytes -= double(bytes);
        m_toldFlood = false;
        return true;
    }
    if (++m_refused > MaxRefused) {
        fail(QStringLiteral("flood"), QStringLiteral("too many messages"), cutWeight());
        return false;
    }
    // Said once each time a bucket runs dry, not for every message dropped.
    if (!m_toldFlood) {
        m_toldFlood = true;
        const QString why = m_tokens < 1
            ? QStringLiteral("too many messages: at most %1 a second").arg(MessagesPerSecond)
            : QStringLiteral("too much data: at most %1 kB a second").arg(BytesPerSecond / 1024);
        send(QJsonDocument(QJsonObject{{QStringLiteral("t"), QStringLiteral("refused")}, {QStringLiteral("why"), why}})
                 .toJson(QJsonDocument::Compact));
    }
    return false;
}

void SeatConnection::refuseMessage(qint64 id, const QString &why)
{
    if (++m_refused > MaxRefused) {
        fail(QStringLiteral("flood"), QStringLiteral("too many refused messages"), cutWeight());
        return;
    }
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("refused")}, {QStringLiteral("why"), why}};
    if (id >= 0)
        o.insert(QStringLiteral("id"), double(id));
    send(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void SeatConnection::received(const QString &text)
{
    if (m_ended)
        return;
    m_lastHeard.restart();
    const QByteArray utf8 = text.toUtf8();
    if (!isJoined()) {
        // One small join, and nothing else, before a seat is taken.
        const SeatCommand command =
            utf8.size() <= JoinMaxBytes ? SeatMessage::parse(utf8) : SeatCommand();
        if (command.kind != SeatCommand::Join || m_joinAsked) {
            fail(QStringLiteral("join"), QStringLiteral("join first"), 1);
            return;
        }
        m_joinAsked = true;
        emit joinAsked(command);
        return;
    }
    if (!takeToken(utf8.size()))
        return;
    const SeatCommand command = SeatMessage::parse(utf8);
    if (command.kind == SeatCommand::Invalid) {
        refuseMessage(command.id, command.refusal);
        return;
    }
    if (command.kind == SeatCommand::Join) {
        refuseMessage(command.id, QStringLiteral("already joined"));
        return;
    }
    m_seat->handle(command);
}

void SeatConnection::ended()
{
    if (m_ended)
        return;
    m_ended = true;
    m_joinDeadline.stop();
    if (!m_faultTold) {
        // Closed for a message too large, or gone without ever asking to join.
        if (m_socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData) {
            m_faultTold = true;
            emit misbehaved(cutWeight());
        } else if (!m_joinAsked) {
            m_faultTold = true;
            emit misbehaved(1);
        }
    }
    if (RemoteSeat *seat = m_seat) {
        m_seat = nullptr;
        seat->linkGone(this);
    }
    emit finished();
    deleteLater();
}
