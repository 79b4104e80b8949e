// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatserver.h"

#include "engine/game.h"
#include "engine/recognitionqueue.h"
#include "seats/guardedtcpserver.h"
#include "seats/remoteseat.h"
#include "seats/seatconnection.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrl>
#include <QWebSocket>

namespace {

QString newCode(const QStringList &taken)
{
    for (;;) {
        const quint32 n = QRandomGenerator::system()->bounded(1000000u);
        const QString code = QStringLiteral("%1").arg(n, SeatMessage::CodeLength, 10, QLatin1Char('0'));
        if (!taken.contains(code))
            return code;
    }
}

QString newLinkCode(const QString &typed)
{
    QString code = typed;
    while (code.size() < SeatServer::LinkCodeLength)
        code += QChar(u'0' + QRandomGenerator::system()->bounded(10));
    return code;
}

// Compares without stopping at the first difference.
bool sameCode(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    ushort diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a.at(i).unicode() ^ b.at(i).unicode();
    return diff == 0;
}

JoinGuard::Limits guardLimits()
{
    JoinGuard::Limits limits;
    limits.wrongCodes = SeatServer::MaxWrongCodes;
    limits.faults = SeatServer::MaxFaults;
    limits.wrongCodesOverall = SeatServer::MaxWrongCodesOverall;
    limits.windowMs = SeatServer::WrongCodeWindowMs;
    return limits;
}

// A Host header that is only a host name or address and a port.
bool plainHost(const QByteArray &host)
{
    if (host.isEmpty() || host.size() > 255)
        return false;
    for (char c : host) {
        if (!(std::isalnum(uchar(c)) || c == '.' || c == ':' || c == '-' || c == '[' || c == ']'))
            return false;
    }
    return true;
}

} // namespace

SeatServer::SeatServer(Game &game, RecognitionQueue *recognition, const QList<int16_t> &players, QObject *parent)
    : QObject(parent)
    , m_game(&game)
    , m_guard(guardLimits())
{
    QStringList codes;
    for (int16_t player : players) {
        if (player != 1 && player != 2)
            continue;
        const QString code = newCode(codes);
        codes << code;
        m_linkCodes.insert(player, newLinkCode(code));
        RecognitionQueue *lane = nullptr;
        if (recognition) {
            m_lanes.push_back(std::make_unique<RecognitionQueue>(*recognition));
            lane = m_lanes.back().get();
        }
        auto *seat = new RemoteSeat(player, code, lane, this);
        m_seats.append(seat);
        connect(seat, &RemoteSeat::stateChanged, this, [this, player] { emit seatStateChanged(player); });
        connect(seat, &RemoteSeat::answerSubmitted, &game, &Game::SeigoHantei);
        game.addView(player, seat);
        game.present(player, seat);
    }
    m_keepAlive.setInterval(KeepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] {
        const QList<SeatConnection *> open = m_connections;
        for (SeatConnection *c : open)
            c->keepAlive();
    });
}

SeatServer::~SeatServer()
{
    m_keepAlive.stop();
    // Out of the game first, then the devices are told, then the sockets go.
    for (RemoteSeat *seat : m_seats) {
        if (m_game)
            m_game->removeView(seat);
    }
    qDeleteAll(m_seats);
    m_seats.clear();
    const QList<SeatConnection *> open = m_connections;
    m_connections.clear();
    for (SeatConnection *c : open) {
        c->disconnect(this);
        delete c;
    }
    delete m_http;
}

bool SeatServer::listen(const QHostAddress &address, quint16 firstPort)
{
    if (m_http)
        return true;
    m_address = address;
    auto *tcp = new GuardedTcpServer(this);
    bool open = false;
    for (quint32 p = firstPort; p < quint32(firstPort) + PortsTried && p <= 65535 && !open; ++p)
        open = tcp->listen(address, quint16(p));
    if (!open)
        open = tcp->listen(address, 0);
    if (!open) {
        m_error = tcp->errorString();
        delete tcp;
        return false;
    }
    m_tcp = tcp;
    m_tcp->setStanding(&m_guard);
    m_http = new QHttpServer(this);
    // The web server hands a WebSocket on only for a path with a route, and
    // only when the route writes nothing.
    m_http->route(QStringLiteral("/ws"), [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) != 0)
            serve(request, responder);
    });
    m_http->setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        serve(request, responder);
    });
    connect(m_http, &QAbstractHttpServer::newWebSocketConnection, this, &SeatServer::takeWebSockets);
    m_http->bind(tcp);
    m_keepAlive.start();
    return true;
}

bool SeatServer::isListening() const
{
    return m_tcp && m_tcp->isListening();
}

quint16 SeatServer::port() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

int SeatServer::connectionCount() const
{
    return m_tcp ? m_tcp->connectionCount() : 0;
}

RemoteSeat *SeatServer::seat(int player) const
{
    for (RemoteSeat *seat : m_seats) {
        if (seat->player() == player)
            return seat;
    }
    return nullptr;
}

void SeatServer::release(int player)
{
    if (RemoteSeat *s = seat(player))
        s->release();
}

void SeatServer::serve(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    using Status = QHttpServerResponder::StatusCode;
    // Pipelined requests of a client that does not read would pile up
    // answers without end.
    if (QTcpSocket *socket = responder.socket(); socket && socket->bytesToWrite() > GuardedTcpServer::MaxUnsent) {
        socket->abort();
        return;
    }
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    const QString path = request.url().path();
    const SeatFiles::File *file = m_files.find(path);
    Status status = Status::Ok;
    QByteArray mime = file ? file->mime : QByteArrayLiteral("text/plain; charset=utf-8");
    QByteArray body;
    if (!head && request.method() != QHttpServerRequest::Method::Get) {
        status = Status::MethodNotAllowed;
        body = "only GET and HEAD\n";
    } else if (path == QLatin1String("/ws")) {
        status = Status::BadRequest;
        body = "WebSockets only\n";
        mime = "text/plain; charset=utf-8";
    } else if (!file) {
        status = Status::NotFound;
        body = "not found\n";
        mime = "text/plain; charset=utf-8";
    } else {
        body = file->bytes;
    }
    QByteArray connectSource = "'self'";
    const QByteArray host = request.value("host");
    if (plainHost(host))
        connectSource += " ws://" + host;
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", mime);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                          "media-src 'self'; connect-src " + connectSource
                              + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    if (status == Status::MethodNotAllowed)
        responder.writeHeader("Allow", "GET, HEAD");
    if (!head)
        responder.writeBody(body);
    else
        responder.writeBody(QByteArray());
}

void SeatServer::takeWebSockets()
{
    while (m_http && m_http->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_http->nextPendingWebSocketConnection();
        if (!socket)
            continue;
        m_tcp->upgraded(socket->peerAddress(), socket->peerPort());
        const QUrl url = socket->requestUrl();
        const QString origin = socket->origin();
        const QString host = socket->request().rawHeader("Host");
        auto *connection = new SeatConnection(std::move(socket), this);
        m_connections.append(connection);
        connect(connection, &SeatConnection::finished, this, [this, connection] {
            m_connections.removeAll(connection);
        });
        connect(connection, &SeatConnection::joinAsked, this,
                [this, connection](const SeatCommand &command) { join(connection, command); });
        connect(connection, &SeatConnection::misbehaved, this,
                [this, connection](int weight) { m_guard.fault(connection->peer(), weight); });
        if (url.path() != QLatin1String("/ws")) {
            connection->refuse(QStringLiteral("path"), QStringLiteral("seats are at /ws"));
            continue;
        }
        // Another web site open on the device must not take a seat through it.
        if (!origin.isEmpty() && QUrl(origin).authority() != host) {
            connection->refuse(QStringLiteral("origin"), QStringLiteral("only the seat page may connect"));
            continue;
        }
    }
}

void SeatServer::refuseLikeWrongCode(SeatConnection *connection, JoinGuard::Offer offer)
{
    const QHostAddress peer = connection->peer();
    if (!m_guard.mayTry(peer, offer)) {
        m_guard.fault(peer, 1);
        connection->refuse(QStringLiteral("wait"), QStringLiteral("too many wrong codes; wait a minute"));
    } else {
        m_guard.wrongCode(peer);
        connection->refuse(QStringLiteral("code"), QStringLiteral("wrong code"));
    }
    emit codesTried();
}

void SeatServer::join(SeatConnection *connection, const SeatCommand &command)
{
    const QHostAddress peer = connection->peer();
    const bool link = command.code.size() == LinkCodeLength;
    const JoinGuard::Offer offer = link ? JoinGuard::Offer::LinkCode : JoinGuard::Offer::TypedCode;
    // Every seat's codes are compared, so that the time taken tells nothing.
    RemoteSeat *found = nullptr;
    for (RemoteSeat *seat : m_seats) {
        const QString code = link ? m_linkCodes.value(seat->player()) : seat->code();
        if (sameCode(code, command.code))
            found = seat;
    }
    // The device that holds the seat, back with its token: only its own
    // address's faults can hold it up, not what others guess.
    if (found && found->state() != RemoteSeat::State::Waiting && !command.token.isEmpty()
        && m_guard.mayTry(peer, JoinGuard::Offer::Token)) {
        if (found->admit(command.token, connection, nullptr) == RemoteSeat::Admission::Resumed) {
            connection->attach(found);
            m_tcp->joined(peer, connection->peerPort());
            return;
        }
    }
    // A seat held by another device is answered as a wrong code would be.
    if (!m_guard.mayTry(peer, offer) || !found || found->state() != RemoteSeat::State::Waiting) {
        refuseLikeWrongCode(connection, offer);
        return;
    }
    found->admit(command.token, connection, nullptr);
    connection->attach(found);
    m_tcp->joined(peer, connection->peerPort());
}
