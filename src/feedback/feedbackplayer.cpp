// SPDX-License-Identifier: GPL-3.0-or-later
// Feedback sound output through Qt Multimedia, silent where there is none.
#include "feedbackplayer.h"

#include "audiooutput.h"
#include "feedbacklog.h"
#include "feedbacksound.h"
#include "resample.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QAudioFormat ownFormat()
{
    QAudioFormat format;
    format.setSampleRate(FeedbackSound::SampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

// Hands the current sound to the output and then nothing (the output plays
// silence), so that one stream serves every sound of a bank.
class SoundSource : public QIODevice
{
public:
    explicit SoundSource(QObject *parent)
        : QIODevice(parent)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    void setSound(const QByteArray &samples)
    {
        m_samples = samples;
        m_at = 0;
        if (!samples.isEmpty())
            emit readyRead(); // wakes an output that went idle
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_samples.size() - m_at; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 n = qBound<qint64>(0, size, m_samples.size() - m_at);
        memcpy(data, m_samples.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_samples;
    qint64 m_at = 0;
};

FeedbackPlayer::FeedbackPlayer(AudioOutput *audio, QObject *parent)
    : QObject(parent)
    , m_audio(audio)
{
}

FeedbackPlayer::~FeedbackPlayer()
{
    stop();
}

void FeedbackPlayer::play(const QByteArray &pcm)
{
    m_next = pcm;
    if (!m_pending) {
        m_pending = true;
        QMetaObject::invokeMethod(this, &FeedbackPlayer::startPending, Qt::QueuedConnection);
    }
}

void FeedbackPlayer::stop()
{
    m_pending = false;
    m_next.clear();
    if (m_source)
        m_source->setSound({});
    if (m_sink)
        m_sink->stop();
}

void FeedbackPlayer::startPending()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_current = m_next;
    m_next.clear();
    if (m_current.isEmpty() || !ensureSink())
        return;
    // Replacing the samples cuts the sound before.
    m_source->setSound(m_format == ownFormat() ? m_current : toFormat(m_current, m_format));
    if (m_sink->state() != QAudio::StoppedState)
        return; // running: it reads the new samples at once
    QuietLog quiet;
    m_sink->start(m_source);
    if (m_sink->error() != QAudio::NoError) {
        const QString reason = quiet.first();
        m_sink->stop();
        m_failed = true;
        m_audio->saySilent(QStringLiteral("the audio output failed%1")
                    .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
    }
}

bool FeedbackPlayer::ensureSink()
{
    if (m_failed || !m_audio || !m_audio->hasOutput())
        return false;
    if (m_sink)
        return true;
    const QAudioDevice &device = m_audio->device();
    m_format = device.isFormatSupported(ownFormat()) ? ownFormat() : device.preferredFormat();
    if (!m_format.isValid()) {
        m_failed = true;
        m_audio->saySilent(QStringLiteral("the audio output offers no usable format"));
        return false;
    }
    QuietLog quiet;
    m_sink = new QAudioSink(device, m_format, this);
    // A short buffer, so that a new sound cuts the one before within it.
    m_sink->setBufferSize(m_format.bytesForDuration(BufferMs * 1000));
    m_source = new SoundSource(this);
    return true;
}

QByteArray FeedbackPlayer::toFormat(const QByteArray &pcm, const QAudioFormat &format)
{
    const int channels = std::max(1, format.channelCount());
    const int bytes = format.bytesPerSample();
    if (bytes <= 0 || pcm.size() < 2)
        return {};
    const auto *in = reinterpret_cast<const qint16 *>(pcm.constData());
    std::vector<double> samples(size_t(pcm.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = in[i] / 32768.0;
    const std::vector<double> at = resampled(samples, FeedbackSound::SampleRate, format.sampleRate());
    QByteArray out(int(at.size()) * channels * bytes, Qt::Uninitialized);
    char *to = out.data();
    for (const double value : at) {
        for (int c = 0; c < channels; ++c, to += bytes) {
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                *reinterpret_cast<quint8 *>(to) = quint8(std::lround(128 + value * 127));
                break;
            case QAudioFormat::Int16:
                qToUnaligned(qint16(std::lround(value * 32767)), to);
                break;
            case QAudioFormat::Int32:
                qToUnaligned(qint32(std::lround(value * 2147483647.0)), to);
                break;
            case QAudioFormat::Float:
                qToUnaligned(float(value), to);
                break;
            default:
                return {};
            }
        }
    }
    return out;
}
