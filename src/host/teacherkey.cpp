// SPDX-License-Identifier: GPL-3.0-or-later
#include "teacherkey.h"

#include "common/regularfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>

namespace {

// No 0/O or 1/I to mistake.
const char Alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
constexpr int KeyLetters = 20;
constexpr int HashBytes = 32;

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= uchar(a.at(i)) ^ uchar(b.at(i));
    return diff == 0;
}

} // namespace

TeacherKey::TeacherKey(const QString &file)
    : m_file(file)
{
    reload();
}

void TeacherKey::reload()
{
    const FileContents contents = readRegularFile(m_file, 4096);
    if (!contents.ok)
        return;
    // pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>
    const QList<QByteArray> parts = contents.bytes.trimmed().split('$');
    if (parts.size() != 4 || parts.at(0) != "pbkdf2-sha256")
        return;
    bool ok = false;
    const int iterations = parts.at(1).toInt(&ok);
    const QByteArray salt = QByteArray::fromHex(parts.at(2));
    const QByteArray hash = QByteArray::fromHex(parts.at(3));
    if (!ok || iterations < 1000 || iterations > 10000000 || salt.size() < 16 || hash.size() != HashBytes)
        return;
    m_iterations = iterations;
    m_salt = salt;
    m_hash = hash;
}

QByteArray TeacherKey::derive(const QByteArray &key, const QByteArray &salt, int iterations)
{
    // PBKDF2 (RFC 8018) with HMAC-SHA256, one block: the hash's own length.
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    char block[4];
    qToBigEndian(quint32(1), block);
    mac.addData(salt);
    mac.addData(block, 4);
    QByteArray u = mac.result();
    QByteArray out = u;
    for (int i = 1; i < iterations; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (qsizetype j = 0; j < out.size(); ++j)
            out[j] = char(out.at(j) ^ u.at(j));
    }
    return out;
}

QString TeacherKey::normalized(const QString &typed)
{
    QString out;
    for (QChar c : typed.left(200)) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            out += c.toUpper();
    }
    return out;
}

QString TeacherKey::renew(QString *why)
{
    QString key;
    for (int i = 0; i < KeyLetters; ++i)
        key += QLatin1Char(Alphabet[QRandomGenerator::system()->bounded(32)]);
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), salt.size() / 4);
    const QByteArray hash = derive(key.toLatin1(), salt, Iterations);

    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly)) {
        if (why)
            *why = QStringLiteral("cannot write %1: %2").arg(m_file, file.errorString());
        return {};
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write("pbkdf2-sha256$" + QByteArray::number(Iterations) + '$' + salt.toHex() + '$' + hash.toHex() + '\n');
    if (!file.commit()) {
        if (why)
            *why = QStringLiteral("cannot write %1: %2").arg(m_file, file.errorString());
        return {};
    }
    m_iterations = Iterations;
    m_salt = salt;
    m_hash = hash;
    // Shown in groups of four, as it is easiest to copy.
    QString shown;
    for (int i = 0; i < KeyLetters; i += 4)
        shown += (i ? QStringLiteral("-") : QString()) + key.mid(i, 4);
    return shown;
}

bool TeacherKey::matches(const QString &typed) const
{
    if (!exists())
        return false;
    return sameBytes(derive(normalized(typed).toLatin1(), m_salt, m_iterations), m_hash);
}

QByteArray TeacherSessions::hashed(const QString &secret)
{
    return QCryptographicHash::hash(secret.toLatin1(), QCryptographicHash::Sha256);
}

QString TeacherSessions::randomSecret()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool TeacherSessions::setSecret(const QByteArray &secret)
{
    if (secret.size() < MinSecretBytes)
        return false;
    m_secret = secret;
    return true;
}

QByteArray TeacherSessions::signature(const QByteArray &signedPart) const
{
    return QMessageAuthenticationCode::hash(signedPart, m_secret, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool TeacherSessions::readSigned(const QString &session, QString *id, qint64 *deadline) const
{
    if (m_secret.isEmpty() || session.size() > 160)
        return false;
    const QByteArray bytes = session.toLatin1();
    const QList<QByteArray> parts = bytes.split('.');
    if (parts.size() != 4 || parts.at(0) != "s1" || parts.at(2).size() != 43)
        return false;
    bool ok = false;
    const qint64 until = parts.at(1).toLongLong(&ok);
    if (!ok || until <= 0)
        return false;
    const QByteArray part = parts.at(0) + '.' + parts.at(1) + '.' + parts.at(2);
    if (!sameBytes(signature(part), parts.at(3)))
        return false;
    *id = QString::fromLatin1(parts.at(2));
    *deadline = until;
    return true;
}

void TeacherSessions::prune(qint64 nowMs)
{
    for (auto *table : {&m_tickets, &m_sessions}) {
        for (auto it = table->begin(); it != table->end();)
            it = it.value() <= nowMs ? table->erase(it) : std::next(it);
    }
    for (auto it = m_revoked.begin(); it != m_revoked.end();)
        it = it.value() <= nowMs ? m_revoked.erase(it) : std::next(it);
}

QString TeacherSessions::ticket(qint64 nowMs)
{
    prune(nowMs);
    const QString t = randomSecret();
    m_tickets.insert(hashed(t), nowMs + TicketMs);
    return t;
}

QString TeacherSessions::redeem(const QString &ticket, qint64 nowMs)
{
    prune(nowMs);
    if (ticket.size() > 100 || !m_tickets.remove(hashed(ticket)))
        return {};
    if (!m_secret.isEmpty()) {
        const QByteArray part = "s1." + QByteArray::number(nowMs + LifetimeMs) + '.' + randomSecret().toLatin1();
        return QString::fromLatin1(part + '.' + signature(part));
    }
    // The oldest session gives way to a new one.
    if (m_sessions.size() >= MaxSessions)
        m_sessions.erase(std::min_element(m_sessions.begin(), m_sessions.end()));
    const QString s = randomSecret();
    m_sessions.insert(hashed(s), nowMs + LifetimeMs);
    return s;
}

bool TeacherSessions::valid(const QString &session, qint64 nowMs) const
{
    if (session.isEmpty() || session.size() > 160)
        return false;
    QString id;
    qint64 deadline = 0;
    if (readSigned(session, &id, &deadline))
        return deadline > nowMs && deadline <= nowMs + LifetimeMs + ClockSkewMs && !m_revoked.contains(id);
    const auto it = m_sessions.constFind(hashed(session));
    return it != m_sessions.constEnd() && it.value() > nowMs;
}

TeacherSessions::Ended TeacherSessions::end(const QString &session, qint64 nowMs)
{
    QString id;
    qint64 deadline = 0;
    if (readSigned(session, &id, &deadline)) {
        if (deadline <= nowMs)
            return {};
        revoked(id, deadline, nowMs);
        return {id, deadline};
    }
    if (session.size() <= 160)
        m_sessions.remove(hashed(session));
    return {};
}

void TeacherSessions::revoked(const QString &id, qint64 untilMs, qint64 nowMs)
{
    if (untilMs <= nowMs || id.size() != 43)
        return;
    // Full: the soonest to lapse goes first, as it would anyway.
    if (m_revoked.size() >= MaxRevoked)
        prune(nowMs);
    if (m_revoked.size() >= MaxRevoked)
        m_revoked.erase(std::min_element(m_revoked.begin(), m_revoked.end()));
    m_revoked.insert(id, untilMs);
}
