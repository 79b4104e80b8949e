// SPDX-License-Identifier: GPL-3.0-or-later
// Rasterising ink for the ink model, number for number as the training did.
#include "recognition/inkraster.h"

#include <algorithm>
#include <cmath>

namespace InkRaster {

namespace {

constexpr double Step = 0.5;      // between samples along a segment, in cells
constexpr double DotLength = 0.5; // a shorter stroke is drawn as a dot
constexpr double Gain = 2.0;      // a line through cell centres reads 1 after the blur

struct Sample
{
    double x, y, weight, orientation; // orientation < 0: a dot
};

std::vector<Sample> samples(const Ink &ink, int side, int margin)
{
    std::vector<Sample> out;
    bool first = true;
    double left = 0, top = 0, right = 0, bottom = 0;
    for (const Stroke &s : ink.strokes) {
        for (QPointF p : s) {
            left = first ? p.x() : std::min(left, p.x());
            right = first ? p.x() : std::max(right, p.x());
            top = first ? p.y() : std::min(top, p.y());
            bottom = first ? p.y() : std::max(bottom, p.y());
            first = false;
        }
    }
    if (first)
        return out;
    const double extent = std::max(right - left, bottom - top);
    const double scale = extent > 1e-9 ? (side - 2 * margin) / extent : 1.0;
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double half = side / 2.0;
    std::vector<QPointF> pts;
    for (const Stroke &s : ink.strokes) {
        if (s.isEmpty())
            continue;
        pts.clear();
        for (QPointF p : s)
            pts.emplace_back((p.x() - cx) * scale + half, (p.y() - cy) * scale + half);
        double length = 0;
        for (size_t i = 1; i < pts.size(); ++i)
            length += std::hypot(pts[i].x() - pts[i - 1].x(), pts[i].y() - pts[i - 1].y());
        if (length < DotLength) {
            out.push_back({pts[0].x(), pts[0].y(), 1.0, -1.0});
            continue;
        }
        for (size_t i = 1; i < pts.size(); ++i) {
            const double ax = pts[i - 1].x(), ay = pts[i - 1].y();
            const double dx = pts[i].x() - ax, dy = pts[i].y() - ay;
            const double seg = std::hypot(dx, dy);
            if (!(seg > 0))
                continue;
            const long n = std::max(1L, long(std::ceil(seg / Step)));
            double angle = std::atan2(dy, dx);
            if (angle < 0)
                angle += M_PI;
            if (angle >= M_PI)
                angle -= M_PI;
            for (long k = 0; k < n; ++k) {
                const double t = (double(k) + 0.5) / double(n);
                out.push_back({ax + dx * t, ay + dy * t, seg / double(n), angle});
            }
        }
    }
    return out;
}

} // namespace

std::vector<float> rasterize(const Ink &ink, Geometry geometry)
{
    if (!geometry.isValid())
        return {};
    const int side = geometry.side;
    const int padded = side + 2; // a spare cell all round while splatting
    const std::vector<Sample> splats = samples(ink, side, geometry.margin);
    std::vector<float> out(size_t(geometry.size()), 0.0f);
    if (splats.empty())
        return out;
    std::vector<double> grid(size_t(Channels) * padded * padded, 0.0);
    std::vector<double> corner(grid.size());
    auto at = [padded](int channel, int row, int column) { return (size_t(channel) * padded + size_t(row)) * padded + size_t(column); };
    // One corner at a time, as the training code sums them.
    for (int c = 0; c < 4; ++c) {
        const int ox = c & 1, oy = c >> 1;
        std::fill(corner.begin(), corner.end(), 0.0);
        for (const Sample &s : splats) {
            const double x = s.x - 0.5, y = s.y - 0.5;
            const double x0 = std::floor(x), y0 = std::floor(y);
            const double fx = x - x0, fy = y - y0;
            const int col = std::clamp(int(x0), -1, side - 1) + 1 + ox;
            const int row = std::clamp(int(y0), -1, side - 1) + 1 + oy;
            const double cw = (ox ? fx : 1 - fx) * (oy ? fy : 1 - fy);
            corner[at(0, row, col)] += s.weight * cw;
            if (s.orientation < 0)
                continue;
            const double f = s.orientation / (M_PI / 4);
            const int k = std::min(int(std::floor(f)), 3);
            const double frac = f - k;
            corner[at(1 + k, row, col)] += s.weight * cw * (1 - frac);
            corner[at(1 + (k + 1) % 4, row, col)] += s.weight * cw * frac;
        }
        for (size_t i = 0; i < grid.size(); ++i)
            grid[i] += corner[i];
    }
    // [1 2 1] / 4 down the columns, then along the rows; zeros beyond the edge.
    std::vector<double> down(out.size());
    auto inner = [&](int channel, int row, int column) {
        return row < 0 || row >= side || column < 0 || column >= side ? 0.0 : grid[at(channel, row + 1, column + 1)];
    };
    for (int ch = 0; ch < Channels; ++ch) {
        for (int r = 0; r < side; ++r) {
            for (int c = 0; c < side; ++c)
                down[(size_t(ch) * side + r) * side + c] = (inner(ch, r - 1, c) + 2 * inner(ch, r, c) + inner(ch, r + 1, c)) / 4;
        }
    }
    for (int ch = 0; ch < Channels; ++ch) {
        for (int r = 0; r < side; ++r) {
            const double *line = &down[(size_t(ch) * side + r) * side];
            for (int c = 0; c < side; ++c) {
                const double l = c > 0 ? line[c - 1] : 0.0, rr = c + 1 < side ? line[c + 1] : 0.0;
                const double v = (l + 2 * line[c] + rr) / 4;
                out[(size_t(ch) * side + r) * side + c] = float(std::min(v * Gain, 1.0));
            }
        }
    }
    return out;
}

} // namespace InkRaster
