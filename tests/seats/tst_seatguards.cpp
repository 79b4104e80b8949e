// SPDX-License-Identifier: GPL-3.0-or-later
// The seats' guards on their own: the checks of what a client sends, the
// table of faults by address and network, and who may try a code.
#include "seats/faulttable.h"
#include "seats/joinguard.h"
#include "seats/streamchecks.h"

#include <QtTest>

namespace {

// Fed at once, byte by byte, and cut at every place in two: the verdict
// must not depend on how the bytes came.
template<typename Check>
bool sameWhateverTheSplit(const QByteArray &bytes, bool *verdict, const Check &fresh = Check())
{
    Check whole = fresh;
    *verdict = whole.feed(bytes);
    Check single = fresh;
    bool bytewise = true;
    for (char c : bytes)
        bytewise = single.feed(QByteArrayView(&c, 1));
    if (bytewise != *verdict)
        return false;
    for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
        Check two = fresh;
        const bool first = two.feed(bytes.left(cut));
        const bool both = two.feed(bytes.mid(cut)) && first;
        if (both != *verdict)
            return false;
    }
    return true;
}

QByteArray frame(const QByteArray &payload, bool masked = true, int opcode = 1)
{
    QByteArray f;
    f.append(char(0x80 | opcode));
    const char m = masked ? char(0x80) : char(0);
    if (payload.size() < 126) {
        f.append(char(m | payload.size()));
    } else if (payload.size() < 65536) {
        f.append(char(m | 126));
        f.append(char(payload.size() >> 8));
        f.append(char(payload.size()));
    } else {
        f.append(char(m | 127));
        for (int i = 7; i >= 0; --i)
            f.append(char(quint64(payload.size()) >> (8 * i)));
    }
    if (masked)
        f.append("\x01\x02\x03\x04", 4);
    return f + payload;
}

QHostAddress v4(int a, int b, int c, int d)
{
    return QHostAddress(QStringLiteral("%1.%2.%3.%4").arg(a).arg(b).arg(c).arg(d));
}

} // namespace

class TestSeatGuards : public QObject
{
    Q_OBJECT
private slots:
    void requestsAreGetOrHeadWithoutBody_data();
    void requestsAreGetOrHeadWithoutBody();
    void framesMustBeMasked_data();
    void framesMustBeMasked();
    void theFirstFrameMayBeBound_data();
    void theFirstFrameMayBeBound();
    void aSweepOfAddressesKeepsItsLimits();
    void networksThatOverflowLimitEverybody();
    void faultsLastOneWindow();
    void joinsAreHeardByWhatTheyOffer_data();
    void joinsAreHeardByWhatTheyOffer();
    void theTableOverflowDoesNotLiftTheLimit();
};

void TestSeatGuards::requestsAreGetOrHeadWithoutBody_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("heads");

    const QByteArray get = "GET / HTTP/1.1\r\nHost: a\r\n\r\n";
    QTest::newRow("a GET") << get << true << 1;
    QTest::newRow("a HEAD") << QByteArray("HEAD /seat.js HTTP/1.1\r\nHost: a\r\n\r\n") << true << 1;
    QTest::newRow("kept alive") << get + get + get << true << 3;
    QTest::newRow("bare line feeds") << QByteArray("GET / HTTP/1.1\nHost: a\n\nGET / HTTP/1.1\n\n") << true << 2;
    QTest::newRow("line ends between requests") << get + "\r\n" + get << true << 2;
    QTest::newRow("a head not ended yet") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n") << true << 0;
    QTest::newRow("a POST") << QByteArray("POST / HTTP/1.1\r\n\r\n") << false << 0;
    QTest::newRow("a POST after a GET") << get + "POST / HTTP/1.1\r\n\r\n" << false << 1;
    QTest::newRow("a body after a GET") << get + "hello" << false << 1;
    QTest::newRow("lower case") << QByteArray("get / HTTP/1.1\r\n\r\n") << false << 0;
    QTest::newRow("GETS") << QByteArray("GETS / HTTP/1.1\r\n\r\n") << false << 0;
    QTest::newRow("TLS") << QByteArray("\x16\x03\x01\x02\x00", 5) << false << 0;
    QTest::newRow("a WebSocket frame after the handshake") << get + frame("{}") << false << 1;
}

void TestSeatGuards::requestsAreGetOrHeadWithoutBody()
{
    // Guards the method check against splits: however the bytes come, every
    // request must start as GET or HEAD, and nothing may follow a head but
    // another request.
    QFETCH(QByteArray, stream);
    QFETCH(bool, accepted);
    QFETCH(int, heads);
    bool verdict = false;
    QVERIFY(sameWhateverTheSplit<HttpRequestCheck>(stream, &verdict));
    QCOMPARE(verdict, accepted);
    HttpRequestCheck check;
    check.feed(stream);
    QCOMPARE(check.heads(), heads);
    QCOMPARE(check.failed(), !accepted);
    // Once failed, always failed.
    if (!accepted)
        QVERIFY(!check.feed("GET / HTTP/1.1\r\n\r\n"));
}

void TestSeatGuards::framesMustBeMasked_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint64>("frames");

    QTest::newRow("a short text") << frame("{\"t\":\"join\"}") << true << qint64(1);
    QTest::newRow("empty") << frame("") << true << qint64(1);
    QTest::newRow("a 16-bit length") << frame(QByteArray(300, 'a')) << true << qint64(1);
    QTest::newRow("a 64-bit length") << frame(QByteArray(70000, 'a')) << true << qint64(1);
    QTest::newRow("several, ping among them") << frame("a") + frame("", true, 9) + frame(QByteArray(200, 'b'))
                                             << true << qint64(3);
    // A payload that looks like an unmasked header is payload all the same.
    QTest::newRow("header-like payload") << frame(QByteArray("\x81\x05hello", 7)) << true << qint64(1);
    QTest::newRow("unmasked") << frame("{}", false) << false << qint64(1);
    QTest::newRow("unmasked after masked") << frame("a") + frame("b", false) << false << qint64(2);
    QTest::newRow("unmasked large") << frame(QByteArray(300, 'a'), false) << false << qint64(1);
    QTest::newRow("an unmasked close") << frame("", false, 8) << false << qint64(1);
}

void TestSeatGuards::framesMustBeMasked()
{
    // Guards the frame check against splits: the mask bit is read in every
    // header however the bytes come, and payloads are skipped whole.
    QFETCH(QByteArray, stream);
    QFETCH(bool, accepted);
    QFETCH(qint64, frames);
    bool verdict = false;
    if (stream.size() < 2000)
        QVERIFY(sameWhateverTheSplit<WebSocketFrameCheck>(stream, &verdict));
    else
        verdict = WebSocketFrameCheck().feed(stream);
    QCOMPARE(verdict, accepted);
    WebSocketFrameCheck check;
    check.feed(stream);
    QCOMPARE(check.frames(), frames);
}

void TestSeatGuards::theFirstFrameMayBeBound_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("a small text") << frame(QByteArray(256, 'j')) << true;
    QTest::newRow("then anything") << frame("j") + frame(QByteArray(70000, 'a')) + frame("", true, 9) << true;
    QTest::newRow("a text one byte too long") << frame(QByteArray(257, 'j')) << false;
    QTest::newRow("a large text announced") << frame(QByteArray(30000, 'j')).left(4) << false;
    QTest::newRow("a pong first, answering the server's ping") << frame("", true, 10) + frame(QByteArray(256, 'j'))
                                                                << true;
    QTest::newRow("pongs, then a text too long") << frame("", true, 10) + frame("p", true, 10)
                                                        + frame(QByteArray(257, 'j'))
                                                 << false;
    QTest::newRow("a pong longer than a control frame may be") << frame(QByteArray(126, 'p'), true, 10) << false;
    QTest::newRow("a ping first") << frame("p", true, 9) << false;
    QTest::newRow("binary first") << frame("b", true, 2) << false;
    QTest::newRow("a fragment first") << QByteArray("\x01\x81\x01\x02\x03\x04j", 7) << false;
}

void TestSeatGuards::theFirstFrameMayBeBound()
{
    // Guards the join's bound: before a connection has joined, its first
    // frame must be one small text message, judged from its header, before
    // any payload is read.
    QFETCH(QByteArray, stream);
    QFETCH(bool, accepted);
    WebSocketFrameCheck bound;
    bound.limitFirstFrame(256);
    bool verdict = false;
    if (stream.size() < 2000)
        QVERIFY(sameWhateverTheSplit(stream, &verdict, bound));
    else
        verdict = WebSocketFrameCheck(bound).feed(stream);
    QCOMPARE(verdict, accepted);
}

void TestSeatGuards::aSweepOfAddressesKeepsItsLimits()
{
    // Guards the table's bound: with more addresses than it holds, the
    // oldest leave, but their faults stay with their network; addresses of
    // other networks are not touched.
    FaultTable table(16, 60000);
    for (int i = 0; i < 40; ++i)
        table.add(v4(10, 0, i / 20, i % 20), {1, 1}, 1000 + i);
    QCOMPARE(table.addresses(), 16);
    // The oldest left; the newest kept its own.
    QCOMPARE(table.own(v4(10, 0, 0, 0), 2000).wrongCodes, 0);
    QCOMPARE(table.own(v4(10, 0, 1, 19), 2000).wrongCodes, 1);
    // 24 dropped: 20 of 10.0.0/24, 4 of 10.0.1/24.
    QCOMPARE(table.network(v4(10, 0, 0, 200), 2000).wrongCodes, 20);
    QCOMPARE(table.network(v4(10, 0, 1, 200), 2000).wrongCodes, 4);
    QCOMPARE(table.network(v4(10, 0, 2, 1), 2000).wrongCodes, 0);
    // An IPv4 client of a dual-stack socket counts as its IPv4 address.
    QCOMPARE(table.network(QHostAddress(QStringLiteral("::ffff:10.0.0.77")), 2000).wrongCodes, 20);
    // IPv6: a device's many addresses share their /64.
    FaultTable six(4, 60000);
    for (int i = 0; i < 10; ++i)
        six.add(QHostAddress(QStringLiteral("2001:db8:1:2::%1").arg(i + 1, 0, 16)), {1, 0}, 1000);
    QCOMPARE(six.network(QHostAddress(QStringLiteral("2001:db8:1:2:ffff::1")), 1000).faults, 6);
    QCOMPARE(six.network(QHostAddress(QStringLiteral("2001:db8:1:3::1")), 1000).faults, 0);
}

void TestSeatGuards::networksThatOverflowLimitEverybody()
{
    // Guards the last bound: a sweep across more networks than the table
    // holds leaves its faults with everybody rather than with nobody.
    FaultTable table(4, 60000);
    for (int n = 0; n < 12; ++n)
        table.add(v4(10, 1, n, 1), {1, 1}, 1000 + n);
    QCOMPARE(table.networks(), 4);
    // 8 addresses dropped into 8 networks; 4 of those dropped in turn.
    QCOMPARE(table.network(v4(192, 168, 7, 7), 2000).wrongCodes, 4);
    // Later on, they are forgotten like any other.
    QCOMPARE(table.network(v4(192, 168, 7, 7), 1011 + 60001).wrongCodes, 0);
}

void TestSeatGuards::faultsLastOneWindow()
{
    // Guards the wait: counts hold for a window from an address's first
    // fault and then start again, in the table and in its networks.
    FaultTable table(2, 1000);
    table.add(v4(10, 0, 0, 1), {1, 1}, 0);
    table.add(v4(10, 0, 0, 1), {2, 0}, 900);
    QCOMPARE(table.own(v4(10, 0, 0, 1), 1000).faults, 3);
    QCOMPARE(table.own(v4(10, 0, 0, 1), 1001).faults, 0);
    table.add(v4(10, 0, 0, 1), {1, 0}, 1500);
    QCOMPARE(table.own(v4(10, 0, 0, 1), 1500).faults, 1);
    // Expired entries leave room: no network count from them.
    table.add(v4(10, 0, 0, 2), {1, 0}, 3000);
    table.add(v4(10, 0, 0, 3), {1, 0}, 3000);
    QCOMPARE(table.network(v4(10, 0, 0, 9), 3000).faults, 0);
}

void TestSeatGuards::joinsAreHeardByWhatTheyOffer_data()
{
    QTest::addColumn<int>("ownWrongCodes");
    QTest::addColumn<int>("ownFaults");
    QTest::addColumn<int>("othersWrongCodes");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("link");
    QTest::addColumn<bool>("token");
    QTest::addColumn<bool>("refused");

    QTest::newRow("nothing wrong") << 0 << 0 << 0 << true << true << true << false;
    QTest::newRow("a few wrong codes of its own") << 4 << 0 << 0 << true << true << true << false;
    QTest::newRow("too many wrong codes of its own") << 5 << 0 << 0 << false << false << false << false;
    QTest::newRow("faults of its own, under the limit") << 0 << 14 << 0 << true << true << true << false;
    QTest::newRow("faults of its own, at the limit") << 0 << 15 << 0 << false << false << false << true;
    QTest::newRow("others guess, under the limit") << 0 << 0 << 4 << true << true << true << false;
    QTest::newRow("others guess, at the limit") << 0 << 0 << 5 << false << true << true << false;
}

void TestSeatGuards::joinsAreHeardByWhatTheyOffer()
{
    // Guards who gets in while others misbehave: typed codes wait for every
    // limit, a link code and a token only for the address's own.
    QFETCH(int, ownWrongCodes);
    QFETCH(int, ownFaults);
    QFETCH(int, othersWrongCodes);
    QFETCH(bool, typed);
    QFETCH(bool, link);
    QFETCH(bool, token);
    QFETCH(bool, refused);
    qint64 now = 5000;
    JoinGuard guard(JoinGuard::Limits(), [&now] { return now; });
    const QHostAddress peer = v4(10, 0, 0, 1);
    for (int i = 0; i < ownWrongCodes; ++i)
        guard.wrongCode(peer);
    guard.fault(peer, ownFaults);
    for (int i = 0; i < othersWrongCodes; ++i)
        guard.wrongCode(v4(10, 9, i, 1));
    QCOMPARE(guard.mayTry(peer, JoinGuard::Offer::TypedCode), typed);
    QCOMPARE(guard.mayTry(peer, JoinGuard::Offer::LinkCode), link);
    QCOMPARE(guard.mayTry(peer, JoinGuard::Offer::Token), token);
    QCOMPARE(guard.refuses(peer), refused);
    // A window later, all is forgiven.
    now += JoinGuard::Limits().windowMs + 1;
    QVERIFY(guard.mayTry(peer, JoinGuard::Offer::TypedCode));
    QVERIFY(!guard.refuses(peer));
    QCOMPARE(guard.wrongCodesSinceStart(), ownWrongCodes + othersWrongCodes);
}

void TestSeatGuards::theTableOverflowDoesNotLiftTheLimit()
{
    // Guards against the sweep that once disabled the limit: 4,100 addresses
    // give one wrong code each, then two more addresses guess on. Each of
    // them is still held to its five, and typed codes from a swept network
    // wait; the whole server's limit holds besides.
    qint64 now = 1000;
    JoinGuard::Limits limits;
    limits.wrongCodesOverall = 1 << 30; // this test is about the table
    JoinGuard guard(limits, [&now] { return now; });
    for (int i = 0; i < 4100; ++i)
        guard.wrongCode(v4(127, 1 + i / 65536, (i / 256) % 256, i % 256));
    QCOMPARE(guard.table().addresses(), limits.tableSize);
    for (const QHostAddress &guesser : {v4(127, 9, 0, 1), v4(127, 9, 0, 2)}) {
        int heard = 0;
        for (int i = 0; i < 1000 && guard.mayTry(guesser, JoinGuard::Offer::TypedCode); ++i) {
            guard.wrongCode(guesser);
            ++heard;
        }
        QCOMPARE(heard, limits.wrongCodes);
    }
    QVERIFY(!guard.mayTry(v4(127, 1, 0, 99), JoinGuard::Offer::TypedCode));
    QVERIFY(guard.mayTry(v4(127, 1, 0, 99), JoinGuard::Offer::LinkCode));

    JoinGuard overall(JoinGuard::Limits(), [&now] { return now; });
    for (int i = 0; i < 100; ++i) {
        if (overall.mayTry(v4(10, 2, i, 1), JoinGuard::Offer::TypedCode))
            overall.wrongCode(v4(10, 2, i, 1));
    }
    QCOMPARE(overall.wrongCodesSinceStart(), JoinGuard::Limits().wrongCodesOverall);
    QVERIFY(overall.typedCodesWait());
    QCOMPARE(overall.typedCodesWaitMs(), JoinGuard::Limits().windowMs + 1);
}

QTEST_GUILESS_MAIN(TestSeatGuards)
#include "tst_seatguards.moc"
