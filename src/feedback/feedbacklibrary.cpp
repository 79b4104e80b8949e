// SPDX-License-Identifier: GPL-3.0-or-later
#include "feedbacklibrary.h"

#include "feedbacklog.h"
#include "feedbackseries.h"
#include "feedbacksound.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

// Every series number a game sees stays loaded; a caller going through
// many numbers makes the cache start again rather than grow.
constexpr int CacheLimit = 16;

} // namespace

FeedbackLibrary::FeedbackLibrary(const QString &folder)
{
    setFolder(folder);
}

FeedbackLibrary::~FeedbackLibrary() = default;

void FeedbackLibrary::setFolder(const QString &folder)
{
    m_folder = !folder.isEmpty() ? folder : QCoreApplication::applicationDirPath() + QStringLiteral("/series");
    m_series.clear();
}

std::shared_ptr<const FeedbackSeries> FeedbackLibrary::find(int32_t number)
{
    if (auto known = m_series.constFind(number); known != m_series.constEnd())
        return known.value();
    if (m_series.size() >= CacheLimit)
        m_series.clear();
    const int builtIn = FeedbackSeries::builtInFor(number);
    auto made = std::make_shared<FeedbackSeries>(
        number, std::array<QByteArray, FeedbackSeries::ItemCount>{
                    builtInSound(builtIn, 0), builtInSound(builtIn, 1), builtInSound(builtIn, 2)});
    const QString path = m_folder + QLatin1Char('/') + QString::number(number);
    if (QFileInfo(path).isDir())
        made->loadFolder(path);
    else if (number != 0 && number != 1)
        qCInfo(lcFeedback, "feedback series %d: no folder %s, built-in series %d instead", int(number),
               qPrintable(QDir::toNativeSeparators(path)), made->builtIn());
    m_series.insert(number, made);
    return made;
}

const QByteArray &FeedbackLibrary::builtInSound(int series, int item)
{
    series = std::clamp(series, 0, 1);
    item = std::clamp(item, 0, 2);
    QByteArray &sound = m_builtInSounds[series][item];
    if (sound.isEmpty())
        sound = FeedbackSound::synthesise(series, item);
    return sound;
}
