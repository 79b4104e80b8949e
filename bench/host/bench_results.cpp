// SPDX-License-Identifier: GPL-3.0-or-later
// Results written per second by the class host's store: to SQLite on the
// host, and to PostgreSQL (a server of its own, started here on a Unix
// socket, commits synced as by default) through the queue on the host.
//
//   bench_results [--answers N] [--rounds R]
//
// Two ways for each: a burst (N answers asked for at once, as when a whole
// school presses こたえあわせ together: timed until the last is in the
// database) and one at a time (each answer waited for until it is in the
// database before the next: the time one answer takes). The median of R
// rounds, each on a new database.
#include "fakes/postgresserver.h"
#include "host/resultsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Figures
{
    double burstPerSecond = 0;
    double oneAtATimeMs = 0;
};

// Waits until every write asked for is in the database; false after 120 s.
bool written(ResultsStore &store)
{
    store.flush();
    QElapsedTimer t;
    t.start();
    while (store.waiting() > 0) {
        if (t.elapsed() > 120000)
            return false;
        QThread::usleep(100);
    }
    return true;
}

// One round on a new store: a class game, 30 children in 15 games, then
// the answers spread over them.
bool round(ResultsStore &store, int answers, Figures *f)
{
    if (!store.isWritable()) {
        std::fprintf(stderr, "bench_results: %s\n", qPrintable(store.problem()));
        return false;
    }
    ClassGameRecord r;
    r.id = store.newId(ResultsStore::Kind::ClassGame);
    r.name = QStringLiteral("bench");
    r.listName = QStringLiteral("list.txt");
    r.created = QDateTime::currentDateTimeUtc();
    store.addClassGame(r);
    std::vector<qint64> children, games;
    for (int i = 0; i < 30; ++i) {
        children.push_back(store.newId(ResultsStore::Kind::Child));
        store.addChild(r.id, children.back(), QStringLiteral("child %1").arg(i));
    }
    for (int g = 0; g < 15; ++g) {
        games.push_back(store.newId(ResultsStore::Kind::Game));
        store.startGame(games.back(), r.id, 1, {children[2 * g], children[2 * g + 1]});
    }
    if (!written(store))
        return false;
    auto answer = [&](int i) {
        const int g = i % 15, player = 1 + (i / 15) % 2;
        store.recordAnswer(games[g], player, children[2 * g + player - 1], QStringLiteral("今日"),
                           i % 3 ? Judgement::NoWord : Judgement::Correct, i / 45, i / 30);
    };
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < answers; ++i)
        answer(i);
    if (!written(store))
        return false;
    f->burstPerSecond = answers * 1000.0 / std::max<qint64>(1, t.elapsed());
    const int single = std::max(1, answers / 10);
    t.start();
    for (int i = 0; i < single; ++i) {
        answer(i);
        if (!written(store))
            return false;
    }
    f->oneAtATimeMs = double(t.nsecsElapsed()) / 1e6 / single;
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int answers = 2000, rounds = 3;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--answers"))
            answers = qBound(10, args[i + 1].toInt(), 1000000);
        else if (args[i] == QLatin1String("--rounds"))
            rounds = qBound(1, args[i + 1].toInt(), 100);
    }
    PostgresServer server;
    QString why;
    if (!server.make(&why)) {
        std::fprintf(stderr, "bench_results: PostgreSQL cannot be started: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench-results-XXXXXX")));
    std::printf("%d answers a round, %d rounds, the median; files in %s\n", answers, rounds, qPrintable(dir.path()));
    for (const bool postgres : {false, true}) {
        std::vector<double> burst, single;
        for (int n = 0; n < rounds; ++n) {
            const QString name = QStringLiteral("r%1%2").arg(postgres ? "p" : "s").arg(n);
            std::unique_ptr<ResultsStore> store;
            if (postgres) {
                if (!server.createDatabase(name, &why)) {
                    std::fprintf(stderr, "bench_results: %s\n", qPrintable(why));
                    return 1;
                }
                store = std::make_unique<ResultsStore>(dir.filePath(name + QStringLiteral("-queue.db")),
                                                       server.settings(name, QStringLiteral("bench")));
            } else {
                store = std::make_unique<ResultsStore>(dir.filePath(name + QStringLiteral(".db")));
            }
            Figures f;
            if (!round(*store, answers, &f)) {
                std::fprintf(stderr, "bench_results: a round did not finish: %s\n", qPrintable(store->problem()));
                return 1;
            }
            burst.push_back(f.burstPerSecond);
            single.push_back(f.oneAtATimeMs);
        }
        std::printf("%-10s  burst %8.0f answers/s   one at a time %6.2f ms each (%5.0f/s)\n",
                    postgres ? "PostgreSQL" : "SQLite", median(burst), median(single), 1000.0 / median(single));
    }
    return 0;
}
