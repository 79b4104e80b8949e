// SPDX-License-Identifier: GPL-3.0-or-later
// The recognisers a class host reads ink with.
#pragma once

#include <QList>

class RecognitionQueue;

// Several recognisers, each with a thread of its own, so that a whole
// school's ink is read on every core; the seats of each new game go to the
// next one in turn.
class RecognitionQueues
{
public:
    RecognitionQueues() = default;
    explicit RecognitionQueues(const QList<RecognitionQueue *> &queues) : m_queues(queues) {}

    // The next one in turn; null when there is none (nothing is read).
    RecognitionQueue *next()
    {
        if (m_queues.isEmpty())
            return nullptr;
        return m_queues.at(m_next++ % m_queues.size());
    }
    int size() const { return int(m_queues.size()); }

private:
    QList<RecognitionQueue *> m_queues;
    qsizetype m_next = 0;
};
