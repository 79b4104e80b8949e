// SPDX-License-Identifier: GPL-3.0-or-later
// Feedback series from hostile folders, the built-in sounds, WAV reading and
// the conversion for an audio output.
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackplayer.h"
#include "feedback/feedbackseries.h"
#include "feedback/feedbacksound.h"
#include "fakes/feedbackfiles.h"
#include "fakes/hostilefiles.h"

#include <QAudioFormat>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestFeedback : public QObject
{
    Q_OBJECT
private slots:
    void hostileSeriesFiles_data();
    void hostileSeriesFiles();
    void builtInSoundsAreAudibleAndDistinct();
    void wavDecoding_data();
    void wavDecoding();
    void outputConversion_data();
    void outputConversion();

private:
    FeedbackLibrary m_library;
};

void TestFeedback::hostileSeriesFiles_data()
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

void TestFeedback::hostileSeriesFiles()
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

void TestFeedback::builtInSoundsAreAudibleAndDistinct()
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

void TestFeedback::wavDecoding_data()
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

void TestFeedback::wavDecoding()
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

void TestFeedback::outputConversion_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::newRow("same") << int(QAudioFormat::Int16) << 1 << 22050;
    QTest::newRow("float stereo 44.1 kHz") << int(QAudioFormat::Float) << 2 << 44100;
    QTest::newRow("8-bit 11 kHz") << int(QAudioFormat::UInt8) << 1 << 11025;
    QTest::newRow("32-bit 6 channels 48 kHz") << int(QAudioFormat::Int32) << 6 << 48000;
}

void TestFeedback::outputConversion()
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

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"
