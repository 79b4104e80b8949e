// SPDX-License-Identifier: GPL-3.0-or-later
#include "recognitionqueue.h"

#include <QPromise>
#include <QRunnable>
#include <memory>

RecognitionQueue::RecognitionQueue(const Recognizer &recognizer)
    : m_recognizer(recognizer)
{
    m_thread.setMaxThreadCount(1);
    // An idle thread is kept for a while rather than made for every ink.
    m_thread.setExpiryTimeout(60000);
}

RecognitionQueue::~RecognitionQueue()
{
    m_thread.clear();
    m_thread.waitForDone();
}

void RecognitionQueue::warmUp()
{
    const Recognizer *recognizer = &m_recognizer;
    m_thread.start([recognizer] { recognizer->isAvailable(); });
}

QFuture<QList<Candidate>> RecognitionQueue::submit(const Ink &ink, int count, const ReadingContext &context)
{
    auto promise = std::make_shared<QPromise<QList<Candidate>>>();
    QFuture<QList<Candidate>> future = promise->future();
    promise->start();
    const Recognizer *recognizer = &m_recognizer;
    QRunnable *job = QRunnable::create([promise, recognizer, ink, count, context] {
        if (!promise->isCanceled()) {
            promise->addResult(context.isEmpty() ? recognizer->classify(ink, count)
                                                 : recognizer->classifyInGame(ink, count, context));
        }
        promise->finish();
    });
    m_thread.start(job);
    return future;
}
