// SPDX-License-Identifier: GPL-3.0-or-later
#include "guardedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace {

bool sameAddress(const QHostAddress &a, const QHostAddress &b)
{
    // An IPv4 client of a dual-stack socket shows as ::ffff:a.b.c.d.
    return a.isEqual(b, QHostAddress::TolerantConversion);
}

} // namespace

struct GuardedTcpServer::Watched
{
    enum class Stage { Http, WebSocket, Joined };

    QPointer<QTcpSocket> socket;
    // The key it is kept under; the pointer above is null once it is gone.
    QTcpSocket *key = nullptr;
    QHostAddress peer;
    quint16 port = 0;
    // Accepted as the n-th: smaller is older.
    quint64 order = 0;
    Stage stage = Stage::Http;
    // Something was sent back: a request was whole.
    bool answered = false;
    // The check of the web server's stage: connected as long as the web
    // server has the socket.
    QMetaObject::Connection httpCheck;
    // Checked as a WebSocket from now on.
    bool framesChecked = false;
    // Cut or closed, its faults told: it holds no slot any more.
    bool gone = false;
    HttpRequestCheck requests;
    WebSocketFrameCheck frames;
    // Of the WebSocket's bytes: how many were checked, and how many of those
    // the WebSocket had read when last looked at.
    qint64 checked = 0;
    qint64 readByWebSocket = 0;
    // What came in frames.
    qint64 frameBytes = 0;
    // What a joined WebSocket may still send now.
    double allowance = 0;
    qint64 allowanceAt = 0;
};

GuardedTcpServer::GuardedTcpServer(QObject *parent)
    : QTcpServer(parent)
{
    setMaxPendingConnections(MaxConnections);
    // A crowd that connects as fast as it can fills the kernel's queue of
    // connections not yet accepted; a device whose connection finds it full
    // waits a second for its retry.
    setListenBacklogSize(1024);
    m_clock.start();
}

GuardedTcpServer::~GuardedTcpServer() = default;

void GuardedTcpServer::purge() const
{
    for (auto it = m_watched.begin(); it != m_watched.end();)
        it = (*it)->socket && !(*it)->gone ? std::next(it) : m_watched.erase(it);
}

int GuardedTcpServer::connectionCount() const
{
    purge();
    return int(m_watched.size());
}

int GuardedTcpServer::connectionsFrom(const QHostAddress &peer) const
{
    purge();
    int n = 0;
    for (const WatchedPtr &w : std::as_const(m_watched))
        n += sameAddress(w->peer, peer);
    return n;
}

void GuardedTcpServer::fault(const QHostAddress &peer, int weight)
{
    if (m_standing && weight > 0)
        m_standing->fault(peer, weight);
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    // An address refused is told so before anything is made for it: a crowd
    // may connect thousands of times a second.
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_standing && ::getpeername(int(descriptor), reinterpret_cast<sockaddr *>(&address), &length) == 0
        && m_standing->refuses(QHostAddress(reinterpret_cast<const sockaddr *>(&address)))) {
        ++m_refused;
        ::close(int(descriptor));
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    if (!makeRoom(peer)) {
        ++m_refused;
        socket->abort();
        delete socket;
        return;
    }
    auto w = std::make_shared<Watched>();
    w->socket = socket;
    w->key = socket;
    w->peer = peer;
    w->port = socket->peerPort();
    w->order = ++m_accepted;
    m_watched.insert(socket, w);
    socket->setReadBufferSize(HttpReadBuffer);
    QTimer::singleShot(m_limits.httpDeadlineMs, socket, [this, w] {
        if (w->stage == Watched::Stage::Http && !w->gone)
            cut(w, w->answered ? 0 : 1);
    });
    watchHttp(w);
    addPendingConnection(socket);
}

bool GuardedTcpServer::makeRoom(const QHostAddress &peer)
{
    purge();
    // One address at its bound makes room among its own connections first.
    WatchedPtr own;
    int fromPeer = 0;
    for (const WatchedPtr &w : std::as_const(m_watched)) {
        if (!sameAddress(w->peer, peer))
            continue;
        ++fromPeer;
        if (w->stage != Watched::Stage::Joined && (!own || w->order < own->order))
            own = w;
    }
    if (fromPeer >= m_limits.maxPerAddress && !(m_exempt && m_exempt(peer))) {
        if (!own)
            return false;
        ++m_dropped;
        cut(own, own->stage == Watched::Stage::Http && !own->answered ? 1 : 0);
        return true;
    }
    if (m_watched.size() < m_limits.maxConnections)
        return true;
    // Full: the connection not joined whose address has the most faults,
    // then the most connections, and of those the oldest.
    QHash<QByteArray, int> perAddress, faults;
    auto key = [](const QHostAddress &a) { return a.toString().toLatin1(); };
    for (const WatchedPtr &w : std::as_const(m_watched))
        ++perAddress[key(w->peer)];
    WatchedPtr victim;
    std::tuple<int, int, qint64> worst{-1, -1, 0};
    for (const WatchedPtr &w : std::as_const(m_watched)) {
        if (w->stage == Watched::Stage::Joined)
            continue;
        const QByteArray k = key(w->peer);
        if (!faults.contains(k))
            faults.insert(k, m_standing ? m_standing->faultsOf(w->peer) : 0);
        const std::tuple<int, int, qint64> rank{faults.value(k), perAddress.value(k), -qint64(w->order)};
        if (!victim || rank > worst) {
            victim = w;
            worst = rank;
        }
    }
    if (!victim)
        return false;
    ++m_dropped;
    cut(victim, victim->stage == Watched::Stage::Http && !victim->answered ? 1 : 0);
    return true;
}

GuardedTcpServer::WatchedPtr GuardedTcpServer::find(const QHostAddress &peer, quint16 peerPort) const
{
    purge();
    for (const WatchedPtr &w : std::as_const(m_watched)) {
        if (w->port == peerPort && sameAddress(w->peer, peer))
            return w;
    }
    return nullptr;
}

void GuardedTcpServer::watchHttp(const WatchedPtr &w)
{
    QTcpSocket *socket = w->socket;
    // Connected before the web server's own, so it sees each arrival first.
    w->httpCheck = connect(socket, &QTcpSocket::readyRead, this, [this, w] { checkHttp(w); });
    connect(socket, &QTcpSocket::bytesWritten, this, [w] { w->answered = true; });
    connect(socket, &QTcpSocket::disconnected, this, [this, w] { ended(w); });
    connect(socket, &QObject::destroyed, this, [this, w] { ended(w); });
}

void GuardedTcpServer::checkHttp(const WatchedPtr &w)
{
    QTcpSocket *socket = w->socket;
    if (!socket || w->gone || !socket->isOpen())
        return;
    // The web server reads all there is at every arrival, so what is unread
    // now has just come.
    const int heads = w->requests.heads();
    if (!w->requests.feed(socket->peek(socket->bytesAvailable()))) {
        cut(w, 1);
        return;
    }
    // Pipelined requests of a client that does not read pile up answers.
    if (socket->bytesToWrite() > m_limits.maxUnsent) {
        cut(w, CutWeight);
        return;
    }
    // A whole request may be a WebSocket's handshake, which the web server
    // hands on at once: the WebSocket server reads it in a queued call, and
    // this one comes before.
    if (w->requests.heads() != heads)
        QMetaObject::invokeMethod(this, [this, w] { handedOn(w); }, Qt::QueuedConnection);
}

void GuardedTcpServer::handedOn(const WatchedPtr &w)
{
    QTcpSocket *socket = w->socket;
    // Still the web server's while the check it had is connected: the web
    // server lets go of every connection of a socket it hands on.
    if (!socket || w->gone || w->framesChecked || w->httpCheck)
        return;
    w->framesChecked = true;
    w->frames.limitFirstFrame(quint64(m_limits.firstMessageBytes));
    // What is unread is the handshake, checked already.
    w->checked = socket->bytesAvailable();
    w->readByWebSocket = 0;
    // Connected before the WebSocket's own reading, which is not made yet.
    connect(socket, &QTcpSocket::readyRead, this, [this, w] { checkWebSocket(w); });
    connect(socket, &QTcpSocket::disconnected, this, [this, w] { ended(w); });
    connect(socket, &QObject::destroyed, this, [this, w] { ended(w); });
}

void GuardedTcpServer::upgraded(const QHostAddress &peer, quint16 peerPort)
{
    const WatchedPtr w = find(peer, peerPort);
    if (!w)
        return;
    QTcpSocket *socket = w->socket;
    if (!w->framesChecked) {
        // Its frames would be read before they are checked.
        qWarning("taruvo: seats: a WebSocket came unchecked; closed");
        cut(w, 0);
        return;
    }
    w->stage = Watched::Stage::WebSocket;
    socket->setReadBufferSize(WebSocketReadBuffer);
    // The handshake has been read.
    w->readByWebSocket = w->checked - socket->bytesAvailable();
    // After the WebSocket's own reading: how far it read, and whether what
    // came joined a seat (a join and a command may come together).
    connect(socket, &QTcpSocket::readyRead, this, [this, w] {
        if (!w->socket || w->gone)
            return;
        w->readByWebSocket = w->checked - w->socket->bytesAvailable();
        if (w->stage != Watched::Stage::Joined && w->frameBytes > m_limits.unjoinedBytes)
            cut(w, 0);
    });
}

void GuardedTcpServer::joined(const QHostAddress &peer, quint16 peerPort)
{
    const WatchedPtr w = find(peer, peerPort);
    if (!w || w->stage != Watched::Stage::WebSocket)
        return;
    w->stage = Watched::Stage::Joined;
    w->allowance = m_limits.byteBurst;
    w->allowanceAt = m_clock.elapsed();
}

void GuardedTcpServer::checkWebSocket(const WatchedPtr &w)
{
    QTcpSocket *socket = w->socket;
    if (!socket || w->gone || !socket->isOpen())
        return;
    // Before it joins, its connection tells its faults itself.
    const bool joined = w->stage == Watched::Stage::Joined;
    const int weight = joined ? CutWeight : 0;
    const qint64 unread = socket->bytesAvailable();
    const qint64 fresh = unread - (w->checked - w->readByWebSocket);
    if (fresh < 0) {
        // Read by someone unseen: the checks can no longer tell what came.
        cut(w, 0);
        return;
    }
    if (fresh > 0) {
        w->checked += fresh;
        w->frameBytes += fresh;
        if (!w->frames.feed(socket->peek(unread).right(fresh))) {
            cut(w, weight);
            return;
        }
        if (joined) {
            const qint64 now = m_clock.elapsed();
            w->allowance = qMin(m_limits.byteBurst,
                                w->allowance + (now - w->allowanceAt) * m_limits.bytesPerSecond / 1000.0);
            w->allowanceAt = now;
            w->allowance -= double(fresh);
            if (w->allowance < 0) {
                cut(w, weight);
                return;
            }
        }
    }
    if (socket->bytesToWrite() > m_limits.maxUnsent)
        cut(w, weight);
}

void GuardedTcpServer::ended(const WatchedPtr &w)
{
    if (w->gone)
        return;
    w->gone = true;
    // A connection that came and went without a whole request.
    if (w->stage == Watched::Stage::Http && !w->answered)
        fault(w->peer, 1);
    m_watched.remove(w->key);
}

void GuardedTcpServer::cut(const WatchedPtr &w, int weight)
{
    if (w->gone)
        return;
    w->gone = true;
    fault(w->peer, weight);
    QTcpSocket *socket = w->socket;
    m_watched.remove(w->key);
    if (!socket)
        return;
    // Nobody reads from it any more, not even later in this arrival.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->abort();
    // The web server forgets a socket whose request it could not parse;
    // one that is still the web server's goes here. A WebSocket's goes
    // with its WebSocket.
    if (w->stage == Watched::Stage::Http)
        socket->deleteLater();
}
