// SPDX-License-Identifier: GPL-3.0-or-later
// The player window's layout formula: places, sizes and font sizes from the inner size alone.
#include "playerlayout.h"

#include <algorithm>
#include <cmath>

namespace PlayerLayout {

namespace {

int wholeFloor(double x)
{
    return int(std::floor(x));
}

// Sums compared in single precision, as the label's extent is.
bool fits(const TextExtent &e, double cellWidth, double cellHeight, double margin)
{
    const float w = float(e.width) + float(margin);
    const float h = float(e.height) + float(margin);
    return w <= float(cellWidth) && h <= float(cellHeight);
}

} // namespace

int nearest(double x)
{
    if (!std::isfinite(x))
        return 0;
    const double below = std::floor(x);
    const double fraction = x - below;
    double result = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0))
        result = below + 1;
    return int(std::clamp(result, double(INT32_MIN / 2), double(INT32_MAX / 2)));
}

double FitFontSize(const TextMeasure &measure, const QString &sample, double cellWidth,
                   double cellHeight, double margin)
{
    double size = measure(sample, 1).points;
    if (!std::isfinite(size) || size < 1)
        size = 1;
    for (;;) {
        const TextExtent grown = measure(sample, size + 1);
        // A size read back that hardly grows or runs past the cap counts as
        // not fitting, so the search ends for any measure.
        if (!std::isfinite(grown.points) || grown.points < size + 0.5 || grown.points > MaxFontPoints) {
            size += 1;
            break;
        }
        size = grown.points;
        if (!fits(grown, cellWidth, cellHeight, margin))
            break;
    }
    const double result = measure(sample, size - 1).points;
    return std::isfinite(result) ? std::clamp(result, 1.0, MaxFontPoints) : 1.0;
}

Result layoutFor(double width, double height, const FixedExtents &fixed, const TextMeasure &measure)
{
    // Far beyond any screen; keeps every whole quantity inside 32 bits.
    constexpr double MaxExtent = 1e8;
    const double W = std::isfinite(width) ? std::clamp(width, 0.0, MaxExtent) : 0.0;
    const double H = std::isfinite(height) ? std::clamp(height, 0.0, MaxExtent) : 0.0;
    const double R = fixed.resultHeight;
    const double RH = fixed.recButtonHeight;
    const double SW = fixed.scoreWidth;
    Result r;

    r.L = nearest(0.4 * W);
    r.U = nearest(0.5 * H);
    const int L = r.L;
    const int U = r.U;

    r.F = std::max(0, std::min(L - 10, nearest(U - 15 - R)));
    r.resBank = {double(wholeFloor((L - r.F) / 2.0)), double(wholeFloor((U - r.F - 10 - R) / 2.0)),
                 double(r.F), double(r.F)};
    r.resultLabel = {5, U - 5 - R, double(std::max(0, L - 10)), R};

    r.AW = std::max(0, wholeFloor((L - 20) / 3.0));
    r.AH = std::max(0, wholeFloor((H - U - 30) / 6.0));
    r.answers[0] = {5, double(U), double(r.AW), double(r.AH)};
    r.SA = FitFontSize(measure, QStringLiteral("飛焼"), r.AW, r.AH, 1);

    r.GX = wholeFloor((L - 3.0 * r.AW) / 4.0);
    r.GY = wholeFloor((H - U - 6.0 * r.AH) / 6.0);
    for (int k = 1; k <= AnswerCount; ++k) {
        const int c = (k - 1) % 3;
        const int row = (k - 1) / 3;
        r.answers[k] = {double(r.GX + c * (r.GX + r.AW)), double(U + row * (r.GY + r.AH)),
                        double(r.AW), double(r.AH)};
    }
    r.resultPoints = std::min(14, nearest(r.SA));

    r.B = nearest(0.6 * H);
    r.BW = std::max(0, wholeFloor((W - L - 30) / 6.0));
    r.BH = std::max(0, wholeFloor((r.B - 35) / 6.0));
    r.SB = FitFontSize(measure, QStringLiteral("焼"), r.BW, r.BH, 4);
    for (int n = 1; n <= BoardSize; ++n) {
        const int c = (n - 1) % 6;
        const int row = (n - 1) / 6;
        r.board[n] = {double(L + c * (r.BW + 5)), double(5 + row * (r.BH + 5)), double(r.BW),
                      double(r.BH)};
    }

    r.XW = std::max(0, wholeFloor((W - L - 10) / 2.0));
    r.XH = std::max(0, nearest(H - r.B - 15 - 2 * RH));
    r.recBox[0] = {double(L), double(r.B), double(r.XW), double(r.XH)};
    r.recBox[1] = {double(L + r.XW + 5), double(r.B), double(r.XW), double(r.XH)};

    r.BT = 2.0 * r.XW - 5 - 3 * SW;
    const double buttonWidth = std::max(0.0, r.BT);
    r.recButton = {double(L), double(r.B + r.XH + 5), buttonWidth, RH};
    r.clearButton = {r.recButton.left + r.recButton.width + SW + 6, r.recButton.top, 2 * SW + 1, RH};
    r.ansButton = {double(L), r.B + r.XH + RH + 10, buttonWidth, RH};
    r.score1 = {r.ansButton.left + r.ansButton.width + 5, r.ansButton.top, SW, fixed.scoreHeight};
    r.label1 = {r.score1.left + SW + 1, r.score1.top, SW, r.score1.height};
    r.score2 = {r.label1.left + r.label1.width + 1, r.score1.top, SW, r.score1.height};
    return r;
}

} // namespace PlayerLayout
