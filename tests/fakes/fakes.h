// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed chance and time for repeatable games.
#pragma once

#include "engine/gameclock.h"
#include "engine/random.h"

#include <QList>
#include <memory>

// Returns the given values in turn, then starts again.
class ScriptedRandom : public UniformRandom
{
public:
    explicit ScriptedRandom(QList<double> values) : m_values(std::move(values)) {}
    double next() override
    {
        const double r = m_values.at(m_next);
        m_next = (m_next + 1) % m_values.size();
        return r;
    }

private:
    QList<double> m_values;
    qsizetype m_next = 0;
};

// A clock that moves only when told; shared so a test keeps a handle on it
// after giving it to the console.
class ManualClock : public MonotonicClock
{
public:
    struct Time { qint64 ms = 1000000; };
    explicit ManualClock(std::shared_ptr<Time> time) : m_time(std::move(time)) {}
    qint64 nowMs() const override { return m_time->ms; }

private:
    std::shared_ptr<Time> m_time;
};
