// SPDX-License-Identifier: GPL-3.0-or-later
#include "nbutton.h"

NButton::NButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &NButton::Pressed);
}
