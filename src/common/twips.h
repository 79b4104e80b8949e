// SPDX-License-Identifier: GPL-3.0-or-later
// Window designs are in twips (1/1440 inch), converted through the screen's
// logical resolution so that a 200 % screen lays out like a 100 % one.
#pragma once

#include <QRect>
#include <cmath>

struct Twips
{
    double dpiX = 96.0;
    double dpiY = 96.0;

    int x(double twips) const { return int(std::lround(twips * dpiX / 1440.0)); }
    int y(double twips) const { return int(std::lround(twips * dpiY / 1440.0)); }
    QRect rect(double left, double top, double width, double height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }
    double fromX(int pixels) const { return pixels * 1440.0 / dpiX; }
    double fromY(int pixels) const { return pixels * 1440.0 / dpiY; }
};
