// SPDX-License-Identifier: GPL-3.0-or-later
// Synthesis of the built-in feedback sounds and a defensive WAV reader.
#include "feedbacksound.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace FeedbackSound {

namespace {

constexpr double Pi = 3.14159265358979323846;

// Series 0 rings like small bells, series 1 beeps like a toy: the two
// players must tell their feedback apart by ear alone.
enum class Wave { Bell, Voice, Square, Saw };

struct Note
{
    double start;   // seconds
    double length;  // seconds
    double from;    // Hz at the start
    double to;      // Hz at the end (a glide when different)
    double level;   // peak, 0..1
    Wave wave;
};

double waveValue(Wave wave, double phase)
{
    const double cycle = phase / (2 * Pi) - std::floor(phase / (2 * Pi));
    switch (wave) {
    case Wave::Bell:
        return std::sin(phase) + 0.35 * std::sin(2 * phase) + 0.12 * std::sin(4.2 * phase);
    case Wave::Voice:
        return std::sin(phase) + 0.2 * std::sin(3 * phase);
    case Wave::Square:
        return cycle < 0.5 ? 1.0 : -1.0;
    case Wave::Saw:
        return 2 * cycle - 1;
    }
    return 0;
}

double envelope(Wave wave, double t, double length)
{
    const double attack = std::min(1.0, t / 0.006);
    const double release = std::min(1.0, (length - t) / 0.015); // no click at the end
    double body = 1;
    if (wave == Wave::Bell)
        body = std::exp(-5.0 * t / length);
    else if (wave == Wave::Voice)
        body = std::sin(Pi * t / length);
    return std::max(0.0, attack * release * body);
}

QByteArray render(std::initializer_list<Note> notes)
{
    double total = 0;
    for (const Note &n : notes)
        total = std::max(total, n.start + n.length);
    std::vector<double> mix(size_t(std::ceil(total * SampleRate)) + 1, 0.0);
    for (const Note &n : notes) {
        const size_t first = size_t(n.start * SampleRate);
        const size_t count = size_t(n.length * SampleRate);
        double phase = 0;
        for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = double(i) / SampleRate;
            const double hz = n.from + (n.to - n.from) * t / n.length;
            phase += 2 * Pi * hz / SampleRate;
            mix[first + i] += n.level * envelope(n.wave, t, n.length) * waveValue(n.wave, phase);
        }
    }
    QByteArray pcm(int(mix.size() * 2), Qt::Uninitialized);
    auto *out = reinterpret_cast<qint16 *>(pcm.data());
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] = qint16(std::lround(std::clamp(mix[i], -1.0, 1.0) * 32000));
    return pcm;
}

QByteArray synthesise(int series, int item)
{
    const double C4 = 261.63, E4 = 329.63, C5 = 523.25, E5 = 659.25, G5 = 783.99, C6 = 1046.50;
    const double A5 = 880.0, B5 = 987.77, Cs6 = 1108.73, E6 = 1318.51, A6 = 1760.0;
    if (series == 0) {
        switch (item) {
        case 0: // a rising major chord of bells
            return render({{0.00, 0.50, C5, C5, 0.22, Wave::Bell},
                           {0.11, 0.50, E5, E5, 0.22, Wave::Bell},
                           {0.22, 0.50, G5, G5, 0.22, Wave::Bell},
                           {0.33, 0.75, C6, C6, 0.26, Wave::Bell}});
        case 1: // "oh-oh", two falling soft notes
            return render({{0.00, 0.32, E4, E4, 0.38, Wave::Voice},
                           {0.30, 0.55, C4, C4 * 0.94, 0.38, Wave::Voice}});
        default: // one quiet bell
            return render({{0.00, 0.45, G5, G5, 0.18, Wave::Bell}});
        }
    }
    switch (item) {
    case 0: // quick rising beeps and a trill
        return render({{0.00, 0.07, A5, A5, 0.12, Wave::Square},
                       {0.07, 0.07, Cs6, Cs6, 0.12, Wave::Square},
                       {0.14, 0.07, E6, E6, 0.12, Wave::Square},
                       {0.21, 0.07, A6, A6, 0.12, Wave::Square},
                       {0.30, 0.06, E6, E6, 0.10, Wave::Square},
                       {0.36, 0.06, A6, A6, 0.10, Wave::Square},
                       {0.42, 0.06, E6, E6, 0.10, Wave::Square},
                       {0.48, 0.14, A6, A6, 0.10, Wave::Square}});
    case 1: // a buzzing downward glide
        return render({{0.00, 0.50, 330, 110, 0.30, Wave::Saw},
                       {0.00, 0.50, 165, 55, 0.12, Wave::Square}});
    default: // two soft ticks
        return render({{0.00, 0.05, B5, B5, 0.10, Wave::Square},
                       {0.12, 0.05, B5, B5, 0.10, Wave::Square}});
    }
}

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

QByteArray builtIn(int series, int item)
{
    static QByteArray made[2][3];
    series = std::clamp(series, 0, 1);
    item = std::clamp(item, 0, 2);
    QByteArray &sound = made[series][item];
    if (sound.isEmpty())
        sound = synthesise(series, item);
    return sound;
}

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

    // Linear resampling is plenty for short feedback sounds.
    const qint64 outFrames = std::max<qint64>(1, frames * SampleRate / f.rate);
    QByteArray out(int(outFrames * 2), Qt::Uninitialized);
    auto *samples = reinterpret_cast<qint16 *>(out.data());
    const double ratio = double(f.rate) / SampleRate;
    for (qint64 i = 0; i < outFrames; ++i) {
        const double pos = i * ratio;
        const size_t k = std::min(size_t(pos), mono.size() - 1);
        const double frac = pos - double(k);
        const double next = k + 1 < mono.size() ? mono[k + 1] : mono[k];
        samples[i] = qint16(std::lround((mono[k] + (next - mono[k]) * frac) * 32767));
    }
    return out;
}

} // namespace FeedbackSound
