// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket of the seats' server, with its limits.
#pragma once

#include "seats/streamchecks.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <functional>
#include <memory>

class QTcpSocket;

// What a connection guard needs to know of an address's conduct, and where
// it reports faults.
class AddressStanding
{
public:
    virtual ~AddressStanding() = default;
    // Not even accepted: the address has misbehaved too often lately.
    virtual bool refuses(const QHostAddress &peer) const = 0;
    // How much it has misbehaved lately; who is dropped first when full.
    virtual int faultsOf(const QHostAddress &peer) const = 0;
    virtual void fault(const QHostAddress &peer, int weight) = 0;
};

// Accepts connections for the web server with limits that the web server
// itself does not set:
// - how many connections at once, in all and from one address. When full,
//   a connection that has not joined a seat makes room: of the address with
//   the most faults, then with the most connections, the oldest. Joined
//   connections are never dropped for another, so a seat's own device
//   always gets back in, whoever holds the other slots.
// - what a connection may send: HTTP requests that start with GET or HEAD
//   and have no body (each request, however it is split); on a WebSocket,
//   masked frames only, little before it joins, and no more than a rate
//   after;
// - how long it may stay before it becomes a seat's WebSocket, and how much
//   it may leave unread of what it is sent.
// A connection cut for these, or that goes without ever being answered, is
// a fault of its address (reported to the AddressStanding); a joined device
// cut for not reading or for flooding weighs CutWeight faults.
//
// The web server and the WebSocket read after these checks: the checks see
// every byte first, however the reads are split.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 64;
    static constexpr int MaxPerAddress = 8;
    // A request line and its headers fit; a request body does not.
    static constexpr qint64 HttpReadBuffer = 16 * 1024;
    // A seat's messages are far smaller.
    static constexpr qint64 WebSocketReadBuffer = 128 * 1024;
    // A client that does not read what it asked for is cut off.
    static constexpr qint64 MaxUnsent = 2 * 1024 * 1024;
    // A joined device cut for not reading or for flooding: three of them
    // within the window and the address is not accepted for a while.
    static constexpr int CutWeight = 5;

    struct Limits
    {
        int maxConnections = MaxConnections;
        int maxPerAddress = MaxPerAddress;
        // A browser fetches the page in a few seconds; idle keep-alive
        // connections, and requests never finished, go after this.
        int httpDeadlineMs = 10000;
        qint64 maxUnsent = MaxUnsent;
        // What a WebSocket may send before it has joined: first a join, a
        // whole text message of at most this many bytes, then little more.
        qint64 firstMessageBytes = 256;
        qint64 unjoinedBytes = 2048;
        // What a joined WebSocket may send, on average and at once, frames
        // of every kind (pings too).
        double bytesPerSecond = 512 * 1024;
        double byteBurst = 2 * 1024 * 1024;
    };

    explicit GuardedTcpServer(QObject *parent = nullptr);
    ~GuardedTcpServer() override;

    // Where faults go and who is refused; may be null (nobody is, nothing is counted).
    void setStanding(AddressStanding *standing) { m_standing = standing; }
    const Limits &limits() const { return m_limits; }
    // Applies to connections accepted from now on.
    void setLimits(const Limits &limits) { m_limits = limits; }
    // For tests: a shorter deadline for connections accepted from now on.
    void setHttpDeadlineMs(int ms) { m_limits.httpDeadlineMs = ms; }
    // Addresses the limit per address does not apply to: a reverse proxy
    // that every device comes through.
    void setExempt(std::function<bool(const QHostAddress &)> exempt) { m_exempt = std::move(exempt); }

    // A connection has become a WebSocket: no deadline any more, and room
    // for a whole message.
    void upgraded(const QHostAddress &peer, quint16 peerPort);
    // A WebSocket has joined a seat: never dropped to make room.
    void joined(const QHostAddress &peer, quint16 peerPort);
    // Connections open now, and from one address.
    int connectionCount() const;
    int connectionsFrom(const QHostAddress &peer) const;
    // Connections refused for the limits since listening began, and
    // connections dropped to make room for newer ones.
    int refusedCount() const { return m_refused; }
    int droppedCount() const { return m_dropped; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Watched;
    using WatchedPtr = std::shared_ptr<Watched>;

    bool makeRoom(const QHostAddress &peer);
    WatchedPtr find(const QHostAddress &peer, quint16 peerPort) const;
    void watchHttp(const WatchedPtr &w);
    void handedOn(const WatchedPtr &w);
    void checkHttp(const WatchedPtr &w);
    void checkWebSocket(const WatchedPtr &w);
    void cut(const WatchedPtr &w, int weight);
    void ended(const WatchedPtr &w);
    void purge() const;
    void fault(const QHostAddress &peer, int weight);

    AddressStanding *m_standing = nullptr;
    std::function<bool(const QHostAddress &)> m_exempt;
    Limits m_limits;
    int m_refused = 0;
    int m_dropped = 0;
    quint64 m_accepted = 0;
    QElapsedTimer m_clock;
    // Every socket accepted and still open, wherever it now lives.
    mutable QHash<QTcpSocket *, WatchedPtr> m_watched;
};
