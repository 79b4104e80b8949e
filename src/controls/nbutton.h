// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

// The console's push button. Raises Pressed once per completed press, by
// mouse, pen, touch or keyboard (Space), never while disabled.
class NButton : public QPushButton
{
    Q_OBJECT
public:
    explicit NButton(QWidget *parent = nullptr);

signals:
    void Pressed();
};
