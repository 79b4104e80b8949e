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

QFuture<QList<Candidate>> RecognitionQueue::submit(const Ink &ink, int count, const ReadingContext &context,
                                                   Urgency urgency)
{
    auto promise = std::make_shared<QPromise<QList<Candidate>>>();
    QFuture<QList<Candidate>> future = promise->future();
    promise->start();
    promise->setProgressRange(0, 1);
    const Recognizer *recognizer = &m_recognizer;
    std::shared_ptr<std::atomic<int>> waiting = m_waiting;
    ++*waiting;
    QRunnable *job = QRunnable::create([promise, recognizer, ink, count, context, waiting] {
        --*waiting;
        promise->setProgressValue(1);
        if (!promise->isCanceled()) {
            promise->addResult(context.isEmpty() ? recognizer->classify(ink, count)
                                                 : recognizer->classifyInGame(ink, count, context));
        }
        promise->finish();
    });
    m_thread.start(job, urgency == Urgency::Waited ? 1 : 0);
    return future;
}
