// SPDX-License-Identifier: GPL-3.0-or-later
// What clients did wrong lately, by address, in bounded memory.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <list>

// Counts faults of clients by address within a window of time (counted
// from an address's first fault; once it has passed, the address starts
// again from nothing). At most `capacity` addresses are kept: when one more
// comes, the oldest is dropped and its counts go to its network (the /24 of
// an IPv4 address, the /64 of an IPv6 one: a device on IPv6 has many
// addresses), and when the networks overflow too, to one count for all
// others. A sweep of addresses so fills the limits of its networks, and
// then of everybody, instead of escaping them. Times are the caller's, in
// milliseconds of a monotonic clock.
class FaultTable
{
public:
    struct Count
    {
        int faults = 0;
        int wrongCodes = 0;
    };

    FaultTable(int capacity, qint64 windowMs);

    void add(const QHostAddress &address, Count count, qint64 now);
    // The address's own counts.
    Count own(const QHostAddress &address, qint64 now) const;
    // What dropped addresses of its network left, with what overflowed the
    // networks: nothing while every address fits.
    Count network(const QHostAddress &address, qint64 now) const;

    int addresses() const { return int(m_addresses.size()); }
    int networks() const { return int(m_networks.size()); }

    static QByteArray addressKey(const QHostAddress &address);
    static QByteArray networkKey(const QHostAddress &address);

private:
    // Entries in the order their windows began, oldest first.
    class Window
    {
    public:
        struct Entry
        {
            QByteArray key;
            qint64 start = 0;
            Count count;
        };
        Window(int capacity, qint64 windowMs) : m_capacity(capacity), m_windowMs(windowMs) {}
        // Adds to the key's entry; returns false with the entry dropped in
        // *dropped when the table was full.
        bool add(const QByteArray &key, Count count, qint64 now, Entry *dropped);
        // Adds to the key's entry and starts its window again: for counts
        // moved here, which must not leave before their time.
        bool fold(const QByteArray &key, Count count, qint64 now, Entry *dropped);
        Count find(const QByteArray &key, qint64 now) const;
        void expire(qint64 now);
        qsizetype size() const { return m_index.size(); }

    private:
        bool insert(const QByteArray &key, Count count, qint64 now, Entry *dropped);
        bool live(const Entry &e, qint64 now) const { return now - e.start <= m_windowMs; }

        int m_capacity;
        qint64 m_windowMs;
        std::list<Entry> m_order;
        QHash<QByteArray, std::list<Entry>::iterator> m_index;
    };

    void foldIntoNetwork(const Window::Entry &dropped, qint64 now);

    qint64 m_windowMs;
    Window m_addresses;
    Window m_networks;
    // Everything the networks had no room for.
    Count m_others;
    qint64 m_othersStart = 0;
};
