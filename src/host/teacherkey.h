// SPDX-License-Identifier: GPL-3.0-or-later
// The teacher's key to a host, and the sessions it opens.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

// The key a teacher types once per browser. The host makes it (100 random
// bits, shown as five groups of four letters and digits) and keeps only a
// salted PBKDF2-SHA256 hash of it, in one file only its owner may read.
class TeacherKey
{
public:
    static constexpr int Iterations = 20000;

    // Reads the hash at file, if there is one.
    explicit TeacherKey(const QString &file);
    // Reads the file again: a key made since by another process (the
    // command that makes a new one) counts at once.
    void reload();

    bool exists() const { return !m_hash.isEmpty(); }
    QString file() const { return m_file; }
    // A new key in place of any old one, its hash written to the file; the
    // key itself is returned, to be shown once. Empty with *why when the
    // file cannot be written.
    QString renew(QString *why);
    // Whether typed is the key, however it was spaced or cased; takes the
    // same time whatever it holds.
    bool matches(const QString &typed) const;

    // Letters and digits only, in capitals.
    static QString normalized(const QString &typed);

private:
    static QByteArray derive(const QByteArray &key, const QByteArray &salt, int iterations);

    QString m_file;
    QByteArray m_salt;
    QByteArray m_hash;
    int m_iterations = Iterations;
};

// Sessions of teachers who gave the key: a random id in a cookie, kept here
// only as its hash, for Lifetime at most. Opening one goes through a
// one-time ticket, so that the page that checked the key can have the
// browser set the cookie.
//
// With a secret (the same on every host behind one proxy) a session is
// signed instead, "s1.<deadline>.<random>.<HMAC-SHA256>", and good on
// every host that has the secret, whichever host the proxy sends the
// teacher to. Ending one remembers its random part until its deadline;
// the other hosts are told it (revoked) through the shared database.
// Deadlines are then wall-clock milliseconds since 1970.
class TeacherSessions
{
public:
    static constexpr qint64 LifetimeMs = 12LL * 3600 * 1000;
    static constexpr qint64 TicketMs = 30 * 1000;
    static constexpr int MaxSessions = 64;
    static constexpr int MinSecretBytes = 32;
    static constexpr int MaxRevoked = 10000;
    // How far the hosts' clocks may differ: a session made on a host whose
    // clock runs ahead is still taken.
    static constexpr qint64 ClockSkewMs = 5 * 60 * 1000;

    // Signed sessions from now on; at least MinSecretBytes, else false and
    // nothing changes.
    bool setSecret(const QByteArray &secret);
    bool isSigned() const { return !m_secret.isEmpty(); }

    // A ticket good for one session, within TicketMs.
    QString ticket(qint64 nowMs);
    // The session a ticket opens; empty when it is unknown, used or late.
    QString redeem(const QString &ticket, qint64 nowMs);
    bool valid(const QString &session, qint64 nowMs) const;

    struct Ended
    {
        QString id;       // a signed session's random part; empty otherwise
        qint64 untilMs = 0;
    };
    // Ends a session here; a signed one's id is returned, for the others.
    Ended end(const QString &session, qint64 nowMs);
    // A signed session ended on another host.
    void revoked(const QString &id, qint64 untilMs, qint64 nowMs);

private:
    static QByteArray hashed(const QString &secret);
    static QString randomSecret();
    QByteArray signature(const QByteArray &signedPart) const;
    // The random part of a well-signed session, with its deadline.
    bool readSigned(const QString &session, QString *id, qint64 *deadline) const;
    void prune(qint64 nowMs);

    QByteArray m_secret;
    QHash<QByteArray, qint64> m_tickets;  // hash -> deadline
    QHash<QByteArray, qint64> m_sessions; // hash -> deadline
    QHash<QString, qint64> m_revoked;     // random part -> deadline
};
