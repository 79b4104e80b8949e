// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostbeat.h"

#include "host/resultsstore.h"
#include "host/teacherkey.h"

#include <QDateTime>

HostBeat::HostBeat(ResultsStore &store, TeacherSessions &sessions, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_sessions(sessions)
{
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &HostBeat::beat);
}

void HostBeat::setTiming(int intervalMs, int silentMs)
{
    m_timer.setInterval(qMax(10, intervalMs));
    m_silentMs = qMax(intervalMs, silentMs);
}

void HostBeat::start()
{
    m_timer.start();
    beat();
}

void HostBeat::revoke(const QString &id, qint64 untilMs)
{
    // Bounded: a flood of logouts while the database is away keeps the latest.
    if (m_revoke.size() >= TeacherSessions::MaxRevoked)
        m_revoke.removeFirst();
    m_revoke.append({id, untilMs});
}

void HostBeat::beat()
{
    // One at a time: a database slow to answer is not asked again meanwhile.
    if (m_busy)
        return;
    m_busy = true;
    const QList<QPair<QString, qint64>> told = m_revoke;
    m_store.beat(told, m_silentMs).then(this, [this, told](const HostBeatResult &r) {
        m_busy = false;
        if (!r.reached)
            return;
        m_revoke.erase(m_revoke.begin(), m_revoke.begin() + qMin(told.size(), m_revoke.size()));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (const auto &[id, until] : r.revoked)
            m_sessions.revoked(id, until, now);
        if (r.interrupted > 0)
            emit tookOver(r.interrupted, r.silentHosts);
        if (r.openElsewhere != m_openElsewhere) {
            m_openElsewhere = r.openElsewhere;
            emit elsewhereChanged(r.openElsewhere);
        }
    });
}
