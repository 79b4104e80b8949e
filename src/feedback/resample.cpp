// SPDX-License-Identifier: GPL-3.0-or-later
#include "resample.h"

#include <algorithm>

std::vector<double> resampled(const std::vector<double> &samples, int fromRate, int toRate)
{
    if (samples.empty())
        return {};
    fromRate = std::max(1, fromRate);
    toRate = std::max(1, toRate);
    const auto inFrames = static_cast<long long>(samples.size());
    const long long outFrames = std::max<long long>(1, inFrames * toRate / fromRate);
    std::vector<double> out(static_cast<size_t>(outFrames));
    const double ratio = double(fromRate) / toRate;
    for (long long i = 0; i < outFrames; ++i) {
        const double pos = double(i) * ratio;
        const long long k = std::min(static_cast<long long>(pos), inFrames - 1);
        const double next = k + 1 < inFrames ? samples[size_t(k + 1)] : samples[size_t(k)];
        out[size_t(i)] = samples[size_t(k)] + (next - samples[size_t(k)]) * (pos - double(k));
    }
    return out;
}
