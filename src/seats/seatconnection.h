// SPDX-License-Identifier: GPL-3.0-or-later
// One device's WebSocket: limits, liveness and the way to its seat.
#pragma once

#include "seats/seatlink.h"
#include "seats/seatmessage.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class QWebSocket;
class RemoteSeat;

// A page's WebSocket. Until it joins, it may only send one small join
// message, soon: anything else closes it, unread if large. Once joined, its
// commands go to its seat. Every message is checked for size, rate and
// form; a bad one is answered with a refusal that says why, and a
// connection that keeps sending too much is closed. What a joined device
// costs the console is bounded: the bytes it sends and the bytes sent to it
// (its commands cause them) share one allowance a second; past it, its
// commands are dropped until the allowance is back. A device that stops
// answering pings is cut off, which leaves its seat dropped rather than
// connected.
//
// misbehaved() tells the faults: one for a connection that never asked to
// join or broke the rules before joining, GuardedTcpServer::CutWeight for a
// joined device closed for flooding, for too large a message or for not
// reading.
class SeatConnection : public QObject, public SeatLink
{
    Q_OBJECT
public:
    // Messages a second a page may send on average, and in a burst.
    static constexpr double MessagesPerSecond = 40;
    static constexpr double MessageBurst = 80;
    // Refused messages beyond this close the connection.
    static constexpr int MaxRefused = 400;
    static constexpr int JoinDeadlineMs = 10000;
    // A join, its code and its token fit with room to spare.
    static constexpr int JoinMaxBytes = 256;
    // Bytes received and sent a second on average, and at once: room for a
    // child writing ten times as fast as children do, and for a whole seat
    // with its ink on joining.
    static constexpr double BytesPerSecond = 256 * 1024;
    static constexpr double ByteBurst = 1024 * 1024;
    // A device silent this long (no pong, no message) is gone.
    static constexpr int SilenceMs = 20000;

    explicit SeatConnection(std::unique_ptr<QWebSocket> socket, QObject *parent = nullptr);
    ~SeatConnection() override;

    QHostAddress peer() const { return m_peer; }
    quint16 peerPort() const { return m_peerPort; }
    bool isJoined() const { return !m_seat.isNull(); }

    // The seat it now speaks for.
    void attach(RemoteSeat *seat);
    // Refuses the connection: tells the page why, then closes it.
    // reason is a short word the page understands ("code", "taken" ...).
    void refuse(const QString &reason, const QString &why);

    // Pings the device, or cuts it off when it has been silent too long.
    void keepAlive();

    void send(const QByteArray &message) override;
    void close(const QString &reason) override;

signals:
    void joinAsked(const SeatCommand &command);
    // The peer broke the rules (a message too large, a flood, no join, not
    // reading), weighing this many faults.
    void misbehaved(int weight);
    // The connection has ended; it deletes itself later.
    void finished();

private:
    void received(const QString &text);
    bool takeToken(qint64 bytes);
    void refill();
    // Closes the connection for a fault, counted once.
    void fail(const QString &reason, const QString &why, int weight);
    int cutWeight() const;
    void refuseMessage(qint64 id, const QString &why);
    void ended();
    void closeSoon();

    std::unique_ptr<QWebSocket> m_socket;
    QHostAddress m_peer;
    quint16 m_peerPort = 0;
    QPointer<RemoteSeat> m_seat;
    QTimer m_joinDeadline;
    QElapsedTimer m_lastHeard;
    QElapsedTimer m_bucketClock;
    double m_tokens = MessageBurst;
    double m_bytes = ByteBurst;
    int m_refused = 0;
    bool m_ended = false;
    bool m_joinAsked = false;
    bool m_toldFlood = false;
    bool m_faultTold = false;
};
