// SPDX-License-Identifier: GPL-3.0-or-later
// Recognition off the windows' thread.
#pragma once

#include "engine/recognizer.h"

#include <QFuture>
#include <QThreadPool>
#include <atomic>
#include <memory>

// Runs a recogniser on a thread of its own, one ink after another, so that
// no ink can freeze a window or the seats' server. Every caller of the
// program shares one queue: the recogniser then never runs twice at once.
//
// submit() returns at once; the future's result is the candidates, best
// first, and its progress turns 1 when the reading begins. A handwriting
// box waits for its future only when the player asks for the result; a
// remote seat attaches a continuation.
class RecognitionQueue
{
public:
    // recognizer must outlive the queue.
    explicit RecognitionQueue(const Recognizer &recognizer);
    // Waits for the ink being read; ink still waiting is dropped.
    ~RecognitionQueue();
    RecognitionQueue(const RecognitionQueue &) = delete;
    RecognitionQueue &operator=(const RecognitionQueue &) = delete;

    // Ahead: read before anyone asked, in case it is asked for; a reading
    // somebody waits for goes first.
    enum class Urgency { Ahead, Waited };

    // With a context that is not empty the recogniser reads the ink in the
    // game (Recognizer::classifyInGame).
    QFuture<QList<Candidate>> submit(const Ink &ink, int count, const ReadingContext &context = {},
                                     Urgency urgency = Urgency::Waited);
    // Inks submitted and not yet being read.
    int waiting() const { return m_waiting->load(); }
    // Whether the reading of a future of submit() has begun.
    static bool hasBegun(const QFuture<QList<Candidate>> &reading) { return reading.progressValue() > 0; }
    // Lets the recogniser load what it needs on the queue's thread now,
    // before the first ink, without holding up the windows.
    void warmUp();
    bool isAvailable() const { return m_recognizer.isAvailable(); }
    ContextMargins contextMargins() const { return m_recognizer.contextMargins(); }
    const Recognizer &recognizer() const { return m_recognizer; }

private:
    const Recognizer &m_recognizer;
    QThreadPool m_thread;
    // Shared with the jobs, which may outlive a cancelled wait.
    std::shared_ptr<std::atomic<int>> m_waiting = std::make_shared<std::atomic<int>>(0);
};
