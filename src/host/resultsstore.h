// SPDX-License-Identifier: GPL-3.0-or-later
// The class games' results on disk, kept through crashes and power cuts.
#pragma once

#include "engine/judge.h"
#include "host/queuedwrite.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QPair>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <functional>

class QThread;

struct ClassGameRecord
{
    qint64 id = 0;
    QString name;
    QString listName;
    int timeLimitSeconds = 0; // 0: no time limit
    int answerLimit = 0;      // 0: no answer limit
    QDateTime created;
    QDateTime closed;         // null while open
    int children = 0;         // read back only
    int games = 0;            // read back only
    int host = 0;             // read back only: the host's number
    int route = 0;            // read back only: its route behind a proxy, 0: none
};

// One child's part in one game of a round.
struct ChildResult
{
    qint64 gameId = 0;
    int round = 0;
    QString state;          // "running", "finished", "interrupted"
    qint64 childId = 0;
    QString name;
    QString partner;        // empty when the child played alone
    QStringList wordsFound; // in the order found
    int wrongTries = 0;
    int score = 0;
    QString outcome;        // "win", "lose", "draw", "alone"; empty unless finished
};

// One game as the store keeps it, for its review.
struct GameRecord
{
    struct Answer
    {
        QString word;
        Judgement::Outcome outcome = Judgement::Correct;
        bool reasonKnown = true; // false for wrong tries kept before reasons were
    };
    struct Player
    {
        qint64 childId = 0;
        QString name;
        int score = 0;
        int wrongTries = 0;
        QString outcome; // as ChildResult's
        QList<Answer> answers; // in the order judged, the first MaxAnswers
    };
    static constexpr int MaxAnswers = 1000;

    bool found = false;
    qint64 id = 0;
    qint64 classGameId = 0;
    QString className;
    int round = 0;
    QString state;     // as ChildResult's
    QStringList dealt; // empty for games kept before the words were
    QList<Player> players; // player 1, then player 2 if any
};

// What a heartbeat of a host sharing the database found.
struct HostBeatResult
{
    bool reached = false;
    // Every teacher's session ended on any host, with its deadline.
    QList<QPair<QString, qint64>> revoked;
    // Games of silent hosts marked interrupted by this beat, and the names
    // of those hosts.
    int interrupted = 0;
    QStringList silentHosts;
    // Class games open on other hosts.
    int openElsewhere = 0;
};

struct ClassResults
{
    bool found = false;
    ClassGameRecord game;
    QStringList children;     // every child who joined, in join order
    QList<ChildResult> rows;  // by round, game, player
};

// Where the results go: an SQLite file on the host (nothing to set up), or
// a PostgreSQL database that several hosts share.
struct ResultsDatabase
{
    // Empty: SQLite. Else PostgreSQL's server: a host name, an address or
    // the folder of its Unix socket.
    QString server;
    int port = 5432;
    QString name = QStringLiteral("taruvo");
    QString user = QStringLiteral("taruvo");
    QString password; // empty: libpq's own (PGPASSWORD, ~/.pgpass)
    // This host among those sharing the database; each name keeps its own
    // rows and numbers.
    QString hostName = QStringLiteral("taruvo-host");
    // Behind a proxy, the route the host's class codes begin with (0: none).
    int route = 0;
    int connectSeconds = 3;
    // How long a database that cannot be reached is left before trying again.
    int retryMilliseconds = 2000;

    bool isShared() const { return !server.isEmpty(); }
    // "PostgreSQL database taruvo on /run/postgresql, port 5432"
    QString describe() const;
};

// The results of class games in a database, through Qt SQL: every call
// that writes is one transaction, committed before the next begins, so a
// killed host or a power cut loses at most the write under way. The
// writes run in order on a thread of their own, so that the disk and the
// network never hold up the games; reads come back as futures.
//
// On SQLite (the file at path) the writes go straight to the file,
// write-ahead logged and synchronous. On PostgreSQL every write is first
// queued in an SQLite file at path, synchronously, then written to the
// database in order, each with its queue number in the same transaction,
// so that a write is done exactly once however often it is tried. While the
// database is down or refuses, the games go on, the writes wait in the
// queue (through restarts) and problem() says so; they are written as soon
// as it is back.
//
// Several hosts may share one PostgreSQL database: each registers by its
// name and gets a number; the ids it hands out carry that number, so that
// no two hosts' rows meet, and every host reads every host's results.
//
// Opening marks the games of this host that were running when it last
// stopped as interrupted, and closes its class games that were open. A
// file that is not a database, or a damaged one, is moved aside and a new
// one made; a database that cannot be written (read-only file or folder, a
// full disk) leaves the store without writing, and problem() says so in
// one line: the host serves on regardless.
//
// All SQL is in this class's source; identifiers are handed out here so
// that the caller knows them at once.
class ResultsStore : public QObject
{
    Q_OBJECT
public:
    // 1: the class games, children, games, players and answers; 2: each
    // game's dealt words and why a try was wrong; 3: the hosts sharing the
    // database, and which host each class game and game is on. An older
    // database is brought up to date when opened, its results kept.
    // 4: hosts' routes and heartbeats, and the sessions ended.
    static constexpr int SchemaVersion = 4;
    // A host's ids are its number times this, plus its own count.
    static constexpr qint64 HostIdSpan = qint64(1) << 40;
    // Ids stay whole numbers in a page's JavaScript (below 2^53).
    static constexpr int MaxHosts = 8192;

    // Results in the SQLite file at path.
    explicit ResultsStore(const QString &path, QObject *parent = nullptr);
    // Results where database says; path is the queue's file for PostgreSQL.
    ResultsStore(const QString &path, const ResultsDatabase &database, QObject *parent = nullptr);
    // Finishes every write asked for (into the queue, for PostgreSQL).
    ~ResultsStore() override;

    QString path() const { return m_path; }
    bool isShared() const { return m_database.isShared(); }
    bool isWritable() const { return m_writable.load(); }
    // Empty while all is well; else why results are not kept, or wait.
    QString problem() const;
    // The problem is only that results wait on this host for the database.
    bool problemWaits() const;
    // What opening found worth telling: games marked interrupted, a damaged
    // file moved aside.
    QString openingNotice() const { return m_notice; }
    int interruptedAtOpen() const { return m_interruptedAtOpen.load(); }
    // This host's number in the database; -1 before it was ever reached.
    int hostNumber() const { return m_hostNumber.load(); }
    // Writes queued and not yet in PostgreSQL; 0 on SQLite.
    int waiting() const { return m_waiting.load(); }

    enum class Kind { ClassGame, Child, Game, Answer };
    qint64 newId(Kind kind);

    struct PlayerEnd
    {
        int score = 0;
        int wrongTries = 0;
        QString outcome;
    };

    void addClassGame(const ClassGameRecord &record);
    void closeClassGame(qint64 id);
    void addChild(qint64 classGameId, qint64 childId, const QString &name);
    // A child taken out of the class: its name goes unless it has played.
    void forgetChild(qint64 childId);
    // children: the child of player 1, then of player 2 if any; dealt: the
    // words dealt, in the order drawn.
    void startGame(qint64 gameId, qint64 classGameId, int round, const QList<qint64> &children,
                   const QStringList &dealt = {});
    // outcome: Correct, or why the answer was wrong.
    void recordAnswer(qint64 gameId, int player, qint64 childId, const QString &word, Judgement::Outcome outcome,
                      int score, int wrongTries);
    void finishGame(qint64 gameId, const QList<PlayerEnd> &players);
    // The host stops while the game runs.
    void interruptGame(qint64 gameId);
    void deleteClassGame(qint64 id);

    // Newest first, the last 500.
    QFuture<QList<ClassGameRecord>> classGames();
    QFuture<ClassResults> results(qint64 classGameId);
    QFuture<GameRecord> game(qint64 gameId);

    // Shared database only: this host is alive (a count raised); the
    // sessions ended here (id, deadline) are told to the others; and the
    // running games of a host whose count has not moved for silentMs, as
    // this host saw it, are marked interrupted and its class games closed.
    // Not reached: nothing is done, and nothing said but that.
    QFuture<HostBeatResult> beat(const QList<QPair<QString, qint64>> &revoke, qint64 silentMs);

    // Waits until every write asked for so far is on disk (or failed); for
    // PostgreSQL, in the queue and tried once.
    void flush();

signals:
    // Emitted on the store's own thread; connect queued.
    void problemChanged(const QString &problem, bool waits);

private:
    template<typename F> void post(F &&job);
    void open();
    void openLocal();
    void openShared();
    bool openSqlite(const QString &connection, const QString &path, QString *moved);
    bool prepare(const QString &connection, QString *why);
    bool reach();
    void write(const QueuedWrite &w);
    bool apply(const QueuedWrite &w, QString *why);
    void queue(const QueuedWrite &w);
    void commitQueue();
    void drain();
    void lost(const QString &why);
    void beforeRead();
    void afterRead();
    void fail(const QString &problem);
    void setProblem(const QString &problem, bool waiting);
    bool saveMeta();
    void raiseNext(int kind, qint64 next);

    QString m_path;
    ResultsDatabase m_database;
    QString m_connection;      // the results: SQLite or PostgreSQL
    QString m_queueConnection; // PostgreSQL's queue
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr; // lives on m_thread
    class QTimer *m_retry = nullptr; // lives on m_thread
    std::atomic<bool> m_writable{false};
    std::atomic<int> m_hostNumber{-1};
    std::atomic<int> m_waiting{0};
    std::atomic<int> m_interruptedAtOpen{0};
    mutable QMutex m_problemLock;
    QString m_problem;
    bool m_problemWaits = false;
    QString m_notice;
    int m_schema = 0; // the database's, once opened (older when it could not be brought up to date)
    std::atomic<qint64> m_next[4] = {1, 1, 1, 1};
    // The store's thread alone: the queue.
    bool m_reached = false;
    bool m_reopened = false;
    QList<QueuedWrite> m_pending;
    bool m_commitPosted = false;
    bool m_draining = false;
    qint64 m_nextSeq = 1;
    // The store's thread alone: the other hosts' counts as this host last
    // saw them change (host number -> count, when, whether taken over).
    struct Heard
    {
        qint64 beat = -1;
        qint64 sinceMs = 0;
        bool handled = false;
    };
    QHash<int, Heard> m_heard;
    qint64 m_lastBeatMs = 0; // steady clock, the last beat that reached the database
    qint64 m_freshFromMs = 0; // steady clock: no host's silence counts from before this
};
