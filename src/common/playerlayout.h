// SPDX-License-Identifier: GPL-3.0-or-later
// The player window's layout formula: places, sizes and font sizes from the inner size alone.
#pragma once

#include <QString>
#include <functional>

// Every length here is in twips, relative to the window's client area.
// Whole quantities are ints: 32 bits hold any screen's extent in twips.
namespace PlayerLayout {

// The whole number nearest to x, halves going to the even neighbour.
int nearest(double x);

// What the measuring label reads back once its font is set to a size:
// the size the font took (points) and the label's own extent (twips).
struct TextExtent
{
    double points = 0;
    double width = 0;
    double height = 0;
};

// Sets the measuring label to `sample` at `points` and reads it back.
using TextMeasure = std::function<TextExtent(const QString &sample, double points)>;

// No font grows beyond this many points, whatever the measure says, so a
// measure that never reports an overflow cannot keep the search going.
constexpr double MaxFontPoints = 1638;

// The largest font size, in points, at which `sample` plus `margin` fits
// into the cell: one point below the first size from 2 points up that does
// not fit. Never below 1 point; never above MaxFontPoints.
double FitFontSize(const TextMeasure &measure, const QString &sample, double cellWidth,
                   double cellHeight, double margin);

// A control's place: left, top, width, height.
struct Place
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// The design extents that the layout keeps as they are.
struct FixedExtents
{
    double resultHeight = 345;   // ResultLabel
    double recButtonHeight = 450; // RecButton, and so AnsButton and ClearButton
    double scoreWidth = 480;     // Score1, and so Label1 and Score2
    double scoreHeight = 345;    // Score1
};

constexpr int AnswerCount = 18;
constexpr int BoardSize = 36;

// The outcome of one layout pass. Arrays of controls are indexed like the
// controls: answers[k] is AnsLabel(k) and board[n] is MonButton(n); index 0
// of `answers` is the template, index 0 of `board` is unused.
struct Result
{
    int L = 0, U = 0, F = 0;
    int AW = 0, AH = 0, GX = 0, GY = 0;
    int B = 0, BW = 0, BH = 0;
    int XW = 0, XH = 0;
    double BT = 0; // may be negative; the buttons get max(0, BT)
    double SA = 1, SB = 1;
    int resultPoints = 1;

    Place resBank, resultLabel;
    Place answers[AnswerCount + 1];
    Place board[BoardSize + 1];
    Place recBox[2];
    Place recButton, clearButton, ansButton;
    Place score1, label1, score2;
};

// One pass for an inner size of width x height twips.
Result layoutFor(double width, double height, const FixedExtents &fixed, const TextMeasure &measure);

} // namespace PlayerLayout
