// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostserver.h"

#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classroute.h"
#include "host/classreview.h"
#include "host/resultscsv.h"
#include "host/resultsstore.h"
#include "hostweb/classview.h"
#include "hostweb/hostsocket.h"
#include "hostweb/lobbymessage.h"
#include "hostweb/printpage.h"
#include "hostweb/qrmatrix.h"
#include "hostweb/teacherdesk.h"
#include "hostweb/teachermessage.h"
#include "seats/guardedtcpserver.h"
#include "seats/remoteseat.h"
#include "seats/seatconnection.h"

#include <QDateTime>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>

namespace {

using Status = QHttpServerResponder::StatusCode;

QByteArray resource(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("taruvo-host: %s is missing from the program", qPrintable(name));
    return file.readAll();
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

QByteArray cookieValue(const QByteArray &header, const QByteArray &name)
{
    for (const QByteArray &part : header.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(name + '='))
            return p.mid(name.size() + 1);
    }
    return {};
}

// Wrong tries of class codes in a minute that make the teacher be told.
constexpr int GuessAlert = 10;

JoinGuard::Limits guardLimits(int wrongOverall)
{
    JoinGuard::Limits limits;
    limits.wrongCodes = HostServer::MaxWrongCodes;
    limits.faults = HostServer::MaxFaults;
    limits.wrongCodesOverall = wrongOverall;
    return limits;
}

} // namespace

// The guard as the listening socket sees it: a trusted proxy, which every
// device comes through, is never refused and never blamed.
class HostServer::Standing : public AddressStanding
{
public:
    explicit Standing(HostServer &server) : m_server(server) {}
    bool refuses(const QHostAddress &peer) const override
    {
        return !m_server.proxied(peer) && m_server.m_guard.refuses(peer);
    }
    int faultsOf(const QHostAddress &peer) const override
    {
        return m_server.proxied(peer) ? 0 : m_server.m_guard.faultsOf(peer);
    }
    void fault(const QHostAddress &peer, int weight) override
    {
        if (!m_server.proxied(peer))
            m_server.m_guard.fault(peer, weight);
    }

private:
    HostServer &m_server;
};

HostServer::HostServer(ClassHost &host, TeacherKey &key, ClassWordLists &lists, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_key(key)
    , m_lists(lists)
    , m_desk(new TeacherDesk(host, lists, this))
    , m_guard(guardLimits(MaxWrongCodesOverall))
    , m_keys(guardLimits(MaxWrongKeysOverall))
    , m_standing(std::make_unique<Standing>(*this))
{
    // The seat page as the console serves it, under /seat/, going back to
    // the class page wherever it would ask for a code.
    const SeatFiles seat;
    QByteArray seatPage = seat.find(QStringLiteral("/"))->bytes;
    seatPage.replace("<body>", "<body data-back=\"/\">");
    m_files.add(QStringLiteral("/seat/"), "text/html; charset=utf-8", seatPage);
    m_files.add(QStringLiteral("/seat/seat.css"), "text/css; charset=utf-8", seat.find(QStringLiteral("/seat.css"))->bytes);
    m_files.add(QStringLiteral("/seat/seat.js"), "text/javascript; charset=utf-8", seat.find(QStringLiteral("/seat.js"))->bytes);
    // The class page in place of the seat page at /.
    m_files.add(QStringLiteral("/"), "text/html; charset=utf-8", resource(QStringLiteral(":/host/class.html")));
    m_files.add(QStringLiteral("/class.css"), "text/css; charset=utf-8", resource(QStringLiteral(":/host/class.css")));
    m_files.add(QStringLiteral("/class.js"), "text/javascript; charset=utf-8", resource(QStringLiteral(":/host/class.js")));
    m_files.add(QStringLiteral("/teacher/"), "text/html; charset=utf-8", resource(QStringLiteral(":/host/teacher.html")));
    m_files.add(QStringLiteral("/teacher/teacher.css"), "text/css; charset=utf-8", resource(QStringLiteral(":/host/teacher.css")));
    m_files.add(QStringLiteral("/teacher/teacher.js"), "text/javascript; charset=utf-8", resource(QStringLiteral(":/host/teacher.js")));
    m_files.add(QStringLiteral("/teacher/print.css"), "text/css; charset=utf-8", resource(QStringLiteral(":/host/print.css")));
    m_files.add(QStringLiteral("/teacher/print.js"), "text/javascript; charset=utf-8", resource(QStringLiteral(":/host/print.js")));
    // The feedback pictures and sounds of the two built-in series, made
    // when the program was built: player 1's series 0, player 2's series 1.
    for (int player = 1; player <= 2; ++player) {
        for (int item = 0; item < 3; ++item) {
            for (const auto &[suffix, mime] : {std::pair<const char *, QByteArray>{"png", "image/png"}, {"wav", "audio/wav"}}) {
                const QString name = QStringLiteral("fb/%1/%2.%3").arg(player).arg(item).arg(QLatin1String(suffix));
                if (QFile::exists(QStringLiteral(":/hostfeedback/") + name))
                    m_files.add(QStringLiteral("/seat/") + name, mime, resource(QStringLiteral(":/hostfeedback/") + name));
            }
        }
    }

    m_lobbyTimer.setSingleShot(true);
    m_lobbyTimer.setInterval(200);
    connect(&m_lobbyTimer, &QTimer::timeout, this, [this] {
        const QSet<qint64> due = std::exchange(m_lobbiesDue, {});
        for (qint64 id : due) {
            if (ClassGame *g = m_host.byId(id))
                updateLobbies(g);
        }
    });
    m_keepAlive.setInterval(KeepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] {
        const QList<SeatConnection *> seats = m_seatSockets;
        for (SeatConnection *c : seats)
            c->keepAlive();
        QList<HostSocket *> sockets = m_lobbies.keys();
        sockets += m_teachers.keys();
        for (HostSocket *s : std::as_const(sockets))
            s->keepAlive();
        updateAlert();
    });
    connect(&m_host, &ClassHost::classesChanged, this, [this] {
        for (ClassGame *g : m_host.classes())
            watch(g);
    });
    for (ClassGame *g : m_host.classes())
        watch(g);
    if (ResultsStore *store = m_host.store()) {
        m_desk->setProblem(store->problem(), store->problemWaits());
        connect(store, &ResultsStore::problemChanged, this,
                [this](const QString &p, bool waits) { m_desk->setProblem(p, waits); }, Qt::QueuedConnection);
    }
}

HostServer::~HostServer()
{
    m_keepAlive.stop();
    if (m_tcp)
        m_tcp->setStanding(nullptr);
    const QList<SeatConnection *> seats = m_seatSockets;
    m_seatSockets.clear();
    for (SeatConnection *c : seats) {
        c->disconnect(this);
        delete c;
    }
    QList<HostSocket *> sockets = m_lobbies.keys();
    sockets += m_teachers.keys();
    m_lobbies.clear();
    m_teachers.clear();
    for (HostSocket *s : std::as_const(sockets)) {
        s->disconnect(this);
        delete s;
    }
    delete m_http;
}

bool HostServer::listen(const QHostAddress &address, quint16 port)
{
    if (m_http)
        return true;
    auto *tcp = new GuardedTcpServer(this);
    GuardedTcpServer::Limits limits;
    limits.maxConnections = MaxConnections;
    limits.maxPerAddress = MaxPerAddress;
    tcp->setLimits(limits);
    if (!tcp->listen(address, port)) {
        m_error = tcp->errorString();
        delete tcp;
        return false;
    }
    m_tcp = tcp;
    m_tcp->setStanding(m_standing.get());
    m_tcp->setExempt([this](const QHostAddress &peer) { return proxied(peer); });
    m_http = new QHttpServer(this);
    // A WebSocket is handed on only for a path with a route that writes nothing.
    for (const char *path : {"/ws", "/class/ws", "/teacher/ws"}) {
        m_http->route(QString::fromLatin1(path), [](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) != 0)
                responder.write(Status::BadRequest);
        });
    }
    m_http->setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        serve(request, responder);
    });
    connect(m_http, &QAbstractHttpServer::newWebSocketConnection, this, &HostServer::takeWebSockets);
    m_http->bind(tcp);
    m_keepAlive.start();
    return true;
}

quint16 HostServer::port() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

bool HostServer::proxied(const QHostAddress &peer) const
{
    for (const QHostAddress &p : m_proxies) {
        if (p.isEqual(peer, QHostAddress::TolerantConversion))
            return true;
    }
    return false;
}

QHostAddress HostServer::client(const QHostAddress &peer, const QByteArray &forwardedFor) const
{
    if (!proxied(peer))
        return peer;
    // The proxy appends the address it saw; whatever the device wrote
    // before that is its own word and not believed.
    const QList<QByteArray> hops = forwardedFor.split(',');
    for (auto it = hops.crbegin(); it != hops.crend(); ++it) {
        const QHostAddress a(QString::fromLatin1(it->trimmed()));
        if (a.isNull())
            break;
        if (!proxied(a))
            return a;
    }
    return peer;
}

bool HostServer::teacherCookie(const QByteArray &cookieHeader) const
{
    return m_sessions.valid(QString::fromLatin1(cookieValue(cookieHeader, CookieName)), now());
}

qint64 HostServer::now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool HostServer::routeReadable(const QUrl &url)
{
    if (!url.hasQuery())
        return true;
    const QUrlQuery query(url);
    const QStringList given = query.allQueryItemValues(QStringLiteral("h"), QUrl::FullyEncoded);
    if (given.isEmpty())
        return true;
    return given.size() == 1 && ClassRoute::parse(given.first()) > 0;
}

void HostServer::endSession(const QByteArray &cookieHeader)
{
    const TeacherSessions::Ended ended = m_sessions.end(QString::fromLatin1(cookieValue(cookieHeader, CookieName)), now());
    if (!ended.id.isEmpty())
        emit sessionEnded(ended.id, ended.untilMs);
}

void HostServer::updateAlert()
{
    const int guesses = m_guard.wrongCodesInWindow();
    m_desk->setAlert(guesses >= GuessAlert
                         ? QStringLiteral("%1 wrong class codes in the last minute: someone may be guessing").arg(guesses)
                         : QString());
}

// HTTP.

void HostServer::respond(QHttpServerResponder &responder, int status, const QByteArray &mime, const QByteArray &body,
                         const QList<std::pair<QByteArray, QByteArray>> &extra, const QByteArray &host, bool head,
                         bool inlineStyles)
{
    QByteArray connectSource = "'self'";
    if (plainHost(host))
        connectSource += " ws://" + host + " wss://" + host;
    responder.writeStatusLine(Status(status));
    responder.writeHeader("Content-Type", mime);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("X-Frame-Options", "DENY");
    // The printed reviews' HTML sizes its type in style attributes; their
    // text is escaped, and scripts stay the host's own.
    const QByteArray styles = inlineStyles ? "'self' 'unsafe-inline'" : "'self'";
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'none'; script-src 'self'; style-src " + styles + "; img-src 'self'; "
                          "media-src 'self'; connect-src " + connectSource
                              + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    for (const auto &[name, value] : extra)
        responder.writeHeader(name, value);
    responder.writeBody(head ? QByteArray() : body);
}

void HostServer::serve(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    // Only GET and HEAD get here, a client that does not read its answers
    // is cut off (GuardedTcpServer).
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    const QByteArray host = request.value("host");
    const QString path = request.url().path();
    const QByteArray text = "text/plain; charset=utf-8";
    const bool https = proxied(responder.socket() ? responder.socket()->peerAddress() : QHostAddress())
                       && request.value("x-forwarded-proto").compare("https", Qt::CaseInsensitive) == 0;
    const bool teacher = teacherCookie(request.value("cookie"));

    if (!routeReadable(request.url())) {
        respond(responder, int(Status::BadRequest), text, "h must be a host's route: two digits, 01 to 99\n", {}, host,
                head);
        return;
    }
    if (path == QLatin1String("/health")) {
        const bool stopping = m_host.isStopping();
        respond(responder, int(stopping ? Status::ServiceUnavailable : Status::Ok), text,
                stopping ? "stopping\n" : "serving\n", {}, host, head);
        return;
    }
    // Where a page of this host goes back to: this host, behind a proxy.
    const QByteArray here = m_host.route() ? "?h=" + ClassRoute::text(m_host.route()).toLatin1() : QByteArray();
    if (path == QLatin1String("/teacher")) {
        respond(responder, int(Status::SeeOther), text, "see /teacher/\n", {{"Location", "/teacher/"}}, host, head);
        return;
    }
    if (path == QLatin1String("/teacher/session")) {
        const QString session = m_sessions.redeem(QUrlQuery(request.url()).queryItemValue(QStringLiteral("ticket")), now());
        QList<std::pair<QByteArray, QByteArray>> headers{{"Location", "/teacher/" + here}};
        if (!session.isEmpty()) {
            headers.append({"Set-Cookie", QByteArray(CookieName) + '=' + session.toLatin1()
                                              + "; Path=/teacher; HttpOnly; SameSite=Strict"
                                              + (https ? "; Secure" : "")});
        }
        respond(responder, int(Status::SeeOther), text, "see /teacher/\n", headers, host, head);
        return;
    }
    if (path == QLatin1String("/teacher/logout")) {
        endSession(request.value("cookie"));
        respond(responder, int(Status::SeeOther), text, "see /teacher/\n",
                {{"Location", "/teacher/"},
                 {"Set-Cookie", QByteArray(CookieName) + "=; Path=/teacher; HttpOnly; SameSite=Strict; Max-Age=0"}},
                host, head);
        return;
    }
    if (path.startsWith(QLatin1String("/teacher/qr/")) && path.endsWith(QLatin1String(".svg"))) {
        const ClassGame *game = teacher ? m_host.byId(path.mid(12).chopped(4).toLongLong()) : nullptr;
        if (!game || !plainHost(host)) {
            respond(responder, int(teacher ? Status::NotFound : Status::Forbidden), text, "no\n", {}, host, head);
            return;
        }
        const QString url = QStringLiteral("%1://%2/#%3").arg(https ? QStringLiteral("https") : QStringLiteral("http"),
                                                              QString::fromLatin1(host), game->code());
        respond(responder, int(Status::Ok), "image/svg+xml", QrMatrix(url).svg(), {}, host, head);
        return;
    }
    if (path.startsWith(QLatin1String("/teacher/results/")) && path.endsWith(QLatin1String(".csv"))) {
        bool ok = false;
        const qint64 id = path.mid(17).chopped(4).toLongLong(&ok);
        if (!teacher || !ok || !m_host.store()) {
            respond(responder, int(teacher ? Status::NotFound : Status::Forbidden), text,
                    teacher ? "no results\n" : "the teacher's key is needed\n", {}, host, head);
            return;
        }
        // The store answers from its own thread; the answer waits for it.
        auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
        QPointer<QTcpSocket> socket = held->socket();
        m_host.store()->results(id).then(this, [this, held, socket, host, head, id](const ClassResults &r) {
            if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                return;
            if (!r.found) {
                respond(*held, int(Status::NotFound), "text/plain; charset=utf-8", "no results\n", {}, host, head);
                return;
            }
            respond(*held, int(Status::Ok), "text/csv; charset=utf-8", ResultsCsv::make(r),
                    {{"Content-Disposition", "attachment; filename=\"taruvo-" + QByteArray::number(id) + ".csv\""}},
                    host, head);
        });
        return;
    }
    if (path.startsWith(QLatin1String("/teacher/review/")) || path.startsWith(QLatin1String("/teacher/sheet/"))) {
        printable(responder, path, teacher, host, head);
        return;
    }
    const SeatFiles::File *file = m_files.find(path);
    if (!file) {
        respond(responder, int(Status::NotFound), text, "not found\n", {}, host, head);
        return;
    }
    if (path == QLatin1String("/")) {
        // Behind a proxy the page reads the route from the code typed.
        QByteArray page = file->bytes;
        page.replace("<body>", "<body data-code-digits=\"" + QByteArray::number(m_host.codeDigits()) + "\">");
        respond(responder, int(Status::Ok), file->mime, page, {}, host, head);
        return;
    }
    respond(responder, int(Status::Ok), file->mime, file->bytes, {}, host, head);
}

// A child's review of a game (/teacher/review/GAME-CHILD.html) or the
// sheet of a game's words (/teacher/sheet/GAME.html), from the results.
void HostServer::printable(QHttpServerResponder &responder, const QString &path, bool teacher, const QByteArray &host,
                           bool head)
{
    const QByteArray text = "text/plain; charset=utf-8";
    const QList<qint64> review = PrintPage::idsIn(path, QStringLiteral("/teacher/review/"), QStringLiteral(".html"), 2);
    const QList<qint64> sheet = PrintPage::idsIn(path, QStringLiteral("/teacher/sheet/"), QStringLiteral(".html"), 1);
    if (!teacher) {
        respond(responder, int(Status::Forbidden), text, "the teacher's key is needed\n", {}, host, head);
        return;
    }
    if ((review.isEmpty() && sheet.isEmpty()) || !m_host.store()) {
        respond(responder, int(Status::NotFound), text, "no results\n", {}, host, head);
        return;
    }
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = held->socket();
    const qint64 gameId = review.isEmpty() ? sheet.at(0) : review.at(0);
    const qint64 childId = review.isEmpty() ? -1 : review.at(1);
    m_host.store()->game(gameId).then(this, [this, held, socket, host, head, childId](const GameRecord &game) {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
        const QString html = childId >= 0 ? ClassReview::childPage(game, childId, m_host.dictionary())
                                          : ClassReview::sheetPage(game, m_host.dictionary());
        if (html.isEmpty()) {
            respond(*held, int(Status::NotFound), "text/plain; charset=utf-8",
                    game.found && childId < 0 ? "the words of this game were not kept\n" : "no such review\n", {},
                    host, head);
            return;
        }
        respond(*held, int(Status::Ok), "text/html; charset=utf-8", PrintPage::wrap(html), {}, host, head, true);
    });
}

// WebSockets.

void HostServer::takeWebSockets()
{
    while (m_http && m_http->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_http->nextPendingWebSocketConnection();
        if (!socket)
            continue;
        m_tcp->upgraded(socket->peerAddress(), socket->peerPort());
        const QString path = socket->requestUrl().path();
        const QString origin = socket->origin();
        const QByteArray host = socket->request().rawHeader("Host");
        const QHostAddress peer = client(socket->peerAddress(), socket->request().rawHeader("X-Forwarded-For"));
        const bool foreign = !origin.isEmpty() && QUrl(origin).authority() != QString::fromLatin1(host);
        const bool routed = routeReadable(socket->requestUrl());

        if (path == QLatin1String("/ws")) {
            auto *connection = new SeatConnection(std::move(socket), this);
            m_seatSockets.append(connection);
            connect(connection, &SeatConnection::finished, this, [this, connection] { m_seatSockets.removeAll(connection); });
            connect(connection, &SeatConnection::joinAsked, this, [this, connection, peer](const SeatCommand &command) {
                // A seat takes only its device, known by a token nobody
                // guesses: a wrong join is a fault of its address, not a
                // guess that holds up everybody's class codes.
                if (!m_guard.mayTry(peer, JoinGuard::Offer::Token)) {
                    m_guard.fault(peer, 1);
                    connection->refuse(QStringLiteral("wait"), QStringLiteral("too many wrong codes; wait a minute"));
                    return;
                }
                seatJoin(connection, command);
                if (!connection->isJoined())
                    m_guard.fault(peer, 1);
            });
            connect(connection, &SeatConnection::misbehaved, this,
                    [this, peer](int weight) { m_guard.fault(peer, weight); });
            // Another web site open on the device must not take a seat through it.
            if (foreign)
                connection->refuse(QStringLiteral("origin"), QStringLiteral("only the seat page may connect"));
            else if (!routed)
                connection->refuse(QStringLiteral("route"), QStringLiteral("h must be two digits, 01 to 99"));
            continue;
        }
        const bool teacher = path == QLatin1String("/teacher/ws");
        const bool lobby = path == QLatin1String("/class/ws");
        auto *s = teacher ? new HostSocket(std::move(socket), peer, TeacherMessage::MaxBytes, 20, 60, this)
                          : new HostSocket(std::move(socket), peer, LobbyMessage::MaxBytes, 4, 8, this);
        connect(s, &HostSocket::misbehaved, this, [this, s](int weight) { m_guard.fault(s->peer(), weight); });
        if (!teacher && !lobby) {
            s->refuse(QStringLiteral("path"), QStringLiteral("no such place"));
            continue;
        }
        if (foreign) {
            s->refuse(QStringLiteral("origin"), QStringLiteral("only the host's own pages may connect"));
            continue;
        }
        if (!routed) {
            s->refuse(QStringLiteral("route"), QStringLiteral("h must be two digits, 01 to 99"));
            continue;
        }
        if (lobby) {
            m_lobbies.insert(s, LobbyPlace{});
            connect(s, &HostSocket::finished, this, [this, s] {
                const LobbyPlace place = m_lobbies.take(s);
                if (ClassGame *g = m_host.byId(place.classId))
                    g->lobbyLinked(place.childId, -1);
            });
            connect(s, &HostSocket::message, this, [this, s](const QByteArray &utf8) {
                const LobbyCommand c = LobbyMessage::parse(utf8);
                if (c.kind == LobbyCommand::Invalid)
                    s->refuseMessage(c.refusal);
                else
                    lobbyCommand(s, c);
            });
            continue;
        }
        const bool known = teacherCookie(s->header("Cookie").toLatin1());
        m_teachers.insert(s, known);
        connect(s, &HostSocket::finished, this, [this, s] { m_teachers.remove(s); });
        connect(s, &HostSocket::message, this, [this, s](const QByteArray &utf8) {
            const TeacherCommand c = TeacherMessage::parse(utf8);
            if (c.kind == TeacherCommand::Invalid)
                s->refuseMessage(c.refusal, c.id);
            else
                teacherCommand(s, c);
        });
        if (known) {
            s->identified();
            m_tcp->joined(s->socketPeer(), s->socketPort());
            m_desk->add(s);
        } else {
            // The page asks for the key, and connects again with it.
            s->send({{QStringLiteral("t"), QStringLiteral("login")}, {QStringLiteral("keyMade"), m_key.exists()}});
        }
    }
}

void HostServer::seatJoin(SeatConnection *connection, const SeatCommand &command)
{
    ClassGame *game = m_host.bySeatCode(command.code);
    const ClassGame::Child *child = game ? game->childBySeatCode(command.code) : nullptr;
    // A seat is its child's device's: without the token, a right code
    // is answered as a wrong one.
    if (!child || command.token != child->token) {
        connection->refuse(QStringLiteral("code"), QStringLiteral("wrong code"));
        return;
    }
    RemoteSeat *seat = game->seatOf(child->id);
    if (!seat) {
        connection->refuse(QStringLiteral("lobby"), QStringLiteral("no round for you now: back to the lobby"));
        return;
    }
    if (seat->admit(command.token, connection, nullptr) == RemoteSeat::Admission::Taken) {
        connection->refuse(QStringLiteral("code"), QStringLiteral("wrong code"));
        return;
    }
    connection->attach(seat);
    m_tcp->joined(connection->peer(), connection->peerPort());
}

void HostServer::lobbyCommand(HostSocket *s, const LobbyCommand &c)
{
    if (c.kind == LobbyCommand::Ping) {
        s->send({{QStringLiteral("t"), QStringLiteral("pong")}});
        return;
    }
    LobbyPlace &place = m_lobbies[s];
    if (place.childId) {
        s->refuseMessage(QStringLiteral("already in a class"));
        return;
    }
    if (c.kind == LobbyCommand::Back) {
        ClassGame *game = m_host.byToken(c.token);
        const ClassGame::Child *child = game ? game->childByToken(c.token) : nullptr;
        if (!child) {
            // Not a guess: 128 random bits. A class game that ended, a
            // child taken out, a host restarted.
            m_guard.fault(s->peer(), 1);
            s->refuse(QStringLiteral("gone"), QStringLiteral("that class game is over"));
            return;
        }
        seatLobby(s, game, child->id, false);
        return;
    }
    if (!m_guard.mayTry(s->peer(), JoinGuard::Offer::TypedCode)) {
        m_guard.fault(s->peer(), 1);
        s->refuse(QStringLiteral("wait"), QStringLiteral("too many wrong codes; wait a minute"));
        return;
    }
    // Behind a proxy a code of another route came here because its host is
    // away: no guess at this host's codes, which all begin with its own.
    const int route = ClassRoute::ofCode(c.code, ClassHost::ClassCodeDigits);
    if (m_host.route() && route && route != m_host.route()) {
        m_guard.fault(s->peer(), 1);
        s->refuse(QStringLiteral("away"), QStringLiteral("the host of this class game is not serving now"));
        return;
    }
    ClassGame *game = m_host.byCode(c.code);
    if (!game) {
        m_guard.wrongCode(s->peer());
        updateAlert();
        s->refuse(QStringLiteral("code"), QStringLiteral("wrong class code"));
        return;
    }
    qint64 childId = 0;
    QString why;
    switch (m_host.join(game, c.name, &childId, &why)) {
    case ClassGame::Entry::Joined:
        seatLobby(s, game, childId, true);
        return;
    case ClassGame::Entry::BadName:
        s->refuse(QStringLiteral("name"), why);
        return;
    case ClassGame::Entry::NameTaken:
        s->refuse(QStringLiteral("taken"), why);
        return;
    case ClassGame::Entry::Full:
        s->refuse(QStringLiteral("full"), why);
        return;
    case ClassGame::Entry::Closed:
        s->refuse(QStringLiteral("closed"), why);
        return;
    }
}

void HostServer::seatLobby(HostSocket *s, ClassGame *game, qint64 childId, bool entered)
{
    const ClassGame::Child *child = game->child(childId);
    m_lobbies[s] = LobbyPlace{game->id(), childId, QJsonObject()};
    s->identified();
    m_tcp->joined(s->socketPeer(), s->socketPort());
    game->lobbyLinked(childId, +1);
    s->send({{QStringLiteral("t"), QStringLiteral("entered")},
             {QStringLiteral("new"), entered},
             {QStringLiteral("token"), child->token},
             {QStringLiteral("seat"), child->seatCode},
             {QStringLiteral("name"), child->name},
             {QStringLiteral("class"), game->settings().name}});
    m_lobbies[s].told = ClassView::lobby(*game, childId);
    s->send(m_lobbies[s].told);
}

void HostServer::watch(ClassGame *game)
{
    if (m_watched.contains(game))
        return;
    m_watched.insert(game);
    connect(game, &QObject::destroyed, this, [this, game] { m_watched.remove(game); });
    connect(game, &ClassGame::placesChanged, this, [this, game] { updateLobbies(game); });
    // Anything else (a child joining, new pairs) reaches the lobbies a
    // moment later, at most once for many changes.
    connect(game, &ClassGame::changed, this, [this, game] {
        m_lobbiesDue.insert(game->id());
        if (!m_lobbyTimer.isActive())
            m_lobbyTimer.start();
    });
    connect(game, &ClassGame::closed, this, [this, game] {
        const qint64 id = game->id();
        const QList<HostSocket *> sockets = m_lobbies.keys();
        for (HostSocket *s : sockets) {
            if (m_lobbies.value(s).classId == id) {
                m_lobbies[s] = LobbyPlace{};
                s->close(QStringLiteral("ended"));
            }
        }
    });
}

void HostServer::updateLobbies(ClassGame *game)
{
    const QList<HostSocket *> sockets = m_lobbies.keys();
    for (HostSocket *s : sockets) {
        const LobbyPlace place = m_lobbies.value(s);
        if (place.classId != game->id())
            continue;
        if (!game->child(place.childId)) {
            m_lobbies[s] = LobbyPlace{};
            s->close(QStringLiteral("removed"));
            continue;
        }
        const QJsonObject told = ClassView::lobby(*game, place.childId);
        if (told != place.told) {
            m_lobbies[s].told = told;
            s->send(told);
        }
    }
}

void HostServer::teacherCommand(HostSocket *s, const TeacherCommand &c)
{
    if (c.kind == TeacherCommand::Ping) {
        s->send({{QStringLiteral("t"), QStringLiteral("pong")}});
        return;
    }
    if (m_teachers.value(s)) {
        if (c.kind == TeacherCommand::Logout) {
            endSession(s->header("Cookie").toLatin1());
            s->close(QStringLiteral("logout"));
            return;
        }
        if (c.kind != TeacherCommand::Login)
            m_desk->handle(s, c);
        return;
    }
    if (c.kind != TeacherCommand::Login) {
        s->refuse(QStringLiteral("login"), QStringLiteral("the teacher's key is needed"));
        return;
    }
    const qint64 t = now();
    if (!m_keys.mayTry(s->peer(), JoinGuard::Offer::TypedCode)) {
        m_guard.fault(s->peer(), 1);
        s->refuse(QStringLiteral("wait"), QStringLiteral("too many wrong keys; wait a minute"));
        return;
    }
    m_key.reload();
    if (!m_key.matches(c.key)) {
        m_keys.wrongCode(s->peer());
        m_guard.fault(s->peer(), 1);
        s->refuse(QStringLiteral("key"), QStringLiteral("wrong key"));
        return;
    }
    // The ticket is this host's: the page redeems it here (?h=), wherever
    // the proxy sends it next.
    s->send({{QStringLiteral("t"), QStringLiteral("ticket")},
             {QStringLiteral("ticket"), m_sessions.ticket(t)},
             {QStringLiteral("h"), ClassRoute::text(m_host.route())}});
    s->close(QStringLiteral("ticket"));
}
