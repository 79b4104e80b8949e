// SPDX-License-Identifier: GPL-3.0-or-later
// Linear resampling of feedback sounds.
#pragma once

#include <vector>

// Mono samples taken at fromRate, at toRate instead, by linear
// interpolation (plenty for short feedback sounds). At least one sample
// for a non-empty input; rates below 1 count as 1.
std::vector<double> resampled(const std::vector<double> &samples, int fromRate, int toRate);
