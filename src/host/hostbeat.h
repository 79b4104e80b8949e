// SPDX-License-Identifier: GPL-3.0-or-later
// The heartbeat of a host among several sharing one results database.
#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

class ResultsStore;
class TeacherSessions;

// Every IntervalMs: tells the database this host is alive, tells the other
// hosts the teachers' sessions ended here and learns theirs, and marks
// interrupted the running games of a host silent for SilentMs (killed, or
// cut off from the database), keeping their results so far. A session
// ended while the database is away is told once it is back.
//
// Signals: tookOver when games of silent hosts were marked; elsewhereChanged
// when the number of class games open on other hosts changed.
class HostBeat : public QObject
{
    Q_OBJECT
public:
    static constexpr int IntervalMs = 3000;
    static constexpr int SilentMs = 15000;

    // store must be shared; both must outlive the beat.
    HostBeat(ResultsStore &store, TeacherSessions &sessions, QObject *parent = nullptr);

    // For tests: shorter beats.
    void setTiming(int intervalMs, int silentMs);
    void start();
    void stop() { m_timer.stop(); }

    // A session ended here, for every host.
    void revoke(const QString &id, qint64 untilMs);

signals:
    void tookOver(int games, const QStringList &hosts);
    void elsewhereChanged(int openElsewhere);

private:
    void beat();

    ResultsStore &m_store;
    TeacherSessions &m_sessions;
    QTimer m_timer;
    int m_silentMs = SilentMs;
    bool m_busy = false;
    int m_openElsewhere = -1;
    QList<QPair<QString, qint64>> m_revoke; // not yet told
};
