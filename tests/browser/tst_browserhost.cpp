// SPDX-License-Identifier: GPL-3.0-or-later
// A whole class from real browsers: the host runs here on loopback; one
// headless Chromium is the teacher, four more are children's tablets, each
// with a profile of its own as separate devices have. The teacher gives the
// key and creates a class game; the children join with the class code and
// their names; two pairs play with the finger through the seat page's own
// canvas to the end of their games; the teacher sees it live, releases
// them to the lobby, closes the class game, and its results and their CSV
// agree with what was played. At each game's end every child's page shows
// its own review, on a tablet either way round; from the results the
// teacher opens and prints a child's review and a game's sheet of words,
// then makes a word list from the kanji the class has learned, saves it
// and creates a class game with it.
#include "engine/recognitionqueue.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classmatch.h"
#include "host/classwordlists.h"
#include "host/resultscsv.h"
#include "host/resultsstore.h"
#include "host/teacherkey.h"
#include "hostweb/hostserver.h"
#include "learning/worddictionary.h"
#include "hostweb/teacherdesk.h"
#include "recognition/kanjigrades.h"
#include "recognition/modelcharacters.h"
#include "recognition/sharedrecognizer.h"
#include "seats/remoteseat.h"
#include "browser/fingerink.h"
#include "browser/todayink.h"
#include "browser/webdriver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using namespace TodayInk;

// The names typed: one with markup, which must show as text.
const QStringList names = {"たろう", "はなこ", "<b>ゆき</b>", "けん"};

const char *const ReadChild = R"(
const $ = (id) => document.getElementById(id);
const seat = location.pathname === '/seat/';
const dark = (id) => {
  const c = $(id);
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let n = 0;
  for (let i = 0; i < d.length; i += 4)
    if (d[i] < 120 && d[i + 1] < 120 && d[i + 2] < 120 && d[i + 3] > 200) ++n;
  return n;
};
if (!seat)
  return { page: 'class', enter: !$('enter').hidden, lobby: !$('lobby').hidden, msg: $('msg').textContent,
           code: $('code').value, codeFits: $('code').scrollWidth <= $('code').clientWidth,
           me: $('me').textContent, wait: $('wait').textContent, detail: $('detail').textContent,
           bold: document.querySelectorAll('b').length };
return { page: 'seat', shown: !$('seat').hidden, result: $('result').textContent, own: $('own').textContent,
         opp: $('opp').textContent, locked: $('rec').disabled,
         board: [...$('board').children].map((d) => d.textContent).join(''),
         answers: [...$('answers').children].map((li) => li.textContent).join(','), ink0: dark('box0'),
         results: window.taruvoSeatStats.result.length };)";

const char *const ReadTeacher = R"(
const $ = (id) => document.getElementById(id);
const card = document.querySelector('.class');
return {
  login: !$('login').hidden, desk: !$('desk').hidden, loginmsg: $('loginmsg').textContent,
  createmsg: $('createmsg').textContent, problem: $('problem').hidden ? '' : $('problem').textContent,
  code: card ? card.querySelector('.code').textContent : '',
  phase: card ? card.querySelector('.phase').textContent : '',
  kids: card ? [...card.querySelectorAll('.kid')].map((k) => k.textContent) : [],
  pairs: card ? [...card.querySelectorAll('.pair')].map((k) => k.textContent) : [],
  matches: card ? [...card.querySelectorAll('tbody tr')].map((tr) => [...tr.cells].map((td) => td.textContent).join('|')) : [],
  qr: card ? card.querySelector('img').naturalWidth : 0,
  bold: document.querySelectorAll('b').length,
  past: [...document.querySelectorAll('#past tbody tr')].map((tr) => tr.cells[0].textContent),
  results: $('results').hidden ? [] : [...$('resultstable').tBodies[0].rows].map((tr) => [...tr.cells]
    .filter((td) => !td.classList.contains('noprint')).map((td) => td.textContent).join('|'))
};)";

// The review over a child's seat after its game.
const char *const ReadReview = R"(
const $ = (id) => document.getElementById(id);
const cards = (id) => [...$(id).children].map((li) => ({
  word: li.querySelector('.rw').textContent, reading: li.querySelector('.rr').textContent,
  who: li.querySelector('.rf').textContent }));
const panel = $('review');
const close = $('reviewclose').getBoundingClientRect();
return {
  shown: !panel.hidden, outcome: $('reviewoutcome').textContent, score: $('reviewscore').textContent,
  words: cards('rvwords'), missed: $('rvmissedlist').children.length,
  elements: panel.querySelectorAll('img, script, b, i, a').length - $('reviewscore').querySelectorAll('b').length,
  wide: panel.scrollWidth <= innerWidth && $('reviewbody').scrollWidth <= $('reviewbody').clientWidth,
  close: { x: close.left, y: close.top, r: close.right, b: close.bottom, h: close.height },
  viewport: { w: innerWidth, h: innerHeight }
};)";

// A printed review or sheet in a tab of its own.
const char *const ReadPrintable = R"(
return { title: document.title, h1: document.querySelector('h1') ? document.querySelector('h1').textContent : '',
         text: document.body.innerText, bold: document.querySelectorAll('b').length,
         button: !!document.getElementById('printnow'),
         cells: [...document.querySelectorAll('td')].map((td) => td.textContent) };)";

// The teacher's word-list maker.
const char *const ReadListMaker = R"(
const $ = (id) => document.getElementById(id);
return { shown: !$('listmaker').hidden, made: !$('made').hidden, count: $('madecount').textContent,
         short: $('madecount').classList.contains('short'), msg: $('makemsg').textContent,
         suggestions: [...$('suggestions').querySelectorAll('button')].map((b) => b.dataset.kanji),
         words: $('madewords').children.length, save: !$('saveform').hidden, saved: $('savemsg').textContent,
         chosen: $('lists').value, savedLists: [...$('savedlists').children].map((li) => li.firstChild.textContent) };)";

// The text of a PDF, by poppler's pdftotext; pages end in form feeds.
QString pdfText(const QByteArray &pdf)
{
    QProcess p;
    p.start("pdftotext", {"-layout", "-", "-"});
    if (!p.waitForStarted(10000))
        return "pdftotext does not start";
    p.write(pdf);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000))
        return "pdftotext does not finish";
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList strings(const QJsonValue &v)
{
    QStringList out;
    for (const QJsonValue &x : v.toArray())
        out << x.toString();
    return out;
}

} // namespace

class TestBrowserHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void theTeacherGivesTheKey();
    void theTeacherCreatesAClassGame();
    void fourChildrenJoinTheLobby();
    void twoPairsPlayWithTheFingerToTheEnd();
    void releaseSendsTheChildrenBackToTheLobby();
    void resultsAndTheirCsvAgree();
    void theTeacherPrintsAChildsReviewAndTheSheet();
    void theTeacherMakesAListFromTheKanjiLearned();
    void cleanupTestCase();

private:
    QJsonObject child(int i) { return m_children[i]->script(ReadChild).toObject(); }
    QJsonObject teacher() { return m_teacher.script(ReadTeacher).toObject(); }
    bool childShows(int i, const std::function<bool(const QJsonObject &)> &what, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return what(child(i)); }, ms);
    }
    bool teacherShows(const std::function<bool(const QJsonObject &)> &what, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return what(teacher()); }, ms);
    }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->port()).arg(path); }
    void write(WebDriver &browser, const QString &box, const QList<Polyline> &strokes);
    // For the README, and to look at: the page at the browser's own size,
    // or at another (the browser is then brought back to its own).
    void shoot(WebDriver &browser, const QString &name, QSize size = {});
    void resize(WebDriver &browser, QSize viewport);
    QSize sizeOf(const WebDriver &browser) const;
    void viewport(WebDriver &browser, QSize size) { resize(browser, size); }
    QJsonObject review(int i) { return m_children[i]->script(ReadReview).toObject(); }
    bool reviewShows(int i, const std::function<bool(const QJsonObject &)> &what, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return what(review(i)); }, ms);
    }
    // Opens a link of the teacher's page that opens a tab of its own; the
    // tab's printout as PDF (A4), and what it shows.
    QByteArray openAndPrint(const QString &link, QJsonObject *shown, const QString &shot);

    QTemporaryDir m_state;
    QString m_key;
    std::unique_ptr<TeacherKey> m_teacherKey;
    std::unique_ptr<ResultsStore> m_store;
    SharedRecognizer m_recognizer;
    std::unique_ptr<RecognitionQueue> m_queue;
    WordDictionary m_dictionary;
    std::unique_ptr<ClassHost> m_host;
    std::unique_ptr<ClassWordLists> m_lists;
    QSet<QString> m_readable;
    std::unique_ptr<ClassListMaker> m_maker;
    std::unique_ptr<HostServer> m_server;
    WebDriver m_teacher;
    std::vector<std::unique_ptr<WebDriver>> m_children;
    QString m_code;
    qint64 m_classId = 0;
};

void TestBrowserHost::initTestCase()
{
    QVERIFY(m_state.isValid());
    QDir(m_state.path()).mkpath("words");
    QFile list(m_state.filePath("words/教室.txt"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(eighteen.join("\r\n").toUtf8());
    list.close();
    m_teacherKey = std::make_unique<TeacherKey>(m_state.filePath("teacher-key"));
    m_key = m_teacherKey->renew(nullptr);
    QVERIFY(!m_key.isEmpty());
    m_store = std::make_unique<ResultsStore>(m_state.filePath("results.db"));
    QVERIFY2(m_store->isWritable(), qPrintable(m_store->problem()));
    m_recognizer.load();
    QVERIFY(m_recognizer.isAvailable());
    m_queue = std::make_unique<RecognitionQueue>(m_recognizer);
    QString error;
    m_dictionary = WordDictionary::readFirst(WordDictionary::paths(), nullptr, &error);
    QVERIFY2(!m_dictionary.isEmpty(), qPrintable(error));
    m_host = std::make_unique<ClassHost>(m_store.get(), QList<RecognitionQueue *>{m_queue.get()}, HostLimits{});
    m_host->setDictionary(&m_dictionary);
    connect(m_host.get(), &ClassHost::preferredCharactersChanged, this,
            [this](const QSet<QString> &c) { m_recognizer.setPreferredCharacters(c); });
    m_lists = std::make_unique<ClassWordLists>(m_state.filePath("words"), m_state.filePath("lists"));
    // Lists made of kanji the boxes read, as the host makes them.
    for (const QString &model : SharedRecognizer::modelPaths()) {
        bool opened = false;
        m_readable = modelCharacters(model, &opened);
        if (opened)
            break;
    }
    QVERIFY(!m_readable.isEmpty());
    m_maker = std::make_unique<ClassListMaker>(
        &m_dictionary, [](char32_t c) { return kanjiSchoolYear(QString::fromUcs4(&c, 1)); },
        [this](char32_t c) { return m_readable.contains(QString::fromUcs4(&c, 1)); });
    m_server = std::make_unique<HostServer>(*m_host, *m_teacherKey, *m_lists);
    m_server->desk().setListMaker(m_maker.get());
    QVERIFY2(m_server->listen(QHostAddress::LocalHost, 0), qPrintable(m_server->errorString()));
    QString why;
    QVERIFY2(m_teacher.start(QSize(1280, 900), &why), qPrintable(why));
    // Tablets either way round: player 2 of each pair holds it upright.
    for (int i = 0; i < 4; ++i) {
        m_children.push_back(std::make_unique<WebDriver>());
        QVERIFY2(m_children.back()->start(sizeOf(*m_children.back()), &why), qPrintable(why));
    }
}

QSize TestBrowserHost::sizeOf(const WebDriver &browser) const
{
    if (&browser == &m_teacher)
        return QSize(1280, 900);
    for (size_t i = 0; i < m_children.size(); ++i) {
        if (m_children[i].get() == &browser)
            return i % 2 ? QSize(768, 1024) : QSize(1024, 768);
    }
    return QSize(1024, 768);
}

void TestBrowserHost::resize(WebDriver &browser, QSize viewport)
{
    QVERIFY2(browser.viewport(viewport), qPrintable(browser.lastError()));
}

void TestBrowserHost::shoot(WebDriver &browser, const QString &name, QSize size)
{
    // For the README: TARUVO_HOST_SCREENSHOT=docs/host makes docs/host-<name>.png.
    const QString base = qEnvironmentVariable("TARUVO_HOST_SCREENSHOT");
    if (base.isEmpty())
        return;
    resize(browser, size.isValid() ? size : sizeOf(browser));
    QTest::qWait(1200);
    QFile file(base + '-' + name + ".png");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(browser.screenshot());
    if (size.isValid())
        resize(browser, sizeOf(browser));
}

void TestBrowserHost::theTeacherGivesTheKey()
{
    m_teacher.go(url("/teacher/"));
    QVERIFY2(teacherShows([](const QJsonObject &t) { return t["login"].toBool(); }), qPrintable(m_teacher.lastError()));
    // Without the session nothing of the teacher's is served.
    m_teacher.type("#key", "AAAA-BBBB-CCCC-DDDD-EEEE");
    m_teacher.click("#enterkey");
    QVERIFY2(teacherShows([](const QJsonObject &t) { return t["loginmsg"].toString() == "キーが ちがいます"; }),
             qPrintable(m_teacher.consoleLog() + QJsonDocument(teacher()).toJson()));
    m_teacher.session("POST", "/element/" + m_teacher.element("#key") + "/clear", QJsonObject{});
    // Typed as a teacher might: lower case, without the dashes.
    m_teacher.type("#key", m_key.toLower().remove('-'));
    m_teacher.click("#enterkey");
    QVERIFY2(teacherShows([](const QJsonObject &t) { return t["desk"].toBool(); }),
             qPrintable(QJsonDocument(teacher()).toJson()));
    // The session is a cookie the page's scripts cannot read.
    bool found = false;
    for (const QJsonValue &c : m_teacher.session("GET", "/cookie").toArray()) {
        const QJsonObject cookie = c.toObject();
        if (cookie["name"].toString() != HostServer::CookieName)
            continue;
        found = true;
        QVERIFY(cookie["httpOnly"].toBool());
        QCOMPARE(cookie["sameSite"].toString(), QString("Strict"));
        QCOMPARE(cookie["path"].toString(), QString("/teacher"));
    }
    QVERIFY(found);
    QCOMPARE(m_teacher.script("return document.cookie;").toString(), QString());
}

void TestBrowserHost::theTeacherCreatesAClassGame()
{
    m_teacher.type("#gamename", "3年1組 かんじ");
    // One right answer ends a pair's game.
    m_teacher.session("POST", "/element/" + m_teacher.element("#answers") + "/clear", QJsonObject{});
    m_teacher.type("#answers", "1");
    // The longest time limit: four tablets writing by finger on a busy
    // machine must not run out the clock before the answers.
    m_teacher.session("POST", "/element/" + m_teacher.element("#time") + "/clear", QJsonObject{});
    m_teacher.type("#time", "600");
    m_teacher.click("#create");
    // Shown in two groups of four, to be read out to the class.
    const QRegularExpression shown("^[0-9]{4} [0-9]{4}$");
    QVERIFY2(teacherShows([&shown](const QJsonObject &t) { return shown.match(t["code"].toString()).hasMatch() && t["qr"].toInt() > 0; }),
             qPrintable(QJsonDocument(teacher()).toJson()));
    m_code = teacher()["code"].toString().remove(' ');
    QCOMPARE(m_host->classes().size(), 1);
    ClassGame *game = m_host->classes().first();
    m_classId = game->id();
    QCOMPARE(game->code(), m_code);
    QCOMPARE(game->settings().answerLimit, 1);
    QCOMPARE(game->settings().timeLimitSeconds, 600);
    QCOMPARE(game->settings().listName, QString("教室.txt"));
    QCOMPARE(game->words().size(), 18);
}

void TestBrowserHost::fourChildrenJoinTheLobby()
{
    // A wrong code first, as a child may type it.
    WebDriver &first = *m_children[0];
    first.go(url("/"));
    QVERIFY(childShows(0, [](const QJsonObject &c) { return c["enter"].toBool(); }));
    // Too short first: the page says so and sends nothing.
    first.type("#code", m_code.left(6));
    first.type("#name", names[0]);
    first.click("#go");
    QVERIFY(childShows(0, [](const QJsonObject &c) { return c["msg"].toString() == "コードは 8けたの すうじだよ"; }));
    QCOMPARE(m_server->joinGuard().wrongCodesSinceStart(), 0);
    // In full-width digits, as a Japanese keyboard gives them: the field
    // groups them as the classroom screen does, and shows them whole, on a
    // phone too.
    const QString wrong = m_code == "00000000" ? "00000001" : "00000000";
    QString wide;
    for (QChar c : wrong)
        wide += QChar(c.unicode() - u'0' + 0xff10);
    first.session("POST", "/element/" + first.element("#code") + "/clear", QJsonObject{});
    first.type("#code", wide);
    const QString grouped = wrong.left(4) + ' ' + wrong.mid(4);
    QVERIFY2(childShows(0, [&grouped](const QJsonObject &c) { return c["code"].toString() == grouped && c["codeFits"].toBool(); }),
             qPrintable(QJsonDocument(child(0)).toJson()));
    resize(first, QSize(360, 640));
    QVERIFY2(child(0)["codeFits"].toBool(), qPrintable(QJsonDocument(child(0)).toJson()));
    resize(first, sizeOf(first));
    first.click("#go");
    QVERIFY(childShows(0, [](const QJsonObject &c) { return c["msg"].toString() == "コードが ちがうよ"; }));
    QCOMPARE(m_server->joinGuard().wrongCodesSinceStart(), 1);

    for (int i = 0; i < 4; ++i) {
        WebDriver &b = *m_children[i];
        // The QR code's address carries the class code; the child types a name.
        b.go(url("/#" + m_code));
        QVERIFY(childShows(i, [](const QJsonObject &c) { return c["enter"].toBool(); }));
        b.session("POST", "/element/" + b.element("#name") + "/clear", QJsonObject{});
        b.type("#name", names[i]);
        b.click("#go");
        QVERIFY2(childShows(i, [i](const QJsonObject &c) {
                     return c["lobby"].toBool() && c["me"].toString() == names[i] + " さん" && c["wait"].toString() == "まっててね";
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
        QCOMPARE(child(i)["bold"].toInt(), 0);
    }
    // A fifth device under a name already in the class is refused.
    m_children[3]->go(url("/"));
    // Back in the lobby first: the page keeps its token again when the host
    // answers its return, which must not land after the clearing.
    QVERIFY(childShows(3, [](const QJsonObject &c) { return c["lobby"].toBool(); }));
    m_children[3]->script("localStorage.clear(); location.reload(); return 0;");
    QVERIFY(childShows(3, [](const QJsonObject &c) { return c["enter"].toBool(); }));
    // Typed with the space, as the screen shows it.
    m_children[3]->type("#code", m_code.left(4) + ' ' + m_code.mid(4));
    m_children[3]->type("#name", "はなこ");
    shoot(*m_children[3], "child-enter");
    m_children[3]->click("#go");
    QVERIFY(childShows(3, [](const QJsonObject &c) { return c["msg"].toString().contains("もう いるよ"); }));
    QCOMPARE(m_host->byId(m_classId)->children().size(), 4);
    // The fourth child comes back to its own place with its own token.
    m_children[3]->script(QStringLiteral("localStorage.setItem('taruvo-class', JSON.stringify({host: location.host, "
                                         "token: '%1', seat: '%2', name: 'けん', cls: 'x'})); location.reload(); return 0;")
                              .arg(m_host->byId(m_classId)->children().at(3).token,
                                   m_host->byId(m_classId)->children().at(3).seatCode));
    QVERIFY(childShows(3, [](const QJsonObject &c) { return c["lobby"].toBool() && c["detail"].toString() == "あいて: <b>ゆき</b>"; }));

    QVERIFY2(teacherShows([](const QJsonObject &t) {
                 return t["kids"].toArray().size() == 4 && t["pairs"].toArray().size() == 2;
             }),
             qPrintable(QJsonDocument(teacher()).toJson()));
    const QStringList kids = strings(teacher()["kids"]);
    QCOMPARE(kids, names);
    QCOMPARE(teacher()["bold"].toInt(), 0);
    QVERIFY(childShows(0, [](const QJsonObject &c) { return c["detail"].toString() == "あいて: はなこ"; }));
    shoot(m_teacher, "teacher-lobby");
    shoot(first, "child-lobby");

    // The code large for the classroom screen, whole on a projector and on
    // an iPad held upright.
    m_teacher.click("[data-act=show]");
    const char *readScreen = "const c = document.getElementById('screencode');"
                             "return { shown: !document.getElementById('screen').hidden, code: c.textContent,"
                             "         fits: c.getBoundingClientRect().right <= innerWidth && c.getBoundingClientRect().left >= 0 };";
    for (const QSize size : {QSize(1280, 720), QSize(768, 1024)}) {
        resize(m_teacher, size);
        const QJsonObject screen = m_teacher.script(readScreen).toObject();
        QVERIFY2(screen["shown"].toBool() && screen["fits"].toBool(), qPrintable(QJsonDocument(screen).toJson()));
        QCOMPARE(screen["code"].toString(), m_code.left(4) + ' ' + m_code.mid(4));
    }
    shoot(m_teacher, "teacher-screen", QSize(1280, 720));
    resize(m_teacher, sizeOf(m_teacher));
    m_teacher.click("#screenclose");
}

void TestBrowserHost::write(WebDriver &browser, const QString &box, const QList<Polyline> &strokes)
{
    writeWithFinger(browser, box, strokes);
}

void TestBrowserHost::twoPairsPlayWithTheFingerToTheEnd()
{
    m_teacher.click("[data-act=start]");
    ClassGame *game = m_host->byId(m_classId);
    QTRY_COMPARE_WITH_TIMEOUT(game->phase(), ClassGame::Phase::Playing, 10000);
    QCOMPARE(game->matches().size(), 2);
    // Every tablet turns into its seat, with its own pair's board.
    for (int i = 0; i < 4; ++i) {
        const ClassMatch *m = game->matchOf(game->children().at(i).id);
        QString board;
        for (int n = 0; n < m->game().pool().size(); ++n)
            board += m->game().pool().at(n).character;
        QVERIFY2(childShows(i, [&board](const QJsonObject &c) {
                     return c["page"].toString() == "seat" && c["shown"].toBool() && c["board"].toString() == board
                            && !c["locked"].toBool();
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
    }
    QVERIFY(teacherShows([](const QJsonObject &t) { return t["matches"].toArray().size() == 4; }));

    // Player 1 of each pair (たろう, then <b>ゆき</b>) writes 今日 and answers.
    for (int i : {0, 2}) {
        WebDriver &b = *m_children[i];
        RemoteSeat *seat = game->seatOf(game->children().at(i).id);
        write(b, "#box0", ima);
        write(b, "#box1", hi);
        QTRY_COMPARE_WITH_TIMEOUT(seat->box(0).strokes().size(), 4, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(seat->box(1).strokes().size(), 4, 10000);
        b.click("#rec");
        QTRY_VERIFY2_WITH_TIMEOUT(seat->box(0).hasResult() && seat->box(1).hasResult(),
                                  qPrintable(QJsonDocument(child(i)).toJson() + b.consoleLog()), 20000);
        QCOMPARE(seat->box(0).resultText() + seat->box(1).resultText(), QString("今日"));
        QVERIFY(childShows(i, [](const QJsonObject &c) { return c["results"].toInt() == 1; }));
        if (i == 0) {
            shoot(m_teacher, "teacher-dashboard");
            // The teacher's iPad, upright.
            shoot(m_teacher, "teacher-dashboard-ipad", QSize(768, 1024));
        }
        b.click("#ans");
        // The answer limit is 1: the pair's game ends at once.
        QVERIFY2(childShows(i, [](const QJsonObject &c) {
                     return c["result"].toString() == "かち！！" && c["own"].toString() == "1" && c["locked"].toBool();
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
        QVERIFY(childShows(i + 1, [](const QJsonObject &c) {
            return c["result"].toString() == "まけ！！" && c["opp"].toString() == "1" && c["locked"].toBool();
        }));
        QVERIFY(child(i)["answers"].toString().startsWith("今日,"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(game->phase(), ClassGame::Phase::RoundOver, 15000);
    // Live on the teacher's page: scores, words, outcomes.
    QVERIFY2(teacherShows([](const QJsonObject &t) {
                 const QStringList m = strings(t["matches"]);
                 return m.size() == 4 && m[0] == "1|たろう|1|0|今日||かち" && m[1].startsWith("|はなこ|0|0||")
                        && m[1].endsWith("|まけ") && m[2].startsWith("2|<b>ゆき</b>|1|0|今日|") && m[3].endsWith("|まけ");
             }),
             qPrintable(QJsonDocument(teacher()).toJson()));

    // Each child's page shows its own review of its own pair's game: the
    // words with their readings, who found which, its own outcome.
    for (int i = 0; i < 4; ++i) {
        const ClassMatch *m = game->matchOf(game->children().at(i).id);
        const QStringList dealt = m->game().pool().dealtWords();
        const bool first = i % 2 == 0;
        QVERIFY2(reviewShows(i, [](const QJsonObject &r) { return r["shown"].toBool() && r["words"].toArray().size() == 18; }),
                 qPrintable(m_children[i]->consoleLog() + QJsonDocument(review(i)).toJson()));
        const QJsonObject r = review(i);
        QCOMPARE(r["outcome"].toString(), QString(first ? "かち！！" : "まけ！！"));
        QVERIFY2(r["score"].toString() == QString(first ? "じぶん1・ あいて0" : "じぶん0・ あいて1"),
                 qPrintable(r["score"].toString()));
        QStringList words;
        for (const QJsonValue &v : r["words"].toArray()) {
            const QJsonObject card = v.toObject();
            words << card["word"].toString();
            if (card["word"].toString() == "今日") {
                QCOMPARE(card["reading"].toString(), QString("きょう、こんにち"));
                QCOMPARE(card["who"].toString(), QString(first ? "じぶん" : "あいて"));
            }
        }
        QCOMPARE(words, dealt);
        QCOMPARE(r["missed"].toInt(), 17);
        QCOMPARE(r["elements"].toInt(), 0);
    }
    // Readable on a tablet either way round: nothing to scroll sideways,
    // the close button a finger's size and in sight.
    for (const QSize size : {QSize(768, 1024), QSize(1024, 768)}) {
        viewport(*m_children[2], size);
        QVERIFY(QTest::qWaitFor([&] { return review(2)["viewport"].toObject()["w"].toInt() == size.width(); }, 15000));
        const QJsonObject r = review(2);
        const QJsonObject close = r["close"].toObject();
        QVERIFY2(r["wide"].toBool() && close["h"].toDouble() >= 48 && close["x"].toDouble() >= 0
                     && close["y"].toDouble() >= 0 && close["r"].toDouble() <= size.width()
                     && close["b"].toDouble() <= size.height(),
                 qPrintable(QJsonDocument(r).toJson()));
        shoot(*m_children[2], size.width() < size.height() ? "child-review-portrait" : "child-review-landscape", size);
    }
    viewport(*m_children[2], QSize(1024, 768));
    // Closed, the seat is there as the game left it.
    m_children[0]->click("#reviewclose");
    QVERIFY(reviewShows(0, [](const QJsonObject &r) { return !r["shown"].toBool(); }));
    shoot(*m_children[0], "child-seat");
    shoot(*m_children[1], "child-seat-upright");
}

void TestBrowserHost::releaseSendsTheChildrenBackToTheLobby()
{
    m_teacher.click("[data-act=release]");
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(childShows(i, [](const QJsonObject &c) {
                     return c["page"].toString() == "class" && c["lobby"].toBool() && c["wait"].toString() == "まっててね";
                 }),
                 qPrintable(QJsonDocument(child(i)).toJson()));
    }
    QCOMPARE(m_host->byId(m_classId)->phase(), ClassGame::Phase::Lobby);
    QVERIFY(teacherShows([](const QJsonObject &t) { return t["phase"].toString().startsWith("ロビー"); }));
}

void TestBrowserHost::resultsAndTheirCsvAgree()
{
    // Closing asks to confirm; the test says yes.
    m_teacher.script("window.confirm = () => true; return 0;");
    m_teacher.click("[data-act=close]");
    QVERIFY(teacherShows([](const QJsonObject &t) { return t["code"].toString().isEmpty() && !t["past"].toArray().isEmpty(); }));
    for (int i = 0; i < 4; ++i)
        QVERIFY(childShows(i, [](const QJsonObject &c) { return c["enter"].toBool() && c["msg"].toString() == "ゲームが おわりました"; }));
    QCOMPARE(strings(teacher()["past"]).first(), QString("3年1組 かんじ"));
    m_teacher.click("#past tbody tr button");
    QVERIFY(teacherShows([](const QJsonObject &t) { return t["results"].toArray().size() == 4; }));
    const QStringList shown = strings(teacher()["results"]);
    QCOMPARE(shown, (QStringList{"1|たろう|はなこ|今日|0|1|かち|終了", "1|はなこ|たろう||0|0|まけ|終了",
                                 "1|<b>ゆき</b>|けん|今日|0|1|かち|終了", "1|けん|<b>ゆき</b>||0|0|まけ|終了"}));
    shoot(m_teacher, "teacher-results");

    // The CSV the page links to, fetched with the teacher's cookie; and
    // without it, refused.
    QString cookie;
    for (const QJsonValue &c : m_teacher.session("GET", "/cookie").toArray()) {
        if (c.toObject()["name"].toString() == HostServer::CookieName)
            cookie = c.toObject()["value"].toString();
    }
    const QString href = m_teacher.script("return document.getElementById('csv').getAttribute('href');").toString();
    QCOMPARE(href, QStringLiteral("/teacher/results/%1.csv").arg(m_classId));
    QNetworkAccessManager net;
    auto fetch = [&](bool withCookie, int *status) {
        QNetworkRequest request(QUrl(url(href)));
        if (withCookie)
            request.setRawHeader("Cookie", QByteArray(HostServer::CookieName) + '=' + cookie.toLatin1());
        QNetworkReply *reply = net.get(request);
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000);
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    };
    int status = 0;
    fetch(false, &status);
    QCOMPARE(status, 403);
    const QByteArray csv = fetch(true, &status);
    QCOMPARE(status, 200);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QStringList lines = QString::fromUtf8(csv.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    lines.removeFirst();
    QStringList fromCsv;
    for (const QString &line : lines) {
        QStringList cells;
        for (const QString &cell : line.split(','))
            cells << QString(cell).remove('"');
        // round, name, partner, words, count, wrong, score, outcome, state
        fromCsv << QStringList{cells[1], cells[2], cells[3], cells[4], cells[6], cells[7], cells[8], cells[9]}.join('|');
        QCOMPARE(cells[0], QString("3年1組 かんじ"));
    }
    QCOMPARE(fromCsv, shown);
}

QByteArray TestBrowserHost::openAndPrint(const QString &link, QJsonObject *shown, const QString &shot)
{
    const QString home = m_teacher.session("GET", "/window").toString();
    const int before = int(m_teacher.session("GET", "/window/handles").toArray().size());
    m_teacher.click(link);
    QString tab;
    (void)QTest::qWaitFor([&] {
        const QJsonArray handles = m_teacher.session("GET", "/window/handles").toArray();
        for (const QJsonValue &h : handles) {
            if (h.toString() != home && handles.size() > before)
                tab = h.toString();
        }
        return !tab.isEmpty();
    }, 10000);
    if (tab.isEmpty())
        return {};
    m_teacher.session("POST", "/window", {{"handle", tab}});
    (void)QTest::qWaitFor([&] {
        return m_teacher.script("return document.readyState;").toString() == "complete";
    }, 10000);
    *shown = m_teacher.script(ReadPrintable).toObject();
    const QByteArray pdf = QByteArray::fromBase64(
        m_teacher.session("POST", "/print", {{"page", QJsonObject{{"width", 21.0}, {"height", 29.7}}}})
            .toString()
            .toLatin1());
    shoot(m_teacher, shot, QSize(900, 1000));
    // The printout beside the screenshots, for the README's picture of it.
    if (const QString base = qEnvironmentVariable("TARUVO_HOST_SCREENSHOT"); !base.isEmpty()) {
        QFile file(base + '-' + shot + ".pdf");
        if (file.open(QIODevice::WriteOnly))
            file.write(pdf);
    }
    m_teacher.session("DELETE", "/window");
    m_teacher.session("POST", "/window", {{"handle", home}});
    return pdf;
}

void TestBrowserHost::theTeacherPrintsAChildsReviewAndTheSheet()
{
    // The results page links each child's review and each game's sheet.
    const ClassResults kept = m_store->results(m_classId).result();
    QCOMPARE(kept.rows.size(), 4);
    const ChildResult yuki = kept.rows.at(2);
    QCOMPARE(yuki.name, names[2]);
    const QString reviewLink = QStringLiteral("a[data-review='%1-%2']").arg(yuki.gameId).arg(yuki.childId);
    QCOMPARE(m_teacher.script(QStringLiteral("return document.querySelector(\"%1\").getAttribute('href');")
                                  .arg(reviewLink))
                 .toString(),
             QStringLiteral("/teacher/review/%1-%2.html").arg(yuki.gameId).arg(yuki.childId));

    // <b>ゆき</b>'s review, printed: the game's words with readings, who
    // found 今日, the name as text.
    QJsonObject shown;
    QByteArray pdf = openAndPrint(reviewLink, &shown, "teacher-child-review");
    QVERIFY2(pdf.startsWith("%PDF"), pdf.left(100).constData());
    QCOMPARE(shown["h1"].toString(), QString("ふりかえり"));
    QVERIFY(shown["button"].toBool());
    QCOMPARE(shown["bold"].toInt(), 0);
    QVERIFY2(shown["text"].toString().contains("<b>ゆき</b>: 1 点 かち！！"), qPrintable(shown["text"].toString()));
    QStringList cells = strings(shown["cells"]);
    const int at = int(cells.indexOf("今日"));
    QVERIFY2(at >= 0 && cells.value(at + 1) == "きょう・こんにち" && cells.value(at + 2) == "<b>ゆき</b>",
             qPrintable(cells.join('|')));
    QString text = pdfText(pdf);
    QVERIFY2(text.contains("ふりかえり") && text.contains("きょう・こんにち") && text.contains("<b>ゆき</b>"),
             qPrintable(text));
    // The print button is left off the paper.
    QVERIFY2(!text.contains("いんさつ"), qPrintable(text));

    // The game's sheet: every word of its deal with its readings, one A4 page.
    const QString sheetLink = QStringLiteral("a[data-sheet='%1']").arg(yuki.gameId);
    pdf = openAndPrint(sheetLink, &shown, "teacher-sheet");
    QVERIFY2(pdf.startsWith("%PDF"), pdf.left(100).constData());
    QCOMPARE(shown["h1"].toString(), QString("3年1組 かんじ ・ ラウンド 1"));
    const GameRecord game = m_store->game(yuki.gameId).result();
    QCOMPARE(game.dealt.size(), 18);
    text = pdfText(pdf);
    for (const QString &word : game.dealt) {
        const std::optional<DictionaryEntry> entry = m_dictionary.lookUp(word);
        QVERIFY2(text.contains(word), qPrintable(word + '\n' + text));
        if (entry)
            QVERIFY2(text.contains(entry->readings.first()), qPrintable(word + '\n' + text));
    }
    QCOMPARE(text.count('\f'), 1);
}

void TestBrowserHost::theTeacherMakesAListFromTheKanjiLearned()
{
    auto maker = [this] { return m_teacher.script(ReadListMaker).toObject(); };
    auto shows = [&](const std::function<bool(const QJsonObject &)> &what) {
        return QTest::qWaitFor([&] { return what(maker()); }, 20000);
    };
    QVERIFY(maker()["shown"].toBool());
    // A few kanji pasted with kana and punctuation: too few words, and the
    // kanji that would add the most.
    m_teacher.type("#kanji", "山、川と 田。");
    m_teacher.click("#makelist");
    QVERIFY2(shows([](const QJsonObject &m) { return m["made"].toBool() && m["short"].toBool(); }),
             qPrintable(QJsonDocument(maker()).toJson()));
    QJsonObject m = maker();
    const ClassListMaker::Made few = m_maker->make({}, "山川田");
    QVERIFY2(m["count"].toString().contains(QStringLiteral("漢字 3 こから ことばが %1 こ").arg(few.words.size())),
             qPrintable(m["count"].toString()));
    QVERIFY(!m["save"].toBool());
    QStringList suggested = strings(m["suggestions"]);
    QCOMPARE(suggested.size(), int(few.suggestions.size()));
    QCOMPARE(suggested.first(), few.suggestions.first().kanji);
    shoot(m_teacher, "teacher-listmaker");
    // A suggestion pressed is added to the kanji, and the list made again.
    m_teacher.click("#suggestions button");
    const QString more = "山、川と 田。 " + suggested.first();
    QVERIFY(shows([&](const QJsonObject &m) {
        return m_teacher.script("return document.getElementById('kanji').value;").toString() == more
               && !m["count"].toString().startsWith("漢字 3 ");
    }));

    // The whole of grade 1: enough for a game; saved and offered.
    m_teacher.click("input[name=grade][value='1']");
    m_teacher.click("#makelist");
    const ClassListMaker::Made grade1 = m_maker->make({1}, more);
    QVERIFY(grade1.enough());
    QVERIFY2(shows([&](const QJsonObject &m) {
                 return m["save"].toBool() && m["count"].toString().contains(QStringLiteral("ことばが %1 こ").arg(grade1.words.size()));
             }),
             qPrintable(QJsonDocument(maker()).toJson()));
    m_teacher.type("#listname", "1年の漢字");
    m_teacher.click("#savelist");
    QVERIFY2(shows([](const QJsonObject &m) { return m["chosen"].toString() == "saved:1年の漢字"; }),
             qPrintable(QJsonDocument(maker()).toJson()));
    QCOMPARE(strings(maker()["savedLists"]), QStringList{"1年の漢字"});
    QCOMPARE(m_lists->saved(), QStringList{"1年の漢字"});

    // Played: a class game made with it has its words.
    m_teacher.type("#gamename", "1年 ふくしゅう");
    m_teacher.click("#create");
    QTRY_COMPARE_WITH_TIMEOUT(m_host->classes().size(), 1, 10000);
    const ClassGame *game = m_host->classes().first();
    QCOMPARE(game->settings().listName, QString("1年の漢字"));
    QCOMPARE(game->words().size(), int(grade1.words.size()));
    QVERIFY(game->words().contains(grade1.words.first()));
}

void TestBrowserHost::cleanupTestCase()
{
    for (auto &c : m_children)
        c->stop();
    m_teacher.stop();
    m_server.reset();
    m_host.reset();
}

QTEST_MAIN(TestBrowserHost)
#include "tst_browserhost.moc"
