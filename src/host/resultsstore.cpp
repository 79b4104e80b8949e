// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultsstore.h"

#include "common/rules.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QHash>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <utility>
#include <QVariant>
#include <chrono>
#include <functional>
#include <tuple>
#include <memory>

// The SQL is kept to what SQLite and PostgreSQL both read: explicit ids,
// times as ISO 8601 text in UTC, no upserts, no engine-only types. Where
// the two differ, Dialect says so; the queue of writes waiting for
// PostgreSQL is SQLite's alone.

namespace {

// SQLite's result codes for a file that is not, or no longer, a database.
const QStringList DamagedCodes = {QStringLiteral("11"), QStringLiteral("26")};

// The schema of version 1. A new database is made with it and then taken
// through every migration, so that an old one goes the way every new one
// went.
const char *const Schema[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "CREATE TABLE class_games (id BIGINT PRIMARY KEY, name VARCHAR(200) NOT NULL,"
    " word_list VARCHAR(200) NOT NULL, time_limit INTEGER NOT NULL, answer_limit INTEGER NOT NULL,"
    " created_at VARCHAR(40) NOT NULL, closed_at VARCHAR(40))",
    "CREATE TABLE children (id BIGINT PRIMARY KEY,"
    " class_game_id BIGINT NOT NULL REFERENCES class_games (id), name VARCHAR(100) NOT NULL)",
    "CREATE TABLE games (id BIGINT PRIMARY KEY, class_game_id BIGINT NOT NULL REFERENCES class_games (id),"
    " round INTEGER NOT NULL, state VARCHAR(20) NOT NULL, started_at VARCHAR(40) NOT NULL, ended_at VARCHAR(40))",
    "CREATE TABLE players (game_id BIGINT NOT NULL REFERENCES games (id), player INTEGER NOT NULL,"
    " child_id BIGINT NOT NULL REFERENCES children (id), score INTEGER NOT NULL, wrong_tries INTEGER NOT NULL,"
    " outcome VARCHAR(20), PRIMARY KEY (game_id, player))",
    "CREATE TABLE answers (id BIGINT PRIMARY KEY, game_id BIGINT NOT NULL REFERENCES games (id),"
    " child_id BIGINT NOT NULL REFERENCES children (id), word VARCHAR(40) NOT NULL, correct INTEGER NOT NULL,"
    " answered_at VARCHAR(40) NOT NULL)",
    "CREATE INDEX children_class ON children (class_game_id)",
    "CREATE INDEX games_class ON games (class_game_id)",
    "CREATE INDEX answers_game ON answers (game_id)",
};

// Migrations[i] takes a database from version i + 1 to i + 2.
const QList<QList<const char *>> Migrations = {
    // 2: each game's dealt words, and why a try was wrong (NULL for right
    // answers and for tries kept before), for the games' reviews.
    {"CREATE TABLE game_words (game_id BIGINT NOT NULL REFERENCES games (id), position INTEGER NOT NULL,"
     " word VARCHAR(40) NOT NULL, PRIMARY KEY (game_id, position))",
     "ALTER TABLE answers ADD COLUMN reason VARCHAR(20)"},
    // 3: the hosts sharing the database (applied: the last of its queued
    // writes that is in), and the host of each class game and game, so
    // that a host marks only its own games interrupted. Rows from before
    // are host 0's, whose ids they already are.
    {"CREATE TABLE hosts (number INTEGER PRIMARY KEY, name VARCHAR(200) NOT NULL UNIQUE,"
     " applied BIGINT NOT NULL, seen_at VARCHAR(40))",
     "ALTER TABLE class_games ADD COLUMN host INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE games ADD COLUMN host INTEGER NOT NULL DEFAULT 0",
     "CREATE INDEX games_host_state ON games (host, state)"},
    // 4: hosts behind one proxy: each host's route and heartbeat (a count
    // it raises every few seconds, so that no two hosts' clocks need to
    // agree), and the teachers' sessions ended on one host, for all.
    {"ALTER TABLE hosts ADD COLUMN route INTEGER NOT NULL DEFAULT 0",
     "ALTER TABLE hosts ADD COLUMN beat BIGINT NOT NULL DEFAULT 0",
     "CREATE TABLE revoked_sessions (id VARCHAR(64) PRIMARY KEY, until_ms BIGINT NOT NULL)"},
};

// The queue of writes for PostgreSQL, on the host.
const char *const QueueSchema[] = {
    "CREATE TABLE IF NOT EXISTS queue (seq INTEGER PRIMARY KEY, kind INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
};

// Where SQLite and PostgreSQL differ.
struct Dialect
{
    bool postgres = false;

    static Dialect of(const QSqlDatabase &db) { return {db.driverName() == QLatin1String("QPSQL")}; }

    // Said once a connection is open. SQLite: write-ahead log (asked for
    // later), every commit synced to disk, and a writer that finds the file
    // busy waits a moment rather than fails. PostgreSQL syncs its commits
    // by its own settings.
    QStringList settings() const
    {
        if (postgres)
            return {QStringLiteral("SET synchronous_commit = on")};
        return {QStringLiteral("PRAGMA busy_timeout = 5000"), QStringLiteral("PRAGMA synchronous = FULL"),
                QStringLiteral("PRAGMA foreign_keys = ON")};
    }
    // Hosts starting together take turns at the schema and the hosts
    // table; an SQLite file has one host.
    QString lock() const { return postgres ? QStringLiteral("SELECT pg_advisory_lock(7472088)") : QString(); }
    QString unlock() const { return postgres ? QStringLiteral("SELECT pg_advisory_unlock(7472088)") : QString(); }
};

using Write = QueuedWrite;

const char *reasonText(Judgement::Outcome outcome)
{
    return outcome == Judgement::NoWord ? "noWord" : outcome == Judgement::NoCharacter ? "noCharacter" : nullptr;
}

const char *const IdTables[] = {"class_games", "children", "games", "answers"};

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeOf(const QVariant &v)
{
    if (v.isNull())
        return {};
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

QVariant textOrNull(const QString &s)
{
    return s.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

// One statement with its values; false with *error when it fails.
bool run(QSqlDatabase &db, const QString &sql, const QVariantList &values, QSqlError *error,
         QSqlQuery *out = nullptr)
{
    // Not forward-only: PostgreSQL's driver then reads rows one at a time
    // and loses them when the next statement runs.
    QSqlQuery q(db);
    // Without values, not prepared: PostgreSQL prepares no schema changes.
    if (values.isEmpty()) {
        if (!q.exec(sql)) {
            *error = q.lastError();
            return false;
        }
        if (out)
            *out = std::move(q);
        return true;
    }
    if (!q.prepare(sql)) {
        *error = q.lastError();
        return false;
    }
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        *error = q.lastError();
        return false;
    }
    if (out)
        *out = std::move(q);
    return true;
}

// The first value of a one-row query; fallback when there is none.
QVariant one(QSqlDatabase &db, const QString &sql, const QVariantList &values, QSqlError *error, bool *ok)
{
    QSqlQuery q;
    *ok = run(db, sql, values, error, &q);
    if (!*ok || !q.next())
        return {};
    return q.value(0);
}

QString describe(const QSqlError &error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.driverText();
    return text.isEmpty() ? QStringLiteral("unknown error") : text.simplified();
}

bool damaged(const QSqlError &error)
{
    return DamagedCodes.contains(error.nativeErrorCode());
}

} // namespace

QString ResultsDatabase::describe() const
{
    if (!isShared())
        return QStringLiteral("SQLite");
    return QStringLiteral("PostgreSQL database %1 on %2, port %3").arg(name, server).arg(port);
}

ResultsStore::ResultsStore(const QString &path, QObject *parent)
    : ResultsStore(path, ResultsDatabase(), parent)
{
}

ResultsStore::ResultsStore(const QString &path, const ResultsDatabase &database, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_database(database)
    , m_connection(QStringLiteral("taruvo-results-%1").arg(quintptr(this), 0, 16))
    , m_queueConnection(m_connection + QStringLiteral("-queue"))
    , m_thread(new QThread)
    , m_context(new QObject)
{
    m_thread->setObjectName(QStringLiteral("results"));
    m_context->moveToThread(m_thread);
    m_thread->start();
    // Opening happens before anything else, on the store's thread.
    auto opened = std::make_shared<QPromise<void>>();
    QFuture<void> done = opened->future();
    opened->start();
    post([this, opened] {
        open();
        opened->finish();
    });
    done.waitForFinished();
}

ResultsStore::~ResultsStore()
{
    post([this] {
        // Writes asked for just before are queued, not lost.
        if (!m_pending.isEmpty())
            commitQueue();
        if (m_retry)
            m_retry->stop();
        for (const QString &name : {m_connection, m_queueConnection}) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                if (db.isOpen())
                    db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
        m_context->deleteLater();
        m_thread->quit();
    });
    m_thread->wait();
    delete m_thread;
}

template<typename F>
void ResultsStore::post(F &&job)
{
    QMetaObject::invokeMethod(m_context, std::forward<F>(job), Qt::QueuedConnection);
}

QString ResultsStore::problem() const
{
    QMutexLocker lock(&m_problemLock);
    return m_problem;
}

bool ResultsStore::problemWaits() const
{
    QMutexLocker lock(&m_problemLock);
    return m_problemWaits && !m_problem.isEmpty() && m_writable.load();
}

void ResultsStore::fail(const QString &problem)
{
    setProblem(problem, false);
}

// waiting: the problem is the database's link, gone when it is back.
void ResultsStore::setProblem(const QString &problem, bool waiting)
{
    {
        QMutexLocker lock(&m_problemLock);
        if (m_problem == problem && m_problemWaits == waiting)
            return;
        m_problemWaits = waiting;
        m_problem = problem;
    }
    if (!problem.isEmpty())
        qWarning("taruvo-host: %s", qPrintable(problem));
    emit problemChanged(problem, waiting && m_writable.load());
}

qint64 ResultsStore::newId(Kind kind)
{
    return m_next[int(kind)]++;
}

void ResultsStore::raiseNext(int kind, qint64 next)
{
    qint64 seen = m_next[kind].load();
    while (seen < next && !m_next[kind].compare_exchange_weak(seen, next)) {
    }
}

void ResultsStore::open()
{
    m_retry = new QTimer(m_context);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, m_context, [this] { drain(); });
    if (isShared())
        openShared();
    else
        openLocal();
    if (m_interruptedAtOpen.load() > 0) {
        const QString marked = QStringLiteral("%1 game(s) that were running when the host stopped are marked interrupted")
                                   .arg(m_interruptedAtOpen.load());
        m_notice = m_notice.isEmpty() ? marked : m_notice + QStringLiteral("; ") + marked;
    }
}

bool ResultsStore::openSqlite(const QString &connection, const QString &path, QString *why)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *why = QStringLiteral("Qt's SQLite driver is missing (Debian package libqt6sql6-sqlite)");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    QSqlError error;
    QString journal;

    // Settings first: a damaged file shows itself on the first read.
    auto settle = [&]() -> bool {
        if (!db.open()) {
            error = db.lastError();
            return false;
        }
        for (const QString &setting : Dialect::of(db).settings()) {
            if (!run(db, setting, {}, &error))
                return false;
        }
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next()) {
            error = check.lastError();
            return false;
        }
        if (check.value(0).toString() != QLatin1String("ok")) {
            error = QSqlError(QStringLiteral("damaged"), check.value(0).toString(), QSqlError::StatementError,
                              QStringLiteral("11"));
            return false;
        }
        check.finish();
        // Asked for after the check, with no statement open (SQLite will
        // not change modes under one); a read-only file stays as it is.
        QSqlQuery wal(db);
        if (wal.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && wal.next())
            journal = wal.value(0).toString();
        return true;
    };

    if (!settle() && damaged(error)) {
        db.close();
        const QString aside = path + QStringLiteral(".damaged-")
                              + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        bool moved = QFile::rename(path, aside);
        for (const char *suffix : {"-wal", "-shm"}) {
            if (QFile::exists(path + QLatin1String(suffix)))
                moved = QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix)) && moved;
        }
        if (!moved) {
            *why = QStringLiteral("%1 is damaged (%2) and cannot be moved aside").arg(path, describe(error));
            return false;
        }
        const QString told = QStringLiteral("%1 was damaged (%2); it was moved to %3 and a new database made")
                                 .arg(path, describe(error), aside);
        m_notice = m_notice.isEmpty() ? told : m_notice + QStringLiteral("; ") + told;
        qWarning("taruvo-host: %s", qPrintable(told));
        error = QSqlError();
        settle();
    }
    if (error.isValid()) {
        *why = QStringLiteral("%1 cannot be opened (%2)").arg(path, describe(error));
        return false;
    }
    if (journal.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        qWarning("taruvo-host: %s is not write-ahead logged (journal mode %s)", qPrintable(path), qPrintable(journal));
    return true;
}

// The schema made or brought up to date, and this host registered: its
// number, and the last of its queued writes that is in (*applied).
bool ResultsStore::prepare(const QString &connection, QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const Dialect dialect = Dialect::of(db);
    const QString where = isShared() ? m_database.describe() : m_path;
    QSqlError error;
    for (const QString &setting : dialect.settings()) {
        // Not a statement PostgreSQL prepares.
        QSqlQuery set(db);
        if (dialect.postgres && !set.exec(setting)) {
            *why = QStringLiteral("%1 cannot be used (%2)").arg(where, describe(set.lastError()));
            return false;
        }
    }
    if (!dialect.lock().isEmpty() && !run(db, dialect.lock(), {}, &error)) {
        *why = QStringLiteral("%1 cannot be used (%2)").arg(where, describe(error));
        return false;
    }
    const auto unlock = qScopeGuard([&] {
        QSqlError ignored;
        if (!dialect.unlock().isEmpty())
            run(db, dialect.unlock(), {}, &ignored);
    });

    // The schema: made on a new database, checked on an old one.
    QSqlQuery version(db);
    int found = 0;
    if (version.exec(QStringLiteral("SELECT version FROM schema_version")) && version.next()) {
        found = version.value(0).toInt();
    } else if (db.tables().contains(QStringLiteral("schema_version"))) {
        *why = QStringLiteral("%1 has no schema version").arg(where);
        return false;
    }
    version.finish();
    m_schema = found;
    if (found > SchemaVersion) {
        *why = QStringLiteral("%1 was made by a newer Taruvo (schema %2, this one knows %3)")
                   .arg(where)
                   .arg(found)
                   .arg(SchemaVersion);
        return false;
    }
    // A new database gets version 1, then every database what it lacks,
    // each step in a transaction of its own.
    for (int from = found; from < SchemaVersion; ++from) {
        if (!db.transaction()) {
            *why = QStringLiteral("%1 cannot be written (%2)").arg(where, describe(db.lastError()));
            return false;
        }
        bool ok = true;
        if (from == 0) {
            for (const char *statement : Schema)
                ok = ok && run(db, QString::fromLatin1(statement), {}, &error);
            ok = ok && run(db, QStringLiteral("INSERT INTO schema_version (version) VALUES (1)"), {}, &error);
            from = 1;
        }
        for (const char *statement : Migrations.value(from - 1))
            ok = ok && run(db, QString::fromLatin1(statement), {}, &error);
        ok = ok && run(db, QStringLiteral("UPDATE schema_version SET version = ?"), {from + 1}, &error);
        if (!ok || !db.commit()) {
            if (!error.isValid())
                error = db.lastError();
            db.rollback();
            *why = found == 0 ? QStringLiteral("%1 cannot be written (%2)").arg(where, describe(error))
                              : QStringLiteral("%1 cannot be brought from schema %2 to %3 (%4)")
                                    .arg(where)
                                    .arg(found)
                                    .arg(SchemaVersion)
                                    .arg(describe(error));
            return false;
        }
        m_schema = from + 1;
    }

    // This host's number: kept by its name, else the next free one.
    bool ok = db.transaction();
    QVariant number = ok ? one(db, QStringLiteral("SELECT number FROM hosts WHERE name = ?"), {m_database.hostName},
                               &error, &ok)
                         : QVariant();
    if (ok && number.isNull()) {
        number = one(db, QStringLiteral("SELECT COALESCE(MAX(number) + 1, 0) FROM hosts"), {}, &error, &ok);
        if (ok && number.toInt() >= MaxHosts) {
            db.rollback();
            *why = QStringLiteral("%1 has room for %2 hosts, all taken").arg(where).arg(MaxHosts);
            return false;
        }
        ok = ok && run(db, QStringLiteral("INSERT INTO hosts (number, name, applied, seen_at) VALUES (?, ?, 0, ?)"),
                       {number.toInt(), m_database.hostName, now()}, &error);
    } else if (ok) {
        ok = run(db, QStringLiteral("UPDATE hosts SET seen_at = ? WHERE number = ?"), {now(), number.toInt()}, &error);
    }
    ok = ok && run(db, QStringLiteral("UPDATE hosts SET route = ? WHERE number = ?"), {m_database.route, number.toInt()},
                   &error);
    const QVariant applied =
        ok ? one(db, QStringLiteral("SELECT applied FROM hosts WHERE number = ?"), {number.toInt()}, &error, &ok)
           : QVariant();
    if (!ok || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        *why = QStringLiteral("%1 cannot be written (%2)").arg(where, describe(error));
        return false;
    }
    const int host = number.toInt();
    if (m_hostNumber.load() >= 0 && m_hostNumber.load() != host)
        qWarning("taruvo-host: %s knows this host (%s) as number %d, not %d as before", qPrintable(where),
                 qPrintable(m_database.hostName), host, m_hostNumber.load());
    m_hostNumber = host;

    // The next ids: after this host's highest.
    const qint64 low = host * HostIdSpan;
    for (int k = 0; k < 4; ++k) {
        raiseNext(k, low + 1);
        const QVariant top = one(db, QStringLiteral("SELECT MAX(id) FROM %1 WHERE id >= ? AND id < ?").arg(QLatin1String(IdTables[k])),
                                 {low, low + HostIdSpan}, &error, &ok);
        if (ok && !top.isNull())
            raiseNext(k, top.toLongLong() + 1);
    }

    // Writes of the queue that are in already are not written again.
    if (isShared()) {
        QSqlDatabase queue = QSqlDatabase::database(m_queueConnection, false);
        const qint64 in = applied.toLongLong();
        if (!run(queue, QStringLiteral("DELETE FROM queue WHERE seq <= ?"), {in}, &error)) {
            *why = QStringLiteral("the queue %1 cannot be written (%2)").arg(m_path, describe(error));
            return false;
        }
        m_nextSeq = qMax(m_nextSeq, in + 1);
        m_waiting = one(queue, QStringLiteral("SELECT COUNT(*) FROM queue"), {}, &error, &ok).toInt();
        if (!saveMeta()) {
            *why = QStringLiteral("the queue %1 cannot be written").arg(m_path);
            return false;
        }
    }
    return true;
}

void ResultsStore::openLocal()
{
    QString why;
    if (!openSqlite(m_connection, m_path, &why) || !prepare(m_connection, &why)) {
        fail(QStringLiteral("results are not kept: %1").arg(why));
        return;
    }
    if (!apply({QueuedWrite::Reopen, {m_hostNumber.load(), now()}}, &why)) {
        fail(QStringLiteral("results are not kept: %1 cannot be written (%2)").arg(m_path, why));
        return;
    }
    m_writable = true;
}

void ResultsStore::openShared()
{
    QString why;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        fail(QStringLiteral("results are not kept: Qt's PostgreSQL driver is missing (Debian package libqt6sql6-psql)"));
        return;
    }
    if (!openSqlite(m_queueConnection, m_path, &why)) {
        fail(QStringLiteral("results are not kept: the queue of results for PostgreSQL: %1").arg(why));
        return;
    }
    QSqlDatabase queue = QSqlDatabase::database(m_queueConnection, false);
    QSqlError error;
    bool ok = true;
    for (const char *statement : QueueSchema)
        ok = ok && run(queue, QString::fromLatin1(statement), {}, &error);
    QSqlQuery meta;
    ok = ok && run(queue, QStringLiteral("SELECT name, value FROM meta"), {}, &error, &meta);
    if (!ok) {
        fail(QStringLiteral("results are not kept: the queue %1 cannot be written (%2)").arg(m_path, describe(error)));
        return;
    }
    // What the queue remembers: this host's number (under the same name),
    // the next ids and queue number, so that a host that starts while the
    // database is down goes on where it was.
    QHash<QString, QString> kept;
    while (meta.next())
        kept.insert(meta.value(0).toString(), meta.value(1).toString());
    meta.finish();
    if (kept.value(QStringLiteral("host_name")) == m_database.hostName && kept.contains(QStringLiteral("host_number")))
        m_hostNumber = kept.value(QStringLiteral("host_number")).toInt();
    for (int k = 0; k < 4; ++k)
        raiseNext(k, kept.value(QStringLiteral("next_id_%1").arg(k)).toLongLong());
    m_nextSeq = qMax<qint64>(1, qMax(kept.value(QStringLiteral("next_seq")).toLongLong(),
                                     one(queue, QStringLiteral("SELECT MAX(seq) FROM queue"), {}, &error, &ok).toLongLong() + 1));
    m_waiting = one(queue, QStringLiteral("SELECT COUNT(*) FROM queue"), {}, &error, &ok).toInt();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(m_database.server);
    db.setPort(m_database.port);
    db.setDatabaseName(m_database.name);
    db.setUserName(m_database.user);
    if (!m_database.password.isEmpty())
        db.setPassword(m_database.password);
    db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=taruvo-host").arg(qMax(1, m_database.connectSeconds)));

    // The games of the last run are marked after its queued writes.
    if (m_hostNumber.load() >= 0) {
        m_writable = true;
        m_reopened = true;
        this->queue(Write{QueuedWrite::Reopen, {m_hostNumber.load(), now()}});
        commitQueue();
    } else {
        drain();
    }
}

bool ResultsStore::saveMeta()
{
    QSqlDatabase queue = QSqlDatabase::database(m_queueConnection, false);
    QSqlError error;
    QList<QPair<QString, QString>> values = {{QStringLiteral("host_name"), m_database.hostName},
                                             {QStringLiteral("next_seq"), QString::number(m_nextSeq)}};
    if (m_hostNumber.load() >= 0)
        values.append({QStringLiteral("host_number"), QString::number(m_hostNumber.load())});
    for (int k = 0; k < 4; ++k)
        values.append({QStringLiteral("next_id_%1").arg(k), QString::number(m_next[k].load())});
    for (const auto &[name, value] : values) {
        if (!run(queue, QStringLiteral("INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)"), {name, value}, &error))
            return false;
    }
    return true;
}

// Connects to PostgreSQL; false (and the problem said) when it cannot.
bool ResultsStore::reach()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (db.isOpen())
        db.close();
    QString why;
    if (!db.open()) {
        lost(QStringLiteral("%1 cannot be reached (%2)").arg(m_database.describe(), describe(db.lastError())));
        return false;
    }
    if (!prepare(m_connection, &why)) {
        db.close();
        lost(why);
        return false;
    }
    m_reached = true;
    m_writable = true;
    if (!m_reopened) {
        m_reopened = true;
        m_pending.prepend(Write{QueuedWrite::Reopen, {m_hostNumber.load(), now()}});
        commitQueue();
    }
    return true;
}

void ResultsStore::lost(const QString &why)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (db.isOpen())
        db.close();
    m_reached = false;
    setProblem(m_writable.load()
                   ? QStringLiteral("results are waiting to be written: %1; they are kept on this host and written"
                                    " when it is back")
                         .arg(why)
                   : QStringLiteral("results are not kept until the results database is reached: %1").arg(why),
               true);
    m_retry->start(qMax(10, m_database.retryMilliseconds));
}

// PostgreSQL: a database that was down is tried before reading (unless
// tried a moment ago), and one that went down while reading is said.
void ResultsStore::beforeRead()
{
    if (isShared() && !m_reached)
        drain();
}

void ResultsStore::afterRead()
{
    if (!isShared() || !m_reached)
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery alive(db);
    if (!alive.exec(QStringLiteral("SELECT 1")))
        lost(QStringLiteral("%1 cannot be reached (%2)").arg(m_database.describe(), describe(alive.lastError())));
}

void ResultsStore::write(const QueuedWrite &w)
{
    if (!m_writable.load())
        return;
    post([this, w] {
        if (isShared()) {
            queue(w);
            return;
        }
        QString why;
        if (!apply(w, &why))
            fail(QStringLiteral("a result was not kept: %1 (%2)").arg(QLatin1String(w.what()), why));
    });
}

void ResultsStore::queue(const QueuedWrite &w)
{
    m_pending.append(w);
    // Writes asked for together are queued in one transaction.
    if (!m_commitPosted) {
        m_commitPosted = true;
        post([this] { commitQueue(); });
    }
}

void ResultsStore::commitQueue()
{
    m_commitPosted = false;
    const QList<Write> batch = std::exchange(m_pending, {});
    if (batch.isEmpty())
        return;
    QSqlDatabase queue = QSqlDatabase::database(m_queueConnection, false);
    QSqlError error;
    bool ok = queue.transaction();
    for (qsizetype i = 0; ok && i < batch.size(); ++i) {
        ok = run(queue, QStringLiteral("INSERT INTO queue (seq, kind, data) VALUES (?, ?, ?)"),
                 {m_nextSeq + i, batch.at(i).kind, batch.at(i).encode()}, &error);
    }
    m_nextSeq += batch.size();
    ok = ok && saveMeta();
    if (!ok || !queue.commit()) {
        if (!error.isValid())
            error = queue.lastError();
        queue.rollback();
        m_nextSeq -= batch.size();
        fail(QStringLiteral("%1 result(s) were not kept: the queue %2 cannot be written (%3)")
                 .arg(batch.size())
                 .arg(m_path, describe(error)));
        return;
    }
    m_waiting += int(batch.size());
    drain();
}

// Writes the queue to PostgreSQL in order, each write with its queue number
// in the same transaction; a write the database refuses while it answers
// is said and dropped, so that it does not hold up the rest.
void ResultsStore::drain()
{
    if (m_draining)
        return;
    if (!m_reached) {
        if (m_retry->isActive() || !reach())
            return;
    }
    m_draining = true;
    const auto done = qScopeGuard([this] { m_draining = false; });
    QSqlDatabase queue = QSqlDatabase::database(m_queueConnection, false);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlError error;
    int batchSize = 200;
    for (;;) {
        QSqlQuery read;
        if (!run(queue, QStringLiteral("SELECT seq, kind, data FROM queue ORDER BY seq LIMIT ?"), {batchSize}, &error,
                 &read)) {
            fail(QStringLiteral("results are waiting: the queue %1 cannot be read (%2)").arg(m_path, describe(error)));
            return;
        }
        QList<QPair<qint64, Write>> items;
        QList<bool> readable;
        while (read.next()) {
            Write w;
            readable.append(QueuedWrite::decode(read.value(1).toInt(), read.value(2).toByteArray(), &w));
            items.append({read.value(0).toLongLong(), w});
        }
        read.finish();
        if (items.isEmpty())
            break;
        const qint64 last = items.last().first;
        QString why;
        bool ok = db.transaction();
        if (!ok)
            why = describe(db.lastError());
        for (qsizetype i = 0; ok && i < items.size(); ++i) {
            ok = readable.at(i) && apply(items.at(i).second, &why);
            if (!readable.at(i))
                why = QStringLiteral("a damaged entry in the queue");
        }
        ok = ok && run(db, QStringLiteral("UPDATE hosts SET applied = ? WHERE number = ?"), {last, m_hostNumber.load()},
                       &error);
        if (ok && !db.commit()) {
            ok = false;
            why = describe(db.lastError());
        } else if (!ok && why.isEmpty()) {
            why = describe(error);
        }
        if (!ok) {
            if (db.isOpen())
                db.rollback();
            if (items.size() > 1) {
                // One at a time, to find the one refused.
                batchSize = 1;
                continue;
            }
            QSqlQuery alive(db);
            if (!db.isOpen() || !alive.exec(QStringLiteral("SELECT 1"))) {
                lost(QStringLiteral("%1 cannot be reached (%2)").arg(m_database.describe(), why));
                return;
            }
            alive.finish();
            fail(QStringLiteral("a result was not kept: %1 (%2)").arg(QLatin1String(items.first().second.what()), why));
            if (!run(db, QStringLiteral("UPDATE hosts SET applied = ? WHERE number = ?"), {last, m_hostNumber.load()},
                     &error)) {
                lost(QStringLiteral("%1 cannot be written (%2)").arg(m_database.describe(), describe(error)));
                return;
            }
        }
        bool counted = false;
        if (!run(queue, QStringLiteral("DELETE FROM queue WHERE seq <= ?"), {last}, &error))
            qWarning("taruvo-host: the queue %s cannot be written (%s)", qPrintable(m_path), qPrintable(describe(error)));
        m_waiting = one(queue, QStringLiteral("SELECT COUNT(*) FROM queue"), {}, &error, &counted).toInt();
    }
    bool waits = false;
    {
        QMutexLocker lock(&m_problemLock);
        waits = m_problemWaits;
    }
    if (waits)
        setProblem(QString(), false);
}

// The statements of one write, inside the caller's transaction for
// PostgreSQL, in one of their own for SQLite; false with *why.
bool ResultsStore::apply(const QueuedWrite &w, QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        *why = QStringLiteral("the database is not open");
        return false;
    }
    if (!w.isWellFormed()) {
        *why = QStringLiteral("a write of unknown form");
        return false;
    }
    const bool own = !isShared();
    if (own && !db.transaction()) {
        *why = describe(db.lastError());
        return false;
    }
    const QVariantList &v = w.values;
    QSqlError e;
    bool ok = true;
    switch (QueuedWrite::Kind(w.kind)) {
    case QueuedWrite::AddClassGame:
        ok = run(db,
                 QStringLiteral("INSERT INTO class_games (id, name, word_list, time_limit, answer_limit, created_at,"
                                " closed_at, host) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 v, &e);
        break;
    case QueuedWrite::CloseClassGame:
        ok = run(db, QStringLiteral("UPDATE class_games SET closed_at = ? WHERE id = ? AND closed_at IS NULL"),
                 {v[1], v[0]}, &e);
        break;
    case QueuedWrite::AddChild:
        ok = run(db, QStringLiteral("INSERT INTO children (id, class_game_id, name) VALUES (?, ?, ?)"),
                 {v[1], v[0], v[2]}, &e);
        break;
    case QueuedWrite::ForgetChild:
        ok = run(db,
                 QStringLiteral("DELETE FROM children WHERE id = ? AND NOT EXISTS"
                                " (SELECT 1 FROM players WHERE child_id = ?)"),
                 {v[0], v[0]}, &e);
        break;
    case QueuedWrite::StartGame: {
        const qint64 gameId = v[0].toLongLong();
        ok = run(db,
                 QStringLiteral("INSERT INTO games (id, class_game_id, round, state, started_at, host)"
                                " VALUES (?, ?, ?, ?, ?, ?)"),
                 {gameId, v[1], v[2], QStringLiteral("running"), v[5], v[6]}, &e);
        const QVariantList children = v[3].toList();
        for (qsizetype i = 0; ok && i < children.size(); ++i) {
            ok = run(db,
                     QStringLiteral("INSERT INTO players (game_id, player, child_id, score, wrong_tries) VALUES (?, ?, ?, 0, 0)"),
                     {gameId, int(i + 1), children.at(i)}, &e);
        }
        const QStringList dealt = v[4].toStringList();
        for (qsizetype i = 0; ok && i < dealt.size(); ++i) {
            ok = run(db, QStringLiteral("INSERT INTO game_words (game_id, position, word) VALUES (?, ?, ?)"),
                     {gameId, int(i), dealt.at(i)}, &e);
        }
        break;
    }
    case QueuedWrite::RecordAnswer:
        // id, game, player, child, word, correct, reason, score, wrong tries, time
        ok = run(db,
                 QStringLiteral("INSERT INTO answers (id, game_id, child_id, word, correct, answered_at, reason)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?)"),
                 {v[0], v[1], v[3], v[4], v[5], v[9], v[6]}, &e)
             && run(db, QStringLiteral("UPDATE players SET score = ?, wrong_tries = ? WHERE game_id = ? AND player = ?"),
                    {v[7], v[8], v[1], v[2]}, &e);
        break;
    case QueuedWrite::FinishGame: {
        ok = run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE id = ?"),
                 {QStringLiteral("finished"), v[1], v[0]}, &e);
        const QVariantList players = v[2].toList();
        for (qsizetype i = 0; ok && i < players.size(); ++i) {
            const QVariantList p = players.at(i).toList();
            ok = run(db,
                     QStringLiteral("UPDATE players SET score = ?, wrong_tries = ?, outcome = ? WHERE game_id = ? AND player = ?"),
                     {p.value(0), p.value(1), p.value(2), v[0], int(i + 1)}, &e);
        }
        break;
    }
    case QueuedWrite::InterruptGame:
        ok = run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE id = ? AND state = ?"),
                 {QStringLiteral("interrupted"), v[1], v[0], QStringLiteral("running")}, &e);
        break;
    case QueuedWrite::DeleteClassGame: {
        const QString games = QStringLiteral("SELECT id FROM games WHERE class_game_id = ?");
        ok = run(db, QStringLiteral("DELETE FROM answers WHERE game_id IN (%1)").arg(games), v, &e)
             && run(db, QStringLiteral("DELETE FROM game_words WHERE game_id IN (%1)").arg(games), v, &e)
             && run(db, QStringLiteral("DELETE FROM players WHERE game_id IN (%1)").arg(games), v, &e)
             && run(db, QStringLiteral("DELETE FROM games WHERE class_game_id = ?"), v, &e)
             && run(db, QStringLiteral("DELETE FROM children WHERE class_game_id = ?"), v, &e)
             && run(db, QStringLiteral("DELETE FROM class_games WHERE id = ?"), v, &e);
        break;
    }
    case QueuedWrite::Reopen: {
        // What was running on this host when it stopped: kept, and marked.
        const QVariant counted = one(db, QStringLiteral("SELECT COUNT(*) FROM games WHERE state = ? AND host = ?"),
                                     {QStringLiteral("running"), v[0]}, &e, &ok);
        if (ok)
            m_interruptedAtOpen = counted.toInt();
        ok = ok
             && run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE state = ? AND host = ?"),
                    {QStringLiteral("interrupted"), v[1], QStringLiteral("running"), v[0]}, &e)
             && run(db, QStringLiteral("UPDATE class_games SET closed_at = ? WHERE closed_at IS NULL AND host = ?"),
                    {v[1], v[0]}, &e);
        break;
    }
    case QueuedWrite::Kinds:
        ok = false;
        break;
    }
    if (own && ok && !db.commit()) {
        ok = false;
        e = db.lastError();
    }
    if (!ok) {
        *why = describe(e.isValid() ? e : db.lastError());
        if (own)
            db.rollback();
    }
    return ok;
}

void ResultsStore::addClassGame(const ClassGameRecord &r)
{
    write({QueuedWrite::AddClassGame,
           {r.id, r.name, r.listName, r.timeLimitSeconds, r.answerLimit, timeText(r.created),
            textOrNull(r.closed.isValid() ? timeText(r.closed) : QString()), m_hostNumber.load()}});
}

void ResultsStore::closeClassGame(qint64 id)
{
    write({QueuedWrite::CloseClassGame, {id, now()}});
}

void ResultsStore::addChild(qint64 classGameId, qint64 childId, const QString &name)
{
    write({QueuedWrite::AddChild, {classGameId, childId, name}});
}

void ResultsStore::forgetChild(qint64 childId)
{
    write({QueuedWrite::ForgetChild, {childId}});
}

void ResultsStore::startGame(qint64 gameId, qint64 classGameId, int round, const QList<qint64> &children,
                             const QStringList &dealt)
{
    QVariantList ids;
    for (qint64 c : children)
        ids.append(c);
    write({QueuedWrite::StartGame, {gameId, classGameId, round, ids, dealt, now(), m_hostNumber.load()}});
}

void ResultsStore::recordAnswer(qint64 gameId, int player, qint64 childId, const QString &word,
                                Judgement::Outcome outcome, int score, int wrongTries)
{
    const qint64 id = newId(Kind::Answer);
    const bool correct = outcome == Judgement::Correct;
    const QVariant reason = correct ? textOrNull(QString()) : QVariant(QString::fromLatin1(reasonText(outcome)));
    write({QueuedWrite::RecordAnswer, {id, gameId, player, childId, word, correct ? 1 : 0, reason, score, wrongTries, now()}});
}

void ResultsStore::finishGame(qint64 gameId, const QList<PlayerEnd> &players)
{
    QVariantList ends;
    for (const PlayerEnd &p : players)
        ends.append(QVariant(QVariantList{p.score, p.wrongTries, p.outcome}));
    write({QueuedWrite::FinishGame, {gameId, now(), ends}});
}

void ResultsStore::interruptGame(qint64 gameId)
{
    write({QueuedWrite::InterruptGame, {gameId, now()}});
}

void ResultsStore::deleteClassGame(qint64 id)
{
    write({QueuedWrite::DeleteClassGame, {id}});
}

QFuture<QList<ClassGameRecord>> ResultsStore::classGames()
{
    auto promise = std::make_shared<QPromise<QList<ClassGameRecord>>>();
    QFuture<QList<ClassGameRecord>> future = promise->future();
    promise->start();
    post([this, promise] {
        QList<ClassGameRecord> out;
        beforeRead();
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        // An older database read as it is has no hosts or routes.
        const QString host = m_schema >= 3 ? QStringLiteral("g.host") : QStringLiteral("0");
        const QString route = m_schema >= 4 ? QStringLiteral("(SELECT h.route FROM hosts h WHERE h.number = g.host)")
                                            : QStringLiteral("0");
        if (db.isOpen()
            && q.exec(QStringLiteral(
                          "SELECT g.id, g.name, g.word_list, g.time_limit, g.answer_limit, g.created_at, g.closed_at,"
                          " (SELECT COUNT(*) FROM children c WHERE c.class_game_id = g.id),"
                          " (SELECT COUNT(*) FROM games m WHERE m.class_game_id = g.id), %1, %2"
                          " FROM class_games g ORDER BY g.id DESC LIMIT 500")
                          .arg(host, route))) {
            while (q.next()) {
                ClassGameRecord r;
                r.id = q.value(0).toLongLong();
                r.name = q.value(1).toString();
                r.listName = q.value(2).toString();
                r.timeLimitSeconds = q.value(3).toInt();
                r.answerLimit = q.value(4).toInt();
                r.created = timeOf(q.value(5));
                r.closed = timeOf(q.value(6));
                r.children = q.value(7).toInt();
                r.games = q.value(8).toInt();
                r.host = q.value(9).toInt();
                r.route = q.value(10).toInt();
                out.append(r);
            }
        }
        afterRead();
        promise->addResult(out);
        promise->finish();
    });
    return future;
}

QFuture<ClassResults> ResultsStore::results(qint64 classGameId)
{
    auto promise = std::make_shared<QPromise<ClassResults>>();
    QFuture<ClassResults> future = promise->future();
    promise->start();
    post([this, promise, classGameId] {
        ClassResults out;
        beforeRead();
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        QSqlQuery q(db);
        if (db.isOpen()
            && run(db,
                   QStringLiteral("SELECT id, name, word_list, time_limit, answer_limit, created_at, closed_at"
                                  " FROM class_games WHERE id = ?"),
                   {classGameId}, &e, &q)
            && q.next()) {
            out.found = true;
            ClassGameRecord &r = out.game;
            r.id = q.value(0).toLongLong();
            r.name = q.value(1).toString();
            r.listName = q.value(2).toString();
            r.timeLimitSeconds = q.value(3).toInt();
            r.answerLimit = q.value(4).toInt();
            r.created = timeOf(q.value(5));
            r.closed = timeOf(q.value(6));
        }
        if (out.found && run(db, QStringLiteral("SELECT name FROM children WHERE class_game_id = ? ORDER BY id"),
                             {classGameId}, &e, &q)) {
            while (q.next())
                out.children.append(q.value(0).toString());
            out.game.children = int(out.children.size());
        }
        if (out.found
            && run(db,
                   QStringLiteral("SELECT g.id, g.round, g.state, p.player, p.child_id, c.name, p.score, p.wrong_tries,"
                                  " p.outcome FROM games g JOIN players p ON p.game_id = g.id"
                                  " JOIN children c ON c.id = p.child_id WHERE g.class_game_id = ?"
                                  " ORDER BY g.round, g.id, p.player"),
                   {classGameId}, &e, &q)) {
            while (q.next()) {
                ChildResult r;
                r.gameId = q.value(0).toLongLong();
                r.round = q.value(1).toInt();
                r.state = q.value(2).toString();
                r.childId = q.value(4).toLongLong();
                r.name = q.value(5).toString();
                r.score = q.value(6).toInt();
                r.wrongTries = q.value(7).toInt();
                r.outcome = q.value(8).toString();
                // The partner is the other row of the same game.
                if (!out.rows.isEmpty() && out.rows.last().gameId == r.gameId) {
                    r.partner = out.rows.last().name;
                    out.rows.last().partner = r.name;
                }
                out.rows.append(r);
            }
        }
        if (out.found
            && run(db,
                   QStringLiteral("SELECT a.game_id, a.child_id, a.word FROM answers a JOIN games g ON g.id = a.game_id"
                                  " WHERE g.class_game_id = ? AND a.correct = 1 ORDER BY a.id"),
                   {classGameId}, &e, &q)) {
            while (q.next()) {
                const qint64 game = q.value(0).toLongLong(), child = q.value(1).toLongLong();
                for (ChildResult &r : out.rows) {
                    if (r.gameId == game && r.childId == child)
                        r.wordsFound.append(q.value(2).toString());
                }
            }
        }
        out.game.games = 0;
        for (qsizetype i = 0; i < out.rows.size(); ++i)
            out.game.games += i == 0 || out.rows.at(i).gameId != out.rows.at(i - 1).gameId;
        afterRead();
        promise->addResult(out);
        promise->finish();
    });
    return future;
}

QFuture<GameRecord> ResultsStore::game(qint64 gameId)
{
    auto promise = std::make_shared<QPromise<GameRecord>>();
    QFuture<GameRecord> future = promise->future();
    promise->start();
    post([this, promise, gameId] {
        GameRecord out;
        beforeRead();
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        QSqlQuery q(db);
        if (db.isOpen()
            && run(db,
                   QStringLiteral("SELECT g.class_game_id, c.name, g.round, g.state FROM games g"
                                  " JOIN class_games c ON c.id = g.class_game_id WHERE g.id = ?"),
                   {gameId}, &e, &q)
            && q.next()) {
            out.found = true;
            out.id = gameId;
            out.classGameId = q.value(0).toLongLong();
            out.className = q.value(1).toString();
            out.round = q.value(2).toInt();
            out.state = q.value(3).toString();
        }
        if (out.found && m_schema >= 2
            && run(db, QStringLiteral("SELECT word FROM game_words WHERE game_id = ? ORDER BY position"), {gameId}, &e,
                   &q)) {
            while (q.next() && out.dealt.size() < Rules::WordsPerGame)
                out.dealt.append(q.value(0).toString());
        }
        if (out.found
            && run(db,
                   QStringLiteral("SELECT p.child_id, c.name, p.score, p.wrong_tries, p.outcome FROM players p"
                                  " JOIN children c ON c.id = p.child_id WHERE p.game_id = ? ORDER BY p.player"),
                   {gameId}, &e, &q)) {
            while (q.next() && out.players.size() < Rules::Players) {
                GameRecord::Player p;
                p.childId = q.value(0).toLongLong();
                p.name = q.value(1).toString();
                p.score = q.value(2).toInt();
                p.wrongTries = q.value(3).toInt();
                p.outcome = q.value(4).toString();
                out.players.append(p);
            }
        }
        const QString reason = m_schema >= 2 ? QStringLiteral("reason") : QStringLiteral("NULL");
        if (out.found
            && run(db,
                   QStringLiteral("SELECT child_id, word, correct, %1 FROM answers WHERE game_id = ? ORDER BY id")
                       .arg(reason),
                   {gameId}, &e, &q)) {
            while (q.next()) {
                const qint64 child = q.value(0).toLongLong();
                for (GameRecord::Player &p : out.players) {
                    if (p.childId != child || p.answers.size() >= GameRecord::MaxAnswers)
                        continue;
                    GameRecord::Answer a;
                    a.word = q.value(1).toString();
                    const QString why = q.value(3).toString();
                    a.outcome = q.value(2).toInt() ? Judgement::Correct
                                : why == QLatin1String("noCharacter") ? Judgement::NoCharacter
                                                                        : Judgement::NoWord;
                    a.reasonKnown = a.outcome == Judgement::Correct || why == QLatin1String("noWord")
                                    || why == QLatin1String("noCharacter");
                    p.answers.append(a);
                }
            }
        }
        afterRead();
        promise->addResult(out);
        promise->finish();
    });
    return future;
}

QFuture<HostBeatResult> ResultsStore::beat(const QList<QPair<QString, qint64>> &revoke, qint64 silentMs)
{
    auto promise = std::make_shared<QPromise<HostBeatResult>>();
    QFuture<HostBeatResult> future = promise->future();
    promise->start();
    post([this, promise, revoke, silentMs] {
        HostBeatResult out;
        const auto finish = qScopeGuard([&] {
            promise->addResult(out);
            promise->finish();
        });
        if (!isShared())
            return;
        beforeRead();
        const int me = m_hostNumber.load();
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (!m_reached || me < 0 || !db.isOpen())
            return;
        const qint64 wall = QDateTime::currentMSecsSinceEpoch();
        const qint64 steady =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
        QSqlError e;
        bool ok = run(db, QStringLiteral("UPDATE hosts SET beat = beat + 1, seen_at = ? WHERE number = ?"), {now(), me}, &e);
        for (qsizetype i = 0; ok && i < revoke.size(); ++i) {
            ok = run(db, QStringLiteral("DELETE FROM revoked_sessions WHERE id = ?"), {revoke.at(i).first}, &e)
                 && run(db, QStringLiteral("INSERT INTO revoked_sessions (id, until_ms) VALUES (?, ?)"),
                        {revoke.at(i).first, revoke.at(i).second}, &e);
        }
        ok = ok && run(db, QStringLiteral("DELETE FROM revoked_sessions WHERE until_ms < ?"), {wall}, &e);
        QSqlQuery q;
        if (ok && (ok = run(db, QStringLiteral("SELECT id, until_ms FROM revoked_sessions ORDER BY until_ms DESC LIMIT 10000"),
                            {}, &e, &q))) {
            while (q.next())
                out.revoked.append({q.value(0).toString(), q.value(1).toLongLong()});
            q.finish();
        }
        // Silence is heard only while this host hears: after a gap in its
        // own beats (the database away, the thread busy) every host is
        // given a fresh start, lest all be taken for silent at once. The
        // others were away as well and may come back a retry and a
        // connection later than this one did; a host heard as new in this
        // beat (it beat after this one last looked) gets the same start.
        if (m_lastBeatMs == 0 || steady - m_lastBeatMs > silentMs / 2) {
            const qint64 back =
                m_lastBeatMs == 0 ? 0 : m_database.retryMilliseconds + 1000LL * qMax(1, m_database.connectSeconds);
            m_freshFromMs = steady + back;
            for (Heard &heard : m_heard)
                heard.sinceMs = m_freshFromMs;
        }
        QList<std::tuple<int, QString, qint64>> others;
        if (ok && (ok = run(db, QStringLiteral("SELECT number, name, beat FROM hosts WHERE number <> ?"), {me}, &e, &q))) {
            while (q.next())
                others.append({q.value(0).toInt(), q.value(1).toString(), q.value(2).toLongLong()});
            q.finish();
        }
        for (qsizetype i = 0; ok && i < others.size(); ++i) {
            const auto &[number, name, count] = others.at(i);
            Heard &heard = m_heard[number];
            if (heard.beat != count) {
                heard = Heard{count, qMax(steady, m_freshFromMs), false};
                continue;
            }
            if (heard.handled || steady - heard.sinceMs < silentMs)
                continue;
            // Silent: its games end here as they would had it stopped
            // cleanly; its results so far stay. Another survivor doing the
            // same at once changes nothing more.
            // Counted by what the update changed: of two survivors at once,
            // the second waits for the first and finds nothing left.
            QSqlQuery marked;
            ok = run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE state = ? AND host = ?"),
                     {QStringLiteral("interrupted"), now(), QStringLiteral("running"), number}, &e, &marked);
            const int running = ok ? qMax(0, marked.numRowsAffected()) : 0;
            marked.finish();
            ok = ok
                 && run(db, QStringLiteral("UPDATE class_games SET closed_at = ? WHERE closed_at IS NULL AND host = ?"),
                        {now(), number}, &e);
            if (ok) {
                heard.handled = true;
                if (running > 0) {
                    out.interrupted += running;
                    out.silentHosts.append(name);
                }
            }
        }
        const QVariant open = ok ? one(db, QStringLiteral("SELECT COUNT(*) FROM class_games WHERE closed_at IS NULL AND host <> ?"),
                                       {me}, &e, &ok)
                                 : QVariant();
        if (!ok) {
            QSqlQuery alive(db);
            if (!alive.exec(QStringLiteral("SELECT 1")))
                lost(QStringLiteral("%1 cannot be reached (%2)").arg(m_database.describe(), describe(e)));
            else
                qWarning("taruvo-host: the heartbeat in %s failed (%s)", qPrintable(m_database.describe()),
                         qPrintable(describe(e)));
            out = HostBeatResult{};
            return;
        }
        out.openElsewhere = open.toInt();
        out.reached = true;
        m_lastBeatMs = steady;
    });
    return future;
}

void ResultsStore::flush()
{
    auto done = std::make_shared<QPromise<void>>();
    QFuture<void> future = done->future();
    done->start();
    post([this, done] {
        if (!m_pending.isEmpty())
            commitQueue();
        done->finish();
    });
    future.waitForFinished();
}
