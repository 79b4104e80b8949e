// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures larger than a test can afford to make as images, written straight
// as files.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>
#include <QtGlobal>
#include <zlib.h>

// A PNG of width × height, left half red and right half blue, compressed
// row by row so that even the largest costs the test little memory. An
// interlaced one carries no pixels: it is refused before they are read.
inline QByteArray bigPng(int width, int height, bool interlaced = false)
{
    auto chunk = [](const char *type, const QByteArray &data) {
        QByteArray out(4, '\0');
        qToBigEndian<quint32>(quint32(data.size()), out.data());
        const QByteArray body = QByteArray(type, 4) + data;
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))), crc.data());
        return out + body + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8;  // bits per sample
    header[9] = 2;  // RGB
    header[12] = interlaced ? 1 : 0;

    z_stream z{};
    deflateInit(&z, 6);
    QByteArray compressed;
    QByteArray row(1 + 3 * qsizetype(width), '\0');
    for (int x = 0; x < width; ++x)
        row[1 + 3 * x + (x < width / 2 ? 0 : 2)] = char(255);
    const int rows = interlaced ? 1 : height;
    for (int y = 0; y < rows; ++y) {
        if (y == 1) {
            row.fill('\0');
            row[0] = 2; // each row as the one above
        }
        z.next_in = reinterpret_cast<Bytef *>(row.data());
        z.avail_in = uInt(row.size());
        const int flush = y + 1 == rows ? Z_FINISH : Z_NO_FLUSH;
        do {
            char out[65536];
            z.next_out = reinterpret_cast<Bytef *>(out);
            z.avail_out = sizeof out;
            deflate(&z, flush);
            compressed.append(out, qsizetype(sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", compressed) + chunk("IEND", {});
}

// A small progressive JPEG whose header claims width × height: a file of a
// few hundred bytes for which a decoder would hold every coefficient.
inline QByteArray progressiveJpegClaiming(int width, int height)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    const qsizetype frame = bytes.indexOf("\xFF\xC2");
    if (frame < 0)
        qFatal("the JPEG writer wrote no progressive frame");
    qToBigEndian<quint16>(quint16(height), bytes.data() + frame + 5);
    qToBigEndian<quint16>(quint16(width), bytes.data() + frame + 7);
    return bytes;
}
