// SPDX-License-Identifier: GPL-3.0-or-later
#include "zubutton.h"

ZuButton::ZuButton(QWidget *parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &ZuButton::Pressed);
}

ZuButton *ZuButton::clone() const
{
    auto *copy = new ZuButton(parentWidget());
    copy->hide();
    copy->setFont(font());
    copy->setGeometry(geometry());
    copy->setText(text());
    copy->setEnabled(isEnabled());
    copy->setFocusPolicy(focusPolicy());
    copy->setStyleSheet(styleSheet());
    copy->setPalette(palette());
    return copy;
}
