// SPDX-License-Identifier: GPL-3.0-or-later
// Recognition off the windows' thread.
#pragma once

#include "engine/recognizer.h"

#include <QFuture>
#include <QThreadPool>

// Runs a recogniser on a thread of its own, one ink after another, so that
// no ink can freeze a window or the seats' server. Every caller of the
// program shares one queue: the recogniser then never runs twice at once.
//
// submit() returns at once; the future's result is the candidates, best
// first. A handwriting box waits for its future only when the player asks
// for the result; a remote seat attaches a continuation.
class RecognitionQueue
{
public:
    // recognizer must outlive the queue.
    explicit RecognitionQueue(const Recognizer &recognizer);
    // Waits for the ink being read; ink still waiting is dropped.
    ~RecognitionQueue();
    RecognitionQueue(const RecognitionQueue &) = delete;
    RecognitionQueue &operator=(const RecognitionQueue &) = delete;

    // With a context that is not empty the recogniser reads the ink in the
    // game (Recognizer::classifyInGame).
    QFuture<QList<Candidate>> submit(const Ink &ink, int count, const ReadingContext &context = {});
    // Lets the recogniser load what it needs on the queue's thread now,
    // before the first ink, without holding up the windows.
    void warmUp();
    bool isAvailable() const { return m_recognizer.isAvailable(); }
    ContextMargins contextMargins() const { return m_recognizer.contextMargins(); }
    const Recognizer &recognizer() const { return m_recognizer; }

private:
    const Recognizer &m_recognizer;
    QThreadPool m_thread;
};
