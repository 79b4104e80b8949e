// SPDX-License-Identifier: GPL-3.0-or-later
// taruvo-host: class games of Taruvo for a whole class, served to browsers.
#include "common/regularfile.h"
#include "engine/recognitionqueue.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classroute.h"
#include "host/classwordlists.h"
#include "host/hostbeat.h"
#include "host/resultsstore.h"
#include "host/teacherkey.h"
#include "hostapp/terminal.h"
#include "hostweb/hostoptions.h"
#include "hostweb/hostserver.h"
#include "hostweb/teacherdesk.h"
#include "hostweb/qrmatrix.h"
#include "learning/worddictionary.h"
#include "recognition/kanjigrades.h"
#include "recognition/modelcharacters.h"
#include "recognition/sharedrecognizer.h"
#include "seats/seataddresses.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSysInfo>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A connection is a file: a whole school's devices need more than the
// usual soft limit of 1024.
void raiseFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The state folder: made for its owner alone, since it holds children's
// names. False with *why when it cannot be made.
bool makeStateDir(const QString &path, QString *why)
{
    QFileInfo info(path);
    if (!info.exists()) {
        if (!QDir().mkpath(path)) {
            *why = QStringLiteral("cannot make the state folder %1").arg(path);
            return false;
        }
        ::chmod(QFile::encodeName(path).constData(), 0700);
    } else if (!info.isDir()) {
        *why = QStringLiteral("the state folder %1 is not a folder").arg(path);
        return false;
    }
    return true;
}

QString newKey(TeacherKey &key)
{
    QString why;
    const QString made = key.renew(&why);
    if (made.isEmpty()) {
        Terminal::say(QStringLiteral("The teacher key cannot be kept: %1").arg(why));
        return {};
    }
    // Made by root for the service's folder: the file goes to the folder's owner.
    if (::geteuid() == 0) {
        struct stat folder = {};
        if (::stat(QFile::encodeName(QFileInfo(key.file()).path()).constData(), &folder) == 0 && folder.st_uid != 0)
            [[maybe_unused]] const int r = ::chown(QFile::encodeName(key.file()).constData(), folder.st_uid, folder.st_gid);
    }
    return made;
}

// The database's password: from the file given, else the environment;
// empty leaves it to PostgreSQL's own ways (PGPASSWORD, ~/.pgpass).
bool readPassword(const QString &file, QString *password, QString *why)
{
    if (file.isEmpty()) {
        *password = qEnvironmentVariable("TARUVO_PG_PASSWORD");
        return true;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("taruvo-host cannot read the password file %1: %2").arg(file, f.errorString());
        return false;
    }
    const QByteArray text = f.read(4097);
    if (text.size() > 4096) {
        *why = QStringLiteral("taruvo-host: the password file %1 is longer than 4096 bytes").arg(file);
        return false;
    }
    // The first line, as an editor leaves it.
    *password = QString::fromUtf8(text).section(QLatin1Char('\n'), 0, 0);
    if (password->endsWith(QLatin1Char('\r')))
        password->chop(1);
    return true;
}

// The secret that signs teachers' sessions on every host behind one proxy:
// the file's first line, at least TeacherSessions::MinSecretBytes long.
bool readSecret(const QString &file, QByteArray *secret, QString *why)
{
    const FileContents contents = readRegularFile(file, 4096);
    if (!contents.ok) {
        *why = QStringLiteral("taruvo-host cannot read the session secret %1").arg(file);
        return false;
    }
    *secret = contents.bytes.split('\n').value(0).trimmed();
    if (secret->size() < TeacherSessions::MinSecretBytes) {
        *why = QStringLiteral("taruvo-host: the session secret in %1 is shorter than %2 bytes (make one with:"
                              " head -c 32 /dev/urandom | base64 > %1)")
                   .arg(file)
                   .arg(TeacherSessions::MinSecretBytes);
        return false;
    }
    return true;
}

// This host's name among those sharing a database: made at the first
// start and kept, so that a restart finds its own rows again.
QString keptHostName(const QString &file)
{
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        const QString kept = QString::fromUtf8(f.read(201)).trimmed();
        if (!kept.isEmpty() && kept.size() <= 200)
            return kept;
        f.close();
    }
    const QString made = QStringLiteral("%1-%2")
                             .arg(QSysInfo::machineHostName().left(100))
                             .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(made.toUtf8() + '\n') < 0 || !out.commit())
        Terminal::say(QStringLiteral("This host's name %1 cannot be kept in %2: the next start makes another").arg(made, file));
    return made;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("taruvo-host"));
    // From the first moment: a SIGTERM while the models load (systemd
    // stopping a host that is starting) waits in the signal pipe and ends
    // the host cleanly once it runs, instead of killing it mid-write.
    StopSignals stop;
    HostOptions options;
    QString error;
    if (!HostOptions::parse(app.arguments(), &options, &error)) {
        std::fprintf(stderr, "taruvo-host: %s\n", qPrintable(error));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(HostOptions::usage()), stdout);
        return 0;
    }
    raiseFileLimit();

    const QString state = options.stateDir.isEmpty() ? HostOptions::defaultStateDir() : options.stateDir;
    if (!makeStateDir(state, &error))
        Terminal::say(QStringLiteral("%1: results and the teacher key cannot be kept").arg(error));
    TeacherKey key(options.teacherKeyFile.isEmpty() ? QDir(state).filePath(QStringLiteral("teacher-key"))
                                                    : options.teacherKeyFile);
    if (options.newTeacherKey) {
        const QString made = newKey(key);
        if (made.isEmpty())
            return 1;
        Terminal::say(QStringLiteral("New teacher key (shown only now; the old one no longer works): %1").arg(made));
        return 0;
    }
    if (!key.exists()) {
        const QString made = newKey(key);
        if (!made.isEmpty())
            Terminal::say(QStringLiteral("Teacher key (shown only now; taruvo-host --new-teacher-key makes another): %1").arg(made));
    }

    ResultsDatabase database = options.database;
    if (database.isShared()) {
        if (!readPassword(options.passwordFile, &database.password, &error)) {
            Terminal::say(error);
            return 1;
        }
        database.route = options.route;
        if (!options.hostNameGiven)
            database.hostName = keptHostName(QDir(state).filePath(QStringLiteral("host-name")));
    }
    ResultsStore store(QDir(state).filePath(database.isShared() ? QStringLiteral("results-queue.db")
                                                                 : QStringLiteral("results.db")),
                       database);
    if (database.isShared())
        Terminal::say(QStringLiteral("Results in %1, as host %2 (number %3); waiting in %4 while it cannot be reached")
                          .arg(database.describe(), database.hostName)
                          .arg(store.hostNumber())
                          .arg(store.path()));
    if (!store.problem().isEmpty())
        Terminal::say(store.problem());
    if (!store.openingNotice().isEmpty())
        Terminal::say(store.openingNotice());

    // One recogniser a core (each with its models), the seats of each game
    // taking the next in turn.
    std::vector<std::unique_ptr<SharedRecognizer>> recognizers;
    std::vector<std::unique_ptr<RecognitionQueue>> queues;
    QList<RecognitionQueue *> recognition;
    for (int i = 0; i < options.recognizers; ++i) {
        recognizers.push_back(std::make_unique<SharedRecognizer>());
        queues.push_back(std::make_unique<RecognitionQueue>(*recognizers.back()));
        queues.back()->warmUp();
        recognition.append(queues.back().get());
    }
    // The readings of the reviews after each game; without the file the
    // reviews show the words without readings.
    QString found;
    const WordDictionary dictionary = WordDictionary::readFirst(WordDictionary::paths(), &found, &error);
    if (dictionary.isEmpty())
        Terminal::say(QStringLiteral("No dictionary of readings (%1): the reviews show no readings").arg(error));
    ClassHost host(&store, recognition, options.limits);
    host.setRoute(options.route);
    host.setDictionary(&dictionary);
    QObject::connect(&host, &ClassHost::preferredCharactersChanged, &app, [&recognizers](const QSet<QString> &characters) {
        for (auto &r : recognizers)
            r->setPreferredCharacters(characters);
    });
    ClassWordLists lists(options.wordsDir.isEmpty()
                             ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("words"))
                             : options.wordsDir,
                         QDir(state).filePath(QStringLiteral("lists")));
    // Lists made in the teacher's page hold only kanji the boxes can read.
    QSet<QString> readable;
    for (const QString &model : SharedRecognizer::modelPaths()) {
        bool opened = false;
        readable = modelCharacters(model, &opened);
        if (opened)
            break;
    }
    ClassListMaker maker(
        &dictionary, [](char32_t c) { return kanjiSchoolYear(QString::fromUcs4(&c, 1)); },
        readable.isEmpty() ? std::function<bool(char32_t)>()
                           : [&readable](char32_t c) { return readable.contains(QString::fromUcs4(&c, 1)); });
    HostServer server(host, key, lists);
    if (!options.sessionSecretFile.isEmpty()) {
        QByteArray secret;
        if (!readSecret(options.sessionSecretFile, &secret, &error)) {
            Terminal::say(error);
            return 1;
        }
        server.sessions().setSecret(secret);
    }
    server.desk().setListMaker(&maker);
    server.setTrustedProxies(options.trustedProxies);
    // Among hosts sharing the database: alive, sessions ended, silent hosts' games.
    std::unique_ptr<HostBeat> beat;
    if (database.isShared()) {
        beat = std::make_unique<HostBeat>(store, server.sessions());
        QObject::connect(&server, &HostServer::sessionEnded, beat.get(), &HostBeat::revoke);
        QObject::connect(beat.get(), &HostBeat::tookOver, &app, [](int games, const QStringList &silent) {
            Terminal::say(QStringLiteral("%1 game(s) of %2, silent, marked interrupted").arg(games).arg(silent.join(QStringLiteral(", "))));
        });
        QObject::connect(beat.get(), &HostBeat::elsewhereChanged, &server.desk(), &TeacherDesk::refreshPast);
        beat->start();
    }
    if (!server.listen(options.address, options.port)) {
        Terminal::say(QStringLiteral("taruvo-host cannot listen on port %1: %2").arg(options.port).arg(server.errorString()));
        return 1;
    }

    const QStringList hosts = SeatAddresses::hosts(options.address);
    for (const QString &h : hosts) {
        const QString base = QStringLiteral("http://%1:%2/")
                                 .arg(h.contains(QLatin1Char(':')) ? QLatin1Char('[') + h + QLatin1Char(']') : h)
                                 .arg(server.port());
        Terminal::say(QStringLiteral("Teacher: %1teacher/    Children: %1").arg(base));
    }
    if (Terminal::isTerminal() && !hosts.isEmpty()) {
        const QrMatrix qr(QStringLiteral("http://%1:%2/teacher/").arg(hosts.first()).arg(server.port()));
        std::fputs(qr.terminalText().toUtf8().constData(), stdout);
    }
    Terminal::say(QStringLiteral("Word lists from %1; state in %2. Ctrl-C ends.").arg(lists.folder(), state));

    if (options.route)
        Terminal::say(QStringLiteral("Behind a proxy as route %1: class codes begin with %1; /health answers the proxy's checks")
                          .arg(ClassRoute::text(options.route)));
    // Told to stop: /health says so at once, so that the proxy sends nothing
    // new here, and the host ends after the drain (at once on a second signal).
    QTimer drain;
    drain.setSingleShot(true);
    QObject::connect(&drain, &QTimer::timeout, &app, [] { QCoreApplication::quit(); });
    QObject::connect(&stop, &StopSignals::ending, &app, [&host, &drain, &options](int) {
        if (host.isStopping() || options.drainSeconds == 0) {
            QCoreApplication::quit();
            return;
        }
        host.setStopping(true);
        Terminal::say(QStringLiteral("Stopping in %1 s: the proxy sends new class games to other hosts").arg(options.drainSeconds));
        drain.start(options.drainSeconds * 1000);
    });
    const int status = app.exec();
    // Games under way are marked interrupted and every write finished
    // before the program ends.
    host.shutdown();
    store.flush();
    quint64 sure = 0, full = 0;
    for (const auto &r : recognizers) {
        sure += r->sureReadings();
        full += r->fullReadings();
    }
    Terminal::say(QStringLiteral("taruvo-host ended (%1 inks read, %2 % by the ink model alone)")
                      .arg(sure + full)
                      .arg(sure + full ? 100.0 * double(sure) / double(sure + full) : 0.0, 0, 'f', 0));
    return status;
}
