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
constexpr int Channels = 5;

// How many cells a side and how many of them stay empty round the
// character; each model's metadata says which it was trained on.
struct Geometry
{
    int side = 48;
    int margin = 3;

    // Sides a model may claim: a raster of a few hundred kB at most.
    static constexpr int MinSide = 16;
    static constexpr int MaxSide = 128;
    bool isValid() const { return side >= MinSide && side <= MaxSide && margin >= 0 && 4 * margin < side; }
    int size() const { return Channels * side * side; }
    bool operator==(const Geometry &o) const { return side == o.side && margin == o.margin; }
};

// geometry.size() values, channel by channel, row by row; all zero for empty
// ink. The geometry must be valid.
std::vector<float> rasterize(const Ink &ink, Geometry geometry = {});
} // namespace InkRaster
