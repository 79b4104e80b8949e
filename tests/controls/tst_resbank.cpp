// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback display: its pictures, user series and their fallbacks, WAV reading and PlayItem.
#include "feedback/audiooutput.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackplayer.h"
#include "feedback/feedbackseries.h"
#include "feedback/feedbacksound.h"
#include "controls/resbank.h"
#include "fakes/bigpictures.h"
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

// A WAV file of the given format whose every sample is value (-1..1).
QByteArray wav(int tag, int channels, int rate, int bits, int frames, double value)
{
    QByteArray samples;
    for (int i = 0; i < frames * channels; ++i) {
        char b[8];
        if (tag == 3) {
            qToLittleEndian(float(value), b);
        } else if (bits == 8) {
            b[0] = char(quint8(128 + value * 127));
        } else {
            const qint64 full = qint64(value * double((qint64(1) << (bits - 1)) - 1));
            for (int k = 0; k < bits / 8; ++k)
                b[k] = char((full >> (8 * k)) & 0xff);
        }
        samples.append(b, bits / 8);
    }
    QByteArray f(16, '\0');
    qToLittleEndian<quint16>(quint16(tag), f.data());
    qToLittleEndian<quint16>(quint16(channels), f.data() + 2);
    qToLittleEndian<quint32>(quint32(rate), f.data() + 4);
    qToLittleEndian<quint32>(quint32(rate * channels * bits / 8), f.data() + 8);
    qToLittleEndian<quint16>(quint16(channels * bits / 8), f.data() + 12);
    qToLittleEndian<quint16>(quint16(bits), f.data() + 14);
    auto u32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    const QByteArray body = "WAVEfmt " + u32(16) + f + "data" + u32(quint32(samples.size())) + samples;
    return "RIFF" + u32(quint32(body.size())) + body;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A BMP header that claims a picture far larger than any screen.
QByteArray hugeBmp()
{
    QByteArray b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    qToLittleEndian<quint32>(54, b.data() + 10);
    qToLittleEndian<quint32>(40, b.data() + 14);
    qToLittleEndian<qint32>(100000, b.data() + 18);
    qToLittleEndian<qint32>(100000, b.data() + 22);
    qToLittleEndian<quint16>(1, b.data() + 26);
    qToLittleEndian<quint16>(24, b.data() + 28);
    return b;
}

QImage solid(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
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
    void hostileSeriesFiles_data();
    void hostileSeriesFiles();
    void largePictures_data();
    void largePictures();
    void userPictureKeepsItsShape();
    void brokenSeriesLogsOneLine();
    void builtInSoundsAreAudibleAndDistinct();
    void wavDecoding_data();
    void wavDecoding();
    void outputConversion_data();
    void outputConversion();
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

void TestResBank::hostileSeriesFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Hostile>("kind");
    QTest::addColumn<QString>("reason");
    const QHash<Hostile, QString> reasons = {
        {Hostile::DevZero, "a device"},
        {Hostile::DevRandom, "a device"},
        {Hostile::ProcPagemap, "a kernel file"},
        {Hostile::ProcKmsg, "a kernel file|a device"},
        {Hostile::Fifo, "a named pipe"},
        {Hostile::FifoWithWriter, "a named pipe"},
        {Hostile::Folder, "a folder"},
        {Hostile::LinkLoop, "link loop"},
        {Hostile::DanglingLink, "dangling link"},
    };
    for (const auto &[name, kind] : hostileKinds()) {
        QTest::addRow("picture, %s", name) << "0.png" << kind << "picture 0 unusable \\((" + reasons.value(kind) + ")";
        QTest::addRow("sound, %s", name) << "0.wav" << kind << "sound 0 unusable \\((" + reasons.value(kind) + ")";
    }
}

void TestResBank::hostileSeriesFiles()
{
    // Guards start-up against a series folder holding links to devices,
    // kernel files or pipes: the built-in item stands in, the log says
    // why, nothing waits and nothing is read without end.
    QFETCH(QString, name);
    QFETCH(Hostile, kind);
    QFETCH(QString, reason);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("3")));
    HostilePlanter planter;
    planter.plant(root.filePath(QStringLiteral("3/") + name), kind);
    m_library.setFolder(root.path());
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(reason));
    PeakMemory peak;
    const auto series = m_library.find(3);
    QVERIFY2(peak.growthMB() < 64, "loading the series held too much memory");
    QVERIFY(series->isUserSeries());
    QVERIFY(!series->hasOwnPicture(0));
    QVERIFY(!series->hasOwnSound(0));
    QCOMPARE(series->sound(0), m_library.builtInSound(1, 0));
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

void TestResBank::builtInSoundsAreAudibleAndDistinct()
{
    // Guards the synthesis: every built-in sound short, audible, unclipped
    // and unlike the other five, so that players can tell them apart.
    QList<QByteArray> all;
    for (int series = 0; series < 2; ++series) {
        for (int item = 0; item < 3; ++item) {
            const QByteArray pcm = m_library.builtInSound(series, item);
            const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
            const int count = int(pcm.size() / 2);
            QVERIFY(count > FeedbackSound::SampleRate / 10 && count < FeedbackSound::SampleRate * 2);
            int peak = 0;
            for (int i = 0; i < count; ++i)
                peak = qMax(peak, qAbs(int(samples[i])));
            QVERIFY2(peak > 3000 && peak < 32000, qPrintable(QString::number(peak)));
            QVERIFY(!all.contains(pcm));
            all << pcm;
        }
    }
}

void TestResBank::wavDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("frames");
    QTest::addColumn<double>("value");
    QTest::newRow("16-bit mono, own rate") << wav(1, 1, 22050, 16, 1000, 0.5) << 1000 << 0.5;
    QTest::newRow("16-bit stereo, 44.1 kHz") << wav(1, 2, 44100, 16, 2000, -0.25) << 1000 << -0.25;
    QTest::newRow("8-bit unsigned, 11 kHz") << wav(1, 1, 11025, 8, 500, 0.5) << 1000 << 0.5;
    QTest::newRow("24-bit, 48 kHz") << wav(1, 1, 48000, 24, 4800, -0.75) << 2205 << -0.75;
    QTest::newRow("32-bit float, 4 channels") << wav(3, 4, 22050, 32, 300, 0.3) << 300 << 0.3;
    QTest::newRow("longer than allowed")
        << wav(1, 1, 8000, 16, 8000 * (FeedbackSound::MaxSeconds + 2), 0.1)
        << FeedbackSound::SampleRate * FeedbackSound::MaxSeconds << 0.1;
    QByteArray cut = wav(1, 1, 22050, 16, 1000, 0.5);
    cut.chop(1001); // half the samples and one odd byte gone
    QTest::newRow("cut off mid-sample") << cut << 499 << 0.5;
}

void TestResBank::wavDecoding()
{
    // Guards sample formats, byte order, sign, mixing and resampling, and
    // the cap on length: a wrong sign or rate sounds like noise or chipmunks.
    QFETCH(QByteArray, bytes);
    QFETCH(int, frames);
    QFETCH(double, value);
    QString why;
    const QByteArray pcm = FeedbackSound::decodeWav(bytes, &why);
    QVERIFY2(!pcm.isEmpty(), qPrintable(why));
    QVERIFY(qAbs(pcm.size() / 2 - frames) <= 1);
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    for (int i = 0; i < pcm.size() / 2; i += 97)
        QVERIFY2(qAbs(samples[i] / 32767.0 - value) < 0.02, qPrintable(QString::number(samples[i])));
}

void TestResBank::outputConversion_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::newRow("same") << int(QAudioFormat::Int16) << 1 << 22050;
    QTest::newRow("float stereo 44.1 kHz") << int(QAudioFormat::Float) << 2 << 44100;
    QTest::newRow("8-bit 11 kHz") << int(QAudioFormat::UInt8) << 1 << 11025;
    QTest::newRow("32-bit 6 channels 48 kHz") << int(QAudioFormat::Int32) << 6 << 48000;
}

void TestResBank::outputConversion()
{
    // Guards sounds on an output that wants another format: right length,
    // every channel filled, level and sign kept.
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QAudioFormat f;
    f.setSampleFormat(QAudioFormat::SampleFormat(format));
    f.setChannelCount(channels);
    f.setSampleRate(rate);
    QByteArray pcm(2 * 2205, Qt::Uninitialized);
    for (int i = 0; i < 2205; ++i)
        qToUnaligned(qint16(-16384), pcm.data() + 2 * i);
    const QByteArray out = FeedbackPlayer::toFormat(pcm, f);
    const int frames = 2205 * rate / 22050;
    QCOMPARE(out.size(), frames * channels * f.bytesPerSample());
    const char *last = out.constData() + out.size() - f.bytesPerSample();
    for (const char *at : {out.constData(), last}) {
        double v = 0;
        switch (f.sampleFormat()) {
        case QAudioFormat::UInt8: v = (quint8(*at) - 128) / 128.0; break;
        case QAudioFormat::Int16: v = qFromUnaligned<qint16>(at) / 32768.0; break;
        case QAudioFormat::Int32: v = qFromUnaligned<qint32>(at) / 2147483648.0; break;
        default: v = qFromUnaligned<float>(at); break;
        }
        QVERIFY2(qAbs(v + 0.5) < 0.01, qPrintable(QString::number(v)));
    }
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
