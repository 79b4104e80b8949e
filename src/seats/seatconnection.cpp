// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatconnection.h"

#include "seats/remoteseat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

SeatConnection::SeatConnection(std::unique_ptr<QWebSocket> socket, QObject *parent)
    : QObject(parent)
    , m_socket(std::move(socket))
    , m_peer(m_socket->peerAddress())
{
    m_socket->setParent(nullptr);
    m_socket->setMaxAllowedIncomingFrameSize(SeatMessage::MaxBytes);
    m_socket->setMaxAllowedIncomingMessageSize(SeatMessage::MaxBytes);
    m_lastHeard.start();
    m_bucketClock.start();

    connect(m_socket.get(), &QWebSocket::textMessageReceived, this, &SeatConnection::received);
    connect(m_socket.get(), &QWebSocket::binaryMessageReceived, this, [this](const QByteArray &) {
        if (takeToken())
            refuseMessage(-1, QStringLiteral("binary messages are not accepted; send JSON text"));
    });
    connect(m_socket.get(), &QWebSocket::pong, this, [this] { m_lastHeard.restart(); });
    connect(m_socket.get(), &QWebSocket::disconnected, this, &SeatConnection::ended);

    m_joinDeadline.setSingleShot(true);
    m_joinDeadline.setInterval(JoinDeadlineMs);
    connect(&m_joinDeadline, &QTimer::timeout, this, [this] {
        if (!isJoined())
            refuse(QStringLiteral("late"), QStringLiteral("no join in time"));
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
    if (!m_ended)
        m_socket->sendTextMessage(QString::fromUtf8(message));
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
    m_socket->close(QWebSocketProtocol::CloseCodeNormal, reason.left(100));
    closeSoon();
}

bool SeatConnection::takeToken()
{
    // A token bucket: refilled at the average rate, as deep as the burst.
    const qint64 ms = m_bucketClock.restart();
    m_tokens = qMin(MessageBurst, m_tokens + ms * MessagesPerSecond / 1000.0);
    if (m_tokens >= 1) {
        m_tokens -= 1;
        m_toldFlood = false;
        return true;
    }
    if (++m_refused > MaxRefused) {
        emit misbehaved();
        refuse(QStringLiteral("flood"), QStringLiteral("too many messages"));
        return false;
    }
    // Said once each time the bucket runs dry, not for every message dropped.
    if (!m_toldFlood) {
        m_toldFlood = true;
        QJsonObject o{{QStringLiteral("t"), QStringLiteral("refused")},
                      {QStringLiteral("why"), QStringLiteral("too many messages: at most %1 a second").arg(MessagesPerSecond)}};
        send(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    return false;
}

void SeatConnection::refuseMessage(qint64 id, const QString &why)
{
    if (++m_refused > MaxRefused) {
        emit misbehaved();
        refuse(QStringLiteral("flood"), QStringLiteral("too many refused messages"));
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
    if (!takeToken())
        return;
    const SeatCommand command = SeatMessage::parse(text.toUtf8());
    if (command.kind == SeatCommand::Invalid) {
        refuseMessage(command.id, command.refusal);
        return;
    }
    if (command.kind == SeatCommand::Join) {
        if (isJoined()) {
            refuseMessage(command.id, QStringLiteral("already joined"));
            return;
        }
        if (m_joinAsked)
            return;
        m_joinAsked = true;
        emit joinAsked(command);
        return;
    }
    if (!isJoined()) {
        if (command.kind == SeatCommand::Ping)
            send(QByteArrayLiteral("{\"t\":\"pong\"}"));
        else
            refuseMessage(command.id, QStringLiteral("join first"));
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
    if (m_socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
        emit misbehaved();
    if (RemoteSeat *seat = m_seat) {
        m_seat = nullptr;
        seat->linkGone(this);
    }
    emit finished();
    deleteLater();
}
