// SPDX-License-Identifier: GPL-3.0-or-later
// A district's classes on two hosts behind one proxy, on loopback: a real
// PostgreSQL of the test's own, two taruvo-host programs sharing it (routes
// 01 and 02, one session secret, one teacher key), and HAProxy with the
// configuration the repository's generator makes, run unprivileged. Two
// teachers open the one address and their class games land on different
// hosts; a child in each plays with the finger in headless Chromium to the
// end, the database stopped and started mid-game; the results are read
// back through either host. Then one host is killed mid-game: what its
// child did so far stays, marked interrupted by the survivor; the other
// host's game goes on to its end; and the teacher of the dead host starts a
// new class game on the survivor with the session it had.
#include "browser/fingerink.h"
#include "browser/todayink.h"
#include "browser/webdriver.h"
#include "fakes/postgresserver.h"
#include "host/teacherkey.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace TodayInk;

namespace {

const char *const ReadChild = R"(
const $ = (id) => document.getElementById(id);
if (location.pathname !== '/seat/')
  return { page: 'class', enter: !$('enter').hidden, lobby: !$('lobby').hidden, msg: $('msg').textContent,
           search: location.search, code: $('code').value,
           codeFits: $('code').scrollWidth <= $('code').clientWidth };
return { page: 'seat', shown: !$('seat').hidden, own: $('own').textContent, locked: $('rec').disabled,
         search: location.search, results: window.taruvoSeatStats.result.length };)";

const char *const ReadTeacher = R"(
const $ = (id) => document.getElementById(id);
const card = document.querySelector('.class'); // the newest
return {
  login: !$('login').hidden, desk: !$('desk').hidden, search: location.search,
  code: card ? card.querySelector('.code').textContent : '',
  phase: card ? card.querySelector('.phase').textContent : '',
  kids: card ? card.querySelectorAll('.kid').length : 0,
  elsewhere: [...document.querySelectorAll('#past [data-elsewhere]')].map((a) => a.dataset.elsewhere)
};)";

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

constexpr uid_t Nobody = 65534;

// One taruvo-host program, its output kept.
class HostProgram
{
public:
    bool start(const QStringList &arguments, QString *why)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += m_process.readAll(); });
        m_process.start(QStringLiteral(TARUVO_HOST_PROGRAM), arguments);
        if (!m_process.waitForStarted(10000)
            || !QTest::qWaitFor([this] { return m_output.contains("Teacher: "); }, 120000)) {
            *why = QStringLiteral("taruvo-host did not come up: ") + QString::fromUtf8(m_output.right(2000));
            return false;
        }
        return true;
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    void terminate()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(20000))
            kill();
    }
    QString output() const { return QString::fromUtf8(m_output.right(3000)); }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    bool ended(int ms) { return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class TestBrowserDistrict : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void theProxyRoutesByTheRoute();
    void twoTeachersLandOnTwoHosts();
    void aChildOnEachHostPlaysToTheEnd();
    void theResultsAreReadThroughEitherHost();
    void aKilledHostTakesOnlyItsOwnGame();
    void aStoppedHostDrainsThenEnds();
    void cleanupTestCase();

private:
    QString proxy(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_proxyPort).arg(path); }
    QJsonObject child(int i) { return m_children[i]->script(ReadChild).toObject(); }
    QJsonObject teacher(int i) { return m_teachers[i]->script(ReadTeacher).toObject(); }
    bool childShows(int i, const std::function<bool(const QJsonObject &)> &what, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return what(child(i)); }, ms);
    }
    bool teacherShows(int i, const std::function<bool(const QJsonObject &)> &what, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return what(teacher(i)); }, ms);
    }
    // A GET through the proxy, with the teacher's cookie: status and body.
    QPair<int, QByteArray> get(const QString &path, const QByteArray &cookie = {});
    qint64 value(const QString &sql);
    int count(const QString &sql) { return int(value(sql)); }
    void login(int teacher);
    void createClass(int teacher, const QString &name);
    void shoot(WebDriver &browser, const QString &name);
    // Child i writes strokes of two characters and answers.
    void answer(int i, const QList<Polyline> &first, const QList<Polyline> &second);
    int hostOf(const QString &code) const { return code.left(2).toInt(); }

    PostgresServer m_pg;
    QTemporaryDir m_dir;
    QString m_key;
    quint16 m_proxyPort = 0;
    quint16 m_hostPorts[2] = {};
    QProcess m_haproxy;
    QByteArray m_haproxyLog;
    std::unique_ptr<HostProgram> m_hosts[2];
    std::unique_ptr<WebDriver> m_teachers[2];
    std::unique_ptr<WebDriver> m_children[2];
    QString m_codes[2];
    QNetworkAccessManager m_net;
};

void TestBrowserDistrict::initTestCase()
{
    QString why;
    QVERIFY2(m_pg.make(&why), qPrintable(why));
    QVERIFY2(m_pg.createDatabase("district", &why), qPrintable(why));
    QVERIFY(m_dir.isValid());
    QDir dir(m_dir.path());
    dir.mkpath("words");
    QFile list(dir.filePath("words/教室.txt"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(eighteen.join("\n").toUtf8());
    list.close();
    // One key and one session secret for both hosts, as a district shares them.
    TeacherKey key(dir.filePath("teacher-key"));
    m_key = key.renew(nullptr);
    QVERIFY(!m_key.isEmpty());
    QFile secret(dir.filePath("session-secret"));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write(QByteArray(48, 'q').toBase64() + '\n');
    secret.close();

    for (int i = 0; i < 2; ++i) {
        m_hostPorts[i] = freePort();
        m_hosts[i] = std::make_unique<HostProgram>();
        const QString state = dir.filePath(QStringLiteral("host%1").arg(i + 1));
        QVERIFY2(m_hosts[i]->start({"--state-dir", state, "--address", "127.0.0.1", "--port",
                                    QString::number(m_hostPorts[i]), "--words", dir.filePath("words"),
                                    "--trusted-proxy", "127.0.0.1", "--recognizers", "1",
                                    "--postgresql", m_pg.socketFolder(), "--pg-port", QString::number(PostgresServer::Port),
                                    "--pg-database", "district", "--host-name", QStringLiteral("host%1").arg(i + 1),
                                    "--route", QString::number(i + 1), "--session-secret-file", secret.fileName(),
                                    "--teacher-key-file", dir.filePath("teacher-key"), "--drain-seconds", "3"},
                                   &why),
                 qPrintable(why));
    }

    // The proxy, configured by the repository's generator, as nobody.
    m_proxyPort = freePort();
    QProcess make;
    make.start("bash", {QStringLiteral(TARUVO_SOURCE_DIR "/deploy/haproxy/make-config.sh"), "--bind",
                        QStringLiteral("127.0.0.1:%1").arg(m_proxyPort), "--host",
                        QStringLiteral("01=127.0.0.1:%1").arg(m_hostPorts[0]), "--host",
                        QStringLiteral("02=127.0.0.1:%1").arg(m_hostPorts[1]), "--check-ms", "300", "--maxconn", "2000", "--log"});
    QVERIFY(make.waitForFinished(20000));
    QVERIFY2(make.exitCode() == 0, make.readAllStandardError().constData());
    const QString config = dir.filePath("proxy/taruvo.cfg");
    dir.mkpath("proxy");
    QFile cfg(config);
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write(make.readAllStandardOutput());
    cfg.close();
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(dir.filePath("proxy")).constData(), 0755);
    ::chmod(QFile::encodeName(config).constData(), 0644);
    m_haproxy.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_haproxy, &QProcess::readyRead, this, [this] { m_haproxyLog += m_haproxy.readAll(); });
    m_haproxy.setChildProcessModifier([] {
        if (::geteuid() == 0 && (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
            ::_exit(3);
    });
    // Missing, it fails here: tools/setup.sh installs it.
    m_haproxy.start("haproxy", {"-db", "-f", config});
    QVERIFY2(m_haproxy.waitForStarted(10000), "haproxy does not start (Debian package haproxy; tools/setup.sh)");
    QVERIFY2(QTest::qWaitFor([this] { return get("/").first == 200; }, 20000), m_haproxyLog.constData());
    // Both hosts checked up (two checks each).
    QTest::qWait(1500);

    for (int i = 0; i < 2; ++i) {
        m_teachers[i] = std::make_unique<WebDriver>();
        QVERIFY2(m_teachers[i]->start(QSize(1280, 900), &why), qPrintable(why));
        m_children[i] = std::make_unique<WebDriver>();
        QVERIFY2(m_children[i]->start(QSize(1024, 768), &why), qPrintable(why));
    }
}

QPair<int, QByteArray> TestBrowserDistrict::get(const QString &path, const QByteArray &cookie)
{
    QNetworkRequest request(QUrl(proxy(path)));
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    request.setTransferTimeout(10000);
    QNetworkReply *reply = m_net.get(request);
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 15000))
        reply->abort();
    const QPair<int, QByteArray> out{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    reply->deleteLater();
    return out;
}

qint64 TestBrowserDistrict::value(const QString &sql)
{
    qint64 n = -1;
    {
        QSqlDatabase db = m_pg.connection("district", "check");
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                n = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase("check");
    return n;
}

void TestBrowserDistrict::theProxyRoutesByTheRoute()
{
    // The hosts' health is the proxy's alone; a malformed route is refused
    // at the proxy, a class page is served with the routed code's length.
    QCOMPARE(get("/health").first, 404);
    QCOMPARE(get("/?h=1").first, 400);
    QCOMPARE(get("/?h=01x").first, 400);
    const auto page = get("/?h=02");
    QCOMPARE(page.first, 200);
    QVERIFY(page.second.contains("data-code-digits=\"10\""));
}

void TestBrowserDistrict::login(int i)
{
    WebDriver &t = *m_teachers[i];
    t.go(proxy("/teacher/"));
    QVERIFY2(teacherShows(i, [](const QJsonObject &o) { return o["login"].toBool(); }), qPrintable(t.lastError()));
    t.type("#key", m_key);
    t.click("#enterkey");
    // Back on the host that gave the ticket, which the address now names.
    QVERIFY2(teacherShows(i, [](const QJsonObject &o) {
                 return o["desk"].toBool() && QRegularExpression("^\\?h=0[12]$").match(o["search"].toString()).hasMatch();
             }),
             qPrintable(QJsonDocument(teacher(i)).toJson() + t.consoleLog()));
}

void TestBrowserDistrict::createClass(int i, const QString &name)
{
    WebDriver &t = *m_teachers[i];
    t.type("#gamename", name);
    t.session("POST", "/element/" + t.element("#answers") + "/clear", QJsonObject{});
    t.type("#answers", "1");
    t.click("#create");
    // The card of this class game by its name: the page may show another
    // teacher's class games on the same host too.
    const QString codeOf = "const card = [...document.querySelectorAll('.class')].find((c) => c.querySelector('h3')"
                           ".textContent === '" + name + "'); return card ? card.querySelector('.code').textContent : '';";
    const QRegularExpression shown("^0[12] [0-9]{4} [0-9]{4}$");
    QVERIFY2(QTest::qWaitFor([&] { return shown.match(t.script(codeOf).toString()).hasMatch(); }, 30000),
             qPrintable(QJsonDocument(teacher(i)).toJson()));
    m_codes[i] = t.script(codeOf).toString().remove(' ');
}

void TestBrowserDistrict::twoTeachersLandOnTwoHosts()
{
    login(0);
    createClass(0, "1組");
    // The page's own host holds it.
    QCOMPARE(teacher(0)["search"].toString(), "?h=" + m_codes[0].left(2));
    // The second teacher goes to the host with fewer connections: the other.
    login(1);
    createClass(1, "2組");
    QVERIFY2(hostOf(m_codes[0]) != hostOf(m_codes[1]), qPrintable(m_codes[0] + ' ' + m_codes[1]));
    QCOMPARE(count("SELECT COUNT(DISTINCT host) FROM class_games WHERE closed_at IS NULL"), 2);
    // Each teacher's page links to the other host's open class game.
    for (int i : {0, 1}) {
        const QString other = m_codes[1 - i].left(2);
        QVERIFY2(teacherShows(i, [&](const QJsonObject &o) { return o["elsewhere"].toArray().contains(other); }, 20000),
                 qPrintable(QJsonDocument(teacher(i)).toJson()));
    }
    shoot(*m_teachers[0], "teacher");

    // The ten digits large for the classroom screen, whole on a projector
    // and on an iPad held upright.
    WebDriver &t = *m_teachers[0];
    t.click("[data-act=show]");
    const char *readScreen = "const c = document.getElementById('screencode');"
                             "return { shown: !document.getElementById('screen').hidden, code: c.textContent,"
                             "         fits: c.getBoundingClientRect().right <= innerWidth && c.getBoundingClientRect().left >= 0 };";
    const QString grouped = m_codes[0].left(2) + ' ' + m_codes[0].mid(2, 4) + ' ' + m_codes[0].mid(6);
    for (const QSize size : {QSize(768, 1024), QSize(1280, 720)}) {
        QVERIFY2(t.viewport(size), qPrintable(t.lastError()));
        const QJsonObject screen = t.script(readScreen).toObject();
        QVERIFY2(screen["shown"].toBool() && screen["fits"].toBool() && screen["code"].toString() == grouped,
                 qPrintable(QJsonDocument(screen).toJson()));
    }
    QVERIFY2(t.viewport(QSize(1280, 900)), qPrintable(t.lastError()));
    t.click("#screenclose");
}

void TestBrowserDistrict::shoot(WebDriver &browser, const QString &name)
{
    // To look at: TARUVO_DISTRICT_SCREENSHOT=/tmp/district makes /tmp/district-<name>.png.
    const QString base = qEnvironmentVariable("TARUVO_DISTRICT_SCREENSHOT");
    if (base.isEmpty())
        return;
    QTest::qWait(1000);
    QFile file(base + '-' + name + ".png");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(browser.screenshot());
}

void TestBrowserDistrict::answer(int i, const QList<Polyline> &first, const QList<Polyline> &second)
{
    WebDriver &b = *m_children[i];
    const int before = child(i)["results"].toInt();
    writeWithFinger(b, "#box0", first);
    writeWithFinger(b, "#box1", second);
    QTest::qWait(300);
    b.click("#rec");
    QVERIFY2(childShows(i, [before](const QJsonObject &c) { return c["results"].toInt() > before; }),
             qPrintable(QJsonDocument(child(i)).toJson() + b.consoleLog()));
    b.click("#ans");
}

void TestBrowserDistrict::aChildOnEachHostPlaysToTheEnd()
{
    // Each child types its class's code at the one address.
    for (int i : {0, 1}) {
        WebDriver &b = *m_children[i];
        b.go(proxy("/"));
        QVERIFY(childShows(i, [](const QJsonObject &c) { return c["enter"].toBool(); }));
        b.type("#code", m_codes[i].left(2) + ' ' + m_codes[i].mid(2));
        // Ten digits with the route, grouped as the classroom screen shows
        // them, whole in the field on a tablet and on a phone.
        const QString grouped = m_codes[i].left(2) + ' ' + m_codes[i].mid(2, 4) + ' ' + m_codes[i].mid(6);
        QVERIFY2(childShows(i, [&](const QJsonObject &c) { return c["code"].toString() == grouped && c["codeFits"].toBool(); }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
        if (i == 0) {
            QVERIFY2(b.viewport(QSize(360, 640)), qPrintable(b.lastError()));
            shoot(b, "child-phone");
            QVERIFY2(child(i)["codeFits"].toBool(), qPrintable(QJsonDocument(child(i)).toJson()));
            QVERIFY2(b.viewport(QSize(1024, 768)), qPrintable(b.lastError()));
        }
        b.type("#name", i ? "はなこ" : "たろう");
        b.click("#go");
        QVERIFY2(childShows(i, [](const QJsonObject &c) { return c["lobby"].toBool(); }),
                 qPrintable(QJsonDocument(child(i)).toJson() + b.consoleLog()));
    }
    QCOMPARE(count("SELECT COUNT(*) FROM children"), 2);
    for (int i : {0, 1}) {
        QVERIFY(teacherShows(i, [](const QJsonObject &o) { return o["kids"].toInt() == 1; }));
        m_teachers[i]->click("[data-act=start]");
        const QString route = "?h=" + m_codes[i].left(2);
        QVERIFY2(childShows(i, [&](const QJsonObject &c) {
                     return c["page"].toString() == "seat" && c["shown"].toBool() && !c["locked"].toBool()
                            && c["search"].toString() == route;
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM games WHERE state = 'running'"), 2, 20000);

    // The database goes away mid-game: the games go on, the answers wait
    // on their hosts and are written once it is back.
    QVERIFY(m_pg.stop());
    for (int i : {0, 1}) {
        answer(i, ima, hi);
        QVERIFY2(childShows(i, [](const QJsonObject &c) { return c["own"].toString() == "1" && c["locked"].toBool(); }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
    }
    QVERIFY(m_pg.start());
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM answers WHERE correct = 1"), 2, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM games WHERE state = 'finished'"), 2, 30000);
}

void TestBrowserDistrict::theResultsAreReadThroughEitherHost()
{
    QByteArray cookie;
    for (const QJsonValue &c : m_teachers[0]->session("GET", "/cookie").toArray()) {
        if (c.toObject()["name"].toString() == "taruvo_teacher")
            cookie = "taruvo_teacher=" + c.toObject()["value"].toString().toLatin1();
    }
    QVERIFY(!cookie.isEmpty());
    for (int i : {0, 1}) {
        const QByteArray id = QByteArray::number(value(
            QStringLiteral("SELECT id FROM class_games WHERE name = '%1'").arg(i ? "2組" : "1組")));
        QByteArray first;
        // The teacher's one session is good on both hosts, and both read
        // the same rows.
        for (const char *route : {"01", "02"}) {
            const auto csv = get("/teacher/results/" + id + ".csv?h=" + route, cookie);
            QVERIFY2(csv.first == 200, csv.second.constData());
            QVERIFY2(csv.second.contains(i ? "はなこ" : "たろう") && csv.second.contains("今日"), csv.second.constData());
            if (first.isEmpty())
                first = csv.second;
            QCOMPARE(csv.second, first);
        }
    }
    QCOMPARE(get("/teacher/results/1.csv?h=01").first, 403);
}

void TestBrowserDistrict::aKilledHostTakesOnlyItsOwnGame()
{
    // A second round on both hosts.
    for (int i : {0, 1}) {
        m_teachers[i]->click("[data-act=release]");
        QVERIFY2(childShows(i, [](const QJsonObject &c) { return c["lobby"].toBool(); }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
        QVERIFY(teacherShows(i, [](const QJsonObject &o) { return o["phase"].toString().startsWith("ロビー"); }));
        m_teachers[i]->click("[data-act=start]");
        QVERIFY2(childShows(i, [](const QJsonObject &c) {
                     return c["page"].toString() == "seat" && c["shown"].toBool() && !c["locked"].toBool();
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM games WHERE state = 'running'"), 2, 20000);
    // The first class's child tries 日今 (no word): kept before its host dies.
    const int dead = hostOf(m_codes[0]) - 1;
    answer(0, hi, ima);
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM answers WHERE correct = 0"), 1, 20000);
    m_hosts[dead]->kill();

    // The other host's game goes on to its end.
    answer(1, ima, hi);
    QVERIFY2(childShows(1, [](const QJsonObject &c) { return c["own"].toString() == "1" && c["locked"].toBool(); }),
             qPrintable(QJsonDocument(child(1)).toJson()));
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM games WHERE state = 'finished'"), 3, 20000);
    // The survivor marks the dead host's game interrupted, its try kept.
    const QString deadNumber = QString::number(
        value(QStringLiteral("SELECT number FROM hosts WHERE name = 'host%1'").arg(dead + 1)));
    QTRY_COMPARE_WITH_TIMEOUT(count("SELECT COUNT(*) FROM games WHERE state = 'interrupted' AND host = " + deadNumber), 1,
                              40000);
    QCOMPARE(count("SELECT COUNT(*) FROM answers a JOIN games g ON g.id = a.game_id WHERE g.state = 'interrupted'"), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM games WHERE state = 'running'"), 0);

    // The dead host's teacher opens the page again: the proxy sends it to
    // the survivor, where its session holds, and a new class game starts.
    m_teachers[0]->go(proxy("/teacher/?h=" + m_codes[0].left(2)));
    QVERIFY2(teacherShows(0, [](const QJsonObject &o) { return o["desk"].toBool(); }),
             qPrintable(QJsonDocument(teacher(0)).toJson()));
    createClass(0, "1組 つづき");
    QCOMPARE(hostOf(m_codes[0]), hostOf(m_codes[1]));
    WebDriver &b = *m_children[0];
    b.go(proxy("/#" + m_codes[0]));
    QVERIFY(childShows(0, [](const QJsonObject &c) { return c["enter"].toBool(); }));
    b.type("#name", "たろう");
    b.click("#go");
    QVERIFY2(childShows(0, [](const QJsonObject &c) { return c["lobby"].toBool(); }),
             qPrintable(QJsonDocument(child(0)).toJson()));
    m_teachers[0]->go(proxy("/teacher/?h=" + m_codes[0].left(2)));
    QVERIFY2(teacherShows(0, [](const QJsonObject &o) { return o["desk"].toBool() && o["kids"].toInt() == 1; }),
             qPrintable(QJsonDocument(child(0)).toJson() + QJsonDocument(teacher(0)).toJson()));
    m_teachers[0]->click("[data-act=start]");
    QVERIFY2(childShows(0, [](const QJsonObject &c) { return c["page"].toString() == "seat" && c["shown"].toBool(); }),
             qPrintable(QJsonDocument(child(0)).toJson() + QJsonDocument(teacher(0)).toJson()));
}

void TestBrowserDistrict::aStoppedHostDrainsThenEnds()
{
    // The survivor is told to stop while its child plays: its health says
    // so at once (the proxy sends nothing new there), and it ends after its
    // drain, its running game marked interrupted on the way out.
    const int survivor = hostOf(m_codes[1]) - 1;
    QCOMPARE(count("SELECT COUNT(*) FROM games WHERE state = 'running'"), 1);
    auto health = [this, survivor] {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/health").arg(m_hostPorts[survivor])));
        request.setTransferTimeout(2000);
        QNetworkReply *reply = m_net.get(request);
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 3000))
            reply->abort();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    };
    QCOMPARE(health(), 200);
    m_hosts[survivor]->signal(SIGTERM);
    QVERIFY(QTest::qWaitFor([&] { return health() == 503; }, 2000));
    QVERIFY2(m_hosts[survivor]->ended(20000), qPrintable(m_hosts[survivor]->output()));
    QCOMPARE(m_hosts[survivor]->exitCode(), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM games WHERE state = 'running'"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM class_games WHERE closed_at IS NULL"), 0);
}

void TestBrowserDistrict::cleanupTestCase()
{
    for (auto &b : m_children)
        b.reset();
    for (auto &b : m_teachers)
        b.reset();
    for (auto &h : m_hosts) {
        if (h)
            h->terminate();
    }
    if (m_haproxy.state() != QProcess::NotRunning) {
        m_haproxy.terminate();
        if (!m_haproxy.waitForFinished(10000))
            m_haproxy.kill();
    }
}

QTEST_GUILESS_MAIN(TestBrowserDistrict)
#include "tst_browserdistrict.moc"
