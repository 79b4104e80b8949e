// SPDX-License-Identifier: GPL-3.0-or-later
// A defensive WAV reader: any PCM or floating-point WAV to the feedback sample format.
#include "feedbacksound.h"

#include "resample.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace FeedbackSound {

namespace {

quint16 u16(const char *p) { return qFromLittleEndian<quint16>(p); }
quint32 u32(const char *p) { return qFromLittleEndian<quint32>(p); }

struct WavFormat
{
    int tag = 0; // 1: integer PCM, 3: floating point
    int channels = 0;
    qint64 rate = 0;
    int bits = 0;
    int blockAlign = 0;
};

// One sample of a frame as -1..1.
double sampleAt(const char *p, const WavFormat &f)
{
    if (f.tag == 3)
        return f.bits == 32 ? double(qFromLittleEndian<float>(p)) : qFromLittleEndian<double>(p);
    switch (f.bits) {
    case 8:
        return (int(uchar(*p)) - 128) / 128.0;
    case 16:
        return qFromLittleEndian<qint16>(p) / 32768.0;
    case 24: {
        const qint32 v = qint32(quint32(uchar(p[0])) << 8 | quint32(uchar(p[1])) << 16
                                | quint32(uchar(p[2])) << 24) >> 8;
        return v / 8388608.0;
    }
    default:
        return qFromLittleEndian<qint32>(p) / 2147483648.0;
    }
}

} // namespace

QByteArray decodeWav(const QByteArray &bytes, QString *why)
{
    auto fail = [why](const char *text) {
        if (why)
            *why = QString::fromLatin1(text);
        return QByteArray();
    };
    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    if (size < 12 || memcmp(data, "RIFF", 4) != 0 || memcmp(data + 8, "WAVE", 4) != 0)
        return fail("not a WAV file");

    WavFormat f;
    qint64 samplesAt = -1;
    qint64 samplesBytes = 0;
    for (qint64 at = 12; at + 8 <= size;) {
        const char *id = data + at;
        const qint64 length = u32(data + at + 4);
        const qint64 body = at + 8;
        const qint64 available = std::min(length, size - body);
        if (memcmp(id, "fmt ", 4) == 0) {
            if (available < 16)
                return fail("cut-off format block");
            const char *p = data + body;
            f.tag = u16(p);
            f.channels = u16(p + 2);
            f.rate = u32(p + 4);
            f.blockAlign = u16(p + 12);
            f.bits = u16(p + 14);
            if (f.tag == 0xFFFE && available >= 26)
                f.tag = u16(p + 24); // the sub-format of an extensible header
        } else if (memcmp(id, "data", 4) == 0 && samplesAt < 0) {
            samplesAt = body;
            samplesBytes = available; // a cut-off file plays what it has
        }
        at = body + length + (length & 1);
    }
    if (f.tag == 0)
        return fail("no format block");
    const bool pcm = f.tag == 1 && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32);
    const bool real = f.tag == 3 && (f.bits == 32 || f.bits == 64);
    if (!pcm && !real)
        return fail("unsupported sample format");
    if (f.channels < 1 || f.channels > 32 || f.rate < 1000 || f.rate > 768000
        || f.blockAlign < f.channels * f.bits / 8)
        return fail("impossible format values");
    if (samplesAt < 0)
        return fail("no samples");
    const qint64 frames = std::min<qint64>(samplesBytes / f.blockAlign, f.rate * MaxSeconds);
    if (frames < 1)
        return fail("no samples");

    std::vector<double> mono(size_t(frames), 0.0);
    const int step = f.bits / 8;
    for (qint64 i = 0; i < frames; ++i) {
        const char *frame = data + samplesAt + i * f.blockAlign;
        double sum = 0;
        for (int c = 0; c < f.channels; ++c)
            sum += sampleAt(frame + c * step, f);
        const double value = sum / f.channels;
        mono[size_t(i)] = std::isfinite(value) ? std::clamp(value, -1.0, 1.0) : 0.0;
    }

    const std::vector<double> at = resampled(mono, int(f.rate), SampleRate);
    QByteArray out(int(at.size() * 2), Qt::Uninitialized);
    auto *samples = reinterpret_cast<qint16 *>(out.data());
    for (size_t i = 0; i < at.size(); ++i)
        samples[i] = qint16(std::lround(at[i] * 32767));
    return out;
}

} // namespace FeedbackSound
