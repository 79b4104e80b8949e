// SPDX-License-Identifier: GPL-3.0-or-later
// Feedback files made in tests: WAV sounds, PNG pictures, a damaged BMP.
#pragma once

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QtEndian>

// A WAV file of the given format whose every sample is value (-1..1).
inline QByteArray wav(int tag, int channels, int rate, int bits, int frames, double value)
{
    QByteArray samples;
    for (int i = 0; i < frames * channels; ++i) {
        char b[8];
        if (tag == 3) {
            qToLittleEndian(float(value), b);
        } else if (bits == 8) {
            b[0] = char(quint8(128 + value * 127));
        } else {
            const qint64 full = qint64(value * double((qint64(1) << (bits - 1)) - 1));
            for (int k = 0; k < bits / 8; ++k)
                b[k] = char((full >> (8 * k)) & 0xff);
        }
        samples.append(b, bits / 8);
    }
    QByteArray f(16, '\0');
    qToLittleEndian<quint16>(quint16(tag), f.data());
    qToLittleEndian<quint16>(quint16(channels), f.data() + 2);
    qToLittleEndian<quint32>(quint32(rate), f.data() + 4);
    qToLittleEndian<quint32>(quint32(rate * channels * bits / 8), f.data() + 8);
    qToLittleEndian<quint16>(quint16(channels * bits / 8), f.data() + 12);
    qToLittleEndian<quint16>(quint16(bits), f.data() + 14);
    auto u32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    const QByteArray body = "WAVEfmt " + u32(16) + f + "data" + u32(quint32(samples.size())) + samples;
    return "RIFF" + u32(quint32(body.size())) + body;
}

inline QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A BMP header that claims a picture far larger than any screen.
inline QByteArray hugeBmp()
{
    QByteArray b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    qToLittleEndian<quint32>(54, b.data() + 10);
    qToLittleEndian<quint32>(40, b.data() + 14);
    qToLittleEndian<qint32>(100000, b.data() + 18);
    qToLittleEndian<qint32>(100000, b.data() + 22);
    qToLittleEndian<quint16>(1, b.data() + 26);
    qToLittleEndian<quint16>(24, b.data() + 28);
    return b;
}

inline QImage solid(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

