// SPDX-License-Identifier: GPL-3.0-or-later
// The review window after a game through the real console: when it shows,
// where, how it comes back, the meanings setting, and its PDFs read back
// with poppler's tools.
#include "startedconsole.h"

#include "console/reviewwindow.h"
#include "console/seatswindow.h"
#include "controls/nbutton.h"
#include "fakes/fakes.h"
#include "fakes/seatfakes.h"
#include "seats/remoteseat.h"
#include "seats/seatserver.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QJsonArray>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTextBrowser>
#include <QtTest>

namespace {

const QStringList eighteen = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

// A console whose game has been played to its end.
struct Reviewed : StartedConsole
{
    explicit Reviewed(const QByteArray &ini = QByteArray()) : StartedConsole(ini)
    {
        console->setClock(std::make_unique<ManualClock>(std::make_shared<ManualClock::Time>()));
        WordList list;
        list.load(eighteen);
        console->game().setWords(std::move(list));
    }
    ReviewWindow *review() const { return console->reviewWindow(); }
    void playGame()
    {
        console->game().start();
        console->SeigoHantei(1, QStringLiteral("学校"));
        console->SeigoHantei(2, QStringLiteral("天気"));
        console->SeigoHantei(2, QStringLiteral("校学"));
        console->EndGame();
    }
};

// Runs a poppler tool on a PDF; fails loudly when the tool is missing.
QByteArray poppler(const QString &tool, const QStringList &arguments)
{
    QProcess p;
    p.start(tool, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("%s failed (installed by tools/setup.sh): %s", qPrintable(tool), p.readAllStandardError().constData());
    return p.readAllStandardOutput();
}

// Both seats served on loopback, on a port free now.
QByteArray seatsIni(bool meanings)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return "[Taruvo]\r\nNetSeats=1,2\r\nNetSeatAddress=127.0.0.1\r\nNetSeatPort="
           + QByteArray::number(probe.serverPort()) + "\r\nReviewMeanings=" + (meanings ? "1" : "0") + "\r\n";
}

qsizetype compactSize(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).size();
}

int pages(const QString &pdf)
{
    static const QRegularExpression count(QStringLiteral("Pages:\\s+(\\d+)"));
    return count.match(QString::fromUtf8(poppler(QStringLiteral("pdfinfo"), {pdf}))).captured(1).toInt();
}

} // namespace

class TestReview : public QObject
{
    Q_OBJECT
private slots:
    void appearsAtTheEndBesideTheBoards();
    void closedComesBackUntilTheNextDeal();
    void textComesFirstInTheTabOrder();
    void meaningsWhenTheSettingAsks_data();
    void meaningsWhenTheSettingAsks();
    void pdfsReadBack_data();
    void pdfsReadBack();
    void pdfThatCannotBeWrittenSaysSo();
    void seatsGetTheirOwnPart_data();
    void seatsGetTheirOwnPart();
    void seatReviewFitsWhateverTheDictionary_data();
    void seatReviewFitsWhateverTheDictionary();
};

void TestReview::appearsAtTheEndBesideTheBoards()
{
    // Guards the review's arrival: not before the end, then with the game's
    // words and readings, covering neither player window.
    Reviewed r;
    r.console->PlayCheck()->setChecked(true);
    QVERIFY(QTest::qWaitForWindowExposed(r.play(2)));
    r.console->game().start();
    QVERIFY(!r.review()->isVisible());
    QVERIFY(!r.review()->showAction()->isEnabled());
    r.console->SeigoHantei(1, QStringLiteral("学校"));
    r.console->EndGame();
    QVERIFY(r.review()->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(r.review()));
    const QString text = r.review()->view()->toPlainText();
    for (const QString &w : eighteen)
        QVERIFY2(text.contains(w), qPrintable(w));
    QVERIFY(text.contains(QStringLiteral("がっこう")));
    QVERIFY(text.contains(QStringLiteral("だれも見つけなかったことば")));
    const QRect review = r.review()->frameGeometry();
    for (int n : {1, 2})
        QVERIFY2(!review.intersects(r.play(n)->frameGeometry()), qPrintable(QStringLiteral("covers Player%1").arg(n)));
}

void TestReview::closedComesBackUntilTheNextDeal()
{
    // Guards the way back to a closed review (the console's context menu
    // and Ctrl+R), and a new deal taking away the old game's review.
    Reviewed r;
    r.playGame();
    QVERIFY(r.review()->isVisible());
    r.review()->closeButton()->click();
    QVERIFY(!r.review()->isVisible());
    QVERIFY(r.console->actions().contains(r.review()->showAction()));
    QCOMPARE(r.console->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(r.review()->showAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    QVERIFY(r.review()->showAction()->isEnabled());
    r.console->show();
    QVERIFY(QTest::qWaitForWindowExposed(r.console.get()));
    r.console->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(r.console.get()));
    QTest::keyClick(r.console.get(), Qt::Key_R, Qt::ControlModifier);
    QVERIFY(r.review()->isVisible());
    QCOMPARE(r.review()->review().player(1).found, QStringList{QStringLiteral("学校")});

    // After the game the players play on: the review stays the game's.
    r.console->UnlockButton()->click();
    r.console->SeigoHantei(1, QStringLiteral("日本"));
    QCOMPARE(r.review()->review().player(1).found, QStringList{QStringLiteral("学校")});

    r.console->StartButton()->setEnabled(true);
    r.console->StartButton()->click();
    QVERIFY(!r.review()->isVisible());
    QVERIFY(!r.review()->showAction()->isEnabled());
    r.review()->showAction()->trigger();
    QVERIFY(!r.review()->isVisible());
}

void TestReview::textComesFirstInTheTabOrder()
{
    // Guards keyboard and screen-reader users: the review's text, made with
    // the first review after the buttons, comes before them as on screen.
    Reviewed r;
    r.playGame();
    ReviewWindow *review = r.review();
    QList<QWidget *> order;
    QWidget *w = review->view();
    for (int i = 0; i < 100; ++i, w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == review && !order.contains(w))
            order << w;
    }
    QCOMPARE(order, (QList<QWidget *>{review->view(), review->printButton(), review->pdfButton(),
                                      review->sheetPrintButton(), review->sheetPdfButton(), review->closeButton()}));
}

void TestReview::meaningsWhenTheSettingAsks_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("meanings");
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("off") << QByteArray("[Taruvo]\nReviewMeanings=0\n") << false;
    QTest::newRow("on") << QByteArray("[Taruvo]\nReviewMeanings=1\n") << true;
    QTest::newRow("on, Windows style") << QByteArray("[TARUVO]\r\nreviewmeanings = 1\r\n") << true;
    QTest::newRow("nonsense") << QByteArray("[Taruvo]\nReviewMeanings=yes please\n") << false;
}

void TestReview::meaningsWhenTheSettingAsks()
{
    // Guards the setting for learners abroad: English only when asked for,
    // readings always.
    QFETCH(QByteArray, ini);
    QFETCH(bool, meanings);
    Reviewed r(ini);
    r.playGame();
    const QString text = r.review()->view()->toPlainText();
    QVERIFY(text.contains(QStringLiteral("がっこう")));
    QCOMPARE(text.contains(QStringLiteral("school")), meanings);
    QCOMPARE(text.contains(QStringLiteral("weather")), meanings);
}

void TestReview::pdfsReadBack_data()
{
    QTest::addColumn<QPushButton *(ReviewWindow::*)() const>("button");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("review") << &ReviewWindow::pdfButton
                            << QStringList{"ふりかえり", "学校", "がっこう", "Player1", "校学", "文字がない"};
    QTest::newRow("teacher's sheet") << &ReviewWindow::sheetPdfButton
                                     << (eighteen + QStringList{"きょうのことば", "がっこう", "てんき", "でんしゃ"});
}

void TestReview::pdfsReadBack()
{
    // Guards what is printed: the PDF has its words as text (pdftotext), and
    // renders as one A4 page at least (pdftoppm).
    using Button = QPushButton *(ReviewWindow::*)() const;
    QFETCH(Button, button);
    QFETCH(QStringList, expected);
    Reviewed r;
    r.playGame();
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("review.pdf"));
    QString suggested;
    r.review()->setPdfPathChooser([&](const QString &s) {
        suggested = s;
        return pdf;
    });
    QSignalSpy written(r.review(), &ReviewWindow::pdfWritten);
    (r.review()->*button)()->click();
    QCOMPARE(written.count(), 1);
    QVERIFY(written.first().at(1).toBool());
    QVERIFY(suggested.endsWith(QLatin1String(".pdf")));
    QVERIFY(r.review()->statusLabel()->text().contains(QStringLiteral("保存しました")));

    const QString text = QString::fromUtf8(poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
    for (const QString &e : expected)
        QVERIFY2(text.contains(e), qPrintable(e + " not in:\n" + text.right(300)));
    if (button == &ReviewWindow::sheetPdfButton)
        QCOMPARE(pages(pdf), 1);

    poppler(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-f"),
                                         QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                         QStringLiteral("-png"), pdf, out.filePath(QStringLiteral("page"))});
    QImage page(out.filePath(QStringLiteral("page-1.png")));
    if (page.isNull())
        page.load(out.filePath(QStringLiteral("page-01.png")));
    QVERIFY(!page.isNull());
    // A4 at 30 dpi: 248 × 351 pixels.
    QVERIFY(qAbs(page.width() - 248) <= 2 && qAbs(page.height() - 351) <= 2);
    // Ink on the page: some pixels are dark.
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 128;
    QVERIFY(dark > 200);
}

void TestReview::pdfThatCannotBeWrittenSaysSo()
{
    // Guards a failed save: said in the window, and no file left behind.
    Reviewed r;
    r.playGame();
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("no/such/folder/review.pdf"));
    r.review()->setPdfPathChooser([&](const QString &) { return pdf; });
    QSignalSpy written(r.review(), &ReviewWindow::pdfWritten);
    r.review()->pdfButton()->click();
    QCOMPARE(written.count(), 1);
    QVERIFY(!written.first().at(1).toBool());
    QVERIFY(r.review()->statusLabel()->text().contains(QStringLiteral("保存できません")));
    QVERIFY(!QFile::exists(pdf));
    // Cancelled: nothing happens.
    r.review()->setPdfPathChooser([](const QString &) { return QString(); });
    r.review()->pdfButton()->click();
    QCOMPARE(written.count(), 1);
}

void TestReview::seatsGetTheirOwnPart_data()
{
    QTest::addColumn<bool>("meanings");
    QTest::newRow("readings") << false;
    QTest::newRow("with meanings") << true;
}

void TestReview::seatsGetTheirOwnPart()
{
    // Guards the console's wiring to the browser seats: at the end each
    // seat holds its own player's part of the window's review, meanings as
    // the setting says; a device on the seat is sent it; seats served anew
    // after the end get it too; the next deal takes it away.
    QFETCH(bool, meanings);
    RecordingLink device;
    Reviewed r(seatsIni(meanings));
    SeatsWindow *seats = r.console->seatsWindow();
    QVERIFY(seats && seats->server());
    seats->server()->seat(2)->admit(QString(), &device, nullptr);
    r.playGame();
    for (int player : {1, 2})
        QVERIFY(seats->server()->seat(player)->hasReview());
    QTRY_VERIFY(!device.last("review").isEmpty());
    const QJsonObject sent = device.last("review").value("review").toObject();
    QCOMPARE(sent, r.review()->review().playerJson(2, meanings, RemoteSeat::MaxReviewBytes));
    QCOMPARE(sent.value("player").toInt(), 2);
    QCOMPARE(sent.value("words").toArray().size(), 18);
    QCOMPARE(sent.value("words").toArray().first().toObject().contains("meaning"), meanings);
    const QJsonArray players = sent.value("players").toArray();
    QCOMPARE(players.at(1).toObject().value("wrongTries").toArray().first().toObject().value("answer").toString(),
             QStringLiteral("校学"));
    QVERIFY(!players.at(0).toObject().contains("wrongTries"));

    seats->servingCheck()->setChecked(false);
    seats->servingCheck()->setChecked(true);
    QVERIFY(seats->server());
    for (int player : {1, 2})
        QVERIFY(seats->server()->seat(player)->hasReview());

    r.console->StartButton()->setEnabled(true);
    r.console->StartButton()->click();
    for (int player : {1, 2})
        QVERIFY(!seats->server()->seat(player)->hasReview());
}

void TestReview::seatReviewFitsWhateverTheDictionary_data()
{
    // A dictionary line for each of the game's words and for the wrong
    // answer: as shipped, or as long as the reader lets a line be.
    QTest::addColumn<bool>("largest");
    QTest::newRow("shipped dictionary") << false;
    QTest::newRow("largest entries") << true;
}

void TestReview::seatReviewFitsWhateverTheDictionary()
{
    // Guards a seat's allowance: whatever the dictionary holds and however
    // often a child answers wrong, the seat's review stays within its bytes
    // and keeps every word; only wrong tries are cut, and only when the
    // entries are far longer than the shipped ones.
    QFETCH(bool, largest);
    Reviewed r(seatsIni(true));
    WordDictionary dictionary;
    if (largest) {
        QString text;
        const QString reading(WordDictionary::MaxReadingLength, QChar(0x3042));
        const QString readings = QStringList(WordDictionary::MaxReadings, reading).join(',');
        for (const QString &w : eighteen + QStringList{QStringLiteral("本日")})
            text += w + '\t' + readings + '\t' + QString(WordDictionary::MaxMeaningLength, QChar(0x6F22)) + '\n';
        dictionary = WordDictionary::parse(text);
        QCOMPARE(dictionary.size(), 19);
        QCOMPARE(dictionary.skippedLines(), 0);
    } else {
        QString error;
        dictionary = WordDictionary::read(QStringLiteral(TARUVO_SOURCE_DIR "/data/dictionary/words-ja.tsv"), &error);
        QVERIFY2(!dictionary.isEmpty(), qPrintable(error));
    }
    r.review()->setDictionary(dictionary);
    r.console->game().start();
    for (int i = 0; i < Game::WrongTriesKept + 10; ++i)
        r.console->SeigoHantei(2, QStringLiteral("本日"));
    r.console->EndGame();

    RemoteSeat *seat = r.console->seatsWindow()->server()->seat(2);
    QVERIFY(seat->hasReview());
    const QJsonObject json = r.review()->review().playerJson(2, true, RemoteSeat::MaxReviewBytes);
    const qsizetype bytes = compactSize(json);
    QVERIFY(bytes <= RemoteSeat::MaxReviewBytes);
    const QJsonArray words = json.value("words").toArray();
    QCOMPARE(words.size(), 18);
    for (const QJsonValue &w : words) {
        const QString word = w.toObject().value("word").toString();
        QCOMPARE(w.toObject().value("readings").toArray().size(),
                 dictionary.find(word) ? dictionary.find(word)->readings.size() : 0);
    }
    const QJsonObject own = json.value("players").toArray().at(1).toObject();
    const int kept = int(own.value("wrongTries").toArray().size());
    QCOMPARE(own.value("wrongTryCount").toInt(), Game::WrongTriesKept + 10);
    if (largest)
        QVERIFY(kept > 0 && kept < Game::WrongTriesKept);
    else
        QCOMPARE(kept, Game::WrongTriesKept);
    qInfo("a seat's review with meanings and %d wrong tries kept: %lld bytes", kept, qlonglong(bytes));
}

// On a screen as wide as a classroom PC's, where the boards leave room.
int main(int argc, char *argv[])
{
    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(R"({"screens": [{"name": "classroom", "x": 0, "y": 0, "width": 1920, "height": 1080,
                          "logicalDpi": 96}]})") < 0)
        qFatal("cannot write %s", qPrintable(config));
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.toLocal8Bit());
    QApplication app(argc, argv);
    TestReview test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_review.moc"
