// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

// The player windows' push button, used both for the answer buttons and for
// the board, where a disabled button keeps showing its (greyed) character.
// Raises Pressed once per completed press, never while disabled.
class ZuButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ZuButton(QWidget *parent = nullptr);

    // A new visible-to-be button with this one's font, size, place, look and
    // caption, under the same parent, hidden until the caller shows it.
    ZuButton *clone() const;

signals:
    void Pressed();
};
