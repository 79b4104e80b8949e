// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the built-in feedback series, drawn as vectors at any size.
#pragma once

class QColor;
class QPainter;
class QRectF;

namespace FeedbackArt {

// Item 0 (joy), 1 (sorrow) or 2 (calm) of built-in series 0 (a sun) or 1
// (a cat), filling square.
void draw(QPainter &p, const QRectF &square, int series, int item);

// A ring of sparks flying out of square's centre; progress runs 0..1.
void drawBurst(QPainter &p, const QRectF &square, int series, double progress);

} // namespace FeedbackArt
