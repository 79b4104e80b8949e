// SPDX-License-Identifier: GPL-3.0-or-later
#include "resbank.h"

#include <QPainter>
#include <cmath>
#include <limits>

ResBank::ResBank(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("フィードバック"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int32_t ResBank::SeriesNumber() const
{
    if (std::isnan(m_series))
        return 0;
    const double rounded = std::nearbyint(m_series); // default rounding: halves to even
    if (rounded >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (rounded <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(rounded);
}

void ResBank::setSeriesNumber(double series)
{
    m_series = series;
    update();
}

void ResBank::setItemNumber(int16_t item)
{
    if (m_item == item)
        return;
    m_item = item;
    static const char *const descriptions[] = {"せいかい", "ざんねん", ""};
    setAccessibleDescription(QString::fromUtf8(item >= 0 && item <= 2 ? descriptions[item] : ""));
    update();
}

void ResBank::PlayItem(int32_t series, int32_t item)
{
    // Sounds and animations are not there yet.
    Q_UNUSED(series);
    Q_UNUSED(item);
}

void ResBank::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().color(QPalette::Window));

    const qreal side = qMin(width(), height());
    if (side < 4)
        return;
    const QRectF square((width() - side) / 2, (height() - side) / 2, side, side);
    const bool warm = SeriesNumber() % 2 == 0;
    const QColor tile = warm ? QColor(255, 244, 214) : QColor(222, 238, 255);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(square.adjusted(1, 1, -1, -1), side * 0.12, side * 0.12);

    const QRectF mark = square.adjusted(side * 0.2, side * 0.2, -side * 0.2, -side * 0.2);
    QPen pen(Qt::black, side * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setBrush(Qt::NoBrush);
    switch (m_item) {
    case 0: // a circle, the Japanese mark for "right"
        pen.setColor(QColor(220, 40, 40));
        p.setPen(pen);
        p.drawEllipse(mark);
        break;
    case 1: // a cross
        pen.setColor(QColor(40, 80, 200));
        p.setPen(pen);
        p.drawLine(mark.topLeft(), mark.bottomRight());
        p.drawLine(mark.topRight(), mark.bottomLeft());
        break;
    default: // neutral: a calm dot
        p.setPen(Qt::NoPen);
        p.setBrush(warm ? QColor(235, 200, 120) : QColor(140, 180, 230));
        p.drawEllipse(mark.center(), side * 0.08, side * 0.08);
        break;
    }
}
