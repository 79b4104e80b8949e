// SPDX-License-Identifier: GPL-3.0-or-later
// Finding, loading and caching feedback series, with fallbacks to the built-in ones.
#include "feedbackseries.h"

#include "feedbackart.h"
#include "feedbacklog.h"
#include "feedbacksound.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <array>
#include <cstring>

namespace {

const QStringList &pictureSuffixes()
{
    static const QStringList suffixes = {QStringLiteral("png"), QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("bmp"),
                                         QStringLiteral("gif")};
    return suffixes;
}

constexpr std::array<quint32, 256> crcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

quint32 crc32(const char *data, qint64 size)
{
    static constexpr std::array<quint32, 256> table = crcTable();
    quint32 crc = 0xFFFFFFFFu;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ uchar(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// libpng reports damage straight to the error output, past any log filter,
// so a PNG reaches it only when its blocks are whole: lengths inside the
// file, checksums right, from the header block to the end block. Other
// formats report through Qt's log.
bool pngIsWhole(const QByteArray &bytes)
{
    if (!bytes.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n")))
        return true;
    const char *data = bytes.constData();
    for (qint64 at = 8; at + 12 <= bytes.size();) {
        const qint64 length = qFromBigEndian<quint32>(data + at);
        const char *type = data + at + 4;
        if (length > bytes.size() - at - 12 || (at == 8 && memcmp(type, "IHDR", 4) != 0))
            return false;
        if (crc32(type, length + 4) != qFromBigEndian<quint32>(type + 4 + length))
            return false;
        if (memcmp(type, "IEND", 4) == 0)
            return true;
        at += 12 + length;
    }
    return false;
}

// The whole file into *bytes, unless it is too large or unreadable.
bool readFile(const QString &path, QByteArray *bytes, QString *why)
{
    QFile file(path);
    if (file.size() > FeedbackSound::MaxFileBytes) {
        *why = QStringLiteral("file too large");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    return true;
}

// The picture in path, or a null image with *why set.
QImage readPicture(const QString &path, QString *why)
{
    QByteArray bytes;
    if (!readFile(path, &bytes, why))
        return {};
    if (!pngIsWhole(bytes)) {
        *why = QStringLiteral("damaged PNG");
        return {};
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.width() > FeedbackSeries::MaxPictureSide || size.height() > FeedbackSeries::MaxPictureSide) {
        *why = QStringLiteral("picture too large");
        return {};
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        *why = reader.errorString();
        return {};
    }
    if (qMax(image.width(), image.height()) > FeedbackSeries::KeptPictureSide)
        image = image.scaled(FeedbackSeries::KeptPictureSide, FeedbackSeries::KeptPictureSide,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QByteArray readSound(const QString &path, QString *why)
{
    QByteArray bytes;
    return readFile(path, &bytes, why) ? FeedbackSound::decodeWav(bytes, why) : QByteArray();
}

} // namespace

FeedbackSeries::FeedbackSeries(int32_t number, const std::array<QByteArray, ItemCount> &builtInSounds)
    : m_number(number)
    , m_builtIn(builtInFor(number))
{
    for (int item = 0; item < ItemCount; ++item)
        m_sounds[item] = builtInSounds[size_t(item)];
}

void FeedbackSeries::loadFolder(const QString &path)
{
    m_isUser = true;
    QStringList problems;
    {
        QuietLog quiet; // image plug-ins may complain; the one line below says it all
        loadItems(path, &problems);
    }
    if (!problems.isEmpty())
        qCInfo(lcFeedback, "feedback series %d: built-in series %d stands in for: %s", int(m_number),
               m_builtIn, qPrintable(problems.join(QStringLiteral(", "))));
}

void FeedbackSeries::loadItems(const QString &path, QStringList *problems)
{
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (int item = 0; item < ItemCount; ++item) {
        QString picture, sound;
        for (const QFileInfo &file : files) {
            if (file.completeBaseName() != QString::number(item))
                continue;
            const QString suffix = file.suffix().toLower();
            if (picture.isEmpty() && pictureSuffixes().contains(suffix))
                picture = file.filePath();
            else if (sound.isEmpty() && suffix == QLatin1String("wav"))
                sound = file.filePath();
        }
        QString why;
        if (picture.isEmpty())
            *problems << QStringLiteral("picture %1 missing").arg(item);
        else if (m_pictures[item] = readPicture(picture, &why); m_pictures[item].isNull())
            *problems << QStringLiteral("picture %1 unusable (%2)").arg(item).arg(why);
        if (sound.isEmpty()) {
            *problems << QStringLiteral("sound %1 missing").arg(item);
        } else if (QByteArray samples = readSound(sound, &why); samples.isEmpty()) {
            *problems << QStringLiteral("sound %1 unusable (%2)").arg(item).arg(why);
        } else {
            m_sounds[item] = samples;
            m_ownSounds[item] = true;
        }
    }
}

void FeedbackSeries::paint(QPainter &p, const QRectF &square, int32_t item) const
{
    const int i = index(item);
    const QImage &picture = m_pictures[i];
    if (picture.isNull()) {
        FeedbackArt::draw(p, square, m_builtIn, i);
        return;
    }
    // Scaled once per size with area averaging, which stays crisp where a
    // painter's own scaling would alias.
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    QSize fitted = picture.size().scaled((square.size() * dpr).toSize(), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));
    QImage &scaled = m_scaled[i];
    if (scaled.size() != fitted)
        scaled = picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QRectF target(QPointF(), QSizeF(fitted) / dpr);
    target.moveCenter(square.center());
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, scaled);
    p.restore();
}
