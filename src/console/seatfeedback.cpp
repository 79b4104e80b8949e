// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatfeedback.h"

#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackseries.h"
#include "feedback/feedbacksound.h"
#include "seats/seatfiles.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QtEndian>

namespace {

// Sharp on a tablet's screen at the size the page shows it.
constexpr int PictureSide = 512;

QByteArray png(const FeedbackSeries &series, int item)
{
    QImage image(PictureSide, PictureSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        series.paint(p, QRectF(0, 0, PictureSide, PictureSide), item);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// 16-bit mono PCM, as the feedback sounds are held.
QByteArray wav(const QByteArray &pcm)
{
    QByteArray out;
    out.reserve(44 + pcm.size());
    out.append("RIFF");
    put32(out, quint32(36 + pcm.size()));
    out.append("WAVEfmt ");
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, FeedbackSound::SampleRate);
    put32(out, FeedbackSound::SampleRate * 2);
    put16(out, 2);
    put16(out, 16);
    out.append("data");
    put32(out, quint32(pcm.size()));
    out.append(pcm);
    return out;
}

} // namespace

int addSeatFeedback(SeatFiles &files, int player, FeedbackLibrary &library, int32_t series)
{
    const std::shared_ptr<const FeedbackSeries> s = library.find(series);
    for (int item = 0; item < FeedbackSeries::ItemCount; ++item) {
        const QString base = QStringLiteral("/fb/%1/%2").arg(player).arg(item);
        files.add(base + QStringLiteral(".png"), "image/png", png(*s, item));
        files.add(base + QStringLiteral(".wav"), "audio/wav", wav(s->sound(item)));
    }
    return s->builtIn();
}
