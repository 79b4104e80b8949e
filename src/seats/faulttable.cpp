// SPDX-License-Identifier: GPL-3.0-or-later
#include "faulttable.h"

namespace {

FaultTable::Count plus(FaultTable::Count a, FaultTable::Count b)
{
    return {a.faults + b.faults, a.wrongCodes + b.wrongCodes};
}

} // namespace

FaultTable::FaultTable(int capacity, qint64 windowMs)
    : m_windowMs(windowMs)
    , m_addresses(qMax(1, capacity), windowMs)
    , m_networks(qMax(1, capacity), windowMs)
{
}

QByteArray FaultTable::addressKey(const QHostAddress &address)
{
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4) {
        const char bytes[5] = {'4', char(ip4 >> 24), char(ip4 >> 16), char(ip4 >> 8), char(ip4)};
        return QByteArray(bytes, 5);
    }
    const Q_IPV6ADDR ip6 = address.toIPv6Address();
    return QByteArray("6", 1) + QByteArray(reinterpret_cast<const char *>(ip6.c), 16);
}

QByteArray FaultTable::networkKey(const QHostAddress &address)
{
    const QByteArray key = addressKey(address);
    // /24 of IPv4, /64 of IPv6.
    return key.at(0) == '4' ? key.left(1 + 3) : key.left(1 + 8);
}

void FaultTable::add(const QHostAddress &address, Count count, qint64 now)
{
    m_addresses.expire(now);
    m_networks.expire(now);
    Window::Entry dropped;
    if (!m_addresses.add(addressKey(address), count, now, &dropped))
        foldIntoNetwork(dropped, now);
}

void FaultTable::foldIntoNetwork(const Window::Entry &dropped, qint64 now)
{
    QHostAddress owner;
    if (dropped.key.at(0) == '4') {
        const auto *b = reinterpret_cast<const uchar *>(dropped.key.constData() + 1);
        owner = QHostAddress(quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3]);
    } else {
        owner = QHostAddress(reinterpret_cast<const quint8 *>(dropped.key.constData() + 1));
    }
    Window::Entry overflow;
    if (!m_networks.fold(networkKey(owner), dropped.count, now, &overflow)) {
        if (now - m_othersStart > m_windowMs)
            m_others = {};
        m_others = plus(m_others, overflow.count);
        m_othersStart = now;
    }
}

FaultTable::Count FaultTable::own(const QHostAddress &address, qint64 now) const
{
    return m_addresses.find(addressKey(address), now);
}

FaultTable::Count FaultTable::network(const QHostAddress &address, qint64 now) const
{
    Count c = m_networks.find(networkKey(address), now);
    if (now - m_othersStart <= m_windowMs)
        c = plus(c, m_others);
    return c;
}

bool FaultTable::Window::add(const QByteArray &key, Count count, qint64 now, Entry *dropped)
{
    const auto it = m_index.constFind(key);
    if (it != m_index.cend() && live(**it, now)) {
        (*it)->count = plus((*it)->count, count);
        return true;
    }
    return insert(key, count, now, dropped);
}

bool FaultTable::Window::fold(const QByteArray &key, Count count, qint64 now, Entry *dropped)
{
    const auto it = m_index.constFind(key);
    if (it != m_index.cend()) {
        if (live(**it, now))
            count = plus((*it)->count, count);
        m_order.erase(*it);
        m_index.erase(it);
    }
    return insert(key, count, now, dropped);
}

bool FaultTable::Window::insert(const QByteArray &key, Count count, qint64 now, Entry *dropped)
{
    const auto old = m_index.constFind(key);
    if (old != m_index.cend()) {
        m_order.erase(*old);
        m_index.erase(old);
    }
    bool room = true;
    if (m_index.size() >= m_capacity) {
        *dropped = m_order.front();
        m_index.remove(m_order.front().key);
        m_order.pop_front();
        room = false;
    }
    m_order.push_back({key, now, count});
    m_index.insert(key, std::prev(m_order.end()));
    return room;
}

FaultTable::Count FaultTable::Window::find(const QByteArray &key, qint64 now) const
{
    const auto it = m_index.constFind(key);
    return it != m_index.cend() && live(**it, now) ? (*it)->count : Count();
}

void FaultTable::Window::expire(qint64 now)
{
    // Windows end in the order they began.
    while (!m_order.empty() && !live(m_order.front(), now)) {
        m_index.remove(m_order.front().key);
        m_order.pop_front();
    }
}
