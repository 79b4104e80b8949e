// SPDX-License-Identifier: GPL-3.0-or-later
// Seats in browsers under load, over loopback.
//
//   bench_seats [--answers N]    the console here, both seats taken by pages
//                                on a thread of their own that write 今 and 日
//                                stroke by stroke, press にんしき, answer and
//                                erase, without pause, for N answers; then
//                                N/4 more with a crowd of intruders in a
//                                process of their own (wrong codes and
//                                oversized messages from 50 addresses,
//                                connections that hold every slot, requests
//                                never finished, a sweep of wrong codes from a
//                                new address each time); then N/8 more of
//                                player 1 while seat 2 is hostile (strokes at
//                                the limits and undo, nothing read, back with
//                                its token whenever cut). Player 1's page
//                                reloads every few seconds, back with its
//                                token. Stroke end to its echo, にんしき to its
//                                result, the time to come back, the console's
//                                event-loop stalls, its memory.
//   bench_seats --instances PROGRAM   the cost of one more console on this
//                                PC: memory and idle CPU of the program
//                                started once without seats, once with, and
//                                a second time beside it.
#include "console/ctrlform.h"
#include "console/seatswindow.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "seats/remoteseat.h"
#include "seats/seatserver.h"
#include "browser/todayink.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMetaEnum>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <vector>

namespace {

using namespace TodayInk;

long statusKb(const char *key, qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(strlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

long pssKb(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : rollup.readAll().split('\n'))
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').first().toLong();
    return -1;
}

// User and system time of a process, in clock ticks.
long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return f.value(11).toLong() + f.value(12).toLong();
}

// Times every event the console's thread handles, by the class of its
// receiver: which code holds the event loop up, and for how long.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !m_on || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++m_depth;
        const char *name = receiver->metaObject()->className();
        const QEvent::Type type = event->type();
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = t.nsecsElapsed() / 1e6;
        --m_depth;
        const char *kind = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        Slowest &s = m_slowest[QByteArray(name) + ' ' + (kind ? QByteArray(kind) : QByteArray::number(int(type)))];
        s.max = std::max(s.max, ms);
        s.total += ms;
        s.overFrame += ms > 16.7;
        return done;
    }
    void setTiming(bool on) { m_on = on; }
    void printSlowest(int count)
    {
        QList<QByteArray> names = m_slowest.keys();
        std::sort(names.begin(), names.end(),
                  [this](const QByteArray &a, const QByteArray &b) { return m_slowest[a].max > m_slowest[b].max; });
        for (const QByteArray &n : names.mid(0, count))
            std::printf("    %-36s longest %7.2f ms, %4d over a frame, %8.0f ms in all\n", n.constData(),
                        m_slowest[n].max, m_slowest[n].overFrame, m_slowest[n].total);
        m_slowest.clear();
    }

private:
    struct Slowest
    {
        double max = 0, total = 0;
        int overFrame = 0;
    };
    QHash<QByteArray, Slowest> m_slowest;
    int m_depth = 0;
    bool m_on = false;
};

// Times in 0.05 ms steps up to 2 s, counted in place: memory that does not
// grow with the run, so that the console's resident memory is its own.
class Histogram
{
public:
    void add(double ms)
    {
        ++m_bins[size_t(std::clamp(ms * PerMs, 0.0, double(Bins - 1)))];
        ++m_count;
        m_max = std::max(m_max, ms);
    }
    void merge(const Histogram &other)
    {
        for (size_t i = 0; i < Bins; ++i)
            m_bins[i] += other.m_bins[i];
        m_count += other.m_count;
        m_max = std::max(m_max, other.m_max);
    }
    long count() const { return m_count; }
    double max() const { return m_max; }
    long over(double ms) const
    {
        long n = 0;
        for (size_t i = size_t(ms * PerMs) + 1; i < Bins; ++i)
            n += m_bins[i];
        return n;
    }
    double percentile(double q) const
    {
        const long rank = long(q * double(m_count - 1));
        long seen = 0;
        for (size_t i = 0; i < Bins; ++i) {
            seen += m_bins[i];
            if (seen > rank)
                return i / PerMs;
        }
        return m_max;
    }

private:
    static constexpr double PerMs = 20;
    static constexpr size_t Bins = 40000;
    std::vector<int> m_bins = std::vector<int>(Bins, 0);
    long m_count = 0;
    double m_max = 0;
};

// A page that writes without pause: 今 in box 0, 日 in box 1, にんしき,
// こたえあわせ, けす, and again.
class Page : public QObject
{
public:
    Page(int player, QString code, quint16 port, const std::atomic<int> *phase)
        : m_player(player), m_code(std::move(code)), m_port(port), m_phase(phase)
    {
        connect(&m_socket, &QWebSocket::connected, this, [this] {
            QJsonObject join{{"t", "join"}, {"code", m_code}};
            if (!m_token.isEmpty())
                join.insert("token", m_token);
            m_socket.sendTextMessage(QJsonDocument(join).toJson(QJsonDocument::Compact));
        });
        connect(&m_socket, &QWebSocket::textMessageReceived, this, &Page::received);
        m_pace.setSingleShot(true);
        connect(&m_pace, &QTimer::timeout, this, &Page::next);
    }
    void start()
    {
        m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
    }

    void stop()
    {
        m_pace.stop();
        m_socket.disconnect(this);
        m_socket.abort();
    }

    // As a reload does: the connection goes, a new one comes back with the
    // seat's token. A page that has not come back after 5 s has failed.
    void reload()
    {
        if (m_token.isEmpty() || m_reloading)
            return;
        m_pace.stop();
        m_waiting = 0;
        // A new connection numbers its messages from 1.
        m_id = 0;
        m_reloading = true;
        m_socket.abort();
        m_back.start();
        m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
        QTimer::singleShot(5000, this, [this] {
            if (m_reloading) {
                ++notBack;
                m_reloading = false;
                m_socket.abort();
                m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(m_port)));
            }
        });
    }
    QString token() const { return m_token; }

    static constexpr int Phases = 3;
    Histogram echo[Phases], result[Phases], back[Phases];
    std::atomic<int> answers{0};
    std::atomic<int> refusals{0};
    std::atomic<int> notBack{0};

private:
    void received(const QString &text)
    {
        const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
        const QString t = m.value("t").toString();
        if (t == "joined") {
            m_token = m.value("token").toString();
            if (m_reloading) {
                m_reloading = false;
                back[m_phase->load()].add(m_back.nsecsElapsed() / 1e6);
                // Goes on from a clean box, as a child after a reload would.
                m_step = 10;
                m_resume = true;
            }
            return;
        }
        if (t == "refused" && !m.value("reason").toString().isEmpty()) {
            ++refusals;
            return;
        }
        if (t == "refused") {
            // Over the rate: the step is sent again a little later.
            ++refusals;
            if (m_waiting > 0) {
                m_waiting = 0;
                m_step = (m_step + 10) % 11;
                m_pace.start(100);
            }
            return;
        }
        if (t != "state" && t != "ack")
            return;
        // A state carries only what changed.
        if (m.contains("boxes")) {
            const QJsonArray boxes = m.value("boxes").toArray();
            for (int b = 0; b < 2; ++b)
                m_epoch[b] = boxes.at(b).toObject().value("e").toInt();
        }
        if (m.contains("locked"))
            m_locked = m.value("locked").toBool();
        const qint64 ack = qint64(m.value("ack").toDouble(-1));
        if (m_waiting > 0 && ack >= m_waiting) {
            const double ms = m_clock.nsecsElapsed() / 1e6;
            const int phase = m_phase->load();
            if (m_waitingFor == Stroke)
                echo[phase].add(ms);
            else if (m_waitingFor == Recognize)
                result[phase].add(ms);
            else if (m_waitingFor == Answer)
                ++answers;
            m_waiting = 0;
            // A stroke every 40 ms, ten times as fast as a child writes, and
            // within the seats' rate of 40 messages a second.
            m_pace.start(m_waitingFor == Stroke ? 40 : 0);
        } else if ((!m_started || m_resume) && t == "state" && !m_locked) {
            m_started = true;
            m_resume = false;
            next();
        }
    }

    void send(QJsonObject o, int kind)
    {
        o.insert("id", double(++m_id));
        m_waiting = m_id;
        m_waitingFor = kind;
        m_clock.start();
        m_socket.sendTextMessage(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }

    void next()
    {
        // Steps 0..7 strokes, 8 にんしき, 9 こたえあわせ, 10 けす.
        const int step = m_step;
        m_step = (m_step + 1) % 11;
        if (step < 8) {
            const int box = step < 4 ? 0 : 1;
            const Polyline &stroke = (box == 0 ? ima : hi)[step % 4];
            QJsonArray pts;
            const double jitter = QRandomGenerator::global()->bounded(6.0) - 3;
            for (int i = 1; i < stroke.size(); ++i) {
                for (int k = i == 1 ? 0 : 1; k <= 10; ++k) {
                    const QPointF p = stroke[i - 1] + (stroke[i] - stroke[i - 1]) * (k / 10.0);
                    pts.append(qBound(0.0, (p.x() + jitter) * 1000 / 256, 1000.0));
                    pts.append(qBound(0.0, (p.y() + jitter) * 1000 / 256, 1000.0));
                }
            }
            send({{"t", "stroke"}, {"box", box}, {"e", m_epoch[box]}, {"pts", pts}}, Stroke);
        } else if (step == 8) {
            send({{"t", "recognize"}}, Recognize);
        } else if (step == 9) {
            send({{"t", "answer"}}, Answer);
        } else {
            send({{"t", "erase"}}, Erase);
        }
    }

    enum { Stroke, Recognize, Answer, Erase };
    int m_player;
    QString m_code;
    quint16 m_port;
    const std::atomic<int> *m_phase;
    // Children, so that they move to the pages' thread with the page.
    QWebSocket m_socket{QString(), QWebSocketProtocol::VersionLatest, this};
    QTimer m_pace{this};
    QElapsedTimer m_clock;
    QElapsedTimer m_back;
    QString m_token;
    bool m_reloading = false;
    bool m_resume = false;
    bool m_started = false;
    bool m_locked = true;
    int m_step = 0;
    int m_epoch[2] = {0, 0};
    qint64 m_id = 0;
    qint64 m_waiting = 0;
    int m_waitingFor = Stroke;
};

// A client's frame, masked as it must be.
QByteArray maskedFrame(const QByteArray &payload)
{
    QByteArray f;
    f.append(char(0x81));
    if (payload.size() < 126) {
        f.append(char(0x80 | payload.size()));
    } else {
        f.append(char(0x80 | 126));
        f.append(char(payload.size() >> 8));
        f.append(char(payload.size() & 0xff));
    }
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    f.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        f.append(char(payload[i] ^ mask[i % 4]));
    return f;
}

const QByteArray Handshake = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

// A client from an address of its own that keeps trying: a WebSocket
// handshake, then a join with a wrong code or a message of 40 kB, until the
// server closes; then again.
class Intruder : public QObject
{
public:
    Intruder(int index, quint16 port) : m_index(index), m_port(port)
    {
        connect(&m_socket, &QTcpSocket::connected, this, [this] { m_socket.write(Handshake); });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
            m_reply += m_socket.readAll();
            if (!m_sent && m_reply.contains("\r\n\r\n")) {
                m_sent = true;
                const bool big = (m_attempts % 2) == 1;
                m_socket.write(maskedFrame(big ? QByteArray(40 * 1024, 'x')
                                               : QByteArray("{\"t\":\"join\",\"code\":\"00000") + char('0' + m_attempts % 10)
                                                     + "\"}"));
            }
        });
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] { QTimer::singleShot(0, this, &Intruder::start); });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
            if (m_socket.state() == QAbstractSocket::UnconnectedState)
                QTimer::singleShot(5, this, &Intruder::start);
        });
    }
    void start()
    {
        ++m_attempts;
        m_reply.clear();
        m_sent = false;
        m_socket.abort();
        m_socket.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(10 + m_index)));
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
    }
    int attempts() const { return m_attempts; }

private:
    int m_index;
    quint16 m_port;
    QTcpSocket m_socket{this};
    QByteArray m_reply;
    bool m_sent = false;
    int m_attempts = 0;
};

// Connections from one address that hold slots: idle, or a request never
// finished (a byte of header now and then); each one dropped or refused is
// opened again at once.
class SlotHolder : public QObject
{
public:
    SlotHolder(const QHostAddress &from, quint16 port, int count, bool slow)
        : m_from(from), m_port(port), m_slow(slow)
    {
        for (int i = 0; i < count; ++i)
            open();
        m_drip.setInterval(500);
        connect(&m_drip, &QTimer::timeout, this, [this] {
            for (QTcpSocket *s : findChildren<QTcpSocket *>()) {
                if (m_slow && s->state() == QAbstractSocket::ConnectedState)
                    s->write("x");
            }
        });
        m_drip.start();
    }
    int opened() const { return m_opened; }

private:
    void open()
    {
        ++m_opened;
        auto *s = new QTcpSocket(this);
        s->bind(m_from);
        connect(s, &QTcpSocket::connected, s, [this, s] {
            if (m_slow)
                s->write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-");
        });
        auto again = [this, s] {
            if (s->property("gone").toBool())
                return;
            s->setProperty("gone", true);
            s->deleteLater();
            QTimer::singleShot(5, this, [this] { open(); });
        };
        connect(s, &QTcpSocket::disconnected, this, again);
        connect(s, &QTcpSocket::errorOccurred, this, again);
        s->connectToHost(QHostAddress::LocalHost, m_port);
    }

    QHostAddress m_from;
    quint16 m_port;
    bool m_slow;
    int m_opened = 0;
    QTimer m_drip{this};
};

// Wrong codes, each from an address never seen before: 127.2.x.y, as an
// attacker with many addresses (on IPv6, one device alone has them).
class Sweeper : public QObject
{
public:
    Sweeper(quint16 port, int parallel) : m_port(port)
    {
        for (int i = 0; i < parallel; ++i)
            next();
    }
    int attempts() const { return m_next; }
    int waits() const { return m_waits; }

private:
    void next()
    {
        const int n = m_next++;
        auto *s = new QTcpSocket(this);
        s->bind(QHostAddress(QStringLiteral("127.2.%1.%2").arg((n / 250) % 250).arg(1 + n % 250)));
        auto reply = std::make_shared<QByteArray>();
        connect(s, &QTcpSocket::connected, s, [s] { s->write(Handshake); });
        connect(s, &QTcpSocket::readyRead, s, [this, s, reply, n] {
            const bool fresh = !reply->contains("\r\n\r\n");
            *reply += s->readAll();
            if (fresh && reply->contains("\r\n\r\n"))
                s->write(maskedFrame(QStringLiteral("{\"t\":\"join\",\"code\":\"%1\"}")
                                         .arg(n % 1000000, 6, 10, QLatin1Char('0'))
                                         .toUtf8()));
            m_waits += reply->contains("\"wait\"") && !s->property("counted").toBool();
            if (reply->contains("\"wait\""))
                s->setProperty("counted", true);
        });
        auto again = [this, s] {
            if (s->property("gone").toBool())
                return;
            s->setProperty("gone", true);
            s->deleteLater();
            QTimer::singleShot(0, this, [this] { next(); });
        };
        connect(s, &QTcpSocket::disconnected, this, again);
        connect(s, &QTcpSocket::errorOccurred, this, again);
        s->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    int m_next = 0;
    int m_waits = 0;
};

// The player in seat 2 turned hostile: back on its seat with its token, it
// reads the seat's state once (the boxes' epochs), then writes strokes at
// the limits (2,000 points, 64 a box) and undoes them, 20 messages a
// second, and never reads what the console sends any more. When cut, it
// comes back at once.
class HostileSeat : public QObject
{
public:
    HostileSeat(quint16 port, QString code, QString token)
        : m_port(port), m_code(std::move(code)), m_token(std::move(token))
    {
        m_pace.setInterval(50);
        connect(&m_pace, &QTimer::timeout, this, &HostileSeat::write);
        open();
    }
    QString summary() const
    {
        return QStringLiteral("%1 connections, %2 joined, %3 cut, %4 MB sent")
            .arg(m_connections)
            .arg(m_joined)
            .arg(m_cut)
            .arg(m_sent / 1e6, 0, 'f', 1);
    }

private:
    QByteArray stroke(int box) const
    {
        QJsonArray pts;
        // Tenths, as a page sends them: the largest stroke that fits a message.
        for (int i = 0; i < 2000; ++i)
            pts << std::round((999.9 - (i % 97) * 7.3) * 10) / 10 << std::round((100.1 + (i % 89) * 9.7) * 10) / 10;
        return maskedFrame(QJsonDocument(QJsonObject{{"t", "stroke"}, {"box", box}, {"e", m_epoch[box]}, {"pts", pts}})
                               .toJson(QJsonDocument::Compact));
    }
    // The seat's first state, from the frames come so far.
    bool readState()
    {
        for (;;) {
            if (m_in.size() < 2)
                return false;
            qint64 length = uchar(m_in[1]) & 0x7f;
            qsizetype at = 2;
            if (length == 126) {
                if (m_in.size() < 4)
                    return false;
                length = uchar(m_in[2]) << 8 | uchar(m_in[3]);
                at = 4;
            } else if (length == 127) {
                if (m_in.size() < 10)
                    return false;
                length = 0;
                for (int i = 0; i < 8; ++i)
                    length = length << 8 | uchar(m_in[2 + i]);
                at = 10;
            }
            if (m_in.size() < at + length)
                return false;
            const QJsonObject m = QJsonDocument::fromJson(m_in.mid(at, length)).object();
            m_in.remove(0, at + length);
            if (m.value("t").toString() == "state") {
                const QJsonArray boxes = m.value("boxes").toArray();
                for (int b = 0; b < 2; ++b)
                    m_epoch[b] = boxes.at(b).toObject().value("e").toInt();
                return true;
            }
        }
    }
    void open()
    {
        ++m_connections;
        m_phase = Handshake;
        m_in.clear();
        auto *s = new QTcpSocket(this);
        m_socket = s;
        // A device of its own, not player 1's.
        s->bind(QHostAddress(QStringLiteral("127.0.3.1")));
        connect(s, &QTcpSocket::connected, s, [s] { s->write(::Handshake); });
        connect(s, &QTcpSocket::readyRead, s, [this, s] {
            if (m_phase == Deaf)
                return;
            m_in += s->readAll();
            if (m_phase == Handshake) {
                const qsizetype end = m_in.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                if (!m_in.startsWith("HTTP/1.1 101"))
                    return;
                m_in.remove(0, end + 4);
                m_phase = Joining;
                s->write(maskedFrame(QStringLiteral("{\"t\":\"join\",\"code\":\"%1\",\"token\":\"%2\"}")
                                         .arg(m_code, m_token)
                                         .toUtf8()));
            }
            if (m_phase == Joining && readState()) {
                ++m_joined;
                m_phase = Deaf;
                m_step = 0;
                m_stroke[0] = stroke(0);
                m_stroke[1] = stroke(1);
                // Nothing is read from now on: what the console sends piles up.
                s->setReadBufferSize(1);
                m_pace.start();
            }
        });
        auto again = [this, s] {
            if (s->property("gone").toBool())
                return;
            s->setProperty("gone", true);
            m_cut += m_phase == Deaf;
            m_pace.stop();
            m_socket = nullptr;
            s->deleteLater();
            QTimer::singleShot(10, this, [this] { open(); });
        };
        connect(s, &QTcpSocket::disconnected, this, again);
        connect(s, &QTcpSocket::errorOccurred, this, again);
        s->connectToHost(QHostAddress::LocalHost, m_port);
    }
    void write()
    {
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        // Both boxes full, then undo and write again, again and again.
        QByteArray frame;
        const int box = m_step % 2;
        if (m_step >= 128 && m_step % 4 < 2)
            frame = maskedFrame(QStringLiteral("{\"t\":\"undo\",\"box\":%1}").arg(box).toUtf8());
        else
            frame = m_stroke[box];
        ++m_step;
        m_sent += m_socket->write(frame);
    }

    enum Phase { Handshake, Joining, Deaf };
    quint16 m_port;
    QString m_code, m_token;
    QByteArray m_stroke[2];
    QTcpSocket *m_socket = nullptr;
    QByteArray m_in;
    QTimer m_pace{this};
    Phase m_phase = Handshake;
    int m_epoch[2] = {0, 0};
    int m_step = 0;
    int m_connections = 0, m_joined = 0, m_cut = 0;
    qint64 m_sent = 0;
};

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void report(const char *what, const Histogram &h)
{
    std::printf("  %-34s n=%6ld  median %7.2f ms  p99 %7.2f ms  max %7.2f ms\n", what, h.count(), h.percentile(0.5),
                h.percentile(0.99), h.max());
}

int underLoad(int answersWanted)
{
    QTemporaryDir folder;
    write(folder.filePath("Taruvo.ini"), "[Taruvo]\r\nNetSeats=1,2\r\nNetSeatAddress=127.0.0.1\r\nNetSeatPort=18840\r\n");
    write(folder.filePath("list.txt"), eighteen.join('\n').toUtf8());
    CtrlForm console;
    console.setEndProgram([] {});
    console.load(folder.path());
    console.show();
    console.recognizer().load();
    MenuBT *menu = console.menuBT();
    emit menu->fileMenu()->aboutToShow();
    for (QAction *action : menu->fileMenu()->actions()) {
        if (action->text() == "list.txt")
            action->trigger();
    }
    // The list is read off the window's thread; スタート is enabled once it is in.
    QElapsedTimer reading;
    reading.start();
    while (!console.StartButton()->isEnabled() && reading.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // No limit ends the game during the run.
    console.SeikaiCheck()->setChecked(false);
    console.TimeCheck()->setChecked(false);
    console.StartButton()->click();
    SeatServer *server = console.seatsWindow()->server();
    const quint16 port = server->port();

    // The event loop of the console and the local windows: how late a
    // 2 ms timer comes.
    Histogram gaps[Page::Phases];
    std::atomic<int> phase{0};
    QElapsedTimer loopClock;
    loopClock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        gaps[phase.load()].add(loopClock.nsecsElapsed() / 1e6);
        loopClock.restart();
    });

    QThread pages;
    pages.start();
    std::vector<Page *> seats;
    for (int p = 1; p <= 2; ++p) {
        auto *page = new Page(p, server->seat(p)->code(), port, &phase);
        page->moveToThread(&pages);
        seats.push_back(page);
    }
    auto answered = [&seats] { return seats[0]->answers.load() + seats[1]->answers.load(); };
    auto wait = [&](const std::function<bool()> &done, int limitMs) {
        QElapsedTimer t, told;
        t.start();
        told.start();
        while (!done() && t.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (told.elapsed() > 30000) {
                std::printf("  ... %d answers, %lld s\n", answered(), t.elapsed() / 1000);
                told.restart();
            }
        }
    };

    // The machine's own noise: the timer alone, before any page writes.
    QElapsedTimer phaseClock;
    Histogram idleGaps;
    {
        QElapsedTimer idleClock;
        idleClock.start();
        QTimer idle;
        idle.setTimerType(Qt::PreciseTimer);
        idle.setInterval(2);
        QObject::connect(&idle, &QTimer::timeout, [&] {
            idleGaps.add(idleClock.nsecsElapsed() / 1e6);
            idleClock.restart();
        });
        idle.start();
        phaseClock.start();
        while (phaseClock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    for (Page *page : seats)
        QMetaObject::invokeMethod(page, [page] { page->start(); });

    wait([&] { return answered() >= 20; }, 120000);
    static_cast<TimedApplication *>(QCoreApplication::instance())->setTiming(true);
    tick.start();
    loopClock.restart();
    phaseClock.restart();
    const long rssAt20 = statusKb("VmRSS:");
    std::printf("seats on port %u; warm after %d answers, resident %ld kB\n", port, answered(), rssAt20);
    wait([&] { return answered() >= 20 + answersWanted / 2; }, 3600000);
    const long rssHalf = statusKb("VmRSS:");
    wait([&] { return answered() >= 20 + answersWanted; }, 3600000);
    const long rssQuiet = statusKb("VmRSS:");
    const double quietSeconds = phaseClock.elapsed() / 1000.0;
    const int quietAnswers = answered();

    auto *timed = static_cast<TimedApplication *>(QCoreApplication::instance());
    std::printf("events of the console's thread while both seats write:\n");
    timed->printSlowest(6);

    // Player 1's page reloads every 3 s from now on, back with its token.
    QTimer reloads;
    reloads.setInterval(3000);
    QObject::connect(&reloads, &QTimer::timeout, [&seats] {
        Page *p = seats[0];
        QMetaObject::invokeMethod(p, [p] { p->reload(); });
    });

    // The intruders run in a process of their own: their memory is not the
    // console's, though they share the machine's two cores.
    phase = 1;
    phaseClock.restart();
    reloads.start();
    QProcess crowd;
    crowd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    crowd.start(QCoreApplication::applicationFilePath(), {"--intrude", QString::number(port)});
    crowd.waitForStarted();
    const int attacked = std::max(100, answersWanted / 4);
    wait([&] { return answered() >= quietAnswers + attacked; }, 3600000);
    const double attackSeconds = phaseClock.elapsed() / 1000.0;
    const long rssAttacked = statusKb("VmRSS:");
    crowd.write("stop\n");
    crowd.waitForFinished(10000);
    const QByteArray crowdSaid = crowd.readAllStandardOutput().trimmed();
    std::printf("events of the console's thread with the intruders:\n");
    timed->printSlowest(6);

    // Seat 2's player turns hostile: its page goes, and a client of its own
    // takes the seat back with the page's token.
    Page *second = seats[1];
    QString token;
    QMetaObject::invokeMethod(
        second, [second, &token] { second->stop(); token = second->token(); }, Qt::BlockingQueuedConnection);
    phase = 2;
    phaseClock.restart();
    const int attackedAnswers = answered();
    QProcess hostile;
    hostile.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    hostile.start(QCoreApplication::applicationFilePath(),
                  {"--hostile", QString::number(port), server->seat(2)->code(), token});
    hostile.waitForStarted();
    const int hostileAnswers = std::max(50, answersWanted / 8);
    wait([&] { return answered() >= attackedAnswers + hostileAnswers; }, 3600000);
    const double hostileSeconds = phaseClock.elapsed() / 1000.0;
    reloads.stop();
    tick.stop();
    timed->setTiming(false);
    const long rssEnd = statusKb("VmRSS:");
    hostile.write("stop\n");
    hostile.waitForFinished(10000);
    const QByteArray hostileSaid = hostile.readAllStandardOutput().trimmed();
    std::printf("events of the console's thread with seat 2 hostile:\n");
    timed->printSlowest(6);
    // The pages stop writing; they are read, then deleted once their thread has ended.
    QMetaObject::invokeMethod(seats[0], [p = seats[0]] { p->stop(); }, Qt::BlockingQueuedConnection);
    pages.quit();
    pages.wait();

    std::printf("nothing written, 5 s:\n");
    report("event-loop turn (2 ms timer gap)", idleGaps);
    std::printf("  gaps over one frame (16.7 ms): %ld\n", idleGaps.over(16.7));
    const char *phases[Page::Phases] = {"both seats writing", "and the intruders", "player 1, seat 2 hostile"};
    const double seconds[Page::Phases] = {quietSeconds, attackSeconds, hostileSeconds};
    for (int ph = 0; ph < Page::Phases; ++ph) {
        Histogram echo, result;
        for (Page *p : seats) {
            echo.merge(p->echo[ph]);
            result.merge(p->result[ph]);
        }
        std::printf("%s, %.0f s:\n", phases[ph], seconds[ph]);
        report("stroke end to ink echo", echo);
        report("にんしき to result", result);
        if (ph > 0)
            report("player 1's reload to its seat back", seats[0]->back[ph]);
        report("event-loop turn (2 ms timer gap)", gaps[ph]);
        std::printf("  gaps over one frame (16.7 ms): %ld\n", gaps[ph].over(16.7));
    }
    std::printf("reloads of player 1 not back within 5 s: %d\n", seats[0]->notBack.load());
    std::printf("intruders: %s\n", crowdSaid.constData());
    std::printf("hostile seat 2: %s; its boxes hold %lld and %lld strokes\n", hostileSaid.constData(),
                qint64(server->seat(2)->box(0).strokes().size()), qint64(server->seat(2)->box(1).strokes().size()));
    std::printf("refusals the pages saw: %d, %d\n", seats[0]->refusals.load(), seats[1]->refusals.load());
    std::printf("seats' server: %d connections refused, %d dropped for others; wrong codes %d\n",
                server->tcpServer()->refusedCount(), server->tcpServer()->droppedCount(),
                server->joinGuard().wrongCodesSinceStart());
    std::printf("resident memory after 20 answers: %ld kB, after %d: %ld kB, after %d: %ld kB; "
                "with the intruders: %ld kB; with seat 2 hostile: %ld kB\n",
                rssAt20, 20 + answersWanted / 2, rssHalf, quietAnswers, rssQuiet, rssAttacked, rssEnd);
    for (Page *p : seats)
        delete p;
    console.close();
    return 0;
}

// One program started and left idle: its memory and CPU.
struct Idle
{
    qint64 pid = 0;
    long rss = 0, pss = 0;
    long own = 0; // resident and the process's alone: its heaps and stacks, no file's pages
    double cpuPercent = 0;
};

Idle measure(QProcess &program, int seconds)
{
    Idle m;
    m.pid = program.processId();
    QThread::sleep(5); // start-up and the recogniser's loading
    const long ticks0 = cpuTicks(m.pid);
    QElapsedTimer t;
    t.start();
    QThread::sleep(unsigned(seconds));
    const long ticks1 = cpuTicks(m.pid);
    m.cpuPercent = 100.0 * (ticks1 - ticks0) / double(sysconf(_SC_CLK_TCK)) / (t.elapsed() / 1000.0);
    m.rss = statusKb("VmRSS:", m.pid);
    m.pss = pssKb(m.pid);
    m.own = statusKb("RssAnon:", m.pid);
    return m;
}

// Runs until told to stop on standard input.
void untilStopped()
{
    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    QSocketNotifier stop(0, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

// The crowd until told to stop; prints what it tried.
int intrude(quint16 port)
{
    std::vector<std::unique_ptr<Intruder>> crowd;
    for (int i = 0; i < 50; ++i) {
        crowd.push_back(std::make_unique<Intruder>(i, port));
        crowd.back()->start();
    }
    // Four addresses hold eight idle connections each, two more eight
    // requests never finished each.
    std::vector<std::unique_ptr<SlotHolder>> holders;
    for (int i = 0; i < 6; ++i)
        holders.push_back(std::make_unique<SlotHolder>(QHostAddress(QStringLiteral("127.0.1.%1").arg(1 + i)), port, 8,
                                                       i >= 4));
    Sweeper sweep(port, 4);
    untilStopped();
    int attempts = 0;
    for (const auto &i : crowd)
        attempts += i->attempts();
    int held = 0;
    for (const auto &h : holders)
        held += h->opened();
    std::printf("%d attempts from 50 addresses; %d slot-holding connections from 6; "
                "%d wrong codes from as many new addresses (%d told to wait)\n",
                attempts, held, sweep.attempts(), sweep.waits());
    return 0;
}

int hostileSeat(quint16 port, const QString &code, const QString &token)
{
    HostileSeat seat(port, code, token);
    untilStopped();
    std::printf("%s\n", qPrintable(seat.summary()));
    return 0;
}

int instances(const QString &program)
{
    QTemporaryDir a, b, c;
    // The program with the ink model and the dictionary of readings beside
    // it, as the build and the installation have them (Zinnia's model and
    // the templates are the system's).
    const QDir from = QFileInfo(program).dir();
    const char *const data[] = {"ink-ja.onnx", "ink-ja.json", "words-ja.tsv"};
    for (const char *name : data) {
        if (!from.exists(name))
            qFatal("%s is not beside %s", name, qPrintable(program));
    }
    auto start = [&program, &from, &data](QProcess &p, const QTemporaryDir &dir, const QStringList &args) {
        QFile::copy(program, dir.filePath("taruvo"));
        for (const char *name : data)
            QFile::copy(from.filePath(name), dir.filePath(name));
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(dir.filePath("taruvo"), args);
        if (!p.waitForStarted())
            qFatal("cannot start %s", qPrintable(program));
    };
    const QStringList seats = {"--seats", "1,2", "--seat-address", "127.0.0.1", "--seat-port", "18870"};
    QProcess plain, first, second;
    start(plain, a, {});
    const Idle none = measure(plain, 20);
    plain.kill();
    plain.waitForFinished();
    start(first, b, seats);
    const Idle one = measure(first, 20);
    start(second, c, seats);
    const Idle two = measure(second, 20);
    const Idle oneAgain = measure(first, 0);
    int serving = 0;
    for (quint16 port = 18870; port < 18870 + 4; ++port) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(1000)) {
            s.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            s.waitForReadyRead(2000);
            serving += s.readAll().startsWith("HTTP/1.1 200");
        }
    }
    std::printf("%-32s %10s %10s %10s %12s\n", "console, idle for 20 s", "RSS kB", "anon kB", "PSS kB", "CPU %");
    std::printf("%-32s %10ld %10ld %10ld %12.3f\n", "without seats", none.rss, none.own, none.pss, none.cpuPercent);
    std::printf("%-32s %10ld %10ld %10ld %12.3f\n", "with both seats served", one.rss, one.own, one.pss, one.cpuPercent);
    std::printf("%-32s %10ld %10ld %10ld %12.3f\n", "a second one beside it", two.rss, two.own, two.pss, two.cpuPercent);
    std::printf("%-32s %10ld %10ld %10ld\n", "the first, with the second up", oneAgain.rss, oneAgain.own, oneAgain.pss);
    std::printf("consoles serving the page on ports from 18870: %d\n", serving);
    for (QProcess *p : {&first, &second}) {
        p->terminate();
        if (!p->waitForFinished(5000))
            p->kill();
    }
    return serving == 2 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // Line by line, so that a run cut short still tells how far it came.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
#ifdef __GLIBC__
    // As the program's own main() sets it, so that the console here holds
    // the memory it holds there.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    TimedApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args.at(1) == "--intrude")
        return intrude(quint16(args.at(2).toUInt()));
    if (args.size() > 4 && args.at(1) == "--hostile")
        return hostileSeat(quint16(args.at(2).toUInt()), args.at(3), args.at(4));
    if (args.size() > 2 && args.at(1) == "--instances")
        return instances(args.at(2));
    int answers = 1000;
    if (args.size() > 2 && args.at(1) == "--answers")
        answers = std::max(20, args.at(2).toInt());
    return underLoad(answers);
}
