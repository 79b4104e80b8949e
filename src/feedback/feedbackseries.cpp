// SPDX-License-Identifier: GPL-3.0-or-later
// Finding, loading and caching feedback series, with fallbacks to the built-in ones.
#include "feedbackseries.h"

#include "feedbackart.h"
#include "feedbacklog.h"
#include "feedbacksound.h"

#include "common/regularfile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <array>
#include <cstring>
#include <limits>

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

// JPEG start-of-frame markers; the progressive ones are 0xC2, 0xC6, 0xCA, 0xCE.
bool isStartOfFrame(uchar marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// What the JPEG decoder holds for the whole picture before it can give a
// line: a progressive or multi-scan JPEG keeps every coefficient of every
// component (2 bytes each), at the full size even when decoded smaller.
// 0 for a single-scan JPEG, decoded line by line, and for anything else.
qint64 jpegBufferBytes(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 0;
    bool progressive = false;
    int scans = 0;
    qint64 whole = 0;
    for (qint64 at = 2; at + 4 <= size;) {
        if (data[at] != 0xFF) {
            ++at; // entropy-coded data of a scan
            continue;
        }
        const uchar marker = data[at + 1];
        if (marker == 0xFF || marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            ++at; // fill byte, stuffed zero or a marker without a length
            continue;
        }
        if (marker == 0xD9)
            break;
        const qint64 length = qFromBigEndian<quint16>(data + at + 2);
        const uchar *segment = data + at + 4;
        if (length < 2 || at + 2 + length > size)
            break;
        if (isStartOfFrame(marker) && length >= 8) {
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            const qint64 height = qFromBigEndian<quint16>(segment + 1);
            const qint64 width = qFromBigEndian<quint16>(segment + 3);
            const int count = qMin<int>(segment[5], int(length - 8) / 3);
            int hMax = 1, vMax = 1;
            for (int c = 0; c < count; ++c) {
                hMax = qMax(hMax, segment[7 + 3 * c] >> 4);
                vMax = qMax(vMax, segment[7 + 3 * c] & 15);
            }
            whole = 0;
            for (int c = 0; c < count; ++c) {
                const int h = qMax(1, segment[7 + 3 * c] >> 4), v = qMax(1, segment[7 + 3 * c] & 15);
                const qint64 columns = ((width * h + hMax - 1) / hMax + 7) / 8;
                const qint64 rows = ((height * v + vMax - 1) / vMax + 7) / 8;
                whole += columns * rows * 64 * 2;
            }
        } else if (marker == 0xDA) {
            ++scans;
        }
        at += 2 + length;
    }
    return progressive || scans > 1 ? whole : 0;
}

// What the image decoders may allocate for one picture; beyond it they refuse.
qint64 decodeBudget()
{
    const int megabytes = QImageReader::allocationLimit();
    return megabytes > 0 ? qint64(megabytes) << 20 : std::numeric_limits<qint64>::max();
}

// The whole file into *bytes, unless it is too large or not a file.
bool readFile(const QString &path, QByteArray *bytes, QString *why)
{
    FileContents file = readRegularFile(path, FeedbackSound::MaxFileBytes);
    if (!file.ok) {
        *why = file.error;
        return false;
    }
    *bytes = std::move(file.bytes);
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
    const QByteArray format = reader.format();
    if (format != "png" && format != "jpeg" && format != "bmp" && format != "gif") {
        *why = QStringLiteral("not a PNG, JPEG, BMP or GIF picture");
        return {};
    }
    const QSize size = reader.size();
    const QString pixels = QStringLiteral("%1×%2").arg(size.width()).arg(size.height());
    if (size.width() > FeedbackSeries::MaxPictureSide || size.height() > FeedbackSeries::MaxPictureSide) {
        *why = QStringLiteral("picture too large (%1; at most %2 a side)").arg(pixels).arg(FeedbackSeries::MaxPictureSide);
        return {};
    }
    if (format == "jpeg" && jpegBufferBytes(bytes) > decodeBudget()) {
        *why = QStringLiteral("progressive JPEG too large to decode (%1)").arg(pixels);
        return {};
    }
    // Decoded straight to the size kept where the format can (PNG, JPEG
    // line by line): whole, a large picture would not fit the budget.
    const int kept = FeedbackSeries::KeptPictureSide;
    if (size.isValid() && qMax(size.width(), size.height()) > kept
        && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(size.scaled(kept, kept, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull() || image.width() < 1 || image.height() < 1) {
        const int depth = reader.imageFormat() == QImage::Format_Invalid
            ? 32 : QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
        if (size.isValid() && qint64(size.width()) * size.height() * depth / 8 > decodeBudget())
            *why = QStringLiteral("too large to decode whole (%1)").arg(pixels);
        else
            *why = reader.errorString();
        return {};
    }
    if (qMax(image.width(), image.height()) > kept)
        image = image.scaled(kept, kept, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
    // Names only: whether an entry is a file the reader finds out, without
    // waiting on whatever the entry leads to.
    const QDir folder(path);
    const QStringList names = folder.entryList({QStringLiteral("0.*"), QStringLiteral("1.*"), QStringLiteral("2.*")},
                                               QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                                               QDir::Name);
    for (int item = 0; item < ItemCount; ++item) {
        QString picture, sound;
        for (const QString &name : names) {
            const qsizetype dot = name.indexOf(QLatin1Char('.'));
            if (QStringView(name).left(dot) != QString::number(item) || name.indexOf(QLatin1Char('.'), dot + 1) >= 0)
                continue;
            const QString suffix = name.mid(dot + 1).toLower();
            if (picture.isEmpty() && pictureSuffixes().contains(suffix))
                picture = folder.filePath(name);
            else if (sound.isEmpty() && suffix == QLatin1String("wav"))
                sound = folder.filePath(name);
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
