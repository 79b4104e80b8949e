// SPDX-License-Identifier: GPL-3.0-or-later
// Network seats on the console: enabled by Taruvo.ini or the command line,
// shown in a window of their own with address, code, QR code and state.
#include "console/qrcodeimage.h"
#include "console/seatswindow.h"
#include "seats/remoteseat.h"
#include "seats/seataddresses.h"
#include "seats/seatoptions.h"
#include "seats/seatserver.h"
#include "windows/startedconsole.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtTest>

namespace {

const QByteArray LoopbackSeats = "[Taruvo]\r\nNetSeats=2\r\nNetSeatAddress=127.0.0.1\r\nNetSeatPort=18790\r\n";

} // namespace

class TestSeatsWindow : public QObject
{
    Q_OBJECT
private slots:
    void optionsFromFileAndCommandLine_data();
    void optionsFromFileAndCommandLine();
    void seatsAreOffByDefault();
    void windowShowsTheSeatAndItsState();
    void servingAgainMakesNewCodes();
    void guessingIsShownToTheOperator();
    void qrCodeIsDrawnWholeAndUpright();
};

void TestSeatsWindow::optionsFromFileAndCommandLine_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("players");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("problems");

    const QString any = QHostAddress(QHostAddress::Any).toString();
    QTest::newRow("nothing said: off") << QByteArray() << QStringList() << "" << 8700 << any << 0;
    QTest::newRow("both from the file") << QByteArray("NetSeats=1,2") << QStringList() << "12" << 8700 << any << 0;
    QTest::newRow("the command line turns them off") << QByteArray("NetSeats=2") << QStringList{"--seats", "off"} << "" << 8700 << any << 0;
    QTest::newRow("the command line alone") << QByteArray() << QStringList{"--seats=1"} << "1" << 8700 << any << 0;
    QTest::newRow("written together") << QByteArray("NetSeats=21") << QStringList() << "12" << 8700 << any << 0;
    QTest::newRow("no player 3") << QByteArray("NetSeats=3") << QStringList() << "" << 8700 << any << 1;
    QTest::newRow("ports") << QByteArray("NetSeatPort=9000") << QStringList{"--seat-port", "9100"} << "" << 9100 << any << 0;
    QTest::newRow("no port 70000") << QByteArray("NetSeatPort=70000") << QStringList() << "" << 8700 << any << 1;
    QTest::newRow("a bad address on the line keeps the file's")
        << QByteArray("NetSeatAddress=127.0.0.1") << QStringList{"--seat-address", "not.an.address"} << "" << 8700
        << "127.0.0.1" << 1;
    QTest::newRow("other arguments are not ours")
        << QByteArray("NetSeats=2") << QStringList{"-platform", "offscreen", "--unknown", "words.txt"} << "2" << 8700 << any << 0;
}

void TestSeatsWindow::optionsFromFileAndCommandLine()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(QString, players);
    QFETCH(int, port);
    QFETCH(QString, address);
    QFETCH(int, problems);
    QTemporaryDir folder;
    QFile file(folder.filePath("Taruvo.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Taruvo]\r\n" + ini + "\r\n");
    file.close();
    WAPISET settings;
    settings.setIniPath(file.fileName());
    QStringList said;
    const SeatOptions o = SeatOptions::read(settings, QStringList{"taruvo"} + arguments, &said);
    QString named;
    for (int16_t p : o.players)
        named += QString::number(p);
    QCOMPARE(named, players);
    QCOMPARE(int(o.port), port);
    QCOMPARE(o.address.toString(), address);
    QCOMPARE(said.size(), problems);
    QCOMPARE(o.enabled(), !players.isEmpty());
}

void TestSeatsWindow::seatsAreOffByDefault()
{
    StartedConsole c;
    QVERIFY(!c.console->seatsWindow());
}

void TestSeatsWindow::windowShowsTheSeatAndItsState()
{
    // Guards what the operator reads and does: the code and address of each
    // seat served, its state as a device comes and is released.
    StartedConsole c(LoopbackSeats);
    SeatsWindow *w = c.console->seatsWindow();
    QVERIFY(w);
    SeatServer *server = w->server();
    QVERIFY(server && server->isListening());
    QVERIFY(!w->codeLabel(1));
    RemoteSeat *seat = server->seat(2);
    QCOMPARE(w->codeLabel(2)->text(), seat->code());
    QCOMPARE(w->addressLabel(2)->text(), QStringLiteral("http://127.0.0.1:%1/").arg(server->port()));
    QVERIFY(w->statusLabel()->text().contains(QString::number(server->port())));
    QVERIFY(!w->qrLabel(2)->pixmap().isNull());
    QCOMPARE(w->stateLabel(2)->text(), SeatsWindow::stateText(int(RemoteSeat::State::Waiting)));
    QVERIFY(!w->releaseButton(2)->isEnabled());
    // The window keeps its size whatever the state says: placed beside the
    // console, it must not grow under Player1.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QSize size = w->size();

    QWebSocket device;
    QStringList got;
    connect(&device, &QWebSocket::textMessageReceived, [&got](const QString &m) { got << m; });
    device.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(server->port())));
    QTRY_COMPARE(device.state(), QAbstractSocket::ConnectedState);
    device.sendTextMessage(QStringLiteral("{\"t\":\"join\",\"code\":\"%1\"}").arg(seat->code()));
    QTRY_COMPARE(w->stateLabel(2)->text(), SeatsWindow::stateText(int(RemoteSeat::State::Connected)));
    QVERIFY(w->releaseButton(2)->isEnabled());
    device.abort();
    QTRY_COMPARE(w->stateLabel(2)->text(), SeatsWindow::stateText(int(RemoteSeat::State::Dropped)));
    QCoreApplication::processEvents();
    QCOMPARE(w->size(), size);
    QCOMPARE(w->sizeHint().expandedTo(w->minimumSizeHint()).boundedTo(size), w->sizeHint().expandedTo(w->minimumSizeHint()));
    w->releaseButton(2)->click();
    QCOMPARE(w->stateLabel(2)->text(), SeatsWindow::stateText(int(RemoteSeat::State::Waiting)));
    // The seat is a view of the game like the window of player 2.
    QVERIFY(seat->isLocked());
}

void TestSeatsWindow::servingAgainMakesNewCodes()
{
    // Guards the codes and the port: off, nothing listens; on again, the
    // codes are new.
    StartedConsole c(LoopbackSeats);
    SeatsWindow *w = c.console->seatsWindow();
    const QString before = w->codeLabel(2)->text();
    const quint16 port = w->server()->port();
    w->servingCheck()->setChecked(false);
    QVERIFY(!w->server());
    QCOMPARE(w->codeLabel(2)->text(), QString("------"));
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!probe.waitForConnected(1000));
    w->servingCheck()->setChecked(true);
    QVERIFY(w->server() && w->server()->isListening());
    QVERIFY(w->codeLabel(2)->text() != before);
    QCOMPARE(w->codeLabel(2)->text(), w->server()->seat(2)->code());
}

void TestSeatsWindow::guessingIsShownToTheOperator()
{
    // Guards what the operator learns of guessing: the QR code carries the
    // long link code, not the typed one; wrong codes are counted in the
    // window, and while typed codes wait it says so, and that the QR code
    // still works; a minute later the warning goes by itself.
    StartedConsole c(LoopbackSeats);
    SeatsWindow *w = c.console->seatsWindow();
    SeatServer *server = w->server();
    qint64 now = 1000;
    server->joinGuard().setClock([&now] { return now; });
    const QString link = server->linkCode(2);
    QCOMPARE(link.size(), SeatServer::LinkCodeLength);
    QVERIFY(link.startsWith(server->seat(2)->code()));
    const QImage qr = qrCodeImage(SeatAddresses::joinUrl("127.0.0.1", server->port(), link), 4);
    QCOMPARE(w->qrLabel(2)->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
             qr.convertToFormat(QImage::Format_RGB32));
    QVERIFY(w->guessLabel()->isHidden());

    QString wrong = QStringLiteral("000000");
    if (wrong == server->seat(2)->code())
        wrong = QStringLiteral("000001");
    for (int i = 0; i < SeatServer::MaxWrongCodesOverall; ++i) {
        QWebSocket device;
        device.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(server->port())));
        QTRY_COMPARE(device.state(), QAbstractSocket::ConnectedState);
        device.sendTextMessage(QStringLiteral("{\"t\":\"join\",\"code\":\"%1\"}").arg(wrong));
        QTRY_COMPARE(server->joinGuard().wrongCodesSinceStart(), i + 1);
        QVERIFY(!w->guessLabel()->isHidden());
        QTRY_VERIFY(w->guessLabel()->text().contains(QStringLiteral("%1 回").arg(i + 1)));
    }
    QTRY_VERIFY(w->guessLabel()->text().contains(QStringLiteral("ためされています")));
    QVERIFY(w->guessLabel()->text().contains(QStringLiteral("QRコード")));
    now += SeatServer::WrongCodeWindowMs + 1;
    QTRY_VERIFY(!w->guessLabel()->text().contains(QStringLiteral("ためされています")));
    QVERIFY(w->guessLabel()->text().contains(QStringLiteral("この1分に 0 回")));
}

void TestSeatsWindow::qrCodeIsDrawnWholeAndUpright()
{
    // Guards the drawing: the quiet zone and the three finder squares where
    // a camera looks for them, so that a tablet can read the code.
    const int module = 3;
    const QImage qr = qrCodeImage(QStringLiteral("http://192.168.100.200:8700/#123456"), module);
    QVERIFY(!qr.isNull());
    QCOMPARE(qr.width(), qr.height());
    const int modules = qr.width() / module - 8;
    QCOMPARE(modules % 4, 1); // 21, 25, 29 ... modules a side
    auto dark = [&](int x, int y) { return qGray(qr.pixel((x + 4) * module + 1, (y + 4) * module + 1)) < 128; };
    for (int i = 0; i < qr.width(); ++i)
        QVERIFY(qGray(qr.pixel(i, module * 2)) > 128); // quiet zone
    for (const QPoint corner : {QPoint(0, 0), QPoint(modules - 7, 0), QPoint(0, modules - 7)}) {
        QVERIFY(dark(corner.x(), corner.y()) && dark(corner.x() + 6, corner.y() + 6));
        QVERIFY(!dark(corner.x() + 1, corner.y() + 1));
        QVERIFY(dark(corner.x() + 3, corner.y() + 3));
    }
    QVERIFY(qrCodeImage(QString(3000, 'a'), module).isNull());
}

QTEST_MAIN(TestSeatsWindow)
#include "tst_seatswindow.moc"
