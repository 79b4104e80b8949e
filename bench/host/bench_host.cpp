// SPDX-License-Identifier: GPL-3.0-or-later
// A whole class, or a whole school, against one class host over loopback.
//
//   bench_host [--children N] [--rounds R] [--round-seconds S] [--host PROGRAM] [--host-nice N]
//              [--proxy HOSTS]
//
// Starts the host program (by default taruvo-host beside this one) with a
// state folder of its own, gives the teacher key it shows, creates a class
// game for every 30 children and lets N simulated children join them, each
// from a loopback address of its own as tablets on a school network. Then R
// rounds: the teacher starts every class; each child writes 今 and 日 in real
// strokes (the strokes the browser test writes, a stroke every 40 ms), a
// character every 3 to 5 seconds, presses にんしき a moment after the second
// (0.3 to 1 s), then こたえあわせ and けす; the teacher ends every class after
// S seconds and releases the children to the lobby.
//
// Measured at the children, as a page sees it: にんしき to the message with
// its result, a stroke's end to its echo (the host has it and says so);
// at the host: CPU while the children write, resident memory after every
// round (flat or not), and both per child.
//
// With --proxy HOSTS, HOSTS hosts (routes 01, 02, ...) behind HAProxy,
// configured by deploy/haproxy/make-config.sh: the classes are made on the
// hosts in turn, the children go through the proxy with their class's
// route; CPU and memory are summed over the hosts.
#include "browser/todayink.h"
#include "fakes/rawwebsocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineF>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpServer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

using namespace TodayInk;

long statusKb(qint64 pid, const char *key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(strlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return f.value(11).toLong() + f.value(12).toLong();
}

// Times in 0.05 ms steps up to 5 s, counted in place.
class Histogram
{
public:
    void add(double ms)
    {
        ++m_bins[size_t(std::clamp(ms * PerMs, 0.0, double(Bins - 1)))];
        ++m_count;
        m_max = std::max(m_max, ms);
    }
    long count() const { return m_count; }
    double max() const { return m_max; }
    double percentile(double q) const
    {
        if (m_count == 0)
            return 0;
        const long rank = long(q * double(m_count - 1));
        long seen = 0;
        for (size_t i = 0; i < Bins; ++i) {
            seen += m_bins[i];
            if (seen > rank)
                return double(i) / PerMs;
        }
        return m_max;
    }
    void clear() { *this = Histogram(); }

private:
    static constexpr double PerMs = 20;
    static constexpr size_t Bins = 100000;
    std::vector<int> m_bins = std::vector<int>(Bins, 0);
    long m_count = 0;
    double m_max = 0;
};

struct Stats
{
    Histogram result;  // にんしき to its result, this round
    Histogram echo;    // a stroke's end to its echo, this round
    Histogram allResult;
    Histogram allEcho;
    // にんしき to its result once the round's first rush is over: every
    // child starts writing within 3 s of the start, so the first
    // characters of a whole school come at once.
    Histogram settled;
    long answers = 0;
    long refused = 0;
    bool measuring = false;
};

// A stroke of the browser test's ink (256 units) as a page sends it: on
// 1000 units, a point every few units as the finger moves.
QJsonArray points(const Polyline &stroke)
{
    QJsonArray pts;
    auto add = [&pts](QPointF p) {
        pts.append(std::round(p.x() * 1000.0 / 256 * 10) / 10);
        pts.append(std::round(p.y() * 1000.0 / 256 * 10) / 10);
    };
    add(stroke.first());
    for (int i = 1; i < stroke.size(); ++i) {
        const QLineF line(stroke[i - 1], stroke[i]);
        const int steps = std::max(1, int(line.length() * 1000.0 / 256 / 12));
        for (int s = 1; s <= steps; ++s)
            add(line.pointAt(double(s) / steps));
    }
    return pts;
}

double between(double low, double high)
{
    return low + (high - low) * QRandomGenerator::global()->generateDouble();
}

// One child's tablet: the class page, then the seat page when a round starts.
class Child : public QObject
{
public:
    Child(int index, quint16 port, Stats &stats) : m_index(index), m_port(port), m_stats(stats)
    {
        m_address = QHostAddress(QStringLiteral("127.0.%1.%2").arg(1 + index / 250).arg(1 + index % 250));
        m_pace.setSingleShot(true);
        connect(&m_pace, &QTimer::timeout, this, [this] { step(); });
        waitOpen();
        m_waitSeat.setInterval(20);
        connect(&m_waitSeat, &QTimer::timeout, this, [this] {
            if (m_seat && m_seat->isOpen()) {
                m_waitSeat.stop();
                m_seat->send({{"t", "join"}, {"code", m_seatCode}, {"token", m_token}});
            }
        });
    }

    bool entered() const { return !m_token.isEmpty(); }
    bool seated() const { return m_seat && m_seat->isOpen() && m_joined; }
    bool inLobby() const { return !m_seated && !m_seat && m_lobby && m_lobby->isOpen() && m_back; }

    // Where a child that did not get somewhere is, and what it heard last.
    QByteArray describe() const
    {
        auto link = [](const std::unique_ptr<RawWebSocket> &s) -> QByteArray {
            if (!s)
                return "none";
            if (s->isOpen())
                return "open";
            if (!s->isClosed())
                return "opening";
            return (s->wasUpgraded() ? QByteArray("closed") : QByteArray("refused at connect"))
                + (s->closeCode() ? " with code " + QByteArray::number(s->closeCode()) : " (" + s->errorText().toUtf8() + ")");
        };
        auto compact = [](const QJsonObject &m) { return QJsonDocument(m).toJson(QJsonDocument::Compact); };
        return QStringLiteral("child %1 (%2): class page %3, seat page %4, seated %5, joined %6, backing %7, back %8")
                   .arg(m_index)
                   .arg(m_address.toString(), QString::fromLatin1(link(m_lobby)), QString::fromLatin1(link(m_seat)))
                   .arg(m_seated)
                   .arg(m_joined)
                   .arg(m_backing)
                   .arg(m_back)
                   .toUtf8()
            + (m_waitSeat.isActive() ? ", its join not sent" : "") + (m_waitOpen.isActive() ? ", its class page's first message not sent" : "")
            + "\n    class page last heard: " + compact(m_lastLobby) + "\n    seat page last heard: " + compact(m_lastSeat);
    }

    void enter(const QString &code)
    {
        m_lobby = std::make_unique<RawWebSocket>();
        m_lobby->onMessage = [this](const QJsonObject &m) { lobbyMessage(m); };
        // Behind the proxy the code's route goes on every address, as the page puts it.
        m_route = code.size() == 10 ? QByteArray("?h=") + code.left(2).toLatin1() : QByteArray();
        m_lobby->open(m_address, m_port, "/class/ws" + m_route);
        m_enterCode = code;
        m_waitOpen.start();
    }

private:
    void waitOpen()
    {
        m_waitOpen.setInterval(20);
        connect(&m_waitOpen, &QTimer::timeout, this, [this] {
            if (m_lobby && m_lobby->isOpen()) {
                m_waitOpen.stop();
                if (m_backing)
                    m_lobby->send({{"t", "back"}, {"token", m_token}});
                else
                    m_lobby->send({{"t", "enter"}, {"code", m_enterCode}, {"name", QStringLiteral("c%1").arg(m_index, 3, 10, QLatin1Char('0'))}});
            }
        });
    }

    void back()
    {
        m_seat.reset();
        m_lobby = std::make_unique<RawWebSocket>();
        m_lobby->onMessage = [this](const QJsonObject &m) { lobbyMessage(m); };
        m_lobby->open(m_address, m_port, "/class/ws" + m_route);
        m_backing = true;
        m_waitOpen.start();
    }

    void lobbyMessage(const QJsonObject &m)
    {
        m_lastLobby = m;
        const QString t = m["t"].toString();
        if (t == "entered") {
            m_token = m["token"].toString();
            m_seatCode = m["seat"].toString();
            m_back = true;
        } else if (t == "lobby") {
            const bool seated = m["seated"].toBool();
            if (seated && !m_seated) {
                // The page turns into the seat page: the class page's
                // connection goes.
                m_seated = true;
                QTimer::singleShot(0, this, [this] {
                    m_lobby.reset();
                    openSeat();
                });
                return;
            }
            m_seated = seated;
        } else if (t == "refused") {
            std::fprintf(stderr, "child %d refused: %s\n", m_index, qPrintable(m["why"].toString()));
        }
    }

    void openSeat()
    {
        m_joined = false;
        m_back = false;
        // A page numbers its messages from 1 on each connection.
        m_nextId = 1;
        m_sentAt.clear();
        m_recognizeId = -1;
        m_seat = std::make_unique<RawWebSocket>();
        m_seat->onMessage = [this](const QJsonObject &m) { seatMessage(m); };
        m_seat->open(m_address, m_port, "/ws" + m_route);
        m_waitSeat.start();
    }

    void send(QJsonObject o, bool timed)
    {
        const qint64 id = m_nextId++;
        o["id"] = double(id);
        if (timed)
            m_sentAt.append({id, m_clock.nsecsElapsed()});
        m_seat->send(o);
    }

    void seatMessage(const QJsonObject &m)
    {
        if (m["t"].toString() != "state")
            m_lastSeat = m;
        const QString t = m["t"].toString();
        if (t == "joined") {
            m_joined = true;
            m_clock.start();
            m_stage = 0;
            m_pace.start(int(between(200, 3000)));
            return;
        }
        if (t == "closed") {
            // Released: the seat page goes back to the class page, which
            // comes back with the device's token.
            m_pace.stop();
            m_joined = false;
            m_seated = false;
            QTimer::singleShot(0, this, [this] { back(); });
            return;
        }
        if (t == "refused") {
            ++m_stats.refused;
            return;
        }
        if (t == "state") {
            // After the whole seat, only what changed.
            if (m.contains("boxes")) {
                const QJsonArray boxes = m["boxes"].toArray();
                for (int b = 0; b < 2; ++b)
                    m_epoch[b] = boxes.at(b).toObject()["e"].toInt();
            }
            if (m.contains("locked"))
                m_locked = m["locked"].toBool();
        }
        if (m.contains("ack")) {
            const qint64 ack = qint64(m["ack"].toDouble());
            const qint64 now = m_clock.nsecsElapsed();
            while (!m_sentAt.isEmpty() && m_sentAt.first().first <= ack) {
                const auto [id, at] = m_sentAt.takeFirst();
                const double ms = double(now - at) / 1e6;
                if (m_stats.measuring && id == m_recognizeId && m_clock.elapsed() > SettledMs)
                    m_stats.settled.add(ms);
                if (m_stats.measuring) {
                    (id == m_recognizeId ? m_stats.result : m_stats.echo).add(ms);
                    (id == m_recognizeId ? m_stats.allResult : m_stats.allEcho).add(ms);
                }
                if (id == m_recognizeId) {
                    m_recognizeId = -1;
                    m_pace.start(int(between(300, 800)));
                }
            }
        }
    }

    // What the child does next: strokes of 今, a pause, strokes of 日, a
    // pause, にんしき; after the result こたえあわせ, けす, and again.
    void step()
    {
        if (!seated() || m_locked)
            return;
        const QList<Polyline> &ink = m_stage < 4 ? ima : hi;
        const int box = m_stage < 4 ? 0 : 1;
        if (m_stage < 8) {
            send({{"t", "stroke"}, {"box", box}, {"e", m_epoch[box]}, {"pts", points(ink.at(m_stage % 4))}}, true);
            ++m_stage;
            if (m_stage == 4)
                m_pace.start(int(between(3000, 5000)));
            else if (m_stage == 8)
                m_pace.start(int(between(300, 1000)));
            else
                m_pace.start(40);
            return;
        }
        if (m_stage == 8) {
            m_recognizeId = m_nextId;
            send({{"t", "recognize"}}, true);
            ++m_stage; // the result moves on
            return;
        }
        if (m_stage == 9) {
            send({{"t", "answer"}}, false);
            ++m_stats.answers;
            ++m_stage;
            m_pace.start(300);
            return;
        }
        send({{"t", "erase"}}, false);
        m_stage = 0;
        m_pace.start(int(between(3000, 5000)));
    }

    static constexpr qint64 SettledMs = 15000;

    int m_index;
    quint16 m_port;
    Stats &m_stats;
    QHostAddress m_address;
    QString m_enterCode;
    QByteArray m_route;
    QString m_token;
    QString m_seatCode;
    std::unique_ptr<RawWebSocket> m_lobby;
    std::unique_ptr<RawWebSocket> m_seat;
    QTimer m_waitOpen;
    QTimer m_waitSeat;
    QTimer m_pace;
    QElapsedTimer m_clock;
    QList<std::pair<qint64, qint64>> m_sentAt;
    qint64 m_nextId = 1;
    qint64 m_recognizeId = -1;
    int m_epoch[2] = {0, 0};
    int m_stage = 0;
    bool m_seated = false;
    bool m_joined = false;
    bool m_backing = false; // the class page comes back by its token
    bool m_back = false;    // ... and is in the lobby
    bool m_locked = false;
    QJsonObject m_lastLobby;
    QJsonObject m_lastSeat;
};

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::usleep(500);
    }
    return true;
}

void waitFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::usleep(500);
    }
}

} // namespace

// One host program started for the benchmark: its key, its port.
struct StartedHost
{
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryDir> state;
    QString key;
    quint16 port = 0;
    QByteArray said;
    qint64 pid() const { return process->processId(); }
};

bool startHost(StartedHost &h, const QString &program, int hostNice, int children, int route)
{
    h.state = std::make_unique<QTemporaryDir>();
    QDir(h.state->path()).mkpath("words");
    QFile list(h.state->filePath("words/bench.txt"));
    list.open(QIODevice::WriteOnly);
    list.write(eighteen.join('\n').toUtf8());
    list.close();
    h.process = std::make_unique<QProcess>();
    h.process->setProcessChannelMode(QProcess::MergedChannels);
    QStringList hostArgs{"--state-dir", h.state->path(), "--address", "127.0.0.1", "--port", "0", "--words",
                         h.state->filePath("words"), "--max-children", QString::number(std::max(400, children)),
                         "--max-classes", "30"};
    if (route)
        hostArgs += QStringList{"--route", QString::number(route), "--trusted-proxy", "127.0.0.1"};
    QString run = program;
    // On a machine shared with other work, the host can be given the
    // priority a server of its own would give it.
    if (hostNice != 0) {
        hostArgs.prepend(program);
        hostArgs = QStringList{"-n", QString::number(hostNice)} + hostArgs;
        run = QStringLiteral("nice");
    }
    h.process->start(run, hostArgs);
    if (!waitUntil([&] {
            h.said += h.process->readAll();
            for (const QByteArray &line : h.said.split('\n')) {
                if (line.startsWith("Teacher key"))
                    h.key = QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1)).trimmed();
                if (line.startsWith("Teacher: http://127.0.0.1:"))
                    h.port = quint16(line.mid(26).split('/').first().toUInt());
            }
            return !h.key.isEmpty() && h.port;
        }, 60000)) {
        std::fprintf(stderr, "bench_host: %s did not start: %s\n", qPrintable(program), h.said.constData());
        return false;
    }
    return true;
}

// The teacher of a host: the key, the ticket, the session, its page.
std::unique_ptr<RawWebSocket> teacherOf(const StartedHost &h)
{
    RawWebSocket login;
    login.open(QHostAddress::LocalHost, h.port, "/teacher/ws");
    waitUntil([&] { return login.isOpen(); }, 5000);
    login.send({{"t", "login"}, {"key", h.key}});
    waitUntil([&] { return !login.last("ticket").isEmpty(); }, 10000);
    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, h.port);
    http.waitForConnected(5000);
    http.write("GET /teacher/session?ticket=" + login.last("ticket")["ticket"].toString().toLatin1()
               + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    waitUntil([&] { reply += http.readAll(); return reply.contains("\r\n\r\n"); }, 5000);
    const qsizetype at = reply.indexOf("Set-Cookie: ");
    const QByteArray cookie = reply.mid(at + 12, reply.indexOf(';', at) - at - 12);
    auto teacher = std::make_unique<RawWebSocket>();
    teacher->open(QHostAddress::LocalHost, h.port, "/teacher/ws", "Cookie: " + cookie + "\r\n");
    if (!waitUntil([&] { return !teacher->last("hello").isEmpty(); }, 10000))
        return nullptr;
    return teacher;
}

// HAProxy in front of the hosts, configured by the repository's generator;
// its port, or 0.
quint16 startProxy(QProcess &haproxy, QTemporaryDir &dir, const std::vector<StartedHost> &hosts)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QStringList args{QStringLiteral(TARUVO_SOURCE_DIR "/deploy/haproxy/make-config.sh"), "--bind",
                     QStringLiteral("127.0.0.1:%1").arg(port), "--join-rate", "0", "--maxconn", "4000"};
    for (size_t i = 0; i < hosts.size(); ++i)
        args += QStringList{"--host", QStringLiteral("%1=127.0.0.1:%2").arg(i + 1, 2, 10, QLatin1Char('0')).arg(hosts[i].port)};
    QProcess make;
    make.start("bash", args);
    if (!make.waitForFinished(20000) || make.exitCode() != 0) {
        std::fprintf(stderr, "bench_host: make-config.sh failed: %s\n", make.readAllStandardError().constData());
        return 0;
    }
    QFile cfg(dir.filePath("taruvo.cfg"));
    cfg.open(QIODevice::WriteOnly);
    cfg.write(make.readAllStandardOutput());
    cfg.close();
    haproxy.setProcessChannelMode(QProcess::MergedChannels);
    haproxy.start("haproxy", {"-db", "-f", cfg.fileName()});
    if (!haproxy.waitForStarted(10000)) {
        std::fprintf(stderr, "bench_host: haproxy does not start (Debian package haproxy; tools/setup.sh)\n");
        return 0;
    }
    const bool up = waitUntil([port] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(200);
    }, 10000);
    // Every host checked up.
    waitFor(5000);
    return up ? port : 0;
}

long sumOver(const std::vector<StartedHost> &hosts, const std::function<long(qint64)> &of)
{
    long n = 0;
    for (const StartedHost &h : hosts)
        n += of(h.pid());
    return n;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int children = 30, rounds = 10, roundSeconds = 30, hostNice = 0, proxied = 0;
    QString program = QDir(QCoreApplication::applicationDirPath()).filePath("taruvo-host");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--children")
            children = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
        else if (args[i] == "--round-seconds")
            roundSeconds = args[i + 1].toInt();
        else if (args[i] == "--host")
            program = args[i + 1];
        else if (args[i] == "--host-nice")
            hostNice = args[i + 1].toInt();
        else if (args[i] == "--proxy")
            proxied = args[i + 1].toInt();
    }
    // Classes of 30, as many as one host opens.
    if (children < 1 || children > 900 || rounds < 1 || roundSeconds < 5 || proxied < 0 || proxied > 9) {
        std::fprintf(stderr, "usage: bench_host [--children 1..900] [--rounds R] [--round-seconds S>=5] [--host PROGRAM]"
                             " [--host-nice N] [--proxy HOSTS]\n");
        return 2;
    }

    // Without --proxy one host, the children straight to it; with it HOSTS
    // hosts behind HAProxy, the children through it.
    std::vector<StartedHost> hosts(std::max(1, proxied));
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!startHost(hosts[i], program, hostNice, children, proxied ? int(i) + 1 : 0))
            return 1;
    }
    const QString hostProgram = program;
    QProcess haproxy;
    QTemporaryDir proxyDir;
    quint16 port = hosts.front().port;
    if (proxied && !(port = startProxy(haproxy, proxyDir, hosts))) {
        std::fprintf(stderr, "bench_host: the proxy did not come up: %s\n", haproxy.readAll().constData());
        return 1;
    }
    waitFor(3000); // the recognisers load
    const long idleKb = sumOver(hosts, [](qint64 pid) { return statusKb(pid, "VmRSS:"); });

    // The teachers, each creating class games of 30 on its host in turn.
    std::vector<std::unique_ptr<RawWebSocket>> teachers;
    for (const StartedHost &h : hosts) {
        teachers.push_back(teacherOf(h));
        if (!teachers.back()) {
            std::fprintf(stderr, "bench_host: the teacher's key was not taken\n");
            return 1;
        }
    }
    const int classes = (children + 29) / 30;
    for (int c = 0; c < classes; ++c) {
        teachers[size_t(c) % teachers.size()]->send({{"t", "create"}, {"name", QStringLiteral("class %1").arg(c + 1)},
                                                     {"list", "bench.txt"}, {"timeOn", true}, {"time", 600},
                                                     {"answersOn", false}, {"answers", 5}});
    }
    QList<qint64> ids;
    QStringList codes;
    QList<RawWebSocket *> teacherOfClass;
    for (size_t t = 0; t < teachers.size(); ++t) {
        const int own = classes / int(teachers.size()) + (int(t) < classes % int(teachers.size()) ? 1 : 0);
        QJsonArray open;
        waitUntil([&] { open = teachers[t]->last("classes")["classes"].toArray(); return open.size() == own; }, 10000);
        for (const QJsonValue &c : open) {
            ids << qint64(c.toObject()["id"].toDouble());
            codes << c.toObject()["code"].toString();
            teacherOfClass << teachers[t].get();
        }
    }
    if (codes.size() != classes) {
        std::fprintf(stderr, "bench_host: %lld of %d class games made\n", qlonglong(codes.size()), classes);
        return 1;
    }

    Stats stats;
    std::vector<std::unique_ptr<Child>> kids;
    for (int i = 0; i < children; ++i) {
        kids.push_back(std::make_unique<Child>(i, port, stats));
        kids.back()->enter(codes.at(i / 30));
    }
    if (!waitUntil([&] { return std::all_of(kids.begin(), kids.end(), [](auto &k) { return k->entered(); }); }, 60000)) {
        std::fprintf(stderr, "bench_host: not every child got in\n");
        return 1;
    }
    const long lobbyKb = sumOver(hosts, [](qint64 pid) { return statusKb(pid, "VmRSS:"); });
    std::printf("host %s (nice %d): %d children in %d class game(s), %d rounds of %d s%s\n", qPrintable(hostProgram),
                hostNice, children, classes, rounds, roundSeconds,
                proxied ? qPrintable(QStringLiteral("; %1 host(s) behind HAProxy, figures summed over them").arg(proxied))
                        : "");
    std::printf("resident memory: %.1f MB idle, %.1f MB with the children in the lobby\n", idleKb / 1024.0,
                lobbyKb / 1024.0);
    std::printf("round  にんしき→result median  p99     stroke echo p99  answers  host CPU  resident\n");

    std::vector<long> resident;
    double cpuAll = 0;
    double proxyCpu = 0;
    double ownCpu = 0;
    long seconds = 0;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    for (int r = 1; r <= rounds; ++r) {
        for (qsizetype c = 0; c < ids.size(); ++c)
            teacherOfClass[c]->send({{"t", "start"}, {"class", double(ids[c])}, {"oneDeal", false}});
        if (!waitUntil([&] { return std::all_of(kids.begin(), kids.end(), [](auto &k) { return k->seated(); }); }, 60000)) {
            std::fprintf(stderr, "bench_host: round %d: not every child got its seat\n", r);
            for (const auto &k : kids) {
                if (!k->seated())
                    std::fprintf(stderr, "  %s\n", k->describe().constData());
            }
            for (StartedHost &h : hosts)
                std::fprintf(stderr, "the host said:\n%s\n", h.process->readAll().constData());
            return 1;
        }
        stats.result.clear();
        stats.echo.clear();
        stats.answers = 0;
        stats.measuring = true;
        const long ticks0 = sumOver(hosts, cpuTicks);
        const long proxyTicks0 = proxied ? cpuTicks(haproxy.processId()) : 0;
        const long ownTicks0 = cpuTicks(QCoreApplication::applicationPid());
        QElapsedTimer wall;
        wall.start();
        waitFor(roundSeconds * 1000);
        const double cpu = double(sumOver(hosts, cpuTicks) - ticks0) / double(ticksPerSecond) / (double(wall.elapsed()) / 1000.0);
        ownCpu += double(cpuTicks(QCoreApplication::applicationPid()) - ownTicks0) / double(ticksPerSecond);
        if (proxied)
            proxyCpu += double(cpuTicks(haproxy.processId()) - proxyTicks0) / double(ticksPerSecond);
        stats.measuring = false;
        cpuAll += cpu * double(roundSeconds);
        seconds += roundSeconds;
        for (qsizetype c = 0; c < ids.size(); ++c)
            teacherOfClass[c]->send({{"t", "end"}, {"class", double(ids[c])}});
        waitFor(500);
        for (qsizetype c = 0; c < ids.size(); ++c)
            teacherOfClass[c]->send({{"t", "release"}, {"class", double(ids[c])}});
        if (!waitUntil([&] { return std::all_of(kids.begin(), kids.end(), [](auto &k) { return k->inLobby(); }); }, 30000)) {
            std::fprintf(stderr, "bench_host: round %d: not every child came back to the lobby\n", r);
            for (const auto &k : kids) {
                if (!k->inLobby())
                    std::fprintf(stderr, "  %s\n", k->describe().constData());
            }
            for (StartedHost &h : hosts)
                std::fprintf(stderr, "the host said:\n%s\n", h.process->readAll().constData());
            return 1;
        }
        waitFor(1000);
        resident.push_back(sumOver(hosts, [](qint64 pid) { return statusKb(pid, "VmRSS:"); }));
        std::printf("%5d  %19.1f ms %6.1f ms %13.1f ms  %7ld  %6.0f %%  %6.1f MB\n", r, stats.result.percentile(0.5),
                    stats.result.percentile(0.99), stats.echo.percentile(0.99), stats.answers, cpu * 100,
                    resident.back() / 1024.0);
        std::fflush(stdout);
    }
    std::printf("\nall rounds: にんしき→result median %.1f ms, p99 %.1f ms, max %.1f ms (%ld); stroke echo median %.1f ms, "
                "p99 %.1f ms (%ld); refused messages %ld\n",
                stats.allResult.percentile(0.5), stats.allResult.percentile(0.99), stats.allResult.max(),
                stats.allResult.count(), stats.allEcho.percentile(0.5), stats.allEcho.percentile(0.99),
                stats.allEcho.count(), stats.refused);
    std::printf("after the first 15 s of a round: にんしき→result median %.1f ms, p99 %.1f ms (%ld)\n",
                stats.settled.percentile(0.5), stats.settled.percentile(0.99), stats.settled.count());
    std::printf("host CPU while writing: %.0f %% of one core, %.2f %% per child\n", cpuAll / double(seconds) * 100,
                cpuAll / double(seconds) * 100 / children);
    if (proxied)
        std::printf("HAProxy while writing: %.1f %% of one core\n", proxyCpu / double(seconds) * 100);
    std::printf("the simulated children themselves: %.0f %% of one core; machine load average now %s\n",
                ownCpu / double(seconds) * 100, [] {
                    QFile load("/proc/loadavg");
                    load.open(QIODevice::ReadOnly);
                    return load.readAll().split(' ').mid(0, 3).join(' ');
                }().constData());
    std::printf("resident memory: first round %.1f MB, last %.1f MB, most %.1f MB; %.2f MB per child over idle\n",
                resident.front() / 1024.0, resident.back() / 1024.0,
                *std::max_element(resident.begin(), resident.end()) / 1024.0,
                (double(*std::max_element(resident.begin(), resident.end())) - double(idleKb)) / 1024.0 / children);

    kids.clear();
    if (proxied) {
        haproxy.terminate();
        haproxy.waitForFinished(10000);
    }
    for (StartedHost &h : hosts) {
        h.process->terminate();
        h.process->waitForFinished(10000);
        // Its last words: how its recognisers read.
        const QList<QByteArray> lastWords = h.process->readAll().trimmed().split('\n');
        std::printf("host: %s\n", lastWords.isEmpty() ? "" : lastWords.last().constData());
    }
    return 0;
}
