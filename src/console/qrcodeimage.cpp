// SPDX-License-Identifier: GPL-3.0-or-later
#include "qrcodeimage.h"

#include <QPainter>
#include <memory>
#include <qrencode.h>

QImage qrCodeImage(const QString &text, int module)
{
    const QByteArray utf8 = text.toUtf8();
    // A QR code holds under 3 kB at this correction level.
    if (utf8.isEmpty() || utf8.size() > 2000 || module < 1 || module > 64)
        return {};
    std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code || code->width <= 0)
        return {};
    const int quiet = 4;
    const int side = (code->width + 2 * quiet) * module;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The lowest bit of each module says dark or light.
            if (code->data[y * code->width + x] & 1)
                p.fillRect((x + quiet) * module, (y + quiet) * module, module, module, Qt::black);
        }
    }
    return image;
}
