// SPDX-License-Identifier: GPL-3.0-or-later
// The seats' server over loopback: what it serves, who may take a seat, a
// device that drops and comes back, and every limit on hostile clients.
#include "engine/game.h"
#include "engine/recognitionqueue.h"
#include "fakes/seatfakes.h"
#include "seats/guardedtcpserver.h"
#include "seats/remoteseat.h"
#include "seats/seatconnection.h"
#include "seats/seatserver.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtTest>
#include <memory>

namespace {

struct Limits : GameLimits
{
    bool timeLimitOn() const override { return false; }
    int timeLimitSeconds() const override { return 60; }
    bool answerLimitOn() const override { return false; }
    int answerLimit() const override { return 5; }
};

struct Served
{
    Limits limits;
    Game game{limits};
    CountingRecognizer recognizer;
    RecognitionQueue queue{recognizer};
    std::unique_ptr<SeatServer> server = std::make_unique<SeatServer>(game, &queue, QList<int16_t>{1, 2});

    Served()
    {
        if (!server->listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen: %s", qPrintable(server->errorString()));
    }
    quint16 port() const { return server->port(); }
    QString code(int player) const { return server->seat(player)->code(); }
};

// A page's WebSocket, as a test drives it.
struct Client
{
    QWebSocket socket;
    QList<QJsonObject> got;
    bool closed = false;

    explicit Client(const QString &origin = QString()) : socket(origin)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            got.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
    }
    bool open(quint16 port, const QString &path = QStringLiteral("/ws"))
    {
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState || closed; }, 5000)
               && !closed;
    }
    void send(const QJsonObject &o) { socket.sendTextMessage(QJsonDocument(o).toJson(QJsonDocument::Compact)); }
    void join(const QString &code, const QString &token = QString())
    {
        QJsonObject o{{"t", "join"}, {"code", code}};
        if (!token.isEmpty())
            o.insert("token", token);
        send(o);
    }
    // The first message of a kind that came, waiting for it a while.
    QJsonObject waitFor(const QString &kind, int ms = 5000)
    {
        QJsonObject found;
        (void)QTest::qWaitFor([&] {
            for (const QJsonObject &o : got) {
                if (o.value("t").toString() == kind) {
                    found = o;
                    return true;
                }
            }
            return false;
        }, ms);
        return found;
    }
    bool waitClosed(int ms = 5000)
    {
        return QTest::qWaitFor([this] { return closed; }, ms);
    }
};

// A raw HTTP exchange: what came back before the server closed or went
// quiet. The request may come in parts, a moment apart.
QByteArray exchange(quint16 port, const QList<QByteArray> &parts, int quietMs = 700,
                    const QHostAddress &from = QHostAddress::LocalHost)
{
    QTcpSocket socket;
    socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "no connection";
    for (const QByteArray &part : parts) {
        socket.write(part);
        socket.flush();
        if (part != parts.last())
            QTest::qWait(150);
    }
    QByteArray reply;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && socket.state() == QAbstractSocket::ConnectedState) {
        QTest::qWait(20);
        if (socket.bytesAvailable() > 0) {
            reply += socket.readAll();
            quiet.restart();
        }
    }
    reply += socket.readAll();
    return reply;
}

QByteArray exchange(quint16 port, const QByteArray &request, int quietMs = 700,
                    const QHostAddress &from = QHostAddress::LocalHost)
{
    return exchange(port, QList<QByteArray>{request}, quietMs, from);
}

// A loopback address of its own for each client of a crowd: 127.0.x.y.
QHostAddress loopback(int n)
{
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(n / 250).arg(2 + n % 250));
}

// A WebSocket written by hand: from any loopback address, and able to send
// what a browser never would (unmasked frames, frames cut short).
struct RawWebSocket
{
    QTcpSocket socket;
    QByteArray in;
    bool upgraded = false;
    QList<QJsonObject> got;

    bool open(quint16 port, const QHostAddress &from = QHostAddress::LocalHost)
    {
        socket.bind(from);
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(5000))
            return false;
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { read(); });
        socket.write(QByteArrayLiteral("GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                       "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                       "Sec-WebSocket-Version: 13\r\n\r\n"));
        return QTest::qWaitFor([this] { return upgraded || socket.state() != QAbstractSocket::ConnectedState; }, 5000)
               && upgraded;
    }
    static QByteArray frame(const QByteArray &payload, bool masked = true, int opcode = 1)
    {
        QByteArray f;
        f.append(char(0x80 | opcode));
        const char maskBit = masked ? char(0x80) : char(0);
        if (payload.size() < 126) {
            f.append(char(maskBit | payload.size()));
        } else {
            f.append(char(maskBit | 126));
            f.append(char(payload.size() >> 8));
            f.append(char(payload.size() & 0xff));
        }
        if (!masked)
            return f + payload;
        const char mask[4] = {0x37, 0x1b, 0x5a, 0x69};
        f.append(mask, 4);
        for (qsizetype i = 0; i < payload.size(); ++i)
            f.append(char(payload[i] ^ mask[i % 4]));
        return f;
    }
    void sendText(const QByteArray &payload, bool masked = true) { socket.write(frame(payload, masked)); }
    void join(const QString &code, const QString &token = QString())
    {
        QJsonObject o{{"t", "join"}, {"code", code}};
        if (!token.isEmpty())
            o.insert("token", token);
        sendText(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    void read()
    {
        in += socket.readAll();
        if (!upgraded) {
            const qsizetype end = in.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            upgraded = in.startsWith("HTTP/1.1 101");
            in.remove(0, end + 4);
        }
        // The server's frames: not masked, text ones kept.
        for (;;) {
            if (in.size() < 2)
                return;
            qint64 length = uchar(in[1]) & 0x7f;
            qsizetype at = 2;
            if (length == 126) {
                if (in.size() < 4)
                    return;
                length = uchar(in[2]) << 8 | uchar(in[3]);
                at = 4;
            } else if (length == 127) {
                if (in.size() < 10)
                    return;
                length = 0;
                for (int i = 0; i < 8; ++i)
                    length = length << 8 | uchar(in[2 + i]);
                at = 10;
            }
            if (in.size() < at + length)
                return;
            if ((in[0] & 0x0f) == 1)
                got.append(QJsonDocument::fromJson(in.mid(at, length)).object());
            in.remove(0, at + length);
        }
    }
    QJsonObject waitFor(const QString &kind, int ms = 5000)
    {
        QJsonObject found;
        (void)QTest::qWaitFor([&] {
            for (const QJsonObject &o : got) {
                if (o.value("t").toString() == kind) {
                    found = o;
                    return true;
                }
            }
            return false;
        }, ms);
        return found;
    }
    bool waitClosed(int ms = 5000)
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
};

// Connections from one address that hold a slot and say nothing, opened
// again as soon as the server drops them, a bounded number of times.
struct SlotHolder
{
    QObject context;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    QHostAddress from;
    quint16 port = 0;
    int reopened = 0;
    int maxReopened = 0;

    SlotHolder(const QHostAddress &address, quint16 serverPort, int count, int reopenings)
        : from(address), port(serverPort), maxReopened(reopenings)
    {
        for (int i = 0; i < count; ++i)
            openOne();
    }
    void openOne()
    {
        sockets.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket *socket = sockets.back().get();
        socket->bind(from);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] {
            if (reopened < maxReopened) {
                ++reopened;
                QTimer::singleShot(0, &context, [this] { openOne(); });
            }
        });
        socket->connectToHost(QHostAddress::LocalHost, port);
    }
};

QByteArray get(const QByteArray &path, const QByteArray &method = "GET")
{
    return method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

} // namespace

class TestSeatServer : public QObject
{
    Q_OBJECT
private slots:
    void servesOnlyThePageFiles_data();
    void servesOnlyThePageFiles();
    void hostileRequestsAreCut_data();
    void hostileRequestsAreCut();
    void joinIsRefused_data();
    void joinIsRefused();
    void seatComesBackToItsDevice();
    void badMessagesAreRefused();
    void oversizedMessageClosesTheConnection();
    void floodIsLimited();
    void wrongCodesMakeAnAddressWait();
    void connectionsAreLimited();
    void requestsAreCheckedFromTheirStart_data();
    void requestsAreCheckedFromTheirStart();
    void unmaskedFramesCloseTheConnection_data();
    void unmaskedFramesCloseTheConnection();
    void beforeJoiningOnlyASmallJoin_data();
    void beforeJoiningOnlyASmallJoin();
    void aHeldSeatAnswersAsAWrongCode();
    void typedCodesWaitWhileTheServerIsGuessed();
    void slotsHeldByOthersLeaveRoomForSeats();
    void repeatedCutsKeepADeviceOut();
    void aJoinedDeviceCostsABoundedRate();
    void consolesOnOnePcTakeTheirOwnPorts();
    void stoppingTellsTheDevicesAndLeavesTheGame();
};

void TestSeatServer::servesOnlyThePageFiles_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("contains");

    QTest::newRow("the page") << get("/") << QByteArray("200") << QByteArray("<canvas class=\"box\" id=\"box0\"");
    QTest::newRow("its script") << get("/seat.js") << QByteArray("200") << QByteArray("text/javascript");
    QTest::newRow("its style") << get("/seat.css") << QByteArray("200") << QByteArray("text/css");
    QTest::newRow("only from its own origin")
        << get("/") << QByteArray("200") << QByteArray("connect-src 'self' ws://127.0.0.1;");
    QTest::newRow("head") << get("/", "HEAD") << QByteArray("200") << QByteArray("Content-Length: ");
    QTest::newRow("no file beside the program") << get("/Taruvo.ini") << QByteArray("404") << QByteArray();
    QTest::newRow("no climbing out") << get("/../../etc/passwd") << QByteArray("404") << QByteArray();
    QTest::newRow("no climbing out, escaped") << get("/%2e%2e/%2e%2e/etc/passwd") << QByteArray("404") << QByteArray();
    QTest::newRow("no feedback not handed over") << get("/fb/3/0.png") << QByteArray("404") << QByteArray();
    QTest::newRow("no resource of the program") << get("/icons/taruvo-16.png") << QByteArray("404") << QByteArray();
    QTest::newRow("the WebSocket path without a WebSocket")
        << get("/ws") << QByteArray("400") << QByteArray("frame-ancestors 'none'");
    QTest::newRow("a WebSocket elsewhere than /ws")
        << QByteArray("GET /ws HTTP/1.1\r\nHost: a\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n")
        << QByteArray("") << QByteArray();
}

void TestSeatServer::servesOnlyThePageFiles()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, contains);
    Served s;
    const QByteArray reply = exchange(s.port(), request);
    if (status.isEmpty()) {
        QVERIFY(!reply.startsWith("HTTP/1.1 200"));
        return;
    }
    QVERIFY2(reply.startsWith("HTTP/1.1 " + status), reply.left(60).constData());
    QVERIFY2(reply.contains(contains), reply.left(600).constData());
    QVERIFY(reply.contains("X-Content-Type-Options: nosniff"));
    if (request.startsWith("HEAD"))
        QVERIFY(reply.endsWith("\r\n\r\n"));
}

void TestSeatServer::hostileRequestsAreCut_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("withinMs");

    QTest::newRow("a method other than GET") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 9\r\n\r\n123456789") << 2000;
    QTest::newRow("not HTTP at all") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) << 2000;
    QTest::newRow("headers without end") << "GET / HTTP/1.1\r\nX: " + QByteArray(100000, 'a') << 4000;
    QTest::newRow("a request never finished") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << 4000;
    QTest::newRow("answers never read") << get("/fb/1/0.png").repeated(3000) << 4000;
}

void TestSeatServer::hostileRequestsAreCut()
{
    // Guards memory and sockets: a hostile client is cut off within the
    // deadline, and the server answers others as before.
    QFETCH(QByteArray, request);
    QFETCH(int, withinMs);
    Served s;
    s.server->tcpServer()->setHttpDeadlineMs(1500);
    s.server->files().add("/fb/1/0.png", "image/png", QByteArray(64 * 1024, 'x'));
    QTcpSocket socket;
    // The client reads nothing, to let answers pile up at the server.
    socket.setReadBufferSize(1024);
    socket.connectToHost(QHostAddress::LocalHost, s.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(request);
    QTest::qWait(100);
    QTRY_COMPARE_WITH_TIMEOUT(s.server->connectionCount(), 0, withinMs);
    QCOMPARE(s.server->tcpServer()->refusedCount(), 0);
    QVERIFY(exchange(s.port(), get("/")).startsWith("HTTP/1.1 200"));
}

void TestSeatServer::joinIsRefused_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("code"); // "right": seat 1's
    QTest::addColumn<QString>("reason");

    QTest::newRow("wrong code") << "" << "/ws" << "wrong" << "code";
    QTest::newRow("another web site") << "http://evil.example" << "/ws" << "right" << "origin";
    // Not even a WebSocket: the web server has no route there.
    QTest::newRow("another path") << "" << "/socket" << "right" << "";
}

void TestSeatServer::joinIsRefused()
{
    QFETCH(QString, origin);
    QFETCH(QString, path);
    QFETCH(QString, code);
    QFETCH(QString, reason);
    Served s;
    Client c(origin);
    // Refused at once, the socket may be closed before it is seen open.
    c.open(s.port(), path);
    QString given = code == "right" ? s.code(1) : QStringLiteral("000000");
    while (code != "right" && (given == s.code(1) || given == s.code(2)))
        given = QString::number(given.toInt() + 1).rightJustified(6, '0');
    c.join(given);
    if (!reason.isEmpty())
        QCOMPARE(c.waitFor("refused").value("reason").toString(), reason);
    QVERIFY(c.waitClosed());
    QVERIFY(c.waitFor("joined", 0).isEmpty());
    QCOMPARE(s.server->seat(1)->state(), RemoteSeat::State::Waiting);
}

void TestSeatServer::seatComesBackToItsDevice()
{
    // Guards the seat's holder: a second device is refused (as with a wrong
    // code) while the first holds it, also while it is away; the first comes
    // back with its token and finds its ink; the operator's release frees
    // the seat.
    Served s;
    QSignalSpy states(s.server.get(), &SeatServer::seatStateChanged);
    Client first(QStringLiteral("http://127.0.0.1:%1").arg(s.port()));
    QVERIFY(first.open(s.port()));
    first.join(s.code(2));
    const QString token = first.waitFor("joined").value("token").toString();
    QCOMPARE(token.size(), 32);
    QCOMPARE(first.waitFor("state").value("player").toInt(), 2);
    QCOMPARE(s.server->seat(2)->state(), RemoteSeat::State::Connected);

    s.game.unlockPlayers();
    first.send({{"t", "stroke"}, {"box", 0}, {"e", int(s.server->seat(2)->box(0).epoch())}, {"pts", QJsonArray{1, 2, 3, 4}}, {"id", 1}});
    QTRY_COMPARE(s.server->seat(2)->box(0).strokes().size(), 1);

    Client second;
    QVERIFY(second.open(s.port()));
    second.join(s.code(2));
    QCOMPARE(second.waitFor("refused").value("reason").toString(), QString("code"));

    first.socket.abort();
    QTRY_COMPARE(s.server->seat(2)->state(), RemoteSeat::State::Dropped);
    Client stranger;
    QVERIFY(stranger.open(s.port()));
    stranger.join(s.code(2), QString(32, 'f'));
    QCOMPARE(stranger.waitFor("refused").value("reason").toString(), QString("code"));

    Client back;
    QVERIFY(back.open(s.port()));
    back.join(s.code(2), token);
    QCOMPARE(back.waitFor("joined").value("token").toString(), token);
    const QJsonArray ink = back.waitFor("state").value("ink").toArray();
    QCOMPARE(ink.at(0).toArray().at(0).toArray(), QJsonArray({1, 2, 3, 4}));

    s.server->release(2);
    QCOMPARE(back.waitFor("closed").value("reason").toString(), QString("released"));
    QVERIFY(back.waitClosed());
    QCOMPARE(s.server->seat(2)->state(), RemoteSeat::State::Waiting);
    Client next;
    QVERIFY(next.open(s.port()));
    next.join(s.code(2));
    QVERIFY(!next.waitFor("joined").isEmpty());
    QVERIFY(states.size() >= 4);
}

void TestSeatServer::badMessagesAreRefused()
{
    // Guards the answer to each bad message of a joined device: a refusal
    // that says why, and the connection goes on.
    Served s;
    Client c;
    QVERIFY(c.open(s.port()));
    c.join(s.code(1));
    QVERIFY(!c.waitFor("joined").isEmpty());
    c.got.clear();
    c.socket.sendTextMessage("{not json");
    QVERIFY(c.waitFor("refused").value("why").toString().startsWith("not JSON"));
    c.got.clear();
    c.socket.sendBinaryMessage(QByteArray("\x00\x01", 2));
    QVERIFY(c.waitFor("refused").value("why").toString().contains("binary"));
    c.got.clear();
    c.send({{"t", "stroke"}, {"box", 0}, {"e", 0}, {"pts", QJsonArray{1, 2e9}}, {"id", 5}});
    const QJsonObject r = c.waitFor("refused");
    QCOMPARE(r.value("id").toInt(), 5);
    QVERIFY(r.value("why").toString().contains("coordinates"));
    c.got.clear();
    c.join(s.code(1));
    QCOMPARE(c.waitFor("refused").value("why").toString(), QString("already joined"));
    c.got.clear();
    c.send({{"t", "ping"}});
    QVERIFY(!c.waitFor("pong").isEmpty());
    QVERIFY(!c.closed);
}

void TestSeatServer::oversizedMessageClosesTheConnection()
{
    // Guards memory: a message over the limit is not read in, and the
    // WebSocket is closed with "message too big".
    Served s;
    Client c;
    QVERIFY(c.open(s.port()));
    c.join(s.code(1));
    QVERIFY(!c.waitFor("joined").isEmpty());
    c.socket.sendTextMessage(QString(SeatMessage::MaxBytes + 100, 'a'));
    QVERIFY(c.waitClosed());
    QCOMPARE(c.socket.closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);
    QTRY_COMPARE(s.server->seat(1)->state(), RemoteSeat::State::Dropped);
    // Counted against the address, a joined device's heavily: enough of
    // them and it is not accepted.
    for (int faults = GuardedTcpServer::CutWeight; faults < SeatServer::MaxFaults; ++faults) {
        Client more;
        QVERIFY(more.open(s.port()));
        more.socket.sendTextMessage(QString(SeatMessage::MaxBytes + 100, 'a'));
        QVERIFY(more.waitClosed());
    }
    Client shunned;
    QVERIFY(!shunned.open(s.port()));
}

void TestSeatServer::floodIsLimited()
{
    // Guards the console's time: past the rate a burst is dropped with one
    // refusal, and a flood that goes on ends the connection.
    Served s;
    Client c;
    QVERIFY(c.open(s.port()));
    c.join(s.code(1));
    QVERIFY(!c.waitFor("joined").isEmpty());
    for (int i = 0; i < 200; ++i)
        c.send({{"t", "erase"}, {"id", 10 + i}});
    QVERIFY(c.waitFor("refused").value("why").toString().startsWith("too many messages"));
    int refusals = 0;
    for (const QJsonObject &o : c.got)
        refusals += o.value("t").toString() == "refused";
    QCOMPARE(refusals, 1);
    QVERIFY(!c.closed);
    for (int i = 0; i < SeatConnection::MaxRefused + 100 && !c.closed; ++i)
        c.send({{"t", "erase"}});
    QVERIFY(c.waitClosed());
    QCOMPARE(c.socket.closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
}

void TestSeatServer::wrongCodesMakeAnAddressWait()
{
    // Guards the codes against guessing: after a few wrong ones, even the
    // right code is refused for a while.
    Served s;
    QString wrong = QStringLiteral("999999");
    if (wrong == s.code(1) || wrong == s.code(2))
        wrong = QStringLiteral("999998");
    for (int i = 0; i < SeatServer::MaxWrongCodes; ++i) {
        Client c;
        QVERIFY(c.open(s.port()));
        c.join(wrong);
        QCOMPARE(c.waitFor("refused").value("reason").toString(), QString("code"));
    }
    for (int i = SeatServer::MaxWrongCodes; i < SeatServer::MaxFaults; ++i) {
        Client c;
        QVERIFY(c.open(s.port()));
        c.join(s.code(1));
        QCOMPARE(c.waitFor("refused").value("reason").toString(), QString("wait"));
    }
    QCOMPARE(s.server->seat(1)->state(), RemoteSeat::State::Waiting);
    // One that keeps trying is not even heard out.
    QCOMPARE(s.server->tcpServer()->refusedCount(), 0);
    Client shunned;
    QVERIFY(!shunned.open(s.port()));
    QCOMPARE(s.server->tcpServer()->refusedCount(), 1);
}

void TestSeatServer::connectionsAreLimited()
{
    // Guards sockets and memory against one address opening connection
    // after connection: it never holds more than its share, each newer one
    // drops its oldest, each dropped without a word is its fault, and at
    // the limit of faults it is not even accepted; others still are.
    Served s;
    GuardedTcpServer *tcp = s.server->tcpServer();
    std::vector<std::unique_ptr<QTcpSocket>> open;
    for (int i = 0; i < GuardedTcpServer::MaxPerAddress + SeatServer::MaxFaults + 5 && tcp->refusedCount() == 0; ++i) {
        open.push_back(std::make_unique<QTcpSocket>());
        open.back()->connectToHost(QHostAddress::LocalHost, s.port());
        QVERIFY(open.back()->waitForConnected(5000));
        QTest::qWait(20);
        QVERIFY(s.server->connectionCount() <= GuardedTcpServer::MaxPerAddress);
    }
    QTRY_COMPARE(tcp->refusedCount(), 1);
    QCOMPARE(tcp->droppedCount(), SeatServer::MaxFaults);
    QCOMPARE(s.server->connectionCount(), GuardedTcpServer::MaxPerAddress);
    // The oldest went first.
    QCOMPARE(open.front()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(open[open.size() - 2]->state(), QAbstractSocket::ConnectedState);
    QVERIFY(exchange(s.port(), get("/"), 700, loopback(1)).startsWith("HTTP/1.1 200"));
    open.clear();
    QTRY_COMPARE(s.server->connectionCount(), 0);
}

void TestSeatServer::requestsAreCheckedFromTheirStart_data()
{
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<int>("answered");
    QTest::addColumn<int>("faults");

    QTest::newRow("the method split after its first letter")
        << QList<QByteArray>{"G", "ET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"} << 1 << 0;
    QTest::newRow("the method split in the middle")
        << QList<QByteArray>{"HE", "AD / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"} << 1 << 0;
    QTest::newRow("two requests, the second split")
        << QList<QByteArray>{get("/") + "GET /seat", ".js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"} << 2 << 0;
    QTest::newRow("a POST after a GET on a kept-alive connection")
        << QList<QByteArray>{get("/"), "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\nabc"} << 1
        << 1;
    QTest::newRow("a POST in the same arrival as a GET")
        << QList<QByteArray>{get("/") + "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\nabc"} << 0
        << 1;
    QTest::newRow("a GET with a body")
        << QList<QByteArray>{"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\n", "hello"} << 0 << 1;
}

void TestSeatServer::requestsAreCheckedFromTheirStart()
{
    // Guards the method check: it reads each request's start however the
    // bytes are split, and every request of a kept-alive connection; what
    // is not GET or HEAD is cut, never answered, and counted.
    QFETCH(QList<QByteArray>, parts);
    QFETCH(int, answered);
    QFETCH(int, faults);
    Served s;
    const QByteArray reply = exchange(s.port(), parts);
    QCOMPARE(int(reply.count("HTTP/1.1 200")), answered);
    QVERIFY2(!reply.contains("405"), reply.left(200).constData());
    QTRY_COMPARE(s.server->connectionCount(), 0);
    QCOMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), faults);
}

void TestSeatServer::unmaskedFramesCloseTheConnection_data()
{
    QTest::addColumn<bool>("joinFirst");
    QTest::addColumn<bool>("masked");
    QTest::addColumn<int>("faults");

    QTest::newRow("a masked join") << false << true << 0;
    QTest::newRow("an unmasked join") << false << false << 1;
    QTest::newRow("an unmasked command of a joined device") << true << false << GuardedTcpServer::CutWeight;
}

void TestSeatServer::unmaskedFramesCloseTheConnection()
{
    // Guards the protocol: a client must mask its frames, and a server must
    // close the connection on one that is not masked; the WebSocket library
    // would read it.
    QFETCH(bool, joinFirst);
    QFETCH(bool, masked);
    QFETCH(int, faults);
    Served s;
    RawWebSocket c;
    QVERIFY(c.open(s.port()));
    const QByteArray join = QStringLiteral("{\"t\":\"join\",\"code\":\"%1\"}").arg(s.code(1)).toUtf8();
    if (joinFirst) {
        c.sendText(join);
        QVERIFY(!c.waitFor("joined").isEmpty());
        c.sendText("{\"t\":\"erase\",\"id\":1}", masked);
    } else {
        c.sendText(join, masked);
    }
    if (masked) {
        QVERIFY(!c.waitFor("joined").isEmpty());
        QVERIFY(!c.waitClosed(500));
        QCOMPARE(s.server->seat(1)->state(), RemoteSeat::State::Connected);
    } else {
        QVERIFY(c.waitClosed());
        QCOMPARE(c.waitFor("joined", 0).isEmpty(), !joinFirst);
        QTRY_VERIFY(s.server->seat(1)->state() != RemoteSeat::State::Connected);
    }
    QTRY_COMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), faults);
}

void TestSeatServer::beforeJoiningOnlyASmallJoin_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("joins");

    const QByteArray large = QByteArray("{\"t\":\"join\",\"code\":\"1\",\"x\":\"") + QByteArray(30000, 'x') + "\"}";
    QTest::newRow("a small join") << QByteArray() << QByteArray() << true;
    // A page may write before it hears that it joined.
    QTest::newRow("a large stroke with the join") << QByteArray() << QByteArray("stroke") << true;
    QTest::newRow("a command") << RawWebSocket::frame("{\"t\":\"recognize\",\"id\":1}") << QByteArray() << false;
    QTest::newRow("a ping command") << RawWebSocket::frame("{\"t\":\"ping\"}") << QByteArray() << false;
    QTest::newRow("not JSON") << RawWebSocket::frame("{not json") << QByteArray() << false;
    QTest::newRow("binary") << RawWebSocket::frame("\x01\x02", true, 2) << QByteArray() << false;
    QTest::newRow("a large message") << RawWebSocket::frame(large) << QByteArray() << false;
    // Only the header of 30 kB: closed without waiting for the rest.
    QTest::newRow("a large message announced") << RawWebSocket::frame(large).left(8) << QByteArray() << false;
    QTest::newRow("a join padded past its bound")
        << RawWebSocket::frame("{\"t\":\"join\",\"code\":\"1\"" + QByteArray(300, ' ') + "}") << QByteArray() << false;
    QTest::newRow("pings") << RawWebSocket::frame("p", true, 9) << QByteArray() << false;
    QTest::newRow("pings without end after a wrong join")
        << RawWebSocket::frame("{\"t\":\"join\",\"code\":\"1\"}") + RawWebSocket::frame("p", true, 9).repeated(500)
        << QByteArray() << false;
}

void TestSeatServer::beforeJoiningOnlyASmallJoin()
{
    // Guards the console's thread: a connection that has not joined may send
    // one small join and nothing else; anything else closes it at once,
    // unread when large, and counts against its address. What comes with a
    // join that opens a seat is the seat's.
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, joins);
    Served s;
    s.game.unlockPlayers();
    RawWebSocket c;
    QVERIFY(c.open(s.port()));
    if (after == "stroke") {
        QJsonArray pts;
        for (int i = 0; i < 1000; ++i)
            pts << 500.5 << 400.25;
        after = RawWebSocket::frame(QJsonDocument(QJsonObject{{"t", "stroke"},
                                                              {"box", 0},
                                                              {"e", int(s.server->seat(1)->box(0).epoch())},
                                                              {"pts", pts},
                                                              {"id", 1}})
                                        .toJson(QJsonDocument::Compact));
        QVERIFY(after.size() > GuardedTcpServer::Limits().unjoinedBytes);
    }
    const QByteArray join = QStringLiteral("{\"t\":\"join\",\"code\":\"%1\"}").arg(s.code(1)).toUtf8();
    c.socket.write(before + RawWebSocket::frame(join) + after);
    if (joins) {
        QVERIFY(!c.waitFor("joined").isEmpty());
        if (!after.isEmpty())
            QTRY_COMPARE(s.server->seat(1)->box(0).strokes().size(), 1);
        QVERIFY(!c.waitClosed(300));
        QCOMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), 0);
        return;
    }
    QVERIFY(c.waitClosed(2000));
    QVERIFY(c.waitFor("joined", 0).isEmpty());
    QCOMPARE(s.server->seat(1)->state(), RemoteSeat::State::Waiting);
    QTRY_COMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), 1);
}

void TestSeatServer::aHeldSeatAnswersAsAWrongCode()
{
    // Guards the codes: to a device without the seat's token, a right code
    // of a seat another device holds is answered exactly as a wrong code,
    // and counted as one; so a guesser learns nothing from a taken seat.
    Served s;
    Client holder;
    QVERIFY(holder.open(s.port()));
    holder.join(s.code(1));
    QVERIFY(!holder.waitFor("joined").isEmpty());
    QString wrong = QStringLiteral("000000");
    while (wrong == s.code(1) || wrong == s.code(2))
        wrong = QString::number(wrong.toInt() + 1).rightJustified(6, '0');
    const QList<QPair<QString, QString>> tries = {
        {wrong, QString()},
        {s.code(1), QString()},
        {s.server->linkCode(1), QString()},
        {s.code(1), QString(32, 'a')},
    };
    QList<QJsonObject> answers;
    for (int i = 0; i < tries.size(); ++i) {
        RawWebSocket c;
        QVERIFY(c.open(s.port(), loopback(i)));
        c.join(tries[i].first, tries[i].second);
        answers << c.waitFor("refused");
        QVERIFY(c.waitClosed());
        QCOMPARE(s.server->joinGuard().countOf(loopback(i)).wrongCodes, 1);
    }
    QCOMPARE(answers.first().value("reason").toString(), QString("code"));
    for (const QJsonObject &a : answers)
        QCOMPARE(a, answers.first());
    QCOMPARE(s.server->joinGuard().wrongCodesSinceStart(), tries.size());
    QCOMPARE(s.server->seat(1)->state(), RemoteSeat::State::Connected);
}

void TestSeatServer::typedCodesWaitWhileTheServerIsGuessed()
{
    // Guards the typed codes against a crowd of addresses each under its own
    // limit: past a few wrong codes of the whole server in a minute, typed
    // codes wait; the QR code's link code and a device with its token still
    // get in, and typed codes work again once the minute has passed.
    Served s;
    qint64 now = 1000;
    s.server->joinGuard().setClock([&now] { return now; });
    Client first;
    QVERIFY(first.open(s.port()));
    first.join(s.code(1));
    const QString token = first.waitFor("joined").value("token").toString();
    first.socket.abort();
    QTRY_COMPARE(s.server->seat(1)->state(), RemoteSeat::State::Dropped);

    QString wrong = QStringLiteral("000000");
    int n = 0;
    for (; n < SeatServer::MaxWrongCodesOverall; ++n) {
        while (wrong == s.code(1) || wrong == s.code(2))
            wrong = QString::number(wrong.toInt() + 1).rightJustified(6, '0');
        RawWebSocket c;
        QVERIFY(c.open(s.port(), loopback(n)));
        c.join(wrong);
        QCOMPARE(c.waitFor("refused").value("reason").toString(), QString("code"));
        now += 100;
    }
    QVERIFY(s.server->joinGuard().typedCodesWait());
    RawWebSocket typed;
    QVERIFY(typed.open(s.port(), loopback(++n)));
    typed.join(s.code(2));
    QCOMPARE(typed.waitFor("refused").value("reason").toString(), QString("wait"));
    QCOMPARE(s.server->seat(2)->state(), RemoteSeat::State::Waiting);

    RawWebSocket scanned;
    QVERIFY(scanned.open(s.port(), loopback(++n)));
    scanned.join(s.server->linkCode(2));
    QCOMPARE(scanned.waitFor("joined").value("player").toInt(), 2);
    RawWebSocket back;
    QVERIFY(back.open(s.port(), loopback(++n)));
    back.join(s.code(1), token);
    QCOMPARE(back.waitFor("joined").value("token").toString(), token);

    now += SeatServer::WrongCodeWindowMs;
    QVERIFY(!s.server->joinGuard().typedCodesWait());
    s.server->release(2);
    RawWebSocket later;
    QVERIFY(later.open(s.port(), loopback(++n)));
    later.join(s.code(2));
    QCOMPARE(later.waitFor("joined").value("player").toInt(), 2);
}

void TestSeatServer::slotsHeldByOthersLeaveRoomForSeats()
{
    // Guards the seats against a crowd that holds every connection slot and
    // opens a new connection for each one dropped: a seat's own device gets
    // back in with its token, a new device with a right code gets in, and
    // the holders' dropped connections count against them.
    Served s;
    Client device;
    QVERIFY(device.open(s.port()));
    device.join(s.code(1));
    const QString token = device.waitFor("joined").value("token").toString();
    QVERIFY(!token.isEmpty());
    device.socket.abort();
    QTRY_COMPARE(s.server->seat(1)->state(), RemoteSeat::State::Dropped);

    std::vector<std::unique_ptr<SlotHolder>> crowd;
    const int addresses = GuardedTcpServer::MaxConnections / GuardedTcpServer::MaxPerAddress;
    for (int a = 0; a < addresses; ++a)
        crowd.push_back(std::make_unique<SlotHolder>(loopback(10 + a), s.port(), GuardedTcpServer::MaxPerAddress, 40));
    QTRY_COMPARE(s.server->connectionCount(), GuardedTcpServer::MaxConnections);

    Client back;
    QVERIFY(back.open(s.port()));
    back.join(s.code(1), token);
    QCOMPARE(back.waitFor("joined").value("token").toString(), token);
    RawWebSocket newcomer;
    QVERIFY(newcomer.open(s.port(), loopback(100)));
    newcomer.join(s.code(2));
    QCOMPARE(newcomer.waitFor("joined").value("player").toInt(), 2);
    QVERIFY(s.server->connectionCount() <= GuardedTcpServer::MaxConnections);
    int holdersFaults = 0;
    for (int a = 0; a < addresses; ++a)
        holdersFaults += s.server->joinGuard().faultsOf(loopback(10 + a));
    QVERIFY(holdersFaults >= 2);
    QCOMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), 0);
    QCOMPARE(s.server->joinGuard().faultsOf(loopback(100)), 0);
}

void TestSeatServer::repeatedCutsKeepADeviceOut()
{
    // Guards the console against a seat's own device that floods: each cut
    // weighs several faults, so that its token cannot bring it straight
    // back time after time; once the window has passed it may come back.
    Served s;
    qint64 now = 1000;
    s.server->joinGuard().setClock([&now] { return now; });
    QString token;
    for (int cut = 0; cut * GuardedTcpServer::CutWeight < SeatServer::MaxFaults; ++cut) {
        Client c;
        QVERIFY(c.open(s.port()));
        c.join(s.code(1), token);
        token = c.waitFor("joined").value("token").toString();
        QVERIFY(!token.isEmpty());
        for (int i = 0; i < SeatConnection::MaxRefused + 200 && !c.closed; ++i)
            c.send({{"t", "erase"}});
        QVERIFY(c.waitClosed());
        QCOMPARE(s.server->joinGuard().faultsOf(QHostAddress::LocalHost), (cut + 1) * GuardedTcpServer::CutWeight);
    }
    Client refused;
    QVERIFY(!refused.open(s.port()));
    now += SeatServer::WrongCodeWindowMs + 1;
    Client back;
    QVERIFY(back.open(s.port()));
    back.join(s.code(1), token);
    QCOMPARE(back.waitFor("joined").value("token").toString(), token);
}

void TestSeatServer::aJoinedDeviceCostsABoundedRate()
{
    // Guards the console against a seat sending at the limits: what it sends
    // and what it is sent share an allowance a second; past it, its commands
    // are dropped with a refusal rather than handled.
    Served s;
    s.game.unlockPlayers();
    Client c;
    QVERIFY(c.open(s.port()));
    c.join(s.code(1));
    QVERIFY(!c.waitFor("joined").isEmpty());
    QJsonArray pts;
    for (int i = 0; i < SeatBox::MaxPoints; ++i)
        pts << 999.9 - i % 7 << 888.8 + i % 5;
    const QByteArray stroke = QJsonDocument(QJsonObject{{"t", "stroke"},
                                                        {"box", 0},
                                                        {"e", int(s.server->seat(1)->box(0).epoch())},
                                                        {"pts", pts}})
                                  .toJson(QJsonDocument::Compact);
    QVERIFY(stroke.size() > 16000 && stroke.size() < SeatMessage::MaxBytes);
    // Under the rate of messages, over the allowance of bytes.
    const int sent = 70;
    QVERIFY(sent * stroke.size() > 1.5 * SeatConnection::ByteBurst);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < sent; ++i)
        c.socket.sendTextMessage(QString::fromUtf8(stroke));
    QVERIFY(c.waitFor("refused").value("why").toString().startsWith("too much data"));
    QTest::qWait(300);
    const double allowed = SeatConnection::ByteBurst + clock.elapsed() * SeatConnection::BytesPerSecond / 1000.0;
    QVERIFY(s.server->seat(1)->box(0).strokes().size() * stroke.size() <= allowed + stroke.size());
    QVERIFY(s.server->seat(1)->box(0).strokes().size() > 10);
    QVERIFY(s.server->seat(1)->box(0).strokes().size() < sent);
    QVERIFY(!c.closed);
}

void TestSeatServer::consolesOnOnePcTakeTheirOwnPorts()
{
    // Guards several consoles on one PC: each finds a free port of its own
    // from the same first port, with codes of its own.
    Limits limits;
    Game game(limits);
    SeatServer one(game, nullptr, {1, 2}), two(game, nullptr, {1, 2});
    QVERIFY(one.listen(QHostAddress::LocalHost, 18731));
    QVERIFY(two.listen(QHostAddress::LocalHost, 18731));
    QVERIFY(one.port() >= 18731 && two.port() >= 18731);
    QVERIFY(one.port() != two.port());
    QVERIFY(one.seat(1)->code() != one.seat(2)->code());
    QCOMPARE(one.seat(1)->code().size(), 6);
}

void TestSeatServer::stoppingTellsTheDevicesAndLeavesTheGame()
{
    // Guards disabling the seats: the devices are told, the port closes and
    // the game no longer drives the seats.
    Served s;
    Client c;
    QVERIFY(c.open(s.port()));
    c.join(s.code(1));
    QVERIFY(!c.waitFor("joined").isEmpty());
    const quint16 port = s.port();
    s.server.reset();
    QCOMPARE(c.waitFor("closed").value("reason").toString(), QString("closing"));
    QVERIFY(c.waitClosed());
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!probe.waitForConnected(1000));
    s.game.unlockPlayers(); // would touch a seat gone, were it still a view
}

QTEST_GUILESS_MAIN(TestSeatServer)
#include "tst_seatserver.moc"
