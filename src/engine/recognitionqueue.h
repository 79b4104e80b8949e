// SPDX-License-Identifier: GPL-3.0-or-later
// Recognition off the windows' thread.
#pragma once

#include "engine/recognizer.h"

#include <QFuture>
#include <memory>

// Runs a recogniser on a thread of its own, one ink after another, so that
// no ink can freeze a window or the seats' server. Every caller of the
// program shares one queue: the recogniser then never runs twice at once.
//
// A lane of a queue shares its thread and recogniser but keeps its inks
// apart: the thread takes the lanes' inks in turn, so that a caller that
// submits much (a hostile seat writing at the limits) delays another by
// one ink at most, not by all of its own.
//
// submit() returns at once; the future's result is the candidates, best
// first, and its progress turns 1 when the reading begins. A handwriting
// box waits for its future only when the player asks for the result; a
// remote seat attaches a continuation. An ink whose future is cancelled
// before its turn is not read. An ink somebody waits for goes before inks
// read ahead, in every lane.
class RecognitionQueue
{
public:
    // recognizer must outlive the queue.
    explicit RecognitionQueue(const Recognizer &recognizer);
    // A lane of shared, which must outlive it.
    explicit RecognitionQueue(RecognitionQueue &shared);
    // Waits for the ink being read; ink still waiting (in this lane, or in
    // every lane for the queue itself) is dropped.
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
    // Inks submitted to the recogniser (in every lane) and not yet being read.
    int waiting() const;
    // Whether the reading of a future of submit() has begun.
    static bool hasBegun(const QFuture<QList<Candidate>> &reading) { return reading.progressValue() > 0; }
    // Lets the recogniser load what it needs on the queue's thread now,
    // before the first ink, without holding up the windows.
    void warmUp();
    bool isAvailable() const;
    ContextMargins contextMargins() const;
    const Recognizer &recognizer() const;

private:
    class Core;
    std::shared_ptr<Core> m_core;
    int m_lane = 0;
    bool m_owner = false;
};
