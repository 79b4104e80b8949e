// SPDX-License-Identifier: GPL-3.0-or-later
// Who may try a code, and how often: the guard against guessing.
#pragma once

#include "seats/faulttable.h"
#include "seats/guardedtcpserver.h"

#include <QHostAddress>
#include <deque>
#include <functional>

// Keeps the faults of the server's clients (FaultTable) and decides whether
// a join is heard. A code typed by hand is short enough to guess, so typed
// codes are limited three ways: per address, per network once addresses
// overflow the table, and for the whole server (wrong codes of everybody
// in a window). A code from a link is too long to guess and a token proves
// a device that already holds its seat: they are limited only by their own
// address's faults, so that a guessing crowd cannot lock the rightful
// devices out. An address with many faults is not even accepted.
class JoinGuard : public AddressStanding
{
public:
    struct Limits
    {
        // Wrong codes of one address in a window before it must wait.
        int wrongCodes = 5;
        // Faults of one address in a window (wrong codes, tries while
        // waiting, connections that never joined, cuts) before it is not
        // even accepted.
        int faults = 15;
        // Wrong codes of the whole server in a window before typed codes wait.
        int wrongCodesOverall = 5;
        qint64 windowMs = 60000;
        // Addresses kept, and networks.
        int tableSize = 4096;
    };
    enum class Offer { TypedCode, LinkCode, Token };
    // Milliseconds of a monotonic clock.
    using Clock = std::function<qint64()>;

    JoinGuard();
    explicit JoinGuard(const Limits &limits, Clock clock = Clock());

    const Limits &limits() const { return m_limits; }
    // For tests: time that runs as they say.
    void setClock(Clock clock);

    // Whether a join from peer with this offer is heard, or told to wait.
    bool mayTry(const QHostAddress &peer, Offer offer) const;
    // A code that opened nothing (or a seat the device does not hold).
    void wrongCode(const QHostAddress &peer);

    // AddressStanding
    bool refuses(const QHostAddress &peer) const override;
    int faultsOf(const QHostAddress &peer) const override;
    void fault(const QHostAddress &peer, int weight) override;

    // For the operator: wrong codes of everybody within the window and since
    // the start, and whether typed codes wait now and until when (ms).
    int wrongCodesInWindow() const;
    int wrongCodesSinceStart() const { return m_wrongTotal; }
    bool typedCodesWait() const;
    qint64 typedCodesWaitMs() const;

    // An address's own counts now.
    FaultTable::Count countOf(const QHostAddress &peer) const { return m_table.own(peer, now()); }
    const FaultTable &table() const { return m_table; }

private:
    qint64 now() const { return m_clock(); }
    void forgetOld() const;

    Limits m_limits;
    Clock m_clock;
    FaultTable m_table;
    // When the wrong codes within the window came, oldest first.
    mutable std::deque<qint64> m_wrongTimes;
    int m_wrongTotal = 0;
};
