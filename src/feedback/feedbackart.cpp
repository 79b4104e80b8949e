// SPDX-License-Identifier: GPL-3.0-or-later
// Vector drawings of the built-in feedback series on a 100 x 100 grid.
#include "feedbackart.h"

#include "common/numbers.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace FeedbackArt {

namespace {

QPen line(const QColor &color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void tile(QPainter &p, const QColor &inner, const QColor &outer)
{
    QRadialGradient fill(50, 45, 70);
    fill.setColorAt(0, inner);
    fill.setColorAt(1, outer);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1.5, 1.5, 97, 97), 14, 14);
}

void arcStroke(QPainter &p, QPointF from, QPointF control, QPointF to)
{
    QPainterPath path(from);
    path.quadTo(control, to);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void drop(QPainter &p, QPointF tip, double size, const QColor &color)
{
    QPainterPath path(tip);
    path.cubicTo(tip + QPointF(-size, size * 1.3), tip + QPointF(-size * 0.6, size * 2.2),
                 tip + QPointF(0, size * 2.2));
    path.cubicTo(tip + QPointF(size * 0.6, size * 2.2), tip + QPointF(size, size * 1.3), tip);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(path);
}

void star(QPainter &p, QPointF centre, double radius, const QColor &color)
{
    QPolygonF points;
    for (int k = 0; k < 10; ++k) {
        const double r = k % 2 ? radius * 0.45 : radius;
        const double a = -Pi / 2 + k * Pi / 5;
        points << centre + QPointF(r * std::cos(a), r * std::sin(a));
    }
    p.setPen(line(color.darker(130), 0.8));
    p.setBrush(color);
    p.drawPolygon(points);
}

void rays(QPainter &p, int count, double inner, double outer, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    for (int k = 0; k < count; ++k) {
        const double a = 2 * Pi * k / count;
        const double reach = k % 2 ? outer * 0.88 : outer;
        const double half = Pi / count * 0.55;
        QPolygonF ray;
        ray << QPointF(50 + inner * std::cos(a - half), 50 + inner * std::sin(a - half))
            << QPointF(50 + reach * std::cos(a), 50 + reach * std::sin(a))
            << QPointF(50 + inner * std::cos(a + half), 50 + inner * std::sin(a + half));
        p.drawPolygon(ray);
    }
}

void sunDisc(QPainter &p, double radius, const QColor &light, const QColor &dark)
{
    QRadialGradient fill(44, 42, radius * 1.4);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(line(dark.darker(120), 1.5));
    p.setBrush(fill);
    p.drawEllipse(QPointF(50, 50), radius, radius);
}

void cheeks(QPainter &p, double y, double spread, int alpha)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 120, 140, alpha));
    p.drawEllipse(QPointF(50 - spread, y), 5, 3.4);
    p.drawEllipse(QPointF(50 + spread, y), 5, 3.4);
}

// Eyes closed with laughter and an open mouth, the eyes' tops at eyesY.
void laughing(QPainter &p, const QColor &ink, double eyesY, const QRectF &mouth, const QColor &inside)
{
    p.setPen(line(ink, 3));
    arcStroke(p, {34, eyesY + 9}, {39, eyesY}, {44, eyesY + 9});
    arcStroke(p, {56, eyesY + 9}, {61, eyesY}, {66, eyesY + 9});
    QPainterPath open(mouth.topLeft());
    open.cubicTo(QPointF(mouth.left() + mouth.width() / 12, mouth.bottom()),
                 QPointF(mouth.right() - mouth.width() / 12, mouth.bottom()), mouth.topRight());
    open.closeSubpath();
    p.setPen(line(ink, 1.8));
    p.setBrush(inside);
    p.drawPath(open);
}

void drawSun(QPainter &p, int item)
{
    const QColor ink(90, 50, 20);
    switch (item) {
    case 0: { // beaming sun
        tile(p, QColor(255, 248, 200), QColor(255, 214, 120));
        rays(p, 12, 29, 47, QColor(255, 140, 20));
        sunDisc(p, 29, QColor(255, 240, 110), QColor(255, 170, 30));
        cheeks(p, 56, 18, 170);
        laughing(p, ink, 38, QRectF(38, 56, 24, 16), QColor(215, 38, 61));
        break;
    }
    case 1: { // a rain cloud
        tile(p, QColor(236, 240, 246), QColor(196, 206, 222));
        QPainterPath cloud;
        cloud.setFillRule(Qt::WindingFill);
        cloud.addEllipse(QRectF(14, 36, 32, 30));
        cloud.addEllipse(QRectF(32, 20, 38, 38));
        cloud.addEllipse(QRectF(56, 32, 30, 30));
        cloud.addRoundedRect(QRectF(18, 46, 64, 22), 11, 11);
        cloud = cloud.simplified();
        p.setPen(line(QColor(92, 108, 132), 2));
        p.setBrush(QColor(150, 166, 190));
        p.drawPath(cloud);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 48, 64));
        p.drawEllipse(QPointF(42, 48), 2.6, 2.6);
        p.drawEllipse(QPointF(60, 48), 2.6, 2.6);
        p.setPen(line(QColor(40, 48, 64), 2));
        p.drawLine(QPointF(36, 43), QPointF(44, 40));
        p.drawLine(QPointF(66, 43), QPointF(58, 40));
        arcStroke(p, {44, 61}, {51, 54}, {58, 61});
        drop(p, {30, 72}, 4, QColor(70, 140, 225));
        drop(p, {50, 78}, 4, QColor(70, 140, 225));
        drop(p, {70, 72}, 4, QColor(70, 140, 225));
        break;
    }
    default: { // a quiet sun
        tile(p, QColor(255, 250, 230), QColor(255, 232, 180));
        rays(p, 8, 27, 38, QColor(255, 190, 90));
        sunDisc(p, 26, QColor(255, 236, 150), QColor(255, 200, 80));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(42, 46), 2.6, 2.6);
        p.drawEllipse(QPointF(58, 46), 2.6, 2.6);
        cheeks(p, 54, 15, 90);
        p.setPen(line(ink, 2));
        arcStroke(p, {44, 57}, {50, 62}, {56, 57});
        break;
    }
    }
}

void catHead(QPainter &p, bool earsDown, const QColor &fur)
{
    const QColor edge = fur.darker(140);
    QPolygonF left, right, leftIn, rightIn;
    if (earsDown) {
        left << QPointF(24, 46) << QPointF(10, 30) << QPointF(38, 34);
        leftIn << QPointF(25, 42) << QPointF(16, 33) << QPointF(33, 36);
    } else {
        left << QPointF(22, 46) << QPointF(26, 14) << QPointF(46, 32);
        leftIn << QPointF(26, 40) << QPointF(28, 21) << QPointF(40, 33);
    }
    for (const QPointF &pt : left)
        right << QPointF(100 - pt.x(), pt.y());
    for (const QPointF &pt : leftIn)
        rightIn << QPointF(100 - pt.x(), pt.y());
    p.setPen(line(edge, 2));
    p.setBrush(fur);
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 178, 196));
    p.drawPolygon(leftIn);
    p.drawPolygon(rightIn);
    p.setPen(line(edge, 2));
    p.setBrush(fur);
    p.drawEllipse(QPointF(50, 56), 31, 27);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(246, 248, 255));
    p.drawEllipse(QPointF(50, 66), 14, 10);
    p.setBrush(QColor(240, 110, 140));
    p.drawPolygon(QPolygonF{QPointF(46.5, 60), QPointF(53.5, 60), QPointF(50, 64)});
    p.setPen(line(QColor(60, 72, 100), 1.1));
    for (int k = -1; k <= 1; ++k) {
        p.drawLine(QPointF(34, 64 + 2.5 * k), QPointF(14, 62 + 5.5 * k));
        p.drawLine(QPointF(66, 64 + 2.5 * k), QPointF(86, 62 + 5.5 * k));
    }
}

void drawCat(QPainter &p, int item)
{
    const QColor ink(35, 42, 66);
    switch (item) {
    case 0: { // a delighted cat among stars
        tile(p, QColor(220, 246, 255), QColor(150, 210, 245));
        star(p, {15, 17}, 7, QColor(255, 214, 64));
        star(p, {85, 15}, 6, QColor(255, 214, 64));
        star(p, {88, 84}, 7, QColor(255, 214, 64));
        star(p, {12, 84}, 5, QColor(255, 214, 64));
        catHead(p, false, QColor(140, 168, 220));
        laughing(p, ink, 45, QRectF(44, 65, 12, 12), QColor(230, 70, 100));
        break;
    }
    case 1: { // a cat with its ears down, crying
        tile(p, QColor(232, 236, 250), QColor(186, 196, 230));
        catHead(p, true, QColor(150, 160, 190));
        p.setPen(line(ink, 2.6));
        p.drawLine(QPointF(34, 48), QPointF(43, 53));
        p.drawLine(QPointF(34, 56), QPointF(43, 53));
        p.drawLine(QPointF(66, 48), QPointF(57, 53));
        p.drawLine(QPointF(66, 56), QPointF(57, 53));
        p.setPen(line(ink, 1.8));
        arcStroke(p, {44, 72}, {50, 66}, {56, 72});
        drop(p, {31, 57}, 3.5, QColor(80, 150, 235));
        drop(p, {69, 57}, 3.5, QColor(80, 150, 235));
        break;
    }
    default: { // a calm cat
        tile(p, QColor(236, 246, 255), QColor(196, 222, 248));
        catHead(p, false, QColor(160, 184, 226));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(39, 51), 3.2, 4.6);
        p.drawEllipse(QPointF(61, 51), 3.2, 4.6);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(40.2, 49.4), 1.1, 1.1);
        p.drawEllipse(QPointF(62.2, 49.4), 1.1, 1.1);
        p.setPen(line(ink, 1.6));
        QPainterPath mouth(QPointF(43, 65));
        mouth.quadTo(QPointF(46.5, 69), QPointF(50, 65));
        mouth.quadTo(QPointF(53.5, 69), QPointF(57, 65));
        p.setBrush(Qt::NoBrush);
        p.drawPath(mouth);
        break;
    }
    }
}

} // namespace

void draw(QPainter &p, const QRectF &square, int series, int item)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(square.topLeft());
    p.scale(square.width() / 100, square.height() / 100);
    if (series == 0)
        drawSun(p, item);
    else
        drawCat(p, item);
    p.restore();
}

void drawBurst(QPainter &p, const QRectF &square, int series, double progress)
{
    if (progress <= 0 || progress >= 1)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(square.topLeft());
    p.scale(square.width() / 100, square.height() / 100);
    const double reach = 20 + 32 * std::sqrt(progress);
    const int alpha = int(255 * (1 - progress));
    for (int k = 0; k < 10; ++k) {
        const double a = 2 * Pi * k / 10 + progress;
        const QPointF at(50 + reach * std::cos(a), 50 + reach * std::sin(a));
        if (series == 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(k % 2 ? 255 : 235, k % 2 ? 90 : 60, 60, alpha));
            p.drawEllipse(at, 3.5, 3.5);
        } else {
            star(p, at, 4.5, QColor(255, 214, 64, alpha));
        }
    }
    p.restore();
}

} // namespace FeedbackArt
