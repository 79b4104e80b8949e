// SPDX-License-Identifier: GPL-3.0-or-later
// The results on disk: written as they happen and kept through a host
// killed mid-game, a damaged or read-only database, a newer schema; read
// back, deleted, and exported as CSV a spreadsheet opens safely.
#include "engine/recognitionqueue.h"
#include "fakes/classfakes.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classmatch.h"
#include "host/classreview.h"
#include "host/resultscsv.h"
#include "host/resultsstore.h"
#include "host/teacherkey.h"
#include "learning/worddictionary.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <unistd.h>

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

// Helper process: plays a class game on the store at path, printing
// "judged N" once the N-th answer is on disk, and goes on until killed.
int playUntilKilled(const QString &path)
{
    CountingRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    ResultsStore store(path);
    ClassHost host(&store, {&queue}, HostLimits{});
    ClassSettings s;
    s.name = "killed";
    s.listName = "list.txt";
    s.answerLimitOn = false;
    WordList w;
    w.load(eighteen);
    QString why;
    ClassGame *game = host.create(s, w, &why);
    qint64 a = 0, b = 0;
    game->join("a", &a, &why);
    game->join("b", &b, &why);
    game->startAll(false, &why);
    for (int n = 1;; ++n) {
        // a's first answer is right, then all are wrong: b plays too.
        if (!answer(*game->seatOf(n % 2 ? a : b), n == 1 ? 1 : 2, n == 1 ? 2 : 1))
            return 1;
        store.flush();
        std::printf("judged %d\n", n);
        std::fflush(stdout);
    }
}

// Helper process: opens the store at path and prints what it says.
int openAndTell(const QString &path)
{
    ResultsStore store(path);
    std::printf("writable %d\nproblem %s\nclasses %d\n", store.isWritable(), qPrintable(store.problem()),
                int(store.classGames().result().size()));
    return 0;
}

QString self()
{
    return QCoreApplication::applicationFilePath();
}

int count(const QString &path, const QString &sql)
{
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            n = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase("check");
    return n;
}

// A results file as the first version of the host wrote it: its schema
// and a class game with one game, a right answer and a wrong one.
bool writeSchemaOne(const QString &path)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "one");
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const char *sql : {
                 "CREATE TABLE schema_version (version INTEGER NOT NULL)",
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
                 "CREATE INDEX children_class ON children (class_game_id)",
                 "CREATE INDEX games_class ON games (class_game_id)",
                 "CREATE INDEX answers_game ON answers (game_id)",
                 "INSERT INTO schema_version (version) VALUES (1)",
                 "INSERT INTO class_games VALUES (1, '2年2組', 'list.txt', 60, 5, '2024-05-01T01:00:00.000Z',"
                 " '2024-05-01T02:00:00.000Z')",
                 "INSERT INTO children VALUES (7, 1, 'たろう')",
                 "INSERT INTO children VALUES (8, 1, 'はなこ')",
                 "INSERT INTO games VALUES (3, 1, 1, 'finished', '2024-05-01T01:10:00.000Z',"
                 " '2024-05-01T01:11:00.000Z')",
                 "INSERT INTO players VALUES (3, 1, 7, 1, 1, 'win')",
                 "INSERT INTO players VALUES (3, 2, 8, 0, 0, 'lose')",
                 "INSERT INTO answers VALUES (1, 3, 7, '日今', 0, '2024-05-01T01:10:10.000Z')",
                 "INSERT INTO answers VALUES (2, 3, 7, '今日', 1, '2024-05-01T01:10:20.000Z')",
             })
            ok = ok && q.exec(QString::fromUtf8(sql));
    }
    QSqlDatabase::removeDatabase("one");
    return ok;
}

const char *const Readings = "今日\tきょう,こんにち\ttoday\n学校\tがっこう\tschool\n";

} // namespace

class TestResultsStore : public QObject
{
    Q_OBJECT
private slots:
    void whatIsWrittenIsReadBack();
    void aKilledHostLosesNoJudgedAnswer();
    void aDamagedFileIsMovedAsideAndANewOneMade();
    void aReadOnlyDatabaseIsSaidAndTheStoreStillReads();
    void aNewerSchemaIsLeftAlone();
    void deletingAClassGameLeavesTheOthers();
    void aGamesReviewIsKeptAsTheChildrenSawIt_data();
    void aGamesReviewIsKeptAsTheChildrenSawIt();
    void aSchemaOneFileIsBroughtUpToDateKeepingItsResults_data();
    void aSchemaOneFileIsBroughtUpToDateKeepingItsResults();
    void csvIsForExcelAndSafe_data();
    void csvIsForExcelAndSafe();
    void csvRowsMatchTheResults();
    void theTeacherKeyIsKeptOnlyAsAHash();
};

void TestResultsStore::whatIsWrittenIsReadBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    {
        ResultsStore store(path);
        QVERIFY2(store.isWritable(), qPrintable(store.problem()));
        const qint64 g = store.newId(ResultsStore::Kind::ClassGame);
        store.addClassGame(record(g, "one"));
        store.addChild(g, 7, "たろう");
        store.addChild(g, 8, "はなこ");
        store.startGame(100, g, 1, {7, 8});
        store.recordAnswer(100, 1, 7, "今日", Judgement::Correct, 1, 0);
        store.recordAnswer(100, 2, 8, "日今", Judgement::NoWord, 0, 1);
        store.finishGame(100, {{1, 0, "win"}, {0, 1, "lose"}});
    }
    // A new store on the same file: ids go on where they stopped.
    ResultsStore again(path);
    QCOMPARE(again.newId(ResultsStore::Kind::Game), 101);
    QCOMPARE(again.newId(ResultsStore::Kind::Child), 9);
    const QList<ClassGameRecord> games = again.classGames().result();
    QCOMPARE(games.size(), 1);
    QCOMPARE(games[0].children, 2);
    QCOMPARE(games[0].games, 1);
    // Open when the first store went: closed by the second.
    QVERIFY(games[0].closed.isValid());
    const ClassResults r = again.results(games[0].id).result();
    QCOMPARE(r.rows.size(), 2);
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(r.rows[1].partner, QString("たろう"));
    QCOMPARE(r.rows[1].wrongTries, 1);
    QVERIFY(!again.results(999).result().found);
    again.flush();
    // Every commit synced through a write-ahead log.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "mode");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA journal_mode") && q.next());
        QCOMPARE(q.value(0).toString(), QString("wal"));
    }
    QSqlDatabase::removeDatabase("mode");
}

void TestResultsStore::aKilledHostLosesNoJudgedAnswer()
{
    // A host killed mid-game (SIGKILL, as the OOM killer or a power cut
    // would) keeps every answer judged before; the game shows as
    // interrupted after the restart, with the score it had.
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    QProcess host;
    host.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    host.start(self(), {"--play-until-killed", path});
    QVERIFY(host.waitForStarted());
    int judged = 0;
    QVERIFY(QTest::qWaitFor([&] {
        while (host.canReadLine())
            judged = QString::fromLatin1(host.readLine()).section(' ', 1).trimmed().toInt();
        return judged >= 5;
    }, 60000));
    ::kill(pid_t(host.processId()), SIGKILL);
    QVERIFY(host.waitForFinished());
    while (host.canReadLine())
        judged = QString::fromLatin1(host.readLine()).section(' ', 1).trimmed().toInt();

    ResultsStore restarted(path);
    QVERIFY2(restarted.isWritable(), qPrintable(restarted.problem()));
    QCOMPARE(restarted.interruptedAtOpen(), 1);
    QVERIFY(restarted.openingNotice().contains("interrupted"));
    const ClassResults r = restarted.results(restarted.classGames().result().first().id).result();
    QCOMPARE(r.rows.size(), 2);
    QCOMPARE(r.rows[0].state, QString("interrupted"));
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(r.rows[0].score, 1);
    // At most the answer under way when it was killed is missing.
    const int kept = r.rows[0].wrongTries + r.rows[1].wrongTries + 1;
    QVERIFY2(kept >= judged && kept <= judged + 1, qPrintable(QStringLiteral("%1 kept, %2 judged").arg(kept).arg(judged)));
}

void TestResultsStore::aDamagedFileIsMovedAsideAndANewOneMade()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    {
        ResultsStore store(path);
        store.addClassGame(record(1, "kept aside"));
    }
    // The file's pages overwritten in the middle, as a failing disk would.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const qint64 size = f.size();
    f.seek(size / 3);
    f.write(QByteArray(int(size / 2), '\xA5'));
    f.close();
    ResultsStore store(path);
    QVERIFY2(store.isWritable(), qPrintable(store.problem()));
    QVERIFY2(store.openingNotice().contains("damaged"), qPrintable(store.openingNotice()));
    QVERIFY(store.classGames().result().isEmpty());
    const QStringList aside = QDir(dir.path()).entryList({"r.db.damaged-*"});
    QVERIFY2(!aside.isEmpty(), qPrintable(QDir(dir.path()).entryList().join(' ')));
    // A file that was never a database.
    QFile junk(dir.filePath("junk.db"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    ResultsStore fresh(dir.filePath("junk.db"));
    QVERIFY(fresh.isWritable());
    QVERIFY(fresh.openingNotice().contains("damaged"));
}

void TestResultsStore::aReadOnlyDatabaseIsSaidAndTheStoreStillReads()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    {
        ResultsStore store(path);
        store.addClassGame(record(1, "read only"));
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther);
    // As someone the permissions bind (root would write anyway).
    QProcess other;
    other.setChildProcessModifier([] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
    });
    other.start(self(), {"--open-and-tell", path});
    QVERIFY(other.waitForFinished(30000));
    const QString said = QString::fromUtf8(other.readAllStandardOutput());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(other.exitCode(), 0);
    QVERIFY2(said.contains("writable 0"), qPrintable(said));
    QVERIFY2(said.contains("problem results are not kept: ") && said.contains("r.db"), qPrintable(said));
}

void TestResultsStore::aNewerSchemaIsLeftAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    {
        ResultsStore store(path);
        store.addClassGame(record(1, "newer"));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bump");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec("UPDATE schema_version SET version = 99");
    }
    QSqlDatabase::removeDatabase("bump");
    ResultsStore store(path);
    QVERIFY(!store.isWritable());
    QVERIFY(store.problem().contains("newer"));
    store.addClassGame(record(2, "not written"));
    store.flush();
    QCOMPARE(count(path, "SELECT COUNT(*) FROM class_games"), 1);
}

void TestResultsStore::deletingAClassGameLeavesTheOthers()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    ResultsStore store(path);
    for (qint64 g : {1, 2}) {
        store.addClassGame(record(g, QString::number(g)));
        store.addChild(g, g * 10, "c");
        store.startGame(g * 100, g, 1, {g * 10}, eighteen);
        store.recordAnswer(g * 100, 1, g * 10, "今日", Judgement::Correct, 1, 0);
    }
    store.deleteClassGame(1);
    store.flush();
    QCOMPARE(count(path, "SELECT COUNT(*) FROM game_words"), Rules::WordsPerGame);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM class_games"), 1);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM children"), 1);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM games"), 1);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM players"), 1);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM answers"), 1);
    QVERIFY(store.results(2).result().found);
}

void TestResultsStore::aGamesReviewIsKeptAsTheChildrenSawIt_data()
{
    QTest::addColumn<int>("children");
    QTest::addColumn<bool>("interrupted"); // the host stops mid-game
    QTest::newRow("a pair") << 2 << false;
    QTest::newRow("a child alone") << 1 << false;
    QTest::newRow("a pair, the host stopped") << 2 << true;
}

void TestResultsStore::aGamesReviewIsKeptAsTheChildrenSawIt()
{
    // Read back from the file, a game gives the very review its children
    // were shown at its end: the same words, who found them, the same
    // wrong tries with their reasons.
    QFETCH(int, children);
    QFETCH(bool, interrupted);
    const WordDictionary dictionary = WordDictionary::parse(Readings);
    QTemporaryDir dir;
    CountingRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    ResultsStore store(dir.filePath("r.db"));
    ClassHost host(&store, {&queue}, HostLimits{});
    host.setDictionary(&dictionary);
    ClassSettings s;
    s.name = "<b>3年</b>";
    s.listName = "list.txt";
    s.answerLimitOn = false;
    WordList w;
    w.load(eighteen);
    QString why;
    ClassGame *game = host.create(s, w, &why);
    qint64 a = 0, b = 0;
    game->join("<i>a</i>", &a, &why);
    if (children == 2)
        game->join("b", &b, &why);
    QVERIFY(game->startAll(false, &why));
    ClassMatch *m = game->matchOf(a);
    const QStringList dealt = m->game().pool().dealtWords();
    QVERIFY(answer(*game->seatOf(a), 2, 1)); // 日今: no such word
    QVERIFY(answer(*game->seatOf(a), 1, 2)); // 今日
    QVERIFY(answer(*game->seatOf(a), 1, 2)); // 今日 again: used up
    if (b)
        QVERIFY(answer(*game->seatOf(b), 1, 1)); // 今今
    const qint64 gameId = m->id();
    GameReview live;
    if (interrupted) {
        live = GameReview::of(m->game(), dictionary);
        host.shutdown();
    } else {
        game->endAll(nullptr);
        live = m->review();
    }
    store.flush();

    const GameRecord kept = store.game(gameId).result();
    QVERIFY(kept.found);
    QCOMPARE(kept.dealt, dealt);
    QCOMPARE(kept.className, QString("<b>3年</b>"));
    QCOMPARE(kept.state, QString(interrupted ? "interrupted" : "finished"));
    QCOMPARE(kept.players.size(), children);
    QCOMPARE(kept.players[0].answers.size(), 3);
    QCOMPARE(kept.players[0].answers[2].outcome, Judgement::NoCharacter);
    const GameReview again = ClassReview::of(kept, &dictionary);
    QCOMPARE(again.toJson(true), live.toJson(true));
    QCOMPARE(again.player(1).wrongTryCount, 2);
    QCOMPARE(again.player(1).result.isEmpty(), interrupted);

    // Printed for a child: its own part, names as text.
    const QString page = ClassReview::childPage(kept, a, &dictionary);
    QVERIFY(page.contains("&lt;i&gt;a&lt;/i&gt;"));
    QVERIFY(!page.contains("<i>a</i>"));
    QVERIFY(page.contains("こんにち"));
    QVERIFY(page.contains("日今"));
    if (b) {
        QVERIFY(ClassReview::childPage(kept, b, &dictionary).contains("今今"));
        QVERIFY(!page.contains("今今"));
    }
    QVERIFY(ClassReview::childPage(kept, 9999, &dictionary).isEmpty());
    QVERIFY(ClassReview::childPage(store.game(9999).result(), a, &dictionary).isEmpty());
    // The teacher's sheet: every word of the game.
    const QString sheet = ClassReview::sheetPage(kept, &dictionary);
    for (const QString &word : dealt)
        QVERIFY2(sheet.contains(word), qPrintable(word));
    QVERIFY(sheet.contains("&lt;b&gt;3年&lt;/b&gt; ・ ラウンド 1"));
}

void TestResultsStore::aSchemaOneFileIsBroughtUpToDateKeepingItsResults_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("writable") << false;
    QTest::newRow("read-only: said, results still read") << true;
}

void TestResultsStore::aSchemaOneFileIsBroughtUpToDateKeepingItsResults()
{
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    const QString path = dir.filePath("r.db");
    QVERIFY(writeSchemaOne(path));
    if (readOnly) {
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                              | QFileDevice::ExeOther);
        QProcess other;
        other.setChildProcessModifier([] {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
        });
        other.start(self(), {"--open-and-tell", path});
        QVERIFY(other.waitForFinished(30000));
        const QString said = QString::fromUtf8(other.readAllStandardOutput());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(other.exitCode(), 0);
        QVERIFY2(said.contains("writable 0"), qPrintable(said));
        QVERIFY2(said.contains("cannot be brought from schema 1 to 4"), qPrintable(said));
        QVERIFY2(said.contains("classes 1"), qPrintable(said));
        QCOMPARE(count(path, "SELECT version FROM schema_version"), 1);
        return;
    }
    const WordDictionary dictionary = WordDictionary::parse(Readings);
    {
        ResultsStore store(path);
        QVERIFY2(store.isWritable(), qPrintable(store.problem()));
        // The old results, as they were.
        const ClassResults r = store.results(1).result();
        QVERIFY(r.found);
        QCOMPARE(r.game.name, QString("2年2組"));
        QCOMPARE(r.rows.size(), 2);
        QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
        QCOMPARE(r.rows[0].wrongTries, 1);
        QCOMPARE(r.rows[1].outcome, QString("lose"));
        // Its review: what was kept, a wrong try counted but not given a
        // reason it may not have had, and no sheet without the words.
        const GameRecord old = store.game(3).result();
        QVERIFY(old.found);
        QVERIFY(old.dealt.isEmpty());
        QVERIFY(!old.players[0].answers[0].reasonKnown);
        const GameReview review = ClassReview::of(old, &dictionary);
        QVERIFY(review.player(1).wrongTries.isEmpty());
        QCOMPARE(review.player(1).wrongTryCount, 1);
        const QString page = ClassReview::childPage(old, 7, &dictionary);
        QVERIFY(page.contains("のこっていません"));
        QVERIFY(page.contains("きょう"));
        QVERIFY(!page.contains("ぜんぶ見つけました"));
        QVERIFY(ClassReview::sheetPage(old, &dictionary).isEmpty());
        // New games go on after the old ones, with their words.
        QCOMPARE(store.newId(ResultsStore::Kind::Game), 4);
        QCOMPARE(store.newId(ResultsStore::Kind::Answer), 3);
        store.startGame(4, 1, 2, {7, 8}, eighteen);
        store.recordAnswer(4, 2, 8, "日今", Judgement::NoWord, 0, 1);
        store.flush();
        const GameRecord added = store.game(4).result();
        QCOMPARE(added.dealt, eighteen);
        QVERIFY(added.players[1].answers[0].reasonKnown);
    }
    QCOMPARE(count(path, "SELECT version FROM schema_version"), ResultsStore::SchemaVersion);
    QCOMPARE(count(path, "SELECT COUNT(*) FROM answers"), 3);
    // Opened again: nothing more to do, nothing lost.
    ResultsStore again(path);
    QVERIFY(again.isWritable());
    QCOMPARE(again.results(1).result().rows.size(), 4);
}

void TestResultsStore::csvIsForExcelAndSafe_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cell");
    QTest::newRow("plain") << "たろう" << "\"たろう\"";
    QTest::newRow("formula") << "=HYPERLINK(\"x\")" << "\"'=HYPERLINK(\"\"x\"\")\"";
    QTest::newRow("plus") << "+1" << "\"'+1\"";
    QTest::newRow("minus") << "-2+3" << "\"'-2+3\"";
    QTest::newRow("at") << "@SUM(A1)" << "\"'@SUM(A1)\"";
    QTest::newRow("full-width equals") << "＝1+1" << "\"'＝1+1\"";
    QTest::newRow("tab") << "\t=1" << "\"'\t=1\"";
    QTest::newRow("comma and line break stay inside") << "a,b\nc" << "\"a,b\nc\"";
    QTest::newRow("equals later is text") << "a=b" << "\"a=b\"";
}

void TestResultsStore::csvIsForExcelAndSafe()
{
    // A child's name is typed by the child: it must never run as a formula.
    QFETCH(QString, text);
    QFETCH(QString, cell);
    QCOMPARE(ResultsCsv::cell(text), cell);
}

void TestResultsStore::csvRowsMatchTheResults()
{
    ClassResults r;
    r.found = true;
    r.game.name = "=3年";
    ChildResult one;
    one.round = 1;
    one.name = "たろう";
    one.partner = "はなこ";
    one.wordsFound = {"今日", "学校"};
    one.wrongTries = 3;
    one.score = 2;
    one.outcome = "win";
    one.state = "finished";
    r.rows << one;
    const QByteArray csv = ResultsCsv::make(r);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.endsWith("\r\n"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1], QString("\"'=3年\",1,\"たろう\",\"はなこ\",\"今日 学校\",2,3,2,\"かち\",\"終了\""));
}

void TestResultsStore::theTeacherKeyIsKeptOnlyAsAHash()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("teacher-key");
    TeacherKey running(path);
    QVERIFY(!running.exists());
    const QString first = running.renew(nullptr);
    QVERIFY(QRegularExpression("^([A-Z2-9]{4}-){4}[A-Z2-9]{4}$").match(first).hasMatch());
    QVERIFY(running.matches(first));
    // However it is typed: lower case, spaces, no dashes.
    QVERIFY(running.matches(" " + first.toLower().remove('-') + " "));
    QVERIFY(!running.matches(first.left(23) + (first.endsWith('A') ? "B" : "A")));
    QVERIFY(!running.matches(""));
    // On disk: a salted hash, readable by its owner only.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    QVERIFY(kept.startsWith("pbkdf2-sha256$"));
    QVERIFY(!kept.contains(TeacherKey::normalized(first).toLatin1()));
    QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    // A new key made by the command (another process) replaces the old one
    // in the running host at its next check.
    TeacherKey command(path);
    const QString second = command.renew(nullptr);
    QVERIFY(second != first);
    running.reload();
    QVERIFY(!running.matches(first));
    QVERIFY(running.matches(second));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--play-until-killed")
        return playUntilKilled(args[2]);
    if (args.size() == 3 && args[1] == "--open-and-tell")
        return openAndTell(args[2]);
    TestResultsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resultsstore.moc"
