// SPDX-License-Identifier: GPL-3.0-or-later
#include "guesslimiter.h"

QString GuessLimiter::addressKey(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

QString GuessLimiter::networkKey(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok)
        return QHostAddress(v4 & 0xFFFFFF00u).toString() + QStringLiteral("/24");
    Q_IPV6ADDR a = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        a[i] = 0;
    return QHostAddress(a).toString() + QStringLiteral("/64");
}

GuessLimiter::Count *GuessLimiter::find(QHash<QString, Count> &table, const QString &key, qint64 nowMs)
{
    const auto it = table.find(key);
    if (it == table.end())
        return nullptr;
    if (nowMs - it->since > m_limits.windowMs) {
        table.erase(it);
        return nullptr;
    }
    return &*it;
}

GuessLimiter::Count &GuessLimiter::add(QHash<QString, Count> &table, const QString &key, qint64 nowMs)
{
    if (Count *c = find(table, key, nowMs))
        return *c;
    if (table.size() >= m_limits.tableSize) {
        // Old minutes first; then the oldest entries, and from now on the
        // networks count too.
        for (auto it = table.begin(); it != table.end();)
            it = nowMs - it->since > m_limits.windowMs ? table.erase(it) : std::next(it);
        while (table.size() >= m_limits.tableSize) {
            auto oldest = table.begin();
            for (auto it = table.begin(); it != table.end(); ++it) {
                if (it->since < oldest->since)
                    oldest = it;
            }
            table.erase(oldest);
            if (&table == &m_addresses)
                m_overflowSince = nowMs;
        }
    }
    Count &c = table[key];
    c.since = nowMs;
    return c;
}

int GuessLimiter::recentWrong(qint64 nowMs)
{
    if (nowMs - m_overallSince > m_limits.windowMs) {
        m_overall = 0;
        m_overallSince = nowMs;
    }
    return m_overall;
}

bool GuessLimiter::mustWait(const QHostAddress &peer, qint64 nowMs)
{
    if (recentWrong(nowMs) >= m_limits.overall)
        return true;
    if (overflowing() && nowMs - m_overflowSince > m_limits.windowMs)
        m_overflowSince = -1;
    if (const Count *c = find(m_addresses, addressKey(peer), nowMs); c && c->wrong >= m_limits.perAddress)
        return true;
    // While addresses are being forgotten, a network counts as one address
    // of a few: a guesser cannot escape by taking new ones.
    if (overflowing()) {
        if (const Count *n = find(m_networks, networkKey(peer), nowMs); n && n->wrong >= 4 * m_limits.perAddress)
            return true;
    }
    return false;
}

bool GuessLimiter::shunned(const QHostAddress &peer, qint64 nowMs)
{
    const Count *c = find(m_addresses, addressKey(peer), nowMs);
    return c && c->wrong + c->faults >= m_limits.maxFaults;
}

void GuessLimiter::wrong(const QHostAddress &peer, qint64 nowMs)
{
    recentWrong(nowMs);
    ++m_overall;
    ++add(m_addresses, addressKey(peer), nowMs).wrong;
    ++add(m_networks, networkKey(peer), nowMs).wrong;
}

void GuessLimiter::fault(const QHostAddress &peer, qint64 nowMs)
{
    ++add(m_addresses, addressKey(peer), nowMs).faults;
}
