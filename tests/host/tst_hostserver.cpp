// SPDX-License-Identifier: GPL-3.0-or-later
// The class host's server over loopback, as hostile clients see it: what it
// serves and with which headers, the teacher's key and session, a child who
// can reach its own seat only, class codes that cannot be guessed faster
// than a seat's, bounded uploads and messages, and a reverse proxy; the
// seats' guards at the host: cut for what they send, slots kept for pages
// that have entered or joined, stale seats that hold up only their address.
#include "engine/recognitionqueue.h"
#include "fakes/classfakes.h"
#include "fakes/rawwebsocket.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classmatch.h"
#include "host/classroute.h"
#include "host/classwordlists.h"
#include "host/resultsstore.h"
#include "host/teacherkey.h"
#include "hostweb/hostoptions.h"
#include "hostweb/hostserver.h"
#include "hostweb/lobbymessage.h"
#include "hostweb/printpage.h"
#include "hostweb/teacherdesk.h"
#include "learning/worddictionary.h"
#include "hostweb/teachermessage.h"
#include "seats/guardedtcpserver.h"
#include "seats/remoteseat.h"

#include <algorithm>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace ClassFakes;

namespace {

QHostAddress loopback(int n)
{
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(n / 250).arg(1 + n % 250));
}

// What came back for a raw HTTP request, until the server closed or went quiet.
QByteArray exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "no connection";
    socket.write(request);
    QByteArray reply;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 700 && socket.state() == QAbstractSocket::ConnectedState) {
        QTest::qWait(20);
        if (socket.bytesAvailable() > 0) {
            reply += socket.readAll();
            quiet.restart();
        }
    }
    return reply + socket.readAll();
}

QByteArray get(const QByteArray &path, const QByteArray &headers = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers + "\r\n";
}

// The eighteen words with a reading each, for making lists.
WordDictionary eighteenWords()
{
    QString text;
    for (const QString &w : eighteen)
        text += w + "\tよみ\t\n";
    return WordDictionary::parse(text);
}

struct Host
{
    QTemporaryDir dir;
    CountingRecognizer recognizer;
    RecognitionQueue queue{recognizer};
    TeacherKey key{dir.filePath("teacher-key")};
    QString keyText = key.renew(nullptr);
    ResultsStore store{dir.filePath("results.db")};
    ClassHost host{&store, {&queue}, HostLimits{}};
    WordDictionary dictionary = eighteenWords();
    ClassListMaker maker{&dictionary, [](char32_t) { return 1; }, {}};
    ClassWordLists lists{dir.path(), dir.filePath("lists")};
    HostServer server{host, key, lists};
    ClassGame *game = nullptr;

    Host()
    {
        server.desk().setListMaker(&maker);
        WordList w;
        w.load(eighteen);
        ClassSettings s;
        s.name = "class";
        s.listName = "list.txt";
        game = host.create(s, w, nullptr);
        if (!server.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen: %s", qPrintable(server.errorString()));
    }
    quint16 port() const { return server.port(); }
    // A device at address n that enters the class with a name.
    std::unique_ptr<RawWebSocket> enter(int n, const QString &code, const QString &name, const QByteArray &headers = {})
    {
        auto ws = std::make_unique<RawWebSocket>();
        ws->open(loopback(n), port(), "/class/ws", headers);
        if (QTest::qWaitFor([&ws] { return ws->isOpen() || ws->isClosed(); }, 5000) && ws->isOpen())
            ws->send({{"t", "enter"}, {"code", code}, {"name", name}});
        return ws;
    }
    // The teacher's session cookie, by the key and its ticket.
    QByteArray cookie()
    {
        RawWebSocket ws;
        ws.open(QHostAddress::LocalHost, port(), "/teacher/ws");
        if (!QTest::qWaitFor([&ws] { return ws.isOpen(); }, 5000))
            return {};
        ws.send({{"t", "login"}, {"key", keyText}});
        if (!QTest::qWaitFor([&ws] { return !ws.last("ticket").isEmpty(); }, 5000))
            return {};
        const QByteArray reply = exchange(port(), get("/teacher/session?ticket=" + ws.last("ticket")["ticket"].toString().toLatin1()));
        const qsizetype at = reply.indexOf("Set-Cookie: ");
        return at < 0 ? QByteArray() : reply.mid(at + 12, reply.indexOf(';', at) - at - 12);
    }
};

bool waitFor(RawWebSocket &ws, const QString &kind, int ms = 5000)
{
    return QTest::qWaitFor([&] { return !ws.last(kind).isEmpty(); }, ms);
}

// A client's text frame, masked or not.
QByteArray frame(const QByteArray &payload, bool masked = true)
{
    QByteArray f(1, char(0x81));
    const char maskBit = masked ? char(0x80) : char(0);
    if (payload.size() < 126) {
        f.append(char(maskBit | char(payload.size())));
    } else {
        f.append(char(maskBit | 126));
        f.append(char(payload.size() >> 8));
        f.append(char(payload.size() & 0xFF));
    }
    if (masked)
        f.append(QByteArray(4, '\0')); // a zero mask leaves the payload as it is
    return f + payload;
}

// A JSON text of about n bytes that a page's parser refuses but reads.
QByteArray padded(int n)
{
    return R"({"t":"ping","x":")" + QByteArray(qMax(0, n - 20), 'a') + R"("})";
}

} // namespace

class TestHostServer : public QObject
{
    Q_OBJECT
private slots:
    void servesItsPagesWithStrictHeaders_data();
    void servesItsPagesWithStrictHeaders();
    void theTeachersThingsNeedTheSession();
    void wrongKeysMustWait();
    void aChildReachesItsOwnSeatOnly();
    void aPongBeforeTheFirstMessageIsNoFault();
    void classCodesAreGuessedNoFaster();
    void aReverseProxyIsBelievedOnlyWhenTrusted();
    void uploadsAreBounded();
    void listsAreMadeSavedAndPlayed();
    void printPathsAreStrict_data();
    void printPathsAreStrict();
    void printedReviewsAreAGamesOwn_data();
    void printedReviewsAreAGamesOwn();
    void messagesAreChecked_data();
    void messagesAreChecked();
    void hostileClientsAreCut_data();
    void hostileClientsAreCut();
    void pagesThatEnteredKeepTheirSlots_data();
    void pagesThatEnteredKeepTheirSlots();
    void wrongSeatJoinsHoldUpOnlyTheirAddress_data();
    void wrongSeatJoinsHoldUpOnlyTheirAddress();
    void theDatabaseOptionsAreRead_data();
    void theDatabaseOptionsAreRead();
    void routesAreReadStrictly();
    void theProxyOptionsAreRead();
    void aHostBehindAProxyKeepsItsClassesApart();
    void aStoppingHostSaysSoAndOpensNoMore();
    void signedSessionsHoldOnEveryHost();
};

void TestHostServer::servesItsPagesWithStrictHeaders_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("contains");
    QTest::newRow("class page") << get("/") << "200" << "class.js";
    QTest::newRow("seat page goes back to the class") << get("/seat/") << "200" << "<body data-back=\"/\">";
    QTest::newRow("seat feedback") << get("/seat/fb/2/0.png") << "200" << "image/png";
    QTest::newRow("teacher page") << get("/teacher/") << "200" << "teacher.js";
    QTest::newRow("results without the session") << get("/teacher/results/1.csv") << "403" << "key";
    QTest::newRow("QR code without the session") << get("/teacher/qr/1.svg") << "403" << "";
    QTest::newRow("a child's review without the session") << get("/teacher/review/1-1.html") << "403" << "key";
    QTest::newRow("a game's sheet without the session") << get("/teacher/sheet/1.html") << "403" << "key";
    QTest::newRow("a forged session") << get("/teacher/results/1.csv", "Cookie: taruvo_teacher=abc\r\n") << "403" << "";
    QTest::newRow("a used or made-up ticket") << get("/teacher/session?ticket=x") << "303" << "Location: /teacher/";
    QTest::newRow("path tricks") << get("/../teacher-key") << "404" << "";
    QTest::newRow("anything else") << get("/results.db") << "404" << "";
}

void TestHostServer::servesItsPagesWithStrictHeaders()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, status);
    QFETCH(QString, contains);
    Host h;
    const QByteArray reply = exchange(h.port(), request);
    QVERIFY2(reply.startsWith("HTTP/1.1 " + status.toLatin1()), reply.left(200).constData());
    QVERIFY2(reply.contains(contains.toUtf8()), reply.left(400).constData());
    QVERIFY(reply.contains("Content-Security-Policy: default-src 'none'; script-src 'self';"));
    QVERIFY(reply.contains("X-Frame-Options: DENY"));
    QVERIFY(!reply.contains("Set-Cookie"));
}

void TestHostServer::theTeachersThingsNeedTheSession()
{
    Host h;
    // Without a session only the key may be given.
    RawWebSocket anon;
    anon.open(QHostAddress::LocalHost, h.port(), "/teacher/ws");
    QVERIFY(waitFor(anon, "login"));
    anon.send({{"t", "start"}, {"class", double(h.game->id())}, {"oneDeal", true}});
    QVERIFY(QTest::qWaitFor([&] { return anon.isClosed(); }, 5000));
    QCOMPARE(anon.last("refused")["reason"].toString(), QString("login"));
    QCOMPARE(h.game->phase(), ClassGame::Phase::Lobby);

    const QByteArray cookie = h.cookie();
    QVERIFY(cookie.startsWith(QByteArray(HostServer::CookieName) + '='));
    // The cookie's attributes, and a ticket good once only.
    RawWebSocket again;
    again.open(QHostAddress::LocalHost, h.port(), "/teacher/ws");
    QVERIFY(QTest::qWaitFor([&] { return again.isOpen(); }, 5000));
    again.send({{"t", "login"}, {"key", h.keyText}});
    QVERIFY(waitFor(again, "ticket"));
    const QByteArray ticket = again.last("ticket")["ticket"].toString().toLatin1();
    const QByteArray first = exchange(h.port(), get("/teacher/session?ticket=" + ticket));
    QVERIFY(first.contains("; Path=/teacher; HttpOnly; SameSite=Strict"));
    QVERIFY(!exchange(h.port(), get("/teacher/session?ticket=" + ticket)).contains("Set-Cookie"));

    // With the session: the page is greeted, and commands work.
    RawWebSocket teacher;
    teacher.open(QHostAddress::LocalHost, h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
    QVERIFY(waitFor(teacher, "hello"));
    QVERIFY(waitFor(teacher, "classes"));
    teacher.send({{"t", "pair"}, {"class", double(h.game->id())}, {"shuffle", false}, {"id", 7}});
    QVERIFY(waitFor(teacher, "done"));
    QCOMPARE(teacher.last("done")["id"].toInt(), 7);
    const QByteArray csv = exchange(h.port(), get("/teacher/results/" + QByteArray::number(h.game->id()) + ".csv",
                                                  "Cookie: " + cookie + "\r\n"));
    QVERIFY2(csv.startsWith("HTTP/1.1 200"), csv.left(200).constData());
    QVERIFY(csv.contains("Content-Disposition: attachment"));
    QVERIFY(csv.contains("\xEF\xBB\xBF"));
    // Logging out ends the session for every page.
    teacher.send({{"t", "logout"}});
    QVERIFY(QTest::qWaitFor([&] { return teacher.isClosed(); }, 5000));
    QVERIFY(exchange(h.port(), get("/teacher/results/1.csv", "Cookie: " + cookie + "\r\n")).startsWith("HTTP/1.1 403"));
}

void TestHostServer::wrongKeysMustWait()
{
    // Five wrong keys a minute from an address, then even the right one waits.
    Host h;
    for (int i = 0; i < 6; ++i) {
        RawWebSocket ws;
        ws.open(QHostAddress::LocalHost, h.port(), "/teacher/ws");
        QVERIFY(QTest::qWaitFor([&] { return ws.isOpen(); }, 5000));
        ws.send({{"t", "login"}, {"key", i < 5 ? QString("WRONG-KEY-%1").arg(i) : h.keyText}});
        QVERIFY(QTest::qWaitFor([&] { return ws.isClosed(); }, 10000));
        QCOMPARE(ws.last("refused")["reason"].toString(), QString(i < 5 ? "key" : "wait"));
    }
    // Another address is not held up.
    RawWebSocket other;
    other.open(loopback(7), h.port(), "/teacher/ws");
    QVERIFY(QTest::qWaitFor([&] { return other.isOpen(); }, 5000));
    other.send({{"t", "login"}, {"key", h.keyText}});
    QVERIFY(waitFor(other, "ticket"));
}

void TestHostServer::aChildReachesItsOwnSeatOnly()
{
    Host h;
    auto a = h.enter(1, h.game->code(), "a");
    auto b = h.enter(2, h.game->code(), "b");
    QVERIFY(waitFor(*a, "entered"));
    QVERIFY(waitFor(*b, "entered"));
    const QJsonObject ea = a->last("entered"), eb = b->last("entered");
    QVERIFY(ea["token"].toString() != eb["token"].toString());
    QVERIFY(waitFor(*a, "lobby"));
    QVERIFY(!a->last("lobby")["seated"].toBool());
    QVERIFY(h.game->startAll(false, nullptr));
    QVERIFY(QTest::qWaitFor([&] { return a->last("lobby")["seated"].toBool(); }, 5000));

    auto seat = [&h](int n, const QString &code, const QString &token) {
        auto ws = std::make_unique<RawWebSocket>();
        ws->open(loopback(n), h.port(), "/ws");
        if (QTest::qWaitFor([&ws] { return ws->isOpen(); }, 5000))
            ws->send({{"t", "join"}, {"code", code}, {"token", token}});
        return ws;
    };
    // b with a's seat code, and with a's token but b's code: both wrong.
    auto stolen = seat(2, ea["seat"].toString(), eb["token"].toString());
    auto mixed = seat(2, eb["seat"].toString(), ea["token"].toString());
    QVERIFY(QTest::qWaitFor([&] { return stolen->isClosed() && mixed->isClosed(); }, 5000));
    QCOMPARE(stolen->last("refused")["reason"].toString(), QString("code"));
    QCOMPARE(mixed->last("refused")["reason"].toString(), QString("code"));
    // a on its own seat: what it writes lands there and nowhere else.
    auto own = seat(1, ea["seat"].toString(), ea["token"].toString());
    QVERIFY(waitFor(*own, "joined"));
    QVERIFY(waitFor(*own, "state"));
    const int epoch = own->last("state")["boxes"].toArray().at(0).toObject()["e"].toInt();
    own->send({{"t", "stroke"}, {"box", 0}, {"e", epoch}, {"pts", QJsonArray{100, 100, 900, 900}}, {"id", 1}});
    RemoteSeat *seatA = h.game->seatOf(h.game->children().at(0).id);
    RemoteSeat *seatB = h.game->seatOf(h.game->children().at(1).id);
    QTRY_COMPARE_WITH_TIMEOUT(seatA->box(0).strokes().size(), 1, 5000);
    QCOMPARE(seatB->box(0).strokes().size(), 0);
    // The lobby page cannot act on the game either.
    a->send({{"t", "enter"}, {"code", h.game->code()}, {"name", "again"}});
    QVERIFY(waitFor(*a, "refused"));
    QCOMPARE(h.game->children().size(), 2);
    // Between rounds the seat page is sent back to the lobby.
    h.game->endAll(nullptr);
    h.game->release(nullptr);
    QVERIFY(QTest::qWaitFor([&] { return own->last("closed")["reason"].toString() == "released"; }, 5000));
    auto between = seat(1, ea["seat"].toString(), ea["token"].toString());
    QVERIFY(QTest::qWaitFor([&] { return between->isClosed(); }, 5000));
    QCOMPARE(between->last("refused")["reason"].toString(), QString("lobby"));
}

void TestHostServer::aPongBeforeTheFirstMessageIsNoFault()
{
    // A browser answers the host's keep-alive ping on its own: when the ping
    // reaches a page that has just connected, its pong comes before the
    // page's first message, and the page must still get in.
    Host h;
    const QByteArray pong("\x8A\x80\0\0\0\0", 6);
    RawWebSocket lobby;
    lobby.open(loopback(1), h.port(), "/class/ws");
    QVERIFY(QTest::qWaitFor([&] { return lobby.isOpen(); }, 5000));
    lobby.sendRaw(pong);
    lobby.send({{"t", "enter"}, {"code", h.game->code()}, {"name", "a"}});
    QVERIFY(waitFor(lobby, "entered"));
    QVERIFY(h.game->startAll(false, nullptr));
    RawWebSocket seat;
    seat.open(loopback(1), h.port(), "/ws");
    QVERIFY(QTest::qWaitFor([&] { return seat.isOpen(); }, 5000));
    seat.sendRaw(pong);
    seat.send({{"t", "join"}, {"code", lobby.last("entered")["seat"].toString()},
               {"token", lobby.last("entered")["token"].toString()}});
    QVERIFY(waitFor(seat, "joined"));
    QVERIFY(seat.isOpen());
}

void TestHostServer::classCodesAreGuessedNoFaster()
{
    Host h;
    QString wrong = "00000000";
    while (wrong == h.game->code())
        wrong = QString::number(wrong.toInt() + 1).rightJustified(8, '0');
    // The teacher watches from the start: the warning holds for a minute
    // after the guesses, which a slow machine may take longer than.
    const QByteArray cookie = h.cookie();
    RawWebSocket teacher;
    teacher.open(loopback(200), h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
    QVERIFY(QTest::qWaitFor([&] { return !teacher.last("classes").isEmpty(); }, 10000));
    // From one address: five wrong codes a minute, then it waits, right
    // code or not.
    for (int i = 0; i < 5; ++i) {
        auto ws = h.enter(1, wrong, QString("x%1").arg(i));
        QVERIFY(QTest::qWaitFor([&] { return ws->isClosed(); }, 5000));
        QCOMPARE(ws->last("refused")["reason"].toString(), QString("code"));
    }
    auto held = h.enter(1, h.game->code(), "right");
    QVERIFY(QTest::qWaitFor([&] { return held->isClosed(); }, 5000));
    QCOMPARE(held->last("refused")["reason"].toString(), QString("wait"));
    // Many addresses together are held to the overall budget: 30 a
    // minute, then every try waits, and the teacher is told.
    int refusedForWaiting = 0;
    for (int n = 2; n < 40; ++n) {
        auto ws = h.enter(n, wrong, "y");
        QVERIFY(QTest::qWaitFor([&] { return ws->isClosed(); }, 5000));
        refusedForWaiting += ws->last("refused")["reason"].toString() == "wait";
    }
    QCOMPARE(refusedForWaiting, 38 - 25);
    auto fresh = h.enter(99, h.game->code(), "fresh");
    QVERIFY(QTest::qWaitFor([&] { return fresh->isClosed(); }, 5000));
    QCOMPARE(fresh->last("refused")["reason"].toString(), QString("wait"));
    const auto warned = [&] {
        return std::any_of(teacher.received().cbegin(), teacher.received().cend(), [](const QJsonObject &m) {
            return m["t"].toString() == "classes" && m["alert"].toString().contains("guessing");
        });
    };
    QVERIFY(QTest::qWaitFor(warned, 10000));
}

void TestHostServer::aReverseProxyIsBelievedOnlyWhenTrusted()
{
    // Every device comes through the proxy at 127.0.0.1: a guesser behind
    // it waits alone, the other devices get in.
    Host h;
    h.server.setTrustedProxies({QHostAddress::LocalHost});
    const QString wrong = h.game->code() == "00000000" ? "00000001" : "00000000";
    for (int i = 0; i < 5; ++i) {
        auto ws = h.enter(0, wrong, "g", "X-Forwarded-For: 10.0.0.66\r\n");
        QVERIFY(QTest::qWaitFor([&] { return ws->isClosed(); }, 5000));
    }
    auto guesser = h.enter(0, h.game->code(), "g", "X-Forwarded-For: 10.0.0.66\r\n");
    auto child = h.enter(0, h.game->code(), "child", "X-Forwarded-For: 10.0.0.67\r\n");
    // What a device writes before the proxy's own entry is not believed.
    auto forged = h.enter(0, h.game->code(), "forged", "X-Forwarded-For: 10.0.0.1, 10.0.0.66\r\n");
    QVERIFY(waitFor(*child, "entered"));
    QVERIFY(QTest::qWaitFor([&] { return guesser->isClosed() && forged->isClosed(); }, 5000));
    QCOMPARE(guesser->last("refused")["reason"].toString(), QString("wait"));
    QCOMPARE(forged->last("refused")["reason"].toString(), QString("wait"));

    // Not trusted, the header counts for nothing: the address itself waits.
    Host plain;
    for (int i = 0; i < 5; ++i) {
        auto ws = plain.enter(3, wrong, "g", QString("X-Forwarded-For: 10.0.1.%1\r\n").arg(i).toLatin1());
        QVERIFY(QTest::qWaitFor([&] { return ws->isClosed(); }, 5000));
    }
    auto after = plain.enter(3, plain.game->code(), "c", "X-Forwarded-For: 10.0.1.99\r\n");
    QVERIFY(QTest::qWaitFor([&] { return after->isClosed(); }, 5000));
    QCOMPARE(after->last("refused")["reason"].toString(), QString("wait"));
}

void TestHostServer::uploadsAreBounded()
{
    Host h;
    const QByteArray cookie = h.cookie();
    RawWebSocket t;
    t.open(QHostAddress::LocalHost, h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
    QVERIFY(waitFor(t, "hello"));
    int id = 0;
    auto ask = [&](QJsonObject o) {
        o["id"] = ++id;
        const int asked = id;
        t.send(o);
        QJsonObject reply;
        (void)QTest::qWaitFor([&] {
            for (const QJsonObject &r : t.received())
                if (r["id"].toInt() == asked)
                    reply = r;
            return !reply.isEmpty();
        }, 10000);
        return reply;
    };
    auto create = [](const QString &name) {
        return QJsonObject{{"t", "create"}, {"name", name}, {"upload", true}, {"timeOn", true}, {"time", 60},
                           {"answersOn", true}, {"answers", 5}};
    };
    auto part = [](int n, bool last, const QByteArray &bytes) {
        return QJsonObject{{"t", "upload"}, {"name", "C:\\lists\\my.txt"}, {"part", n}, {"last", last},
                           {"data", QString::fromLatin1(bytes.toBase64())}};
    };
    // A list in two parts, as the page sends it.
    const QByteArray list = eighteen.join("\n").toUtf8();
    QCOMPARE(ask(part(0, false, list.left(20)))["t"].toString(), QString("done"));
    QCOMPARE(ask(part(1, true, list.mid(20)))["t"].toString(), QString("done"));
    QCOMPARE(ask(create("uploaded"))["t"].toString(), QString("done"));
    QCOMPARE(h.host.classes().last()->settings().listName, QString("my.txt"));
    // Larger than 512 kB in all: refused at the part that passes it.
    const QByteArray piece(TeacherMessage::MaxPartBytes, 'a');
    QJsonObject reply;
    for (int n = 0; n < 30 && reply["t"].toString() != "error"; ++n)
        reply = ask(part(n, false, piece));
    QVERIFY(reply["why"].toString().contains("512 kB"));
    // Too many lines, too few words, parts out of order.
    QCOMPARE(ask(part(0, true, QByteArray(20001, '\n')))["t"].toString(), QString("done"));
    QVERIFY(ask(create("lines"))["why"].toString().contains("20000 lines"));
    QCOMPARE(ask(part(0, true, eighteen.mid(1).join("\n").toUtf8()))["t"].toString(), QString("done"));
    QVERIFY(ask(create("short"))["why"].toString().contains("17 words"));
    QCOMPARE(ask(part(0, false, "a"))["t"].toString(), QString("done"));
    QVERIFY(ask(part(2, true, "b"))["why"].toString().contains("order"));
    // A part too large for one message is refused by the message check.
    QVERIFY(!ask(part(0, true, QByteArray(TeacherMessage::MaxPartBytes + 1, 'a')))["why"].toString().isEmpty());
    QCOMPARE(h.host.classes().size(), 2);
}

void TestHostServer::listsAreMadeSavedAndPlayed()
{
    Host h;
    const QByteArray cookie = h.cookie();
    // Two teachers' pages: both are told of a list saved on either.
    RawWebSocket t, other;
    t.open(QHostAddress::LocalHost, h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
    other.open(QHostAddress::LocalHost, h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
    QVERIFY(waitFor(t, "hello") && waitFor(other, "hello"));
    QVERIFY(t.last("hello")["listMaker"].toBool());
    QCOMPARE(t.last("hello")["saved"].toArray(), QJsonArray());
    int id = 0;
    auto ask = [&](QJsonObject o) {
        o["id"] = ++id;
        const int asked = id;
        t.send(o);
        QJsonObject reply;
        (void)QTest::qWaitFor([&] {
            for (const QJsonObject &r : t.received())
                if (r["id"].toInt() == asked)
                    reply = r;
            return !reply.isEmpty();
        }, 10000);
        return reply;
    };
    QString all;
    for (const QString &w : eighteen)
        all += w + "、";
    // Made from pasted kanji or a grade: the words and their number.
    QJsonObject made = ask({{"t", "makelist"}, {"grades", QJsonArray()}, {"kanji", all}});
    QCOMPARE(made["t"].toString(), QString("madelist"));
    QCOMPARE(made["count"].toInt(), 18);
    QCOMPARE(made["words"].toArray().size(), 18);
    QVERIFY(made["suggestions"].toArray().isEmpty());
    QCOMPARE(ask({{"t", "makelist"}, {"grades", QJsonArray{1}}, {"kanji", ""}})["count"].toInt(), 18);
    // Too few: the kanji that would add the most.
    made = ask({{"t", "makelist"}, {"grades", QJsonArray()}, {"kanji", "今日学"}});
    QCOMPARE(made["count"].toInt(), 1);
    QCOMPARE(made["suggestions"].toArray().at(0)["kanji"].toString(), QString("校"));
    QVERIFY(ask({{"t", "makelist"}, {"grades", QJsonArray()}, {"kanji", "かな"}})["why"].toString().contains("no kanji"));

    // Saved under a checked name, made again on the host from the same choice.
    QVERIFY(ask({{"t", "savelist"}, {"name", "../x"}, {"grades", QJsonArray()}, {"kanji", all}})["why"]
                .toString()
                .contains("name"));
    QVERIFY(ask({{"t", "savelist"}, {"name", "短い"}, {"grades", QJsonArray()}, {"kanji", "今日"}})["why"]
                .toString()
                .contains("1 words; a game needs 18"));
    const QJsonObject saved = ask({{"t", "savelist"}, {"name", " 1学期 "}, {"grades", QJsonArray()}, {"kanji", all}});
    QCOMPARE(saved["t"].toString(), QString("done"));
    QCOMPARE(saved["list"].toString(), QString("1学期"));
    QVERIFY(waitFor(other, "lists"));
    QCOMPARE(other.last("lists")["saved"].toArray(), QJsonArray{"1学期"});
    QVERIFY(QFile::exists(h.dir.filePath("lists/1学期.txt")));
    QVERIFY(ask({{"t", "savelist"}, {"name", "1学期"}, {"grades", QJsonArray()}, {"kanji", all}})["why"]
                .toString()
                .contains("exists"));
    QCOMPARE(ask({{"t", "savelist"}, {"name", "1学期"}, {"grades", QJsonArray()}, {"kanji", all}, {"replace", true}})["t"]
                 .toString(),
             QString("done"));

    // Offered to the class game form, and played.
    const QJsonObject created = ask({{"t", "create"}, {"name", "1組"}, {"list", "1学期"}, {"saved", true},
                                     {"timeOn", true}, {"time", 60}, {"answersOn", true}, {"answers", 5}});
    QCOMPARE(created["t"].toString(), QString("done"));
    ClassGame *game = h.host.byId(qint64(created["class"].toDouble()));
    QVERIFY(game);
    QCOMPARE(game->words().size(), 18);
    QCOMPARE(game->settings().listName, QString("1学期"));
    // A saved list's name is not a bundled list's, nor a path.
    QVERIFY(ask({{"t", "create"}, {"name", "x"}, {"list", "1学期"}, {"timeOn", true}, {"time", 60},
                 {"answersOn", true}, {"answers", 5}})["t"].toString() == "error");
    QVERIFY(ask({{"t", "create"}, {"name", "x"}, {"list", "../lists/1学期.txt"}, {"saved", true}, {"timeOn", true},
                 {"time", 60}, {"answersOn", true}, {"answers", 5}})["t"].toString() == "error");

    QCOMPARE(ask({{"t", "deletelist"}, {"name", "1学期"}})["t"].toString(), QString("done"));
    QTRY_COMPARE(other.last("lists")["saved"].toArray(), QJsonArray());
    QCOMPARE(ask({{"t", "deletelist"}, {"name", "1学期"}})["t"].toString(), QString("error"));

    // Never without the session.
    RawWebSocket anon;
    anon.open(QHostAddress::LocalHost, h.port(), "/teacher/ws");
    QVERIFY(waitFor(anon, "login"));
    anon.send({{"t", "makelist"}, {"grades", QJsonArray{1}}, {"kanji", ""}});
    QVERIFY(QTest::qWaitFor([&] { return anon.isClosed(); }, 5000));
    QCOMPARE(anon.last("refused")["reason"].toString(), QString("login"));
    QVERIFY(anon.last("madelist").isEmpty());
}

void TestHostServer::printPathsAreStrict_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<qint64>>("ids"); // empty: refused
    const QString review = "/teacher/review/";
    QTest::newRow("two") << review + "12-34.html" << 2 << QList<qint64>{12, 34};
    QTest::newRow("fifteen digits") << review + "999999999999999-1.html" << 2 << QList<qint64>{999999999999999, 1};
    QTest::newRow("sixteen digits") << review + "1000000000000000-1.html" << 2 << QList<qint64>{};
    QTest::newRow("one of two") << review + "12.html" << 2 << QList<qint64>{};
    QTest::newRow("three of two") << review + "1-2-3.html" << 2 << QList<qint64>{};
    QTest::newRow("a sign") << review + "1-+2.html" << 2 << QList<qint64>{};
    QTest::newRow("a negative") << review + "-1-2.html" << 2 << QList<qint64>{};
    QTest::newRow("a blank") << review + "1- 2.html" << 2 << QList<qint64>{};
    QTest::newRow("full-width digits") << review + "１-2.html" << 2 << QList<qint64>{};
    QTest::newRow("another ending") << review + "1-2.htm" << 2 << QList<qint64>{};
    QTest::newRow("a folder more") << review + "x/1-2.html" << 2 << QList<qint64>{};
    QTest::newRow("nothing") << review + ".html" << 1 << QList<qint64>{};
    QTest::newRow("prefix and suffix overlap") << "/teacher/review/.html" << 1 << QList<qint64>{};
}

void TestHostServer::printPathsAreStrict()
{
    QFETCH(QString, path);
    QFETCH(int, count);
    QFETCH(QList<qint64>, ids);
    QCOMPARE(PrintPage::idsIn(path, "/teacher/review/", ".html", count), ids);
}

void TestHostServer::printedReviewsAreAGamesOwn_data()
{
    // G is the game played, A and B its children.
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("contains");
    QTest::newRow("a child's review") << QByteArray("/teacher/review/G-A.html") << "200" << "&lt;b&gt;A&lt;/b&gt;";
    QTest::newRow("its partner's") << QByteArray("/teacher/review/G-B.html") << "200" << "日今";
    QTest::newRow("the game's sheet") << QByteArray("/teacher/sheet/G.html") << "200" << "今日";
    QTest::newRow("a child not of the game") << QByteArray("/teacher/review/G-9999.html") << "404" << "no such review";
    QTest::newRow("no such game") << QByteArray("/teacher/review/9999-A.html") << "404" << "";
    QTest::newRow("a sign") << QByteArray("/teacher/review/G-+A.html") << "404" << "";
}

void TestHostServer::printedReviewsAreAGamesOwn()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, status);
    QFETCH(QString, contains);
    Host h;
    qint64 a = 0, b = 0;
    QVERIFY(h.host.join(h.game, "<b>A</b>", &a, nullptr) == ClassGame::Entry::Joined);
    QVERIFY(h.host.join(h.game, "B", &b, nullptr) == ClassGame::Entry::Joined);
    QVERIFY(h.game->startAll(true, nullptr));
    const qint64 g = h.game->matchOf(a)->id();
    QVERIFY(answer(*h.game->seatOf(a), 1, 2)); // 今日
    QVERIFY(answer(*h.game->seatOf(b), 2, 1)); // 日今
    h.game->endAll(nullptr);
    path.replace("G", QByteArray::number(g)).replace("A", QByteArray::number(a)).replace("B", QByteArray::number(b));
    const QByteArray cookie = h.cookie();
    QVERIFY(!cookie.isEmpty());
    const QByteArray reply = exchange(h.port(), get(path, "Cookie: " + cookie + "\r\n"));
    QVERIFY2(reply.startsWith("HTTP/1.1 " + status.toLatin1()), reply.left(200).constData());
    QVERIFY2(reply.contains(contains.toUtf8()), reply.left(600).constData());
    if (status == "200") {
        // Its type sized in style attributes; scripts still the host's own.
        QVERIFY(reply.contains("Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self' "
                               "'unsafe-inline';"));
        QVERIFY(reply.contains("<script src=\"/teacher/print.js\" defer></script>"));
        QVERIFY(!reply.contains("<b>A</b>"));
    }
    // Never without the session.
    QVERIFY(exchange(h.port(), get(path)).startsWith("HTTP/1.1 403"));
}

void TestHostServer::messagesAreChecked_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("lobby");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("not JSON") << QByteArray("{") << true << "JSON object";
    QTest::newRow("class code with letters") << QByteArray(R"({"t":"enter","code":"12a45678","name":"x"})") << true << "8 digits";
    // The page sends the digits alone, whatever the child typed.
    QTest::newRow("class code grouped") << QByteArray(R"({"t":"enter","code":"1234 5678","name":"x"})") << true << "8 digits";
    QTest::newRow("class code of six digits") << QByteArray(R"({"t":"enter","code":"123456","name":"x"})") << true << "8 digits";
    QTest::newRow("class code of nine digits") << QByteArray(R"({"t":"enter","code":"123456789","name":"x"})") << true << "8 digits";
    QTest::newRow("class code in full-width digits") << QByteArray(R"({"t":"enter","code":"１２３４５６７８","name":"x"})") << true << "8 digits";
    QTest::newRow("class code as a number") << QByteArray(R"({"t":"enter","code":12345678,"name":"x"})") << true << "8 digits";
    QTest::newRow("name as a number") << QByteArray(R"({"t":"enter","code":"12345678","name":5})") << true << "\"name\"";
    QTest::newRow("token too short") << QByteArray(R"({"t":"back","token":"abc"})") << true << "32";
    QTest::newRow("too large") << QByteArray(2000, ' ') << true << "too large";
    QTest::newRow("teacher: unknown") << QByteArray(R"({"t":"format"})") << false << "unknown";
    QTest::newRow("teacher: time out of range") << QByteArray(R"({"t":"create","name":"x","list":"a","timeOn":true,"time":601,"answersOn":true,"answers":5})") << false << "600";
    QTest::newRow("teacher: class as text") << QByteArray(R"({"t":"start","class":"1","oneDeal":true})") << false << "class";
    QTest::newRow("teacher: list and upload") << QByteArray(R"({"t":"create","name":"x","list":"a","upload":true,"timeOn":true,"time":60,"answersOn":true,"answers":5})") << false << "either";
    QTest::newRow("teacher: grade 8") << QByteArray(R"({"t":"makelist","grades":[8],"kanji":""})") << false << "1 to 7";
    QTest::newRow("teacher: grade as text") << QByteArray(R"({"t":"makelist","grades":["1"],"kanji":""})") << false << "1 to 7";
    QTest::newRow("teacher: grades not a list") << QByteArray(R"({"t":"makelist","grades":1,"kanji":""})") << false << "grades";
    QTest::newRow("teacher: eight grades") << QByteArray(R"({"t":"makelist","grades":[1,2,3,4,5,6,7,1],"kanji":""})") << false << "grades";
    QTest::newRow("teacher: no kanji field") << QByteArray(R"({"t":"makelist","grades":[1]})") << false << "kanji";
    QTest::newRow("teacher: kanji too long") << (R"({"t":"makelist","grades":[],"kanji":")" + QByteArray(4001, 'a') + R"("})") << false << "4000";
    QTest::newRow("teacher: list name as a number") << QByteArray(R"({"t":"savelist","name":1,"grades":[1],"kanji":""})") << false << "name";
    QTest::newRow("teacher: replace as text") << QByteArray(R"({"t":"savelist","name":"a","grades":[1],"kanji":"","replace":"yes"})") << false << "replace";
    QTest::newRow("teacher: saved as text") << QByteArray(R"({"t":"create","name":"x","list":"a","saved":"yes","timeOn":true,"time":60,"answersOn":true,"answers":5})") << false << "saved";
    QTest::newRow("teacher: bad base64") << QByteArray(R"({"t":"upload","name":"a","part":0,"last":true,"data":"!!"})") << false << "base64";
}

void TestHostServer::messagesAreChecked()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, lobby);
    QFETCH(QString, refusal);
    const QString why = lobby ? LobbyMessage::parse(message).refusal : TeacherMessage::parse(message).refusal;
    QVERIFY2(why.contains(refusal), qPrintable(why));
}

void TestHostServer::hostileClientsAreCut_data()
{
    QTest::addColumn<QByteArray>("path");     // empty: plain HTTP
    QTest::addColumn<QString>("before");      // "", "enter", "session": what the page did first
    QTest::addColumn<QByteArray>("bytes");    // then sends these as they are
    QTest::addColumn<int>("bytesPerSecond");  // of a page that entered; 0: as the host has it
    QTest::addColumn<bool>("staysOpen");
    const QByteArray post = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello";
    QByteArray chatter;
    for (int i = 0; i < 10; ++i)
        chatter += frame(padded(250));
    QTest::newRow("a request with a body") << QByteArray() << "" << post << 0 << false;
    QTest::newRow("class page: an unmasked frame") << QByteArray("/class/ws") << "" << frame("{\"t\":\"ping\"}", false) << 0 << false;
    QTest::newRow("class page: a large first message") << QByteArray("/class/ws") << "" << frame(padded(300)) << 0 << false;
    QTest::newRow("class page: much talk before entering") << QByteArray("/class/ws") << "" << chatter << 0 << false;
    QTest::newRow("class page: the same talk once entered") << QByteArray("/class/ws") << "enter" << chatter << 0 << true;
    QTest::newRow("class page: past its byte allowance") << QByteArray("/class/ws") << "enter" << chatter << 500 << false;
    QTest::newRow("teacher: a large first message without the session") << QByteArray("/teacher/ws") << "" << frame(padded(300)) << 0 << false;
    QTest::newRow("teacher: large messages with the session") << QByteArray("/teacher/ws") << "session" << chatter << 0 << true;
}

void TestHostServer::hostileClientsAreCut()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, before);
    QFETCH(QByteArray, bytes);
    QFETCH(int, bytesPerSecond);
    QFETCH(bool, staysOpen);
    Host h;
    QByteArray headers;
    if (before == "session")
        headers = "Cookie: " + h.cookie() + "\r\n";
    if (bytesPerSecond) {
        GuardedTcpServer::Limits limits = h.server.tcpServer()->limits();
        limits.bytesPerSecond = bytesPerSecond;
        limits.byteBurst = bytesPerSecond;
        h.server.tcpServer()->setLimits(limits);
    }
    if (path.isEmpty()) {
        const QByteArray reply = exchange(h.port(), bytes);
        QVERIFY2(reply.isEmpty(), reply.left(200).constData());
        return;
    }
    RawWebSocket ws;
    ws.open(loopback(5), h.port(), path, headers);
    QVERIFY(QTest::qWaitFor([&] { return ws.isOpen(); }, 5000));
    if (before == "enter") {
        ws.send({{"t", "enter"}, {"code", h.game->code()}, {"name", "ok"}});
        QVERIFY(waitFor(ws, "entered"));
    } else if (before == "session") {
        QVERIFY(waitFor(ws, "hello"));
    }
    const qsizetype heard = ws.received().size();
    ws.sendRaw(bytes);
    if (staysOpen) {
        // Answered (a refusal of the message, or a pong), the connection kept.
        QVERIFY(QTest::qWaitFor([&] { return ws.received().size() >= heard + 3; }, 5000));
        QTest::qWait(300);
        QVERIFY(ws.isOpen());
    } else {
        QVERIFY(QTest::qWaitFor([&] { return ws.isClosed(); }, 5000));
    }
}

void TestHostServer::pagesThatEnteredKeepTheirSlots_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a class page that entered") << "entered" << true;
    QTest::newRow("a seat") << "seat" << true;
    QTest::newRow("the teacher with the session") << "teacher" << true;
    QTest::newRow("a class page that only connected") << "connected" << false;
}

void TestHostServer::pagesThatEnteredKeepTheirSlots()
{
    // A crowd that holds connections open without a word fills the host;
    // a page that is somebody's makes no room for it.
    QFETCH(QString, page);
    QFETCH(bool, kept);
    Host h;
    const QByteArray cookie = page == "teacher" ? h.cookie() : QByteArray();
    GuardedTcpServer::Limits limits = h.server.tcpServer()->limits();
    limits.maxConnections = 6;
    h.server.tcpServer()->setLimits(limits);

    std::unique_ptr<RawWebSocket> lobby, other, seat;
    RawWebSocket teacher;
    RawWebSocket *watched = nullptr;
    if (page == "teacher") {
        teacher.open(loopback(1), h.port(), "/teacher/ws", "Cookie: " + cookie + "\r\n");
        QVERIFY(waitFor(teacher, "hello"));
        watched = &teacher;
    } else if (page == "connected") {
        lobby = std::make_unique<RawWebSocket>();
        lobby->open(loopback(1), h.port(), "/class/ws");
        QVERIFY(QTest::qWaitFor([&] { return lobby->isOpen(); }, 5000));
        watched = lobby.get();
    } else {
        lobby = h.enter(1, h.game->code(), "a");
        QVERIFY(waitFor(*lobby, "entered"));
        watched = lobby.get();
        if (page == "seat") {
            other = h.enter(2, h.game->code(), "b");
            QVERIFY(waitFor(*other, "entered"));
            QVERIFY(h.game->startAll(false, nullptr));
            const QJsonObject e = lobby->last("entered");
            seat = std::make_unique<RawWebSocket>();
            seat->open(loopback(1), h.port(), "/ws");
            QVERIFY(QTest::qWaitFor([&] { return seat->isOpen(); }, 5000));
            seat->send({{"t", "join"}, {"code", e["seat"].toString()}, {"token", e["token"].toString()}});
            QVERIFY(waitFor(*seat, "joined"));
            watched = seat.get();
        }
    }
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int n = 0; n < 12; ++n) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->bind(loopback(100 + n));
        crowd.back()->connectToHost(QHostAddress::LocalHost, h.port());
        QVERIFY(crowd.back()->waitForConnected(5000));
        QTest::qWait(20);
    }
    QTest::qWait(300);
    QCOMPARE(watched->isOpen(), kept);
    QVERIFY(h.server.tcpServer()->connectionCount() <= limits.maxConnections);
    QVERIFY(h.server.tcpServer()->droppedCount() > 0);
}

void TestHostServer::wrongSeatJoinsHoldUpOnlyTheirAddress_data()
{
    QTest::addColumn<int>("addresses");
    QTest::addColumn<int>("joinsEach");
    QTest::newRow("stale seat pages of a whole class") << 40 << 1;
    QTest::newRow("one address trying seats") << 1 << HostServer::MaxFaults;
}

void TestHostServer::wrongSeatJoinsHoldUpOnlyTheirAddress()
{
    // After a restart every tablet's seat page comes back with a token the
    // host no longer knows: faults of each address, not guesses of class
    // codes that would make the next child typing one wait.
    QFETCH(int, addresses);
    QFETCH(int, joinsEach);
    Host h;
    for (int n = 0; n < addresses; ++n) {
        for (int j = 0; j < joinsEach; ++j) {
            RawWebSocket ws;
            ws.open(loopback(10 + n), h.port(), "/ws");
            QVERIFY(QTest::qWaitFor([&] { return ws.isOpen() || ws.isClosed(); }, 5000));
            if (ws.isClosed())
                break; // refused before a word: the address has had enough
            ws.send({{"t", "join"}, {"code", "1234567890123456"}, {"token", QString(32, 'a')}});
            QVERIFY(QTest::qWaitFor([&] { return ws.isClosed(); }, 5000));
        }
    }
    QCOMPARE(h.server.joinGuard().wrongCodesInWindow(), 0);
    auto child = h.enter(200, h.game->code(), "child");
    QVERIFY(waitFor(*child, "entered"));
    // The address that kept trying is not even heard now.
    auto again = h.enter(10, h.game->code(), "again");
    QCOMPARE(QTest::qWaitFor([&] { return again->isClosed(); }, 3000), joinsEach >= HostServer::MaxFaults);
}

void TestHostServer::theDatabaseOptionsAreRead_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refused"); // empty: read
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::newRow("SQLite by default") << QStringList() << "" << "" << 5432 << "taruvo" << "taruvo";
    QTest::newRow("a socket folder")
        << QStringList{"--postgresql", "/run/postgresql"} << "" << "/run/postgresql" << 5432 << "taruvo" << "taruvo";
    QTest::newRow("all given")
        << QStringList{"--postgresql=db.school.example", "--pg-port", "6432", "--pg-database", "district",
                       "--pg-user", "host1", "--pg-password-file", "/etc/taruvo/pw", "--host-name", "h1"}
        << "" << "db.school.example" << 6432 << "district" << "host1";
    QTest::newRow("a password on the command line")
        << QStringList{"--postgresql", "db", "--pg-password", "secret"} << "never given on the command line" << ""
        << 0 << "" << "";
    QTest::newRow("a port out of range") << QStringList{"--postgresql", "db", "--pg-port", "70000"} << "--pg-port"
                                         << "" << 0 << "" << "";
    QTest::newRow("a database option without a server")
        << QStringList{"--pg-database", "district"} << "need --postgresql" << "" << 0 << "" << "";
    QTest::newRow("an empty server") << QStringList{"--postgresql="} << "--postgresql needs" << "" << 0 << "" << "";
    QTest::newRow("a name too long") << QStringList{"--postgresql", "db", "--host-name", QString(201, 'x')}
                                     << "at most 200" << "" << 0 << "" << "";
}

void TestHostServer::theDatabaseOptionsAreRead()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, refused);
    HostOptions o;
    QString error;
    const bool read = HostOptions::parse(QStringList{"taruvo-host"} + arguments, &o, &error);
    QCOMPARE(read, refused.isEmpty());
    if (!read) {
        QVERIFY2(error.contains(refused), qPrintable(error));
        QVERIFY(!error.contains("secret"));
        return;
    }
    QTEST(o.database.server, "server");
    QTEST(o.database.port, "port");
    QTEST(o.database.name, "database");
    QTEST(o.database.user, "user");
    QVERIFY(o.database.password.isEmpty());
}

QTEST_GUILESS_MAIN(TestHostServer)
#include "tst_hostserver.moc"

void TestHostServer::routesAreReadStrictly()
{
    for (const char *bad : {"", "7", "007", "00", "ab", "0x", " 7", "７７", "-1"})
        QVERIFY2(ClassRoute::parse(QString::fromUtf8(bad)) == -1, bad);
    QCOMPARE(ClassRoute::parse(u"01"), 1);
    QCOMPARE(ClassRoute::parse(u"99"), 99);
    QCOMPARE(ClassRoute::text(7), QString("07"));
    QVERIFY(ClassRoute::text(0).isEmpty() && ClassRoute::text(100).isEmpty());
    QCOMPARE(ClassRoute::ofCode("0712345678", 8), 7);
    QCOMPARE(ClassRoute::ofCode("12345678", 8), 0);
    QCOMPARE(ClassRoute::ofCode("0012345678", 8), 0);
    // A class page's code: eight digits, or ten behind a proxy; nothing between.
    for (const char *code : {"1234567", "123456789", "12345678901"}) {
        const QByteArray m = R"({"t":"enter","name":"a","code":")" + QByteArray(code) + R"("})";
        QCOMPARE(LobbyMessage::parse(m).kind, LobbyCommand::Invalid);
    }
    QCOMPARE(LobbyMessage::parse(R"({"t":"enter","name":"a","code":"0712345678"})").kind, LobbyCommand::Enter);
}

void TestHostServer::aHostBehindAProxyKeepsItsClassesApart()
{
    Host h;
    h.host.setRoute(7);
    WordList w;
    w.load(eighteen);
    ClassSettings s;
    s.name = "routed";
    s.listName = "list.txt";
    ClassGame *routed = h.host.create(s, w, nullptr);
    QVERIFY(routed);
    // The route first, then as many random digits as without it.
    QCOMPARE(routed->code().size(), 10);
    QVERIFY(routed->code().startsWith("07"));
    QVERIFY(exchange(h.port(), get("/")).contains("<body data-code-digits=\"10\">"));

    // Addresses with a malformed route are refused, a well-formed one served.
    for (const char *bad : {"/?h=7", "/?h=100", "/?h=00", "/?h=ab", "/?h=07&h=08", "/teacher/?h=0%3F", "/health?h="}) {
        const QByteArray reply = exchange(h.port(), get(bad));
        QVERIFY2(reply.startsWith("HTTP/1.1 400"), bad);
    }
    QVERIFY(exchange(h.port(), get("/?h=07")).startsWith("HTTP/1.1 200"));
    QVERIFY(exchange(h.port(), get("/seat/?h=07")).startsWith("HTTP/1.1 200"));
    RawWebSocket badRoute;
    badRoute.open(loopback(3), h.port(), "/class/ws?h=7x");
    QVERIFY(QTest::qWaitFor([&] { return badRoute.isClosed(); }, 5000));
    QCOMPARE(badRoute.last("refused")["reason"].toString(), QString("route"));

    // A code of another route came here because its host is away: said so,
    // and no guess at this host's codes.
    auto away = h.enter(1, "05" + routed->code().mid(2), "a");
    QVERIFY(QTest::qWaitFor([&] { return away->isClosed(); }, 5000));
    QCOMPARE(away->last("refused")["reason"].toString(), QString("away"));
    QCOMPARE(h.server.joinGuard().wrongCodesInWindow(), 0);
    auto in = h.enter(2, routed->code(), "b", {});
    QVERIFY(waitFor(*in, "entered"));
    QCOMPARE(routed->children().size(), 1);

    // The teacher's ticket is redeemed at the host that gave it, and the
    // page comes back to it.
    RawWebSocket login;
    login.open(QHostAddress::LocalHost, h.port(), "/teacher/ws?h=07");
    QVERIFY(QTest::qWaitFor([&] { return login.isOpen(); }, 5000));
    login.send({{"t", "login"}, {"key", h.keyText}});
    QVERIFY(waitFor(login, "ticket"));
    QCOMPARE(login.last("ticket")["h"].toString(), QString("07"));
    const QByteArray session = exchange(h.port(), get("/teacher/session?ticket="
                                                      + login.last("ticket")["ticket"].toString().toLatin1() + "&h=07"));
    QVERIFY2(session.contains("Location: /teacher/?h=07\r\n"), session.constData());
    QVERIFY(session.contains("Set-Cookie: "));
}

void TestHostServer::aStoppingHostSaysSoAndOpensNoMore()
{
    Host h;
    const QByteArray serving = exchange(h.port(), get("/health"));
    QVERIFY2(serving.startsWith("HTTP/1.1 200") && serving.endsWith("serving\n"), serving.constData());
    h.host.setStopping(true);
    const QByteArray stopping = exchange(h.port(), get("/health"));
    QVERIFY2(stopping.startsWith("HTTP/1.1 503") && stopping.endsWith("stopping\n"), stopping.constData());
    WordList w;
    w.load(eighteen);
    ClassSettings s;
    s.name = "late";
    s.listName = "list.txt";
    QString why;
    QVERIFY(!h.host.create(s, w, &why));
    QVERIFY(why.contains("stopping"));
    // The class games open go on: a child still enters.
    auto ws = h.enter(1, h.game->code(), "a");
    QVERIFY(waitFor(*ws, "entered"));
}

void TestHostServer::signedSessionsHoldOnEveryHost()
{
    const QByteArray secret(40, 'k');
    TeacherSessions a, b, stranger, plain;
    QVERIFY(!a.setSecret("short"));
    QVERIFY(!a.isSigned());
    QVERIFY(a.setSecret(secret) && b.setSecret(secret) && stranger.setSecret(QByteArray(40, 'x')));
    const qint64 t0 = 1'800'000'000'000;
    const QString session = a.redeem(a.ticket(t0), t0);
    QVERIFY(session.startsWith("s1."));
    // Good on the host that made it and on one sharing its secret, not on others.
    QVERIFY(a.valid(session, t0 + 1000));
    QVERIFY(b.valid(session, t0 + 1000));
    QVERIFY(!stranger.valid(session, t0 + 1000));
    QVERIFY(!plain.valid(session, t0 + 1000));
    // A ticket is the host's own and good once.
    const QString ticket = a.ticket(t0);
    QVERIFY(b.redeem(ticket, t0).isEmpty());
    QVERIFY(!a.redeem(ticket, t0).isEmpty());
    QVERIFY(a.redeem(ticket, t0).isEmpty());

    // Forged: another deadline, another random part, another signature,
    // a signature cut short, too many parts, a deadline past the lifetime.
    const QStringList parts = session.split('.');
    QCOMPARE(parts.size(), 4);
    const QString later = QString::number(parts[1].toLongLong() + 3600 * 1000);
    QString flipped = parts[3];
    flipped[5] = flipped[5] == 'A' ? 'B' : 'A';
    for (const QString &forged : {QStringList{parts[0], later, parts[2], parts[3]}.join('.'),
                                  QStringList{parts[0], parts[1], QString(43, 'A'), parts[3]}.join('.'),
                                  QStringList{parts[0], parts[1], parts[2], flipped}.join('.'),
                                  QStringList{parts[0], parts[1], parts[2], parts[3].left(42)}.join('.'),
                                  session + ".x", "s2." + session.mid(3), QString()})
        QVERIFY2(!b.valid(forged, t0 + 1000), qPrintable(forged));
    // A host whose clock is a little behind takes it; a deadline beyond a
    // lifetime from now (and the clocks' skew) is not taken.
    QVERIFY(b.valid(session, t0 - 60 * 1000));
    QVERIFY(!b.valid(session, t0 - TeacherSessions::ClockSkewMs - 1));

    // Expired.
    QVERIFY(b.valid(session, t0 + TeacherSessions::LifetimeMs - 1));
    QVERIFY(!b.valid(session, t0 + TeacherSessions::LifetimeMs));

    // Ended on one host: there at once, on the other once told.
    const TeacherSessions::Ended ended = a.end(session, t0 + 2000);
    QCOMPARE(ended.id, parts[2]);
    QCOMPARE(ended.untilMs, parts[1].toLongLong());
    QVERIFY(!a.valid(session, t0 + 3000));
    QVERIFY(b.valid(session, t0 + 3000));
    b.revoked(ended.id, ended.untilMs, t0 + 3000);
    QVERIFY(!b.valid(session, t0 + 3000));
    // Another session of the same teacher is not touched.
    const QString other = a.redeem(a.ticket(t0), t0);
    QVERIFY(a.valid(other, t0 + 3000) && b.valid(other, t0 + 3000));
    // A session already expired is not remembered as ended.
    QVERIFY(a.end(other, t0 + TeacherSessions::LifetimeMs + 1).id.isEmpty());
}

void TestHostServer::theProxyOptionsAreRead()
{
    HostOptions o;
    QString error;
    QVERIFY(HostOptions::parse({"taruvo-host"}, &o, &error));
    QCOMPARE(o.route, 0);
    QCOMPARE(o.drainSeconds, 0);
    QVERIFY(HostOptions::parse({"taruvo-host", "--route", "7", "--session-secret-file=/etc/s", "--teacher-key-file",
                                "/etc/k", "--drain-seconds", "10"},
                               &o, &error));
    QCOMPARE(o.route, 7);
    QCOMPARE(o.sessionSecretFile, QString("/etc/s"));
    QCOMPARE(o.teacherKeyFile, QString("/etc/k"));
    QCOMPARE(o.drainSeconds, 10);
    for (const QStringList &bad : {QStringList{"--route", "0"}, QStringList{"--route", "100"}, QStringList{"--route", "x"},
                                   QStringList{"--route"}, QStringList{"--drain-seconds", "601"},
                                   QStringList{"--session-secret-file="}}) {
        HostOptions refused;
        QVERIFY2(!HostOptions::parse(QStringList{"taruvo-host"} + bad, &refused, &error), qPrintable(bad.join(' ')));
    }
}
