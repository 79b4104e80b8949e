// SPDX-License-Identifier: GPL-3.0-or-later
#include "qrmatrix.h"

#include <memory>
#include <qrencode.h>

namespace {

constexpr int Quiet = 4;

} // namespace

QrMatrix::QrMatrix(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty() || utf8.size() > 2000)
        return;
    std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code || code->width <= 0)
        return;
    m_side = code->width;
    m_dark.resize(qsizetype(m_side) * m_side);
    for (int i = 0; i < m_side * m_side; ++i)
        m_dark[i] = code->data[i] & 1; // the lowest bit: dark or light
}

QByteArray QrMatrix::svg() const
{
    const int all = m_side + 2 * Quiet;
    QByteArray out = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + QByteArray::number(all) + ' '
                     + QByteArray::number(all) + "\" shape-rendering=\"crispEdges\">"
                     "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/><path fill=\"#000\" d=\"";
    for (int y = 0; y < m_side; ++y) {
        for (int x = 0; x < m_side; ++x) {
            if (!dark(x, y))
                continue;
            // Runs of dark modules in a row make one rectangle.
            int run = 1;
            while (x + run < m_side && dark(x + run, y))
                ++run;
            out += 'M' + QByteArray::number(x + Quiet) + ' ' + QByteArray::number(y + Quiet) + 'h'
                   + QByteArray::number(run) + "v1h-" + QByteArray::number(run) + 'z';
            x += run - 1;
        }
    }
    out += "\"/></svg>";
    return out;
}

QString QrMatrix::terminalText() const
{
    const int all = m_side + 2 * Quiet;
    auto on = [this](int x, int y) {
        x -= Quiet;
        y -= Quiet;
        return x >= 0 && y >= 0 && x < m_side && y < m_side && dark(x, y);
    };
    QString out;
    for (int y = 0; y < all; y += 2) {
        out += QStringLiteral("\x1b[30;107m");
        for (int x = 0; x < all; ++x) {
            const bool top = on(x, y), bottom = y + 1 < all && on(x, y + 1);
            out += top && bottom ? QChar(u'█') : top ? QChar(u'▀') : bottom ? QChar(u'▄') : QChar(u' ');
        }
        out += QStringLiteral("\x1b[0m\n");
    }
    return out;
}
