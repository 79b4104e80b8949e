// SPDX-License-Identifier: GPL-3.0-or-later
// A real PostgreSQL server of the test's own: made with initdb in a
// temporary folder, listening on a Unix socket in that folder only, run as
// nobody when the test runs as root (the server will not run as root).
// Stopped and started at will; a machine without PostgreSQL fails the
// test that asks for one.
#pragma once

#include "host/resultsstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVersionNumber>
#include <unistd.h>

class PostgresServer
{
public:
    static constexpr int Port = 5432; // names the socket only: no TCP

    PostgresServer() = default;
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;
    ~PostgresServer()
    {
        if (m_made)
            pgCtl({"stop", "-m", "immediate"}, 30000);
    }

    // The newest PostgreSQL's programs, or empty.
    static QString binFolder()
    {
        QString best;
        QVersionNumber newest;
        const QDir root(QStringLiteral("/usr/lib/postgresql"));
        for (const QString &v : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QVersionNumber n = QVersionNumber::fromString(v);
            if (QFile::exists(root.filePath(v + QStringLiteral("/bin/pg_ctl"))) && n > newest) {
                newest = n;
                best = root.filePath(v + QStringLiteral("/bin"));
            }
        }
        return best;
    }

    // Makes the cluster and starts it; false with *why.
    bool make(QString *why)
    {
        m_bin = binFolder();
        if (m_bin.isEmpty()) {
            *why = QStringLiteral("no PostgreSQL in /usr/lib/postgresql (Debian package postgresql; tools/setup.sh)");
            return false;
        }
        if (!m_dir.isValid()) {
            *why = QStringLiteral("no temporary folder");
            return false;
        }
        if (::geteuid() == 0 && ::chown(QFile::encodeName(m_dir.path()).constData(), Nobody, Nobody) != 0) {
            *why = QStringLiteral("cannot give %1 to nobody").arg(m_dir.path());
            return false;
        }
        if (!runAsServer(m_bin + QStringLiteral("/initdb"),
                         {"-D", data(), "-U", "taruvo", "--auth=trust", "-E", "UTF8", "--locale=C.UTF-8", "--no-sync"},
                         60000, why))
            return false;
        m_made = true;
        if (!start(why))
            return false;
        return true;
    }

    bool start(QString *why = nullptr)
    {
        QString ignored;
        return runAsServer(m_bin + QStringLiteral("/pg_ctl"),
                           {"start", "-w", "-t", "30", "-D", data(), "-l", m_dir.filePath("server.log"), "-o",
                            QStringLiteral("-c listen_addresses='' -k %1 -p %2").arg(m_dir.path()).arg(Port)},
                           40000, why ? why : &ignored);
    }

    bool stop(QString *why = nullptr)
    {
        QString ignored;
        return pgCtl({"stop", "-w", "-m", "fast"}, 40000, why ? why : &ignored);
    }

    QString socketFolder() const { return m_dir.path(); }

    // A new, empty database for one test.
    bool createDatabase(const QString &name, QString *why)
    {
        bool ok = false;
        {
            QSqlDatabase db = connection(QStringLiteral("postgres"), QStringLiteral("taruvo-test-admin"));
            ok = db.open();
            QSqlQuery q(db);
            ok = ok && q.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!ok)
                *why = q.lastError().text() + db.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("taruvo-test-admin"));
        return ok;
    }

    // A connection of the test's own to database name.
    QSqlDatabase connection(const QString &name, const QString &connectionName) const
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        db.setHostName(m_dir.path());
        db.setPort(Port);
        db.setDatabaseName(name);
        db.setUserName(QStringLiteral("taruvo"));
        return db;
    }

    // What a store is given to use database name as host hostName.
    ResultsDatabase settings(const QString &name, const QString &hostName) const
    {
        ResultsDatabase d;
        d.server = m_dir.path();
        d.port = Port;
        d.name = name;
        d.user = QStringLiteral("taruvo");
        d.hostName = hostName;
        d.connectSeconds = 2;
        d.retryMilliseconds = 200;
        return d;
    }

    QString log() const
    {
        QFile f(m_dir.filePath("server.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(2000)) : QString();
    }

private:
    static constexpr uid_t Nobody = 65534;

    QString data() const { return m_dir.filePath(QStringLiteral("data")); }

    bool pgCtl(const QStringList &arguments, int ms, QString *why = nullptr)
    {
        QString ignored;
        return runAsServer(m_bin + QStringLiteral("/pg_ctl"), QStringList(arguments) << "-D" << data(), ms,
                           why ? why : &ignored);
    }

    static bool runAsServer(const QString &program, const QStringList &arguments, int ms, QString *why)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QStringLiteral("/"));
        p.setChildProcessModifier([] {
            if (::geteuid() == 0 && (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
                ::_exit(3);
        });
        p.start(program, arguments);
        if (!p.waitForFinished(ms)) {
            p.kill();
            p.waitForFinished(5000);
            *why = QStringLiteral("%1 did not end in %2 ms").arg(program).arg(ms);
            return false;
        }
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *why = QStringLiteral("%1 %2 failed (%3): %4")
                       .arg(program, arguments.join(' '))
                       .arg(p.exitCode())
                       .arg(QString::fromLocal8Bit(p.readAll().right(1500)));
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    bool m_made = false;
};
