// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultsstore.h"

#include "common/rules.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <functional>
#include <memory>

// The SQL is kept to what SQLite and PostgreSQL both read: explicit ids,
// times as ISO 8601 text in UTC, no upserts, no engine-only types. Only
// connectionSettings() speaks to SQLite alone.

namespace {

// SQLite's result codes for a file that is not, or no longer, a database.
const QStringList DamagedCodes = {QStringLiteral("11"), QStringLiteral("26")};

// The schema of version 1. A new file is made with it and then taken
// through every migration, so that an old file goes the way every new one
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

// Migrations[i] takes a file from version i + 1 to i + 2.
const QList<QList<const char *>> Migrations = {
    // 2: each game's dealt words, and why a try was wrong (NULL for right
    // answers and for tries kept before), for the games' reviews.
    {"CREATE TABLE game_words (game_id BIGINT NOT NULL REFERENCES games (id), position INTEGER NOT NULL,"
     " word VARCHAR(40) NOT NULL, PRIMARY KEY (game_id, position))",
     "ALTER TABLE answers ADD COLUMN reason VARCHAR(20)"},
};

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
    QSqlQuery q(db);
    q.setForwardOnly(true);
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

QString describe(const QSqlError &error)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.driverText();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

bool damaged(const QSqlError &error)
{
    return DamagedCodes.contains(error.nativeErrorCode());
}

} // namespace

ResultsStore::ResultsStore(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_connection(QStringLiteral("taruvo-results-%1").arg(quintptr(this), 0, 16))
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
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
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

void ResultsStore::fail(const QString &problem)
{
    {
        QMutexLocker lock(&m_problemLock);
        if (m_problem == problem)
            return;
        m_problem = problem;
    }
    qWarning("taruvo-host: %s", qPrintable(problem));
    emit problemChanged(problem);
}

qint64 ResultsStore::newId(Kind kind)
{
    return m_next[int(kind)]++;
}

void ResultsStore::open()
{
    const auto connect = [this]() {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        return db;
    };
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        fail(QStringLiteral("results are not kept: Qt's SQLite driver is missing (Debian package libqt6sql6-sqlite)"));
        return;
    }
    QSqlDatabase db = connect();
    QSqlError error;

    // Settings first: a damaged file shows itself on the first read.
    auto settle = [&]() -> bool {
        if (!db.open()) {
            error = db.lastError();
            return false;
        }
        // SQLite only: write-ahead log, every commit synced to disk, and a
        // writer that finds the file busy waits a moment rather than fails.
        for (const char *pragma : {"PRAGMA busy_timeout = 5000", "PRAGMA synchronous = FULL",
                                   "PRAGMA foreign_keys = ON"}) {
            if (!run(db, QString::fromLatin1(pragma), {}, &error))
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
            m_journal = wal.value(0).toString();
        return true;
    };

    if (!settle() && damaged(error)) {
        db.close();
        const QString aside = m_path + QStringLiteral(".damaged-")
                              + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        bool moved = QFile::rename(m_path, aside);
        for (const char *suffix : {"-wal", "-shm"}) {
            if (QFile::exists(m_path + QLatin1String(suffix)))
                moved = QFile::rename(m_path + QLatin1String(suffix), aside + QLatin1String(suffix)) && moved;
        }
        if (!moved) {
            fail(QStringLiteral("results are not kept: %1 is damaged (%2) and cannot be moved aside")
                     .arg(m_path, describe(error)));
            return;
        }
        m_notice = QStringLiteral("%1 was damaged (%2); it was moved to %3 and a new database made")
                       .arg(m_path, describe(error), aside);
        qWarning("taruvo-host: %s", qPrintable(m_notice));
        error = QSqlError();
        settle();
    }
    if (error.isValid()) {
        fail(QStringLiteral("results are not kept: %1 cannot be opened (%2)").arg(m_path, describe(error)));
        return;
    }

    // The schema: made on a new file, checked on an old one.
    QSqlQuery version(db);
    int found = 0;
    if (version.exec(QStringLiteral("SELECT version FROM schema_version")) && version.next()) {
        found = version.value(0).toInt();
    } else if (db.tables().contains(QStringLiteral("schema_version"))) {
        fail(QStringLiteral("results are not kept: %1 has no schema version").arg(m_path));
        return;
    }
    m_schema = found;
    if (found > SchemaVersion) {
        fail(QStringLiteral("results are not kept: %1 was made by a newer Taruvo (schema %2, this one knows %3)")
                 .arg(m_path)
                 .arg(found)
                 .arg(SchemaVersion));
        return;
    }
    // A new file gets version 1, then every file what it lacks, each step
    // in a transaction of its own.
    for (int from = found; from < SchemaVersion; ++from) {
        if (!db.transaction()) {
            fail(QStringLiteral("results are not kept: %1 cannot be written (%2)").arg(m_path, describe(db.lastError())));
            return;
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
            fail(found == 0 ? QStringLiteral("results are not kept: %1 cannot be written (%2)").arg(m_path, describe(error))
                            : QStringLiteral("results are not kept: %1 cannot be brought from schema %2 to %3 (%4)")
                                  .arg(m_path)
                                  .arg(found)
                                  .arg(SchemaVersion)
                                  .arg(describe(error)));
            return;
        }
        m_schema = from + 1;
    }

    for (int k = 0; k < 4; ++k) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("SELECT MAX(id) FROM %1").arg(QLatin1String(IdTables[k]))) && q.next())
            m_next[k] = q.value(0).toLongLong() + 1;
    }

    // What was running when the host stopped: kept, and marked.
    const QString at = now();
    bool ok = db.transaction();
    QSqlQuery counted(db);
    ok = ok && run(db, QStringLiteral("SELECT COUNT(*) FROM games WHERE state = ?"), {QStringLiteral("running")}, &error,
                   &counted);
    if (ok && counted.next())
        m_interruptedAtOpen = counted.value(0).toInt();
    counted.finish();
    ok = ok && run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE state = ?"),
                   {QStringLiteral("interrupted"), at, QStringLiteral("running")}, &error);
    ok = ok && run(db, QStringLiteral("UPDATE class_games SET closed_at = ? WHERE closed_at IS NULL"), {at}, &error);
    if (!ok || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        m_interruptedAtOpen = 0;
        fail(QStringLiteral("results are not kept: %1 cannot be written (%2)").arg(m_path, describe(error)));
        return;
    }
    if (m_interruptedAtOpen > 0) {
        const QString marked = QStringLiteral("%1 game(s) that were running when the host stopped are marked interrupted")
                                   .arg(m_interruptedAtOpen);
        m_notice = m_notice.isEmpty() ? marked : m_notice + QStringLiteral("; ") + marked;
    }
    if (m_journal.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        qWarning("taruvo-host: %s is not write-ahead logged (journal mode %s)", qPrintable(m_path), qPrintable(m_journal));
    m_writable = true;
}

void ResultsStore::write(const char *what, const std::function<bool()> &transaction)
{
    if (!m_writable.load())
        return;
    post([this, what, transaction] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (!db.isOpen())
            return;
        if (!db.transaction()) {
            fail(QStringLiteral("results are not kept: %1 (%2)").arg(QLatin1String(what), describe(db.lastError())));
            return;
        }
        if (!transaction() || !db.commit()) {
            const QSqlError error = db.lastError();
            db.rollback();
            fail(QStringLiteral("a result was not kept: %1 (%2)").arg(QLatin1String(what), describe(error)));
        }
    });
}

void ResultsStore::addClassGame(const ClassGameRecord &r)
{
    write("a new class game", [this, r] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db,
                   QStringLiteral("INSERT INTO class_games (id, name, word_list, time_limit, answer_limit, created_at,"
                                  " closed_at) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {r.id, r.name, r.listName, r.timeLimitSeconds, r.answerLimit, timeText(r.created),
                    textOrNull(r.closed.isValid() ? timeText(r.closed) : QString())},
                   &e);
    });
}

void ResultsStore::closeClassGame(qint64 id)
{
    const QString at = now();
    write("the end of a class game", [this, id, at] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db, QStringLiteral("UPDATE class_games SET closed_at = ? WHERE id = ? AND closed_at IS NULL"),
                   {at, id}, &e);
    });
}

void ResultsStore::addChild(qint64 classGameId, qint64 childId, const QString &name)
{
    write("a child's name", [this, classGameId, childId, name] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db, QStringLiteral("INSERT INTO children (id, class_game_id, name) VALUES (?, ?, ?)"),
                   {childId, classGameId, name}, &e);
    });
}

void ResultsStore::forgetChild(qint64 childId)
{
    write("taking a child out", [this, childId] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db,
                   QStringLiteral("DELETE FROM children WHERE id = ? AND NOT EXISTS"
                                  " (SELECT 1 FROM players WHERE child_id = ?)"),
                   {childId, childId}, &e);
    });
}

void ResultsStore::startGame(qint64 gameId, qint64 classGameId, int round, const QList<qint64> &children,
                             const QStringList &dealt)
{
    const QString at = now();
    write("the start of a game", [this, gameId, classGameId, round, children, dealt, at] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        bool ok = run(db,
                      QStringLiteral("INSERT INTO games (id, class_game_id, round, state, started_at) VALUES (?, ?, ?, ?, ?)"),
                      {gameId, classGameId, round, QStringLiteral("running"), at}, &e);
        for (qsizetype i = 0; ok && i < children.size(); ++i) {
            ok = run(db,
                     QStringLiteral("INSERT INTO players (game_id, player, child_id, score, wrong_tries) VALUES (?, ?, ?, 0, 0)"),
                     {gameId, int(i + 1), children.at(i)}, &e);
        }
        for (qsizetype i = 0; ok && i < dealt.size(); ++i) {
            ok = run(db, QStringLiteral("INSERT INTO game_words (game_id, position, word) VALUES (?, ?, ?)"),
                     {gameId, int(i), dealt.at(i)}, &e);
        }
        return ok;
    });
}

void ResultsStore::recordAnswer(qint64 gameId, int player, qint64 childId, const QString &word,
                                Judgement::Outcome outcome, int score, int wrongTries)
{
    const QString at = now();
    const qint64 id = newId(Kind::Answer);
    const bool correct = outcome == Judgement::Correct;
    const QVariant reason = correct ? textOrNull(QString()) : QVariant(QString::fromLatin1(reasonText(outcome)));
    write("an answer", [this, id, gameId, player, childId, word, correct, reason, score, wrongTries, at] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db,
                   QStringLiteral("INSERT INTO answers (id, game_id, child_id, word, correct, answered_at, reason)"
                                  " VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {id, gameId, childId, word, correct ? 1 : 0, at, reason}, &e)
               && run(db, QStringLiteral("UPDATE players SET score = ?, wrong_tries = ? WHERE game_id = ? AND player = ?"),
                      {score, wrongTries, gameId, player}, &e);
    });
}

void ResultsStore::finishGame(qint64 gameId, const QList<PlayerEnd> &players)
{
    const QString at = now();
    write("the end of a game", [this, gameId, players, at] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        bool ok = run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE id = ?"),
                      {QStringLiteral("finished"), at, gameId}, &e);
        for (qsizetype i = 0; ok && i < players.size(); ++i) {
            const PlayerEnd &p = players.at(i);
            ok = run(db,
                     QStringLiteral("UPDATE players SET score = ?, wrong_tries = ?, outcome = ? WHERE game_id = ? AND player = ?"),
                     {p.score, p.wrongTries, p.outcome, gameId, int(i + 1)}, &e);
        }
        return ok;
    });
}

void ResultsStore::interruptGame(qint64 gameId)
{
    const QString at = now();
    write("a game interrupted", [this, gameId, at] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        return run(db, QStringLiteral("UPDATE games SET state = ?, ended_at = ? WHERE id = ? AND state = ?"),
                   {QStringLiteral("interrupted"), at, gameId, QStringLiteral("running")}, &e);
    });
}

void ResultsStore::deleteClassGame(qint64 id)
{
    write("deleting a class game", [this, id] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlError e;
        const QString games = QStringLiteral("SELECT id FROM games WHERE class_game_id = ?");
        return run(db, QStringLiteral("DELETE FROM answers WHERE game_id IN (%1)").arg(games), {id}, &e)
               && run(db, QStringLiteral("DELETE FROM game_words WHERE game_id IN (%1)").arg(games), {id}, &e)
               && run(db, QStringLiteral("DELETE FROM players WHERE game_id IN (%1)").arg(games), {id}, &e)
               && run(db, QStringLiteral("DELETE FROM games WHERE class_game_id = ?"), {id}, &e)
               && run(db, QStringLiteral("DELETE FROM children WHERE class_game_id = ?"), {id}, &e)
               && run(db, QStringLiteral("DELETE FROM class_games WHERE id = ?"), {id}, &e);
    });
}

QFuture<QList<ClassGameRecord>> ResultsStore::classGames()
{
    auto promise = std::make_shared<QPromise<QList<ClassGameRecord>>>();
    QFuture<QList<ClassGameRecord>> future = promise->future();
    promise->start();
    post([this, promise] {
        QList<ClassGameRecord> out;
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (db.isOpen()
            && q.exec(QStringLiteral(
                "SELECT g.id, g.name, g.word_list, g.time_limit, g.answer_limit, g.created_at, g.closed_at,"
                " (SELECT COUNT(*) FROM children c WHERE c.class_game_id = g.id),"
                " (SELECT COUNT(*) FROM games m WHERE m.class_game_id = g.id)"
                " FROM class_games g ORDER BY g.id DESC LIMIT 500"))) {
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
                out.append(r);
            }
        }
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
        promise->addResult(out);
        promise->finish();
    });
    return future;
}

void ResultsStore::flush()
{
    auto done = std::make_shared<QPromise<void>>();
    QFuture<void> future = done->future();
    done->start();
    post([done] { done->finish(); });
    future.waitForFinished();
}
