// SPDX-License-Identifier: GPL-3.0-or-later
#include "joinguard.h"

#include <QElapsedTimer>
#include <memory>

namespace {

JoinGuard::Clock monotonic()
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

// Far more than any limit needs to see; bounds memory whatever comes.
constexpr size_t MaxTimesKept = 4096;

} // namespace

JoinGuard::JoinGuard()
    : JoinGuard(Limits())
{
}

JoinGuard::JoinGuard(const Limits &limits, Clock clock)
    : m_limits(limits)
    , m_clock(clock ? std::move(clock) : monotonic())
    , m_table(limits.tableSize, limits.windowMs)
{
    m_limits.wrongCodesOverall = qMax(1, m_limits.wrongCodesOverall);
}

void JoinGuard::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : monotonic();
}

void JoinGuard::forgetOld() const
{
    const qint64 t = now();
    while (!m_wrongTimes.empty() && t - m_wrongTimes.front() > m_limits.windowMs)
        m_wrongTimes.pop_front();
}

bool JoinGuard::mayTry(const QHostAddress &peer, Offer offer) const
{
    const FaultTable::Count own = m_table.own(peer, now());
    if (own.wrongCodes >= m_limits.wrongCodes || own.faults >= m_limits.faults)
        return false;
    if (offer != Offer::TypedCode)
        return true;
    if (m_table.network(peer, now()).wrongCodes >= m_limits.wrongCodes)
        return false;
    return !typedCodesWait();
}

void JoinGuard::wrongCode(const QHostAddress &peer)
{
    m_table.add(peer, {1, 1}, now());
    forgetOld();
    m_wrongTimes.push_back(now());
    if (m_wrongTimes.size() > MaxTimesKept)
        m_wrongTimes.pop_front();
    ++m_wrongTotal;
}

bool JoinGuard::refuses(const QHostAddress &peer) const
{
    return m_table.own(peer, now()).faults >= m_limits.faults;
}

int JoinGuard::faultsOf(const QHostAddress &peer) const
{
    return qMax(m_table.own(peer, now()).faults, m_table.network(peer, now()).faults);
}

void JoinGuard::fault(const QHostAddress &peer, int weight)
{
    if (weight > 0)
        m_table.add(peer, {weight, 0}, now());
}

int JoinGuard::wrongCodesInWindow() const
{
    forgetOld();
    return int(m_wrongTimes.size());
}

bool JoinGuard::typedCodesWait() const
{
    return wrongCodesInWindow() >= m_limits.wrongCodesOverall;
}

qint64 JoinGuard::typedCodesWaitMs() const
{
    if (!typedCodesWait())
        return 0;
    // Until the wrong code that filled the limit leaves the window.
    const qint64 filled = m_wrongTimes[m_wrongTimes.size() - size_t(m_limits.wrongCodesOverall)];
    return qMax<qint64>(0, filled + m_limits.windowMs - now() + 1);
}
