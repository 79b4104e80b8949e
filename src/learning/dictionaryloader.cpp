// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionaryloader.h"

#include <QPromise>
#include <QRunnable>
#include <memory>

DictionaryLoader::DictionaryLoader()
{
    m_thread.setMaxThreadCount(1);
    // One read at start-up: the thread need not wait for more.
    m_thread.setExpiryTimeout(0);
}

DictionaryLoader::~DictionaryLoader()
{
    m_thread.waitForDone();
}

QFuture<LoadedDictionary> DictionaryLoader::load(const QStringList &paths)
{
    auto promise = std::make_shared<QPromise<LoadedDictionary>>();
    QFuture<LoadedDictionary> future = promise->future();
    promise->start();
    m_thread.start(QRunnable::create([promise, paths] {
        LoadedDictionary loaded;
        loaded.dictionary = WordDictionary::readFirst(paths, &loaded.path, &loaded.error);
        promise->addResult(std::move(loaded));
        promise->finish();
    }));
    return future;
}
