// SPDX-License-Identifier: GPL-3.0-or-later
#include "wordlistfile.h"

#include "common/regularfile.h"
#include "common/textfile.h"

#include <QPromise>
#include <QRunnable>
#include <memory>

namespace {

// Decoded a megabyte at a time: a few megabytes of text at most, and a
// cancelled read stops within milliseconds.
constexpr qsizetype PieceBytes = 1 << 20;

// Takes the bytes, so that they are let go before the words are sorted.
WordListFile readBytes(QByteArray bytes, const std::function<bool()> &stop)
{
    WordListFile result;
    const auto stopped = [&] { return stop && stop(); };
    WordList::Builder builder;
    {
        PieceDecoder decoder(bytes);
        result.encoding = decoder.encoding();
        while (!decoder.atEnd()) {
            if (stopped()) {
                result.cancelled = true;
                return result;
            }
            builder.add(decoder.next(PieceBytes));
        }
    }
    // The file is not needed for sorting the words.
    bytes = QByteArray();
    if (stopped()) {
        result.cancelled = true;
        return result;
    }
    result.words = builder.finish();
    result.characters = result.words.distinctCharacters();
    result.ok = true;
    return result;
}

} // namespace

WordListFile readWordListFile(const QString &path, const std::function<bool()> &stop)
{
    FileContents file = readRegularFile(path, MaxTextFileBytes);
    if (!file.ok) {
        WordListFile result;
        result.error = file.error;
        return result;
    }
    return readBytes(std::move(file.bytes), stop);
}

WordListFile readWordListBytes(const QByteArray &bytes, const std::function<bool()> &stop)
{
    return readBytes(bytes, stop);
}

WordListLoader::WordListLoader()
{
    m_thread.setMaxThreadCount(1);
}

WordListLoader::~WordListLoader()
{
    m_last.cancel();
    m_thread.clear();
    m_thread.waitForDone();
}

QFuture<WordListFile> WordListLoader::load(const QString &path)
{
    // Only the newest read is wanted.
    m_last.cancel();
    auto promise = std::make_shared<QPromise<WordListFile>>();
    QFuture<WordListFile> future = promise->future();
    promise->start();
    QRunnable *job = QRunnable::create([promise, path] {
        if (!promise->isCanceled())
            promise->addResult(readWordListFile(path, [&promise] { return promise->isCanceled(); }));
        promise->finish();
    });
    m_last = future;
    m_thread.start(job);
    return future;
}
