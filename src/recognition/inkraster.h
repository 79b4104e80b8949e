// SPDX-License-Identifier: GPL-3.0-or-later
// The raster of ink that the trained ink model reads.
#pragma once

#include "engine/ink.h"

#include <vector>

// Channels x side x side cells: the ink, then the ink of strokes running at
// 0°, 45°, 90° and 135° (either direction alike; a segment in between is
// shared by its two nearest). The character's bounding box is fitted into
// the square inside the margin, aspect kept, centred; segments are sampled
// every half cell and splatted bilinearly, then blurred with [1 2 1] and
// clipped at 1. Stroke order, direction and where the pen lifted do not
// matter. tools/inkmodel/raster.py computes the same numbers for training.
namespace InkRaster {
constexpr int Side = 48;
constexpr int Margin = 3;
constexpr int Channels = 5;
constexpr int Size = Channels * Side * Side;

// Size values, channel by channel, row by row; all zero for empty ink.
std::vector<float> rasterize(const Ink &ink);
} // namespace InkRaster
