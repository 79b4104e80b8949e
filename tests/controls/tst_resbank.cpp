// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback display: its pictures, user series and their fallbacks, large pictures and PlayItem.
#include "feedback/audiooutput.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackplayer.h"
#include "feedback/feedbackseries.h"
#include "feedback/feedbacksound.h"
#include "controls/resbank.h"
#include "fakes/bigpictures.h"
#include "fakes/feedbackfiles.h"
#include "fakes/hostilefiles.h"

#include <QAudioFormat>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

namespace {

QImage shown(ResBank &bank)
{
    return bank.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage picture(FeedbackLibrary &library, double series, int item, QSize size = {96, 96})
{
    ResBank bank;
    bank.setSources(&library, nullptr);
    bank.resize(size);
    bank.setSeriesNumber(series);
    bank.setItemNumber(int16_t(item));
    return shown(bank);
}

int g_messages = 0;
void countMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++g_messages;
}

// Counts log lines while it lives: Qt's messages, and what libraries
// write straight to the error output.
struct LogCounter
{
    QtMessageHandler previous = qInstallMessageHandler(countMessage);
    QTemporaryFile errors;
    int savedStderr = -1;
    LogCounter()
    {
        g_messages = 0;
        fflush(stderr);
        if (errors.open()) {
            savedStderr = dup(2);
            dup2(errors.handle(), 2);
        }
    }
    ~LogCounter() { release(); }
    void release()
    {
        if (savedStderr >= 0) {
            fflush(stderr);
            dup2(savedStderr, 2);
            close(savedStderr);
            savedStderr = -1;
            errors.seek(0);
            g_messages += int(errors.readAll().count('\n'));
        }
        qInstallMessageHandler(previous);
    }
    int lines()
    {
        release();
        return g_messages;
    }
};

} // namespace

class TestResBank : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { m_library.setFolder(QString()); }
    void silentWithoutAudioOutput(); // first: it sees the audio output probed
    void itemNumberReadsBack_data();
    void itemNumberReadsBack();
    void seriesLookDifferent();
    void unknownSeriesFallBack_data();
    void unknownSeriesFallBack();
    void pictureFillsAnySquare_data();
    void pictureFillsAnySquare();
    void userSeriesFiles_data();
    void userSeriesFiles();
    void largePictures_data();
    void largePictures();
    void userPictureKeepsItsShape();
    void brokenSeriesLogsOneLine();
    void playItemReturnsAndDoesNotPileUp();
    void writingAnotherItemEndsTheMovement();

private:
    FeedbackLibrary m_library;
    AudioOutput m_audio;
};

void TestResBank::itemNumberReadsBack_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<bool>("neutral");
    QTest::newRow("correct") << 0 << false;
    QTest::newRow("wrong") << 1 << false;
    QTest::newRow("neutral") << 2 << true;
    QTest::newRow("unknown 3") << 3 << true;
    QTest::newRow("negative") << -1 << true;
    QTest::newRow("16-bit top") << 32767 << true;
    QTest::newRow("16-bit bottom") << -32768 << true;
}

void TestResBank::itemNumberReadsBack()
{
    // Guards the read-back of any 16-bit item (no clamping, no sign loss)
    // and that items without a picture of their own look neutral.
    QFETCH(int, item);
    QFETCH(bool, neutral);
    ResBank bank;
    bank.setSources(&m_library, &m_audio);
    bank.resize(80, 80);
    bank.setItemNumber(int16_t(item));
    QCOMPARE(bank.ItemNumber(), item);
    bank.setItemNumber(2);
    const QImage calm = shown(bank);
    bank.setItemNumber(int16_t(item));
    QCOMPARE(shown(bank) == calm, neutral);
}

void TestResBank::seriesLookDifferent()
{
    // Guards the two players' feedback being told apart: all six built-in
    // pictures differ, also at a thumbnail size.
    for (const QSize size : {QSize(96, 96), QSize(24, 24)}) {
        QList<QImage> all;
        for (int series = 0; series < 2; ++series)
            for (int item = 0; item < 3; ++item)
                all << picture(m_library, series, item, size);
        for (int a = 0; a < all.size(); ++a)
            for (int b = a + 1; b < all.size(); ++b)
                QVERIFY2(all[a] != all[b], qPrintable(QStringLiteral("%1 and %2").arg(a).arg(b)));
    }
}

void TestResBank::unknownSeriesFallBack_data()
{
    QTest::addColumn<double>("series");
    QTest::addColumn<int>("builtIn");
    QTest::newRow("2, even") << 2.0 << 0;
    QTest::newRow("7, odd") << 7.0 << 1;
    QTest::newRow("-1") << -1.0 << 1;
    QTest::newRow("32-bit bottom") << -1e30 << 0;
    QTest::newRow("32-bit top") << 1e30 << 1;
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestResBank::unknownSeriesFallBack()
{
    // Guards series numbers without a folder: a built-in series, never a
    // blank bank or a crash on the extremes of the conversion.
    QFETCH(double, series);
    QFETCH(int, builtIn);
    QTemporaryDir none;
    m_library.setFolder(none.path());
    for (int item = 0; item < 3; ++item)
        QCOMPARE(picture(m_library, series, item), picture(m_library, builtIn, item));
}

void TestResBank::pictureFillsAnySquare_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("tiny") << QSize(8, 8);
    QTest::newRow("design") << QSize(177, 177);
    QTest::newRow("large") << QSize(700, 700);
    QTest::newRow("wide") << QSize(300, 120);
    QTest::newRow("tall") << QSize(90, 250);
}

void TestResBank::pictureFillsAnySquare()
{
    // Guards the layout's resizing: the picture fills the largest centred
    // square at every size instead of keeping a fixed size or corner.
    QFETCH(QSize, size);
    for (int item = 0; item < 3; ++item) {
        ResBank bank;
        bank.setSources(&m_library, &m_audio);
        bank.resize(size);
        bank.setItemNumber(int16_t(item));
        const QImage image = shown(bank);
        const QRgb background = bank.palette().color(QPalette::Window).rgb();
        QRect drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    drawn |= QRect(x, y, 1, 1);
        const int side = qMin(size.width(), size.height());
        QVERIFY(drawn.width() >= side * 9 / 10 && drawn.height() >= side * 9 / 10);
        QVERIFY(qAbs(drawn.center().x() - size.width() / 2) <= 2);
        QVERIFY(qAbs(drawn.center().y() - size.height() / 2) <= 2);
    }
}

void TestResBank::userSeriesFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("used");
    const QByteArray good = png(solid({32, 32}, Qt::red));
    QTest::newRow("png") << "0.png" << good << true;
    QTest::newRow("upper-case suffix") << "0.PNG" << good << true;
    QTest::newRow("empty picture") << "0.png" << QByteArray() << false;
    QTest::newRow("noise as picture") << "0.png" << QByteArray(5000, '\x5a') << false;
    QTest::newRow("cut-off png") << "0.png" << good.left(good.size() / 2) << false;
    QByteArray flipped = good;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x10);
    QTest::newRow("png with a flipped bit") << "0.png" << flipped << false;
    QTest::newRow("png signature, then noise") << "0.png" << QByteArray("\x89PNG\r\n\x1a\n garbage", 17) << false;
    QTest::newRow("enormous picture") << "0.bmp" << hugeBmp() << false;
    QTest::newRow("picture of another item") << "1.png" << good << false;
    const QByteArray sound = wav(1, 1, 22050, 16, 2205, 0.5);
    QTest::newRow("wav") << "0.wav" << sound << true;
    QTest::newRow("empty wav") << "0.wav" << QByteArray() << false;
    QTest::newRow("cut-off wav header") << "0.wav" << sound.left(30) << false;
    QTest::newRow("wav without samples") << "0.wav" << wav(1, 1, 22050, 16, 0, 0) << false;
    QByteArray noChannels = sound;
    noChannels[22] = 0;
    QTest::newRow("wav with no channels") << "0.wav" << noChannels << false;
    QByteArray overstated = sound;
    qToLittleEndian<quint32>(0x7fffffff, overstated.data() + 40);
    QTest::newRow("wav claiming more than it has") << "0.wav" << overstated << true;
    QTest::newRow("picture named .wav") << "0.wav" << good << false;
}

void TestResBank::userSeriesFiles()
{
    // Guards user series: a readable file replaces its item's built-in
    // picture or sound, anything broken leaves the built-in one in place.
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, used);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("3")));
    write(root.filePath(QStringLiteral("3/") + name), bytes);
    m_library.setFolder(root.path());
    const auto series = m_library.find(3);
    QVERIFY(series->isUserSeries());
    QCOMPARE(series->builtIn(), 1);
    const bool sound = name.endsWith(QLatin1String(".wav"));
    QCOMPARE(sound ? series->hasOwnSound(0) : series->hasOwnPicture(0), used);
    if (!sound) {
        const QImage bank = picture(m_library, 3, 0);
        QCOMPARE(bank.pixelColor(48, 48) == QColor(Qt::red), used);
        if (!used)
            QCOMPARE(bank, picture(m_library, 1, 0));
    } else if (!used) {
        QCOMPARE(series->sound(0), m_library.builtInSound(1, 0));
    }
    // The other items stay built-in.
    QCOMPARE(series->sound(1), m_library.builtInSound(1, 1));
    QCOMPARE(picture(m_library, 3, 2), picture(m_library, 1, 2));
}

void TestResBank::largePictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason"); // empty: the picture is used
    const int side = FeedbackSeries::MaxPictureSide;
    // Whole, these take 256 and 144 MB: more than the decoders may allocate.
    QTest::newRow("PNG at the size limit") << bigPng(side, side) << QString();
    QTest::newRow("PNG 6000 a side") << bigPng(6000, 6000) << QString();
    QTest::newRow("PNG one pixel wider") << bigPng(side + 1, 16) << "picture too large \\(8193×16";
    QTest::newRow("interlaced PNG 6000 a side") << bigPng(6000, 6000, true) << "too large to decode whole \\(6000×6000";
    QTest::newRow("progressive JPEG header claiming the size limit")
        << progressiveJpegClaiming(side, side) << "progressive JPEG too large to decode \\(8192×8192";
}

void TestResBank::largePictures()
{
    // Guards the promised picture size: a PNG up to the limit a side shows,
    // decoded straight to the size kept; what would have to be decoded
    // whole beyond the decoders' budget is refused first, with the reason.
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("3")));
    write(root.filePath(QStringLiteral("3/0.png")), bytes);
    m_library.setFolder(root.path());
    if (!reason.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(reason));
    PeakMemory peak;
    const auto series = m_library.find(3);
    QVERIFY2(peak.growthMB() < 100, "loading the picture held too much memory");
    QCOMPARE(series->hasOwnPicture(0), reason.isEmpty());
    if (reason.isEmpty()) {
        const QImage shown = picture(m_library, 3, 0, {100, 100});
        QCOMPARE(shown.pixelColor(25, 50), QColor(Qt::red));
        QCOMPARE(shown.pixelColor(75, 50), QColor(Qt::blue));
    }
}

void TestResBank::userPictureKeepsItsShape()
{
    // Guards a non-square user picture: shown whole and centred, not
    // stretched over the square.
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("4")));
    write(root.filePath(QStringLiteral("4/0.png")), png(solid({200, 100}, Qt::blue)));
    m_library.setFolder(root.path());
    const QImage image = picture(m_library, 4, 0, {100, 100});
    QCOMPARE(image.pixelColor(50, 50), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(2, 50), QColor(Qt::blue));
    QVERIFY(image.pixelColor(50, 10) != QColor(Qt::blue));
    QVERIFY(image.pixelColor(50, 90) != QColor(Qt::blue));
}

void TestResBank::brokenSeriesLogsOneLine()
{
    // Guards the log against a burst of lines (ours or the image
    // libraries') when every file of a series is broken, and against a
    // second report when the series is used again.
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("5")));
    const QByteArray whole = png(solid({16, 16}, Qt::green));
    write(root.filePath(QStringLiteral("5/0.png")), whole.left(whole.size() - 30));
    write(root.filePath(QStringLiteral("5/1.bmp")), hugeBmp());
    write(root.filePath(QStringLiteral("5/2.jpg")), QByteArray(300, '\xff'));
    write(root.filePath(QStringLiteral("5/0.wav")), QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16));
    m_library.setFolder(root.path());
    LogCounter log;
    ResBank bank;
    bank.setSources(&m_library, &m_audio);
    bank.resize(60, 60);
    bank.setSeriesNumber(5);
    for (int item = 0; item < 3; ++item) {
        bank.setItemNumber(int16_t(item));
        bank.grab();
    }
    bank.setSeriesNumber(5);
    QCOMPARE(log.lines(), 1);
}

void TestResBank::playItemReturnsAndDoesNotPileUp()
{
    // Guards repeated PlayItem during a movement: one movement and one
    // sound at a time (the last asked for), no objects left behind, and
    // the bank back on ItemNumber's picture afterwards.
    ResBank bank;
    bank.setSources(&m_library, &m_audio);
    bank.resize(100, 100);
    bank.show();
    bank.setSeriesNumber(1);
    bank.setItemNumber(0);
    const QImage still = shown(bank);
    bank.PlayItem(1, 1);
    QCoreApplication::processEvents(); // an audio output, where there is one, is made now
    const auto childrenBefore = bank.findChildren<QObject *>().size();
    for (int i = 0; i < 50; ++i)
        bank.PlayItem(1, i % 2);
    bank.PlayItem(1, 0);
    QVERIFY(bank.isAnimating());
    QVERIFY(bank.player()->isPending());
    QCoreApplication::processEvents();
    QVERIFY(!bank.player()->isPending());
    QCOMPARE(bank.player()->current(), m_library.builtInSound(1, 0));
    QCOMPARE(bank.findChildren<QObject *>().size(), childrenBefore);
    QTRY_VERIFY_WITH_TIMEOUT(!bank.isAnimating(), 5 * ResBank::AnimationMs);
    QCOMPARE(shown(bank), still);
    QCOMPARE(bank.ItemNumber(), 0);
}

void TestResBank::writingAnotherItemEndsTheMovement()
{
    // Guards "writing ItemNumber alone changes what is shown" while a
    // movement of another item runs (a player starts writing again).
    ResBank bank;
    bank.setSources(&m_library, &m_audio);
    bank.resize(100, 100);
    const QImage calm = shown(bank);
    bank.PlayItem(0, 1);
    bank.setItemNumber(1); // the item moving: the movement goes on
    QVERIFY(bank.isAnimating());
    bank.setItemNumber(2);
    QVERIFY(!bank.isAnimating());
    QCOMPARE(shown(bank), calm);
}

void TestResBank::silentWithoutAudioOutput()
{
    // Guards machines without sound (CI has none): PlayItem on two banks,
    // for any series and item, neither fails nor hangs, and the log gets
    // at most one line however often it is called.
    LogCounter log;
    ResBank one, two;
    one.setSources(&m_library, &m_audio);
    two.setSources(&m_library, &m_audio);
    for (int i = 0; i < 20; ++i) {
        one.PlayItem(0, i % 3);
        two.PlayItem(i % 2, 40000 * i - 300000);
        QCoreApplication::processEvents();
    }
    QVERIFY(log.lines() <= 1);
    if (!m_audio.hasOutput())
        QVERIFY(!two.player()->isPending());
}

QTEST_MAIN(TestResBank)
#include "tst_resbank.moc"
