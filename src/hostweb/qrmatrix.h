// SPDX-License-Identifier: GPL-3.0-or-later
// A QR code as modules, for a page and for a terminal.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The modules of a QR code (error correction M), dark or light, without
// the quiet zone around them.
class QrMatrix
{
public:
    // Empty when text is empty or too long for a QR code.
    explicit QrMatrix(const QString &text);

    bool isEmpty() const { return m_side == 0; }
    int side() const { return m_side; }
    bool dark(int x, int y) const { return m_dark.at(y * m_side + x); }

    // An SVG picture with a quiet zone of four modules.
    QByteArray svg() const;
    // Lines for a terminal, two modules a character (▀ ▄ █ and space),
    // black on white by ANSI colours whatever the terminal's own, with the
    // quiet zone.
    QString terminalText() const;

private:
    int m_side = 0;
    QList<bool> m_dark;
};
