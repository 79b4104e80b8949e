// SPDX-License-Identifier: GPL-3.0-or-later
// Synthesis of the built-in feedback sounds.
#include "feedbacksound.h"

#include "common/numbers.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace FeedbackSound {

namespace {

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

QByteArray synthesiseItem(int series, int item)
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

} // namespace

QByteArray synthesise(int series, int item)
{
    return synthesiseItem(std::clamp(series, 0, 1), std::clamp(item, 0, 2));
}

} // namespace FeedbackSound
