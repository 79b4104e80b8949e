// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A label whose accessible name says what it is ("じぶんのてんすう") and
// whose text is its value ("1"): a screen reader reads both. Without this
// a label with a name of its own hides its text from screen readers.
class ValueLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    // Also tells screen readers that the value changed.
    void setText(const QString &text);
};
