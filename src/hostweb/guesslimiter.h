// SPDX-License-Identifier: GPL-3.0-or-later
// How fast codes and keys can be guessed at a host.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>

// Counts wrong tries (a class code, a seat's code, the teacher's key) and
// other faults by address, over a sliding minute. An address that made
// PerAddress wrong tries waits until its minute is over; one that keeps
// trying or misbehaving (MaxFaults) is not even accepted meanwhile. Over
// all addresses together at most Overall wrong tries a minute are heard:
// beyond that every try waits, which keeps a guesser with many addresses
// as slow as one. The table of addresses is bounded: when it is full, the
// oldest entries go, and addresses are counted by their network (/24 for
// IPv4, /64 for IPv6) as well, so that its overflow lifts no limit.
class GuessLimiter
{
public:
    struct Limits
    {
        int perAddress = 5;
        int maxFaults = 15;
        int overall = 30;
        qint64 windowMs = 60000;
        int tableSize = 4096;
    };

    GuessLimiter() = default;
    explicit GuessLimiter(const Limits &limits) : m_limits(limits) {}

    // Whether a try from peer is to be refused without being checked.
    bool mustWait(const QHostAddress &peer, qint64 nowMs);
    // Whether peer is refused before a word is read.
    bool shunned(const QHostAddress &peer, qint64 nowMs);
    // A wrong code or key from peer.
    void wrong(const QHostAddress &peer, qint64 nowMs);
    // Anything else against the rules: counts towards being shunned only.
    void fault(const QHostAddress &peer, qint64 nowMs);
    // Wrong tries of all addresses in the last minute.
    int recentWrong(qint64 nowMs);

    static QString addressKey(const QHostAddress &address);
    static QString networkKey(const QHostAddress &address);

private:
    struct Count
    {
        int wrong = 0;
        int faults = 0;
        qint64 since = 0;
    };
    Count *find(QHash<QString, Count> &table, const QString &key, qint64 nowMs);
    Count &add(QHash<QString, Count> &table, const QString &key, qint64 nowMs);
    bool overflowing() const { return m_overflowSince >= 0; }

    Limits m_limits;
    QHash<QString, Count> m_addresses;
    QHash<QString, Count> m_networks;
    int m_overall = 0;
    qint64 m_overallSince = 0;
    qint64 m_overflowSince = -1;
};
