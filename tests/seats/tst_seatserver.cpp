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

// A raw HTTP exchange: what came back before the server closed or went quiet.
QByteArray exchange(quint16 port, const QByteArray &request, int quietMs = 700)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "no connection";
    socket.write(request);
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
    // Guards the seat's holder: a second device is refused while the first
    // holds it, also while it is away; the first comes back with its token
    // and finds its ink; the operator's release frees the seat.
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
    QCOMPARE(second.waitFor("refused").value("reason").toString(), QString("taken"));

    first.socket.abort();
    QTRY_COMPARE(s.server->seat(2)->state(), RemoteSeat::State::Dropped);
    Client stranger;
    QVERIFY(stranger.open(s.port()));
    stranger.join(s.code(2), QString(32, 'f'));
    QCOMPARE(stranger.waitFor("refused").value("reason").toString(), QString("taken"));

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
    // Guards the answer to each bad message: a refusal that says why, and
    // the connection goes on.
    Served s;
    Client c;
    QVERIFY(c.open(s.port()));
    c.send({{"t", "recognize"}, {"id", 1}});
    QCOMPARE(c.waitFor("refused").value("why").toString(), QString("join first"));
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
    // Counted against the address: enough of them and it is not accepted.
    for (int i = 1; i < SeatServer::MaxFaults; ++i) {
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
    // after connection.
    Served s;
    std::vector<std::unique_ptr<QTcpSocket>> open;
    for (int i = 0; i < GuardedTcpServer::MaxPerAddress + 10; ++i) {
        open.push_back(std::make_unique<QTcpSocket>());
        open.back()->connectToHost(QHostAddress::LocalHost, s.port());
        QVERIFY(open.back()->waitForConnected(5000));
    }
    QTRY_COMPARE(s.server->tcpServer()->refusedCount(), 10);
    QCOMPARE(s.server->connectionCount(), GuardedTcpServer::MaxPerAddress);
    open.clear();
    QTRY_COMPARE(s.server->connectionCount(), 0);
    QVERIFY(exchange(s.port(), get("/")).startsWith("HTTP/1.1 200"));
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
