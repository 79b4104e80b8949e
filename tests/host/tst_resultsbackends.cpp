// SPDX-License-Identifier: GPL-3.0-or-later
// The results on SQLite and on a real PostgreSQL server of the test's own:
// the same rows read back from both, the same migrations; on PostgreSQL a
// database stopped mid-game or a host killed with writes queued loses
// nothing and writes nothing twice, and hosts sharing one database keep
// their own rows and read each other's.
#include "engine/recognitionqueue.h"
#include "fakes/classfakes.h"
#include "fakes/postgresserver.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classmatch.h"
#include "host/hostbeat.h"
#include "host/resultsstore.h"
#include "host/teacherkey.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <memory>

using namespace ClassFakes;

namespace {

ClassGameRecord record(qint64 id, const QString &name)
{
    ClassGameRecord r;
    r.id = id;
    r.name = name;
    r.listName = "list.txt";
    r.timeLimitSeconds = 60;
    r.answerLimit = 5;
    r.created = QDateTime::currentDateTimeUtc();
    return r;
}

// A class game on s with one game of one child and its right answer 今日:
// its id into *cls, the game's into *game.
void oneAnsweredGame(ResultsStore *s, int n, qint64 *cls, qint64 *game)
{
    *cls = s->newId(ResultsStore::Kind::ClassGame);
    const qint64 child = s->newId(ResultsStore::Kind::Child);
    *game = s->newId(ResultsStore::Kind::Game);
    s->addClassGame(record(*cls, QStringLiteral("class %1").arg(n)));
    s->addChild(*cls, child, "c");
    s->startGame(*game, *cls, 1, {child}, eighteen);
    s->recordAnswer(*game, 1, child, "今日", Judgement::Correct, 1, 0);
    s->flush();
}

ClassSettings settings(const QString &name)
{
    ClassSettings s;
    s.name = name;
    s.listName = "list.txt";
    s.answerLimitOn = false;
    return s;
}

// Helper process: a class game on PostgreSQL through the queue at queue,
// printing "judged N" once the N-th answer is queued, until killed.
int queueUntilKilled(const QStringList &args)
{
    ResultsDatabase d;
    d.server = args[0];
    d.port = PostgresServer::Port;
    d.name = args[1];
    d.hostName = "killed";
    d.connectSeconds = 1;
    CountingRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    ResultsStore store(args[2], d);
    if (!store.isWritable())
        return 2;
    ClassHost host(&store, {&queue}, HostLimits{});
    WordList w;
    w.load(eighteen);
    QString why;
    ClassGame *game = host.create(settings("killed"), w, &why);
    qint64 a = 0, b = 0;
    game->join("a", &a, &why);
    game->join("b", &b, &why);
    game->startAll(false, &why);
    for (int n = 1;; ++n) {
        if (!answer(*game->seatOf(n % 2 ? a : b), n == 1 ? 1 : 2, n == 1 ? 2 : 1))
            return 1;
        store.flush();
        std::printf("judged %d\n", n);
        std::fflush(stdout);
    }
}

} // namespace

class TestResultsBackends : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void theSameRowsAreReadBack_data();
    void theSameRowsAreReadBack();
    void aSchemaOneDatabaseIsBroughtUpToDate_data();
    void aSchemaOneDatabaseIsBroughtUpToDate();
    void theDatabaseStoppedMidGameLosesNothing();
    void aKilledHostWithWritesQueuedLosesNothing();
    void aWriteAlreadyInIsNotWrittenTwice();
    void aDamagedEntryInTheQueueIsSaidAndSkipped();
    void aDatabaseThatRefusesIsSaidAndTriedAgain();
    void twoHostsShareOneDatabase();
    void aSilentHostsGamesAreMarkedByTheLiving();

private:
    // A store of the backend on this test's own database (PostgreSQL) or
    // file (SQLite), as host.
    std::unique_ptr<ResultsStore> store(bool postgres, const QString &host = "a");
    int count(bool postgres, const QString &sql);
    bool exec(bool postgres, const QStringList &statements);

    PostgresServer m_server;
    QTemporaryDir m_dir;
    QString m_database;
    int m_tests = 0;
};

void TestResultsBackends::initTestCase()
{
    QString why;
    QVERIFY2(m_server.make(&why), qPrintable(why));
}

void TestResultsBackends::init()
{
    // A database and a folder of their own for each test.
    m_database = QStringLiteral("t%1").arg(++m_tests);
    QString why;
    QVERIFY2(m_server.createDatabase(m_database, &why), qPrintable(why));
    QVERIFY(QDir(m_dir.path()).mkpath(m_database));
}

std::unique_ptr<ResultsStore> TestResultsBackends::store(bool postgres, const QString &host)
{
    const QString folder = m_dir.filePath(m_database);
    if (!postgres)
        return std::make_unique<ResultsStore>(folder + "/results.db");
    return std::make_unique<ResultsStore>(folder + "/queue-" + host + ".db", m_server.settings(m_database, host));
}

int TestResultsBackends::count(bool postgres, const QString &sql)
{
    int n = -1;
    {
        QSqlDatabase db = postgres ? m_server.connection(m_database, "check")
                                   : QSqlDatabase::addDatabase("QSQLITE", "check");
        if (!postgres)
            db.setDatabaseName(m_dir.filePath(m_database) + "/results.db");
        db.open();
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            n = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase("check");
    return n;
}

bool TestResultsBackends::exec(bool postgres, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = postgres ? m_server.connection(m_database, "exec")
                                   : QSqlDatabase::addDatabase("QSQLITE", "exec");
        if (!postgres)
            db.setDatabaseName(m_dir.filePath(m_database) + "/results.db");
        ok = db.open();
        QSqlQuery q(db);
        for (const QString &sql : statements) {
            if (ok && !q.exec(sql)) {
                qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase("exec");
    return ok;
}

void TestResultsBackends::theSameRowsAreReadBack_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("SQLite") << false;
    QTest::newRow("PostgreSQL") << true;
}

void TestResultsBackends::theSameRowsAreReadBack()
{
    QFETCH(bool, postgres);
    qint64 g = 0, game = 0, c1 = 0, c2 = 0;
    {
        auto s = store(postgres);
        QVERIFY2(s->isWritable(), qPrintable(s->problem()));
        QCOMPARE(s->hostNumber(), 0);
        g = s->newId(ResultsStore::Kind::ClassGame);
        c1 = s->newId(ResultsStore::Kind::Child);
        c2 = s->newId(ResultsStore::Kind::Child);
        game = s->newId(ResultsStore::Kind::Game);
        ClassGameRecord r = record(g, "2年1組 <b>'\"; DROP TABLE answers; --");
        s->addClassGame(r);
        s->addChild(g, c1, "たろう");
        s->addChild(g, c2, "O'Brien");
        s->startGame(game, g, 1, {c1, c2}, eighteen);
        s->recordAnswer(game, 1, c1, "今日", Judgement::Correct, 1, 0);
        s->recordAnswer(game, 2, c2, "日今", Judgement::NoWord, 0, 1);
        s->recordAnswer(game, 2, c2, "今日", Judgement::NoCharacter, 0, 2);
        s->finishGame(game, {{1, 0, "win"}, {0, 2, "lose"}});
        s->flush();
        QTRY_COMPARE_WITH_TIMEOUT(s->waiting(), 0, 10000);
        QVERIFY2(s->problem().isEmpty(), qPrintable(s->problem()));
    }
    auto s = store(postgres);
    QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    // Ids go on after the highest kept.
    QCOMPARE(s->newId(ResultsStore::Kind::Game), game + 1);
    QCOMPARE(s->newId(ResultsStore::Kind::Child), c2 + 1);
    const QList<ClassGameRecord> games = s->classGames().result();
    QCOMPARE(games.size(), 1);
    QCOMPARE(games[0].name, QString("2年1組 <b>'\"; DROP TABLE answers; --"));
    QCOMPARE(games[0].children, 2);
    QCOMPARE(games[0].games, 1);
    QCOMPARE(games[0].timeLimitSeconds, 60);
    QVERIFY(games[0].closed.isValid()); // left open: closed by the next start
    const ClassResults r = s->results(g).result();
    QVERIFY(r.found);
    QCOMPARE(r.children, QStringList({"たろう", "O'Brien"}));
    QCOMPARE(r.rows.size(), 2);
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(r.rows[0].outcome, QString("win"));
    QCOMPARE(r.rows[1].partner, QString("たろう"));
    QCOMPARE(r.rows[1].wrongTries, 2);
    QCOMPARE(r.rows[1].state, QString("finished"));
    const GameRecord kept = s->game(game).result();
    QVERIFY(kept.found);
    QCOMPARE(kept.dealt, eighteen);
    QCOMPARE(kept.players.size(), 2);
    QCOMPARE(kept.players[1].answers.size(), 2);
    QCOMPARE(kept.players[1].answers[0].outcome, Judgement::NoWord);
    QCOMPARE(kept.players[1].answers[1].outcome, Judgement::NoCharacter);
    QCOMPARE(count(postgres, "SELECT COUNT(*) FROM answers"), 3);
    QCOMPARE(count(postgres, "SELECT version FROM schema_version"), ResultsStore::SchemaVersion);
    // Deleting goes through the same way.
    s->deleteClassGame(g);
    s->flush();
    QTRY_COMPARE_WITH_TIMEOUT(s->waiting(), 0, 10000);
    QVERIFY(!s->results(g).result().found);
    QCOMPARE(count(postgres, "SELECT COUNT(*) FROM answers"), 0);
}

void TestResultsBackends::aSchemaOneDatabaseIsBroughtUpToDate_data()
{
    theSameRowsAreReadBack_data();
}

void TestResultsBackends::aSchemaOneDatabaseIsBroughtUpToDate()
{
    // A database the first host wrote, with a game that was running: the
    // same migrations on both bring it to today's schema, its rows kept as
    // the first host's, its running game marked interrupted.
    QFETCH(bool, postgres);
    QVERIFY(exec(postgres,
                 {"CREATE TABLE schema_version (version INTEGER NOT NULL)",
                  "CREATE TABLE class_games (id BIGINT PRIMARY KEY, name VARCHAR(200) NOT NULL,"
                  " word_list VARCHAR(200) NOT NULL, time_limit INTEGER NOT NULL, answer_limit INTEGER NOT NULL,"
                  " created_at VARCHAR(40) NOT NULL, closed_at VARCHAR(40))",
                  "CREATE TABLE children (id BIGINT PRIMARY KEY,"
                  " class_game_id BIGINT NOT NULL REFERENCES class_games (id), name VARCHAR(100) NOT NULL)",
                  "CREATE TABLE games (id BIGINT PRIMARY KEY, class_game_id BIGINT NOT NULL REFERENCES class_games (id),"
                  " round INTEGER NOT NULL, state VARCHAR(20) NOT NULL, started_at VARCHAR(40) NOT NULL,"
                  " ended_at VARCHAR(40))",
                  "CREATE TABLE players (game_id BIGINT NOT NULL REFERENCES games (id), player INTEGER NOT NULL,"
                  " child_id BIGINT NOT NULL REFERENCES children (id), score INTEGER NOT NULL,"
                  " wrong_tries INTEGER NOT NULL, outcome VARCHAR(20), PRIMARY KEY (game_id, player))",
                  "CREATE TABLE answers (id BIGINT PRIMARY KEY, game_id BIGINT NOT NULL REFERENCES games (id),"
                  " child_id BIGINT NOT NULL REFERENCES children (id), word VARCHAR(40) NOT NULL,"
                  " correct INTEGER NOT NULL, answered_at VARCHAR(40) NOT NULL)",
                  "INSERT INTO schema_version (version) VALUES (1)",
                  "INSERT INTO class_games VALUES (1, '2年2組', 'list.txt', 60, 5, '2024-05-01T01:00:00.000Z', NULL)",
                  "INSERT INTO children VALUES (7, 1, 'たろう')",
                  "INSERT INTO games VALUES (3, 1, 1, 'running', '2024-05-01T01:10:00.000Z', NULL)",
                  "INSERT INTO players VALUES (3, 1, 7, 1, 0, NULL)",
                  "INSERT INTO answers VALUES (2, 3, 7, '今日', 1, '2024-05-01T01:10:20.000Z')"}));
    auto s = store(postgres);
    QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    QCOMPARE(s->hostNumber(), 0);
    QCOMPARE(s->interruptedAtOpen(), 1);
    QCOMPARE(count(postgres, "SELECT version FROM schema_version"), ResultsStore::SchemaVersion);
    const ClassResults r = s->results(1).result();
    QVERIFY(r.found);
    QCOMPARE(r.rows.size(), 1);
    QCOMPARE(r.rows[0].state, QString("interrupted"));
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(s->newId(ResultsStore::Kind::Answer), 3);
}

void TestResultsBackends::theDatabaseStoppedMidGameLosesNothing()
{
    CountingRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    auto s = store(true);
    QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    ClassHost host(s.get(), {&queue}, HostLimits{});
    WordList w;
    w.load(eighteen);
    QString why;
    ClassGame *game = host.create(settings("stopped"), w, &why);
    QVERIFY(game);
    qint64 a = 0, b = 0;
    QVERIFY2(game->join("a", &a, &why) == ClassGame::Entry::Joined, qPrintable(why));
    QVERIFY2(game->join("b", &b, &why) == ClassGame::Entry::Joined, qPrintable(why));
    QVERIFY2(game->startAll(false, &why), qPrintable(why));
    ClassMatch *match = game->matchOf(a);
    QVERIFY(answer(*game->seatOf(a), 1, 2)); // 今日
    QVERIFY(answer(*game->seatOf(b), 2, 1)); // 日今
    s->flush();
    QTRY_COMPARE_WITH_TIMEOUT(s->waiting(), 0, 10000);

    QVERIFY2(m_server.stop(&why), qPrintable(why));
    // A read finds it down before any write does.
    QCOMPARE(s->classGames().result().size(), 0);
    QVERIFY(s->problemWaits());
    // The games go on; the teacher is told that results wait.
    for (int i = 0; i < 6; ++i)
        QVERIFY(answer(*game->seatOf(i % 2 ? b : a), 2, 1));
    s->flush();
    QTRY_VERIFY_WITH_TIMEOUT(s->problem().contains("waiting to be written"), 10000);
    QVERIFY(s->waiting() >= 6);
    QVERIFY(s->problemWaits());
    QVERIFY(s->isWritable());

    QVERIFY2(m_server.start(&why), qPrintable(why));
    QTRY_COMPARE_WITH_TIMEOUT(s->waiting(), 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(s->problem().isEmpty(), 5000);
    QCOMPARE(count(true, "SELECT COUNT(*) FROM answers"), 8);
    // In the order judged, each once.
    QCOMPARE(count(true, "SELECT COUNT(*) FROM answers a JOIN answers b ON b.id > a.id AND b.answered_at < a.answered_at"),
             0);
    const ClassResults r = s->results(game->id()).result();
    QCOMPARE(r.rows.size(), 2);
    QCOMPARE(r.rows[0].wrongTries, match->game().wrongTryCount(1));
    QCOMPARE(r.rows[1].wrongTries, match->game().wrongTryCount(2));
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(r.rows[0].state, QString("running"));
    game->endAll(nullptr);
    s->flush();
    QTRY_COMPARE_WITH_TIMEOUT(s->results(game->id()).result().rows[0].state, QString("finished"), 10000);
}

void TestResultsBackends::aKilledHostWithWritesQueuedLosesNothing()
{
    // The host has met its database once; then the database is down and
    // the host is killed with its writes queued. After both come back,
    // every answer judged is in the database and the game is interrupted.
    const QString queue = m_dir.filePath(m_database) + "/queue-killed.db";
    {
        ResultsDatabase d = m_server.settings(m_database, "killed");
        ResultsStore once(queue, d);
        QVERIFY2(once.isWritable(), qPrintable(once.problem()));
    }
    QString why;
    QVERIFY2(m_server.stop(&why), qPrintable(why));
    QProcess host;
    host.start(QCoreApplication::applicationFilePath(),
               {"--queue-until-killed", m_server.socketFolder(), m_database, queue});
    QVERIFY(host.waitForStarted());
    int judged = 0;
    QVERIFY(QTest::qWaitFor([&] {
        while (host.canReadLine())
            judged = QString::fromLatin1(host.readLine()).section(' ', 1).trimmed().toInt();
        return judged >= 5 || host.state() == QProcess::NotRunning;
    }, 60000));
    QVERIFY2(judged >= 5, qPrintable(QString::number(host.exitCode()) + host.readAllStandardError()));
    ::kill(pid_t(host.processId()), SIGKILL);
    QVERIFY(host.waitForFinished());
    while (host.canReadLine())
        judged = QString::fromLatin1(host.readLine()).section(' ', 1).trimmed().toInt();

    QVERIFY2(m_server.start(&why), qPrintable(why));
    ResultsStore restarted(queue, m_server.settings(m_database, "killed"));
    QVERIFY2(restarted.isWritable(), qPrintable(restarted.problem()));
    QTRY_COMPARE_WITH_TIMEOUT(restarted.waiting(), 0, 10000);
    QCOMPARE(restarted.interruptedAtOpen(), 1);
    const int kept = count(true, "SELECT COUNT(*) FROM answers");
    QVERIFY2(kept >= judged && kept <= judged + 1, qPrintable(QStringLiteral("%1 kept, %2 judged").arg(kept).arg(judged)));
    QCOMPARE(count(true, "SELECT COUNT(*) FROM games WHERE state = 'interrupted'"), 1);
    QCOMPARE(count(true, "SELECT COUNT(*) FROM class_games WHERE closed_at IS NOT NULL"), 1);
}

void TestResultsBackends::aWriteAlreadyInIsNotWrittenTwice()
{
    // Killed after the database took a write and before the queue let it
    // go: the write is in the queue still, and is not written again.
    const QString queue = m_dir.filePath(m_database) + "/queue-a.db";
    QString why;
    QByteArray kept;
    int kind = 0;
    {
        auto s = store(true);
        QVERIFY2(s->isWritable(), qPrintable(s->problem()));
        QVERIFY2(m_server.stop(&why), qPrintable(why));
        s->addClassGame(record(s->newId(ResultsStore::Kind::ClassGame), "once"));
        s->flush();
        QVERIFY(s->waiting() >= 1);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "queue");
            db.setDatabaseName(queue);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT kind, data FROM queue ORDER BY seq DESC LIMIT 1") && q.next());
            kind = q.value(0).toInt();
            kept = q.value(1).toByteArray();
        }
        QSqlDatabase::removeDatabase("queue");
        QVERIFY2(m_server.start(&why), qPrintable(why));
        QTRY_COMPARE_WITH_TIMEOUT(s->waiting(), 0, 20000);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "queue");
        db.setDatabaseName(queue);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("SELECT MAX(seq) FROM queue") && q.next());
        QVERIFY(q.value(0).isNull());
        QVERIFY(q.prepare("INSERT INTO queue (seq, kind, data) VALUES (2, ?, ?)"));
        q.addBindValue(kind);
        q.addBindValue(kept);
        QVERIFY(q.exec());
    }
    QSqlDatabase::removeDatabase("queue");
    auto s = store(true);
    QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    s->flush();
    QCOMPARE(s->waiting(), 0);
    QVERIFY2(s->problem().isEmpty(), qPrintable(s->problem()));
    QCOMPARE(count(true, "SELECT COUNT(*) FROM class_games"), 1);
}

void TestResultsBackends::aDamagedEntryInTheQueueIsSaidAndSkipped()
{
    // A damaged entry and one the database refuses (an answer of a game
    // it has not got) are said and dropped; the writes after them go in.
    const QString queue = m_dir.filePath(m_database) + "/queue-a.db";
    {
        auto s = store(true);
        QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "queue");
        db.setDatabaseName(queue);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("INSERT INTO queue (seq, kind, data) VALUES (100, 6, x'ffffffff00')"));
        QVERIFY(q.exec("INSERT INTO queue (seq, kind, data) VALUES (101, 6, '[1,999,1,7,\"今日\",1,null,1,0,\"t\"]')"));
        QVERIFY(q.exec("INSERT INTO queue (seq, kind, data) VALUES (102, 1, '[5,\"after\",\"l\",0,0,\"t\",null,0]')"));
    }
    QSqlDatabase::removeDatabase("queue");
    auto s = store(true);
    QVERIFY2(s->isWritable(), qPrintable(s->problem()));
    QCOMPARE(s->waiting(), 0);
    QVERIFY2(s->problem().startsWith("a result was not kept: an answer"), qPrintable(s->problem()));
    QVERIFY(!s->problemWaits());
    QCOMPARE(count(true, "SELECT COUNT(*) FROM class_games WHERE name = 'after'"), 1);
    QCOMPARE(count(true, "SELECT COUNT(*) FROM answers"), 0);
    QCOMPARE(count(true, "SELECT applied FROM hosts"), 103);
}

void TestResultsBackends::aDatabaseThatRefusesIsSaidAndTriedAgain()
{
    // A host that has never reached its database keeps nothing yet, says
    // why, and keeps trying.
    ResultsStore s(m_dir.filePath(m_database) + "/queue-new.db", m_server.settings(m_database + "x", "new"));
    QVERIFY(!s.isWritable());
    QVERIFY(!s.problemWaits()); // nothing is kept: the page must not say it waits
    QVERIFY2(s.problem().contains("not kept until") && s.problem().contains(m_database + "x"), qPrintable(s.problem()));
    QString why;
    QVERIFY2(m_server.createDatabase(m_database + "x", &why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(s.isWritable(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(s.problem().isEmpty(), 5000);
    QCOMPARE(s.hostNumber(), 0);
}

void TestResultsBackends::twoHostsShareOneDatabase()
{
    auto a = store(true, "a");
    auto b = store(true, "b");
    QVERIFY2(a->isWritable() && b->isWritable(), qPrintable(a->problem() + b->problem()));
    QCOMPARE(a->hostNumber(), 0);
    QCOMPARE(b->hostNumber(), 1);
    qint64 games[2] = {};
    qint64 classes[2] = {};
    int i = 0;
    for (ResultsStore *s : {a.get(), b.get()}) {
        oneAnsweredGame(s, i, &classes[i], &games[i]);
        ++i;
    }
    QVERIFY(classes[0] != classes[1] && games[0] != games[1]);
    QCOMPARE(classes[1] / ResultsStore::HostIdSpan, 1);
    QTRY_COMPARE_WITH_TIMEOUT(a->waiting() + b->waiting(), 0, 10000);
    // Either host reads both classes.
    for (ResultsStore *s : {a.get(), b.get()}) {
        QCOMPARE(s->classGames().result().size(), 2);
        for (qint64 c : classes)
            QCOMPARE(s->results(c).result().rows.value(0).wordsFound, QStringList{"今日"});
    }
    // Host a stops and starts again: only its own game is interrupted.
    a.reset();
    a = store(true, "a");
    QCOMPARE(a->hostNumber(), 0);
    QCOMPARE(a->interruptedAtOpen(), 1);
    QCOMPARE(a->results(classes[0]).result().rows.value(0).state, QString("interrupted"));
    QCOMPARE(a->results(classes[1]).result().rows.value(0).state, QString("running"));
    QVERIFY(a->newId(ResultsStore::Kind::Game) < ResultsStore::HostIdSpan);
    QVERIFY(b->newId(ResultsStore::Kind::Game) > games[1]);
}

void TestResultsBackends::aSilentHostsGamesAreMarkedByTheLiving()
{
    // a and b beat; c writes a game and an answer, then falls silent. a
    // waits 8 s for a connection, so gives hosts 8.2 s to come back after
    // an outage.
    ResultsDatabase settingsA = m_server.settings(m_database, "a");
    settingsA.connectSeconds = 8;
    auto a = std::make_unique<ResultsStore>(m_dir.filePath(m_database) + "/queue-a.db", settingsA);
    auto b = store(true, "b");
    auto c = store(true, "c");
    QVERIFY2(a->isWritable() && b->isWritable() && c->isWritable(), qPrintable(a->problem() + c->problem()));
    qint64 classes[3] = {}, games[3] = {};
    int i = 0;
    for (ResultsStore *s : {a.get(), b.get(), c.get()}) {
        oneAnsweredGame(s, i, &classes[i], &games[i]);
        ++i;
    }
    QTRY_COMPARE_WITH_TIMEOUT(a->waiting() + b->waiting() + c->waiting(), 0, 10000);

    TeacherSessions sessionsA, sessionsB;
    QVERIFY(sessionsA.setSecret(QByteArray(32, 's')) && sessionsB.setSecret(QByteArray(32, 's')));
    HostBeat beatA(*a, sessionsA), beatB(*b, sessionsB);
    int marked = 0;
    QStringList silent;
    for (HostBeat *beat : {&beatA, &beatB}) {
        beat->setTiming(100, 3000);
        connect(beat, &HostBeat::tookOver, this, [&](int games, const QStringList &hosts) {
            marked += games;
            silent += hosts;
        });
        beat->start();
    }
    // c is marked once, by whichever living host saw its silence first.
    QTRY_COMPARE_WITH_TIMEOUT(marked, 1, 10000);
    QCOMPARE(silent, QStringList{"c"});
    const ClassResults lost = a->results(classes[2]).result();
    QCOMPARE(lost.rows.value(0).state, QString("interrupted"));
    QCOMPARE(lost.rows.value(0).wordsFound, QStringList{"今日"});
    QVERIFY(lost.game.closed.isValid());
    // The living hosts' games run on, however long they beat.
    QTest::qWait(3000);
    QCOMPARE(marked, 1);
    for (int k : {0, 1}) {
        QCOMPARE(b->results(classes[k]).result().rows.value(0).state, QString("running"));
        QVERIFY(!b->results(classes[k]).result().game.closed.isValid());
    }
    // The database away for longer than a silence; b beat last after a
    // looked, and is back a silence and more after a (its retry fell
    // late): nobody is taken for silent, as every host's beats stopped
    // alike.
    beatA.stop();
    QTest::qWait(300);
    const QString bBeats = QStringLiteral("SELECT beat FROM hosts WHERE name = 'b'");
    const int bLast = count(true, bBeats);
    QTRY_VERIFY_WITH_TIMEOUT(count(true, bBeats) > bLast, 5000);
    beatB.stop();
    QVERIFY(m_server.stop());
    QTest::qWait(4000);
    QVERIFY(m_server.start());
    beatA.start();
    QTest::qWait(4500);
    beatB.start();
    QTest::qWait(2000);
    QVERIFY2(silent == QStringList{"c"}, qPrintable(silent.join(',')));
    QCOMPARE(marked, 1);
    QTRY_COMPARE_WITH_TIMEOUT(b->results(classes[0]).result().rows.value(0).state, QString("running"), 10000);
    QCOMPARE(a->results(classes[1]).result().rows.value(0).state, QString("running"));

    // A session ended on a is ended on b at its next beat.
    const QString session = sessionsA.redeem(sessionsA.ticket(QDateTime::currentMSecsSinceEpoch()),
                                             QDateTime::currentMSecsSinceEpoch());
    QVERIFY(sessionsB.valid(session, QDateTime::currentMSecsSinceEpoch()));
    const TeacherSessions::Ended ended = sessionsA.end(session, QDateTime::currentMSecsSinceEpoch());
    beatA.revoke(ended.id, ended.untilMs);
    QTRY_VERIFY_WITH_TIMEOUT(!sessionsB.valid(session, QDateTime::currentMSecsSinceEpoch()), 10000);
    // One that has lapsed is not kept.
    beatA.revoke(QString(43, 'x'), QDateTime::currentMSecsSinceEpoch() - 1);
    QTest::qWait(500);
    QCOMPARE(count(true, "SELECT COUNT(*) FROM revoked_sessions"), 1);

    // c comes back (restarted under its name): its own rule marks nothing
    // more, and it beats again without being taken for silent.
    beatA.stop();
    beatB.stop();
    c.reset();
    c = store(true, "c");
    QCOMPARE(c->hostNumber(), 2);
    QCOMPARE(c->interruptedAtOpen(), 0);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == "--queue-until-killed")
        return queueUntilKilled(args.mid(2));
    TestResultsBackends test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resultsbackends.moc"
