// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <cstdint>

// The square feedback display of a player window. It shows one item of one
// series: 0 = correct answer or game won, 1 = wrong answer or game lost,
// 2 = neutral (also a draw). Writing ItemNumber alone changes what is shown.
//
// Not yet complete: items are drawn as simple symbols tinted per series, and
// PlayItem performs nothing; pictures, sounds and user series are to come.
class ResBank : public QWidget
{
    Q_OBJECT
public:
    explicit ResBank(QWidget *parent = nullptr);

    // Written as a double, read back as a 32-bit integer: rounded to the
    // nearest (halves to even), saturated to the 32-bit range, NaN as 0.
    int32_t SeriesNumber() const;
    void setSeriesNumber(double series);

    // Written as a 16-bit integer, read back as a 32-bit integer.
    int32_t ItemNumber() const { return m_item; }
    void setItemNumber(int16_t item);

    // Performs that item of that series; returns at once.
    void PlayItem(int32_t series, int32_t item);

    QSize sizeHint() const override { return {177, 177}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_series = 0;
    int32_t m_item = 2;
};
