// SPDX-License-Identifier: GPL-3.0-or-later
// A seat taken from a real browser: the console runs here with player 2's
// seat served on loopback, headless Chromium opens the page, joins with the
// code, writes 今 and 日 with the finger through the page's own canvas,
// presses にんしき and こたえあわせ, and the outcome shows in the page and on
// the console. A wrong code is refused, a reload resumes the seat, player 1
// can take the other seat in a second tab, and the game's end reaches both,
// each page with the review of its own player.
#include "console/reviewwindow.h"
#include "console/seatswindow.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/zubutton.h"
#include "seats/remoteseat.h"
#include "seats/seatserver.h"
#include "browser/fingerink.h"
#include "browser/todayink.h"
#include "browser/webdriver.h"
#include "windows/startedconsole.h"

#include <QLabel>
#include <QMenu>
#include <QtTest>

namespace {

using namespace TodayInk;

// What the page shows, read from its document in one go.
const char *const ReadPage = R"(
const $ = (id) => document.getElementById(id);
const dark = (id) => {
  const c = $(id);
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let n = 0;
  for (let i = 0; i < d.length; i += 4)
    if (d[i] < 120 && d[i + 1] < 120 && d[i + 2] < 120 && d[i + 3] > 200) ++n;
  return n;
};
// Pixels of the candidate tiles' outlines across the border of the first
// two tiles, halfway down the strip: a line or two, not a thick frame.
const outline = (id) => {
  const c = $(id);
  const side = c.width, strip = Math.min(Math.max(side / 5, 14), 80), cell = side / 5;
  const y = Math.round(side - strip / 2);
  const d = c.getContext('2d').getImageData(Math.round(cell) - 12, y, 24, 1).data;
  let n = 0;
  for (let i = 0; i < d.length; i += 4)
    if (d[i] < 215 && d[i + 2] - d[i] > 35) ++n;
  return n;
};
const box = (id) => { const r = $(id).getBoundingClientRect(); return { w: r.width, h: r.height }; };
const code = $('code');
return {
  join: !$('join').hidden, seat: !$('seat').hidden, joinmsg: $('joinmsg').textContent,
  result: $('result').textContent, own: $('own').textContent, opp: $('opp').textContent,
  answers: [...$('answers').children].map((li) => li.textContent).join(','),
  board: [...$('board').children].map((d) => d.textContent).join(''),
  used: [...$('board').children].filter((d) => d.classList.contains('used')).map((d) => d.textContent).join(''),
  locked: $('rec').disabled, ink0: dark('box0'), results: window.taruvoSeatStats.result.length,
  echoes: window.taruvoSeatStats.echo.length, sent: window.taruvoSeatStats.sent, ack: window.taruvoSeatStats.ack,
  title: document.title, banner: $('banner').hidden ? '' : $('banner').className + ':' + $('banner').innerText,
  typed: code.value, typedSelected: document.activeElement === code && code.selectionStart === 0
    && code.selectionEnd === code.value.length && code.value.length > 0,
  enter: box('enter'), field: box('code'), ownBox: box('own'), outline0: outline('box0'), outline1: outline('box1'),
  buttonsOff: ['rec', 'clear', 'ans'].every((id) => $(id).disabled)
};)";

// The review over the seat after a game, read the same way.
const char *const ReadReview = R"(
const $ = (id) => document.getElementById(id);
const cards = (id) => [...$(id).children].map((li) => ({
  word: li.querySelector('.rw').textContent, reading: li.querySelector('.rr').textContent,
  who: li.querySelector('.rf').textContent, kind: li.className,
  meaning: li.querySelector('.rm') ? li.querySelector('.rm').textContent : '' }));
const panel = $('review');
const close = $('reviewclose').getBoundingClientRect();
const word = $('rvwords').firstElementChild;
return {
  shown: !panel.hidden, outcome: $('reviewoutcome').textContent, score: $('reviewscore').textContent,
  words: cards('rvwords'), missed: cards('rvmissedlist').length, missedShown: !$('rvmissed').hidden,
  tries: $('rvtrylist').children.length, triesShown: !$('rvtries').hidden,
  triesText: [...$('rvtrylist').children].map((li) => li.textContent).join('|'), more: $('rvmore').textContent,
  elements: panel.querySelectorAll('img, script, b, i, a').length - $('reviewscore').querySelectorAll('b').length,
  pwned: !!window.pwned, reopen: !$('banner').hidden && !$('reviewopen').hidden,
  wide: panel.scrollWidth <= innerWidth && $('reviewbody').scrollWidth <= $('reviewbody').clientWidth,
  closeButton: { x: close.left, y: close.top, r: close.right, b: close.bottom, h: close.height },
  viewport: { w: innerWidth, h: innerHeight },
  columns: word ? getComputedStyle($('rvwords')).gridTemplateColumns.split(' ').length : 0,
  wordPx: word ? parseFloat(getComputedStyle(word.querySelector('.rw')).fontSize) : 0,
  locked: $('rec').disabled
};)";

QString sorted(QString text)
{
    std::sort(text.begin(), text.end());
    return text;
}

} // namespace

class TestBrowserSeat : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void wrongCodeIsRefused();
    void theCodeTakesTheSeat();
    void aWholeTurnWithTheFinger();
    void reloadResumesTheSeat();
    void bothSeatsInBrowsers();
    void theReviewAtTheEnd();
    void theNextDealClosesTheReview();
    void cleanupTestCase();

private:
    QJsonObject page() { return m_browser.script(ReadPage).toObject(); }
    QJsonObject review() { return m_browser.script(ReadReview).toObject(); }
    bool reviewShows(const std::function<bool(const QJsonObject &)> &what, int ms = 15000)
    {
        return QTest::qWaitFor([&] { return what(review()); }, ms);
    }
    void viewport(QSize size) { QVERIFY2(m_browser.viewport(size), qPrintable(m_browser.lastError())); }
    bool pageShows(const std::function<bool(const QJsonObject &)> &what, int ms = 15000)
    {
        return QTest::qWaitFor([&] { return what(page()); }, ms);
    }
    RemoteSeat *seat(int player) const { return m_console->console->seatsWindow()->server()->seat(player); }
    QString url(const QString &code) const
    {
        return QStringLiteral("http://127.0.0.1:%1/#%2").arg(m_console->console->seatsWindow()->server()->port()).arg(code);
    }
    void write(const QString &box, const QList<Polyline> &strokes);
    // With TARUVO_SEAT_SCREENSHOT set, the page as it is now, to look at
    // (the README shows only -landscape, -portrait and -review-*).
    void shoot(const QString &suffix)
    {
        const QString shot = qEnvironmentVariable("TARUVO_SEAT_SCREENSHOT");
        QFile file(shot + suffix + ".png");
        if (!shot.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(m_browser.screenshot());
    }

    std::unique_ptr<StartedConsole> m_console;
    WebDriver m_browser;
};

void TestBrowserSeat::initTestCase()
{
    // A port free now, so that tests running beside this one do not meet.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QByteArray port = QByteArray::number(probe.serverPort());
    probe.close();
    m_console = std::make_unique<StartedConsole>(
        "[Taruvo]\r\nNetSeats=1,2\r\nNetSeatAddress=127.0.0.1\r\nNetSeatPort=" + port + "\r\n");
    QVERIFY(m_console->console->seatsWindow());
    QVERIFY(m_console->console->seatsWindow()->server());
    m_console->console->recognizer().load();
    QString why;
    QVERIFY2(m_browser.start(QSize(1024, 768), &why), qPrintable(why));
}

void TestBrowserSeat::wrongCodeIsRefused()
{
    QString wrong = QStringLiteral("000000");
    while (wrong == seat(1)->code() || wrong == seat(2)->code())
        wrong = QString::number(wrong.toInt() + 1).rightJustified(6, '0');
    m_browser.go(url(wrong));
    QVERIFY2(pageShows([](const QJsonObject &p) { return p["join"].toBool() && p["joinmsg"].toString() == "コードが ちがうよ"; }),
             qPrintable(m_browser.lastError()));
    QCOMPARE(seat(2)->state(), RemoteSeat::State::Waiting);
    const QJsonObject p = page();
    // What was typed stays, selected: typing again replaces it.
    QCOMPARE(p["typed"].toString(), wrong);
    QVERIFY(p["typedSelected"].toBool());
    // はいる is a finger's target, as wide as the field.
    const QJsonObject enter = p["enter"].toObject();
    QVERIFY2(enter["h"].toDouble() >= 64 && enter["w"].toDouble() >= p["field"].toObject()["w"].toDouble(),
             qPrintable(QJsonDocument(enter).toJson()));
    // No seat's buttons work before the console has said anything.
    QVERIFY(p["buttonsOff"].toBool());
    shoot("-join");
}

void TestBrowserSeat::theCodeTakesTheSeat()
{
    // Typed in, as a child does without the QR code, over the wrong code
    // still selected.
    QJsonArray keys;
    for (const QChar c : seat(2)->code()) {
        keys.append(QJsonObject{{"type", "keyDown"}, {"value", QString(c)}});
        keys.append(QJsonObject{{"type", "keyUp"}, {"value", QString(c)}});
    }
    m_browser.session("POST", "/actions", {{"actions", QJsonArray{QJsonObject{{"type", "key"}, {"id", "keyboard"}, {"actions", keys}}}}});
    QCOMPARE(page()["typed"].toString(), seat(2)->code());
    m_browser.click("#enter");
    QVERIFY2(pageShows([](const QJsonObject &p) { return p["seat"].toBool() && p["title"].toString() == "Player2"; }),
             qPrintable(m_browser.consoleLog() + m_browser.session("GET", "/url").toString() + QJsonDocument(page()).toJson()));
    QCOMPARE(seat(2)->state(), RemoteSeat::State::Connected);
    QCOMPARE(m_console->console->seatsWindow()->stateLabel(2)->text(), SeatsWindow::stateText(int(RemoteSeat::State::Connected)));
    // Before any deal the seat is locked like the windows, and says that
    // the game starts soon.
    QVERIFY(pageShows([](const QJsonObject &p) {
        return p["locked"].toBool() && p["banner"].toString().startsWith("soon:")
               && p["banner"].toString().contains("もうすぐ はじまるよ");
    }));
    shoot("-waiting");
}

void TestBrowserSeat::write(const QString &box, const QList<Polyline> &strokes)
{
    writeWithFinger(m_browser, box, strokes);
}

void TestBrowserSeat::aWholeTurnWithTheFinger()
{
    StartedConsole &c = *m_console;
    c.write("list.txt", eighteen.join('\n').toUtf8());
    MenuBT *menu = c.console->menuBT();
    emit menu->fileMenu()->aboutToShow();
    for (QAction *action : menu->fileMenu()->actions()) {
        if (action->text() == "list.txt")
            action->trigger();
    }
    QVERIFY(c.waitForList());
    QTRY_VERIFY(c.console->StartButton()->isEnabled());
    c.console->StartButton()->click();
    QString board;
    for (int n = 1; n <= PlayForm::BoardSize; ++n)
        board += c.play(2)->MonButton(n)->text();
    QVERIFY(pageShows([&board](const QJsonObject &p) {
        return p["board"].toString() == board && !p["locked"].toBool() && p["banner"].toString().isEmpty();
    }));

    write("#box0", ima);
    write("#box1", hi);
    QTRY_COMPARE_WITH_TIMEOUT(seat(2)->box(0).strokes().size(), 4, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(seat(2)->box(1).strokes().size(), 4, 10000);

    m_browser.click("#rec");
    QTRY_VERIFY_WITH_TIMEOUT(seat(2)->box(0).hasResult() && seat(2)->box(1).hasResult(), 20000);
    QCOMPARE(seat(2)->box(0).resultText() + seat(2)->box(1).resultText(), QString("今日"));
    QVERIFY(pageShows([](const QJsonObject &p) { return p["results"].toInt() == 1; }));
    // The candidate tiles keep thin outlines after thick ink.
    QVERIFY2(pageShows([](const QJsonObject &p) {
                 return p["outline0"].toInt() >= 1 && p["outline0"].toInt() <= 4 && p["outline1"].toInt() >= 1
                        && p["outline1"].toInt() <= 4;
             }),
             qPrintable(QJsonDocument(page()).toJson()));

    m_browser.click("#ans");
    QVERIFY2(pageShows([](const QJsonObject &p) {
                 return p["result"].toString() == "正解！！" && p["own"].toString() == "1" && p["opp"].toString() == "0";
             }),
             qPrintable(QJsonDocument(page()).toJson()));
    const QJsonObject p = page();
    QVERIFY(p["answers"].toString().startsWith("今日,"));
    // A score to read across the room.
    QVERIFY2(p["ownBox"].toObject()["h"].toDouble() >= 0.1 * 768, qPrintable(QJsonDocument(p).toJson()));
    QCOMPARE(sorted(p["used"].toString()), sorted("今日"));
    // On the console: the game, player 2's own window and player 1's.
    QCOMPARE(c.console->game().answers(2).first(), QString("今日"));
    QCOMPARE(c.console->game().score(2), 1);
    QCOMPARE(c.play(2)->ResultLabel()->text(), QString("正解！！"));
    QCOMPARE(c.play(1)->Score2()->text(), QString("1"));
    int disabled = 0;
    for (int n = 1; n <= PlayForm::BoardSize; ++n)
        disabled += !c.play(1)->MonButton(n)->isEnabled();
    QCOMPARE(disabled, 2);

    // For the README: TARUVO_SEAT_SCREENSHOT=docs/seat (makes -landscape.png
    // and -portrait.png).
    const QString shot = qEnvironmentVariable("TARUVO_SEAT_SCREENSHOT");
    if (!shot.isEmpty()) {
        for (const QSize size : {QSize(1024, 768), QSize(768, 1024)}) {
            viewport(size);
            QTest::qWait(1500);
            QFile file(shot + (size.width() > size.height() ? "-landscape.png" : "-portrait.png"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(m_browser.screenshot());
        }
        m_browser.session("POST", "/window/rect", {{"width", 1024}, {"height", 768}});
    }
}

void TestBrowserSeat::reloadResumesTheSeat()
{
    // New ink, then a reload: the seat is the same device's, and the page
    // shows the answer, the scores, the board and that ink again.
    m_browser.click("#clear");
    QTRY_COMPARE_WITH_TIMEOUT(seat(2)->box(0).strokes().size(), 0, 10000);
    QVERIFY(pageShows([](const QJsonObject &p) { return p["ink0"].toInt() == 0 && p["result"].toString().isEmpty(); }));
    write("#box0", ima.mid(0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(seat(2)->box(0).strokes().size(), 1, 10000);
    m_browser.refresh();
    QVERIFY2(pageShows([](const QJsonObject &p) {
                 return p["seat"].toBool() && p["own"].toString() == "1" && p["answers"].toString().startsWith("今日,")
                        && p["ink0"].toInt() > 0 && sorted(p["used"].toString()) == sorted("今日");
             }),
             qPrintable(QJsonDocument(page()).toJson()));
    QCOMPARE(seat(2)->state(), RemoteSeat::State::Connected);
    QCOMPARE(seat(2)->box(0).strokes().size(), 1);

    // The new page numbers its messages afresh and the seat acknowledges
    // in its numbers: its next stroke waits for the console, which names
    // it as taken, and then shows as written.
    const int inkBefore = page()["ink0"].toInt();
    write("#box0", ima.mid(1, 1));
    QTRY_COMPARE_WITH_TIMEOUT(seat(2)->box(0).strokes().size(), 2, 10000);
    QVERIFY2(pageShows([inkBefore](const QJsonObject &p) {
                 return p["echoes"].toInt() == 1 && p["sent"].toInt() >= 1 && p["ack"].toInt() == p["sent"].toInt()
                        && p["ink0"].toInt() > inkBefore;
             }),
             qPrintable(QJsonDocument(page()).toJson()));
}

void TestBrowserSeat::bothSeatsInBrowsers()
{
    // Player 1 takes the other seat in a second tab, by the address the QR
    // code carries.
    const QString first = m_browser.session("GET", "/window").toString();
    const QString tab = m_browser.session("POST", "/window/new", {{"type", "tab"}}).toObject().value("handle").toString();
    m_browser.session("POST", "/window", {{"handle", tab}});
    m_browser.go(url(m_console->console->seatsWindow()->server()->linkCode(1)));
    QVERIFY(pageShows([](const QJsonObject &p) {
        return p["seat"].toBool() && p["title"].toString() == "Player1" && p["opp"].toString() == "1"
               && sorted(p["used"].toString()) == sorted("今日") && !p["locked"].toBool();
    }));
    QCOMPARE(seat(1)->state(), RemoteSeat::State::Connected);
    QCOMPARE(seat(2)->state(), RemoteSeat::State::Connected);

    // The game ends (as at the time limit) with both seats in browsers: each
    // page shows its own outcome and takes no more answers.
    m_console->console->EndGame();
    QVERIFY2(pageShows([](const QJsonObject &p) {
                 return p["result"].toString() == "まけ！！" && p["locked"].toBool()
                        && p["banner"].toString().startsWith("over lose:まけ！！");
             }),
             qPrintable(QJsonDocument(page()).toJson()));
    m_browser.session("POST", "/window", {{"handle", first}});
    // The winner's page says so in large type over the boxes.
    QVERIFY2(pageShows([](const QJsonObject &p) {
                 return p["result"].toString() == "かち！！" && p["locked"].toBool()
                        && p["banner"].toString().startsWith("over win:かち！！");
             }),
             qPrintable(QJsonDocument(page()).toJson()));
    QCOMPARE(m_console->play(1)->ResultLabel()->text(), QString("まけ！！"));
    QCOMPARE(m_console->play(2)->ResultLabel()->text(), QString("かち！！"));
}

void TestBrowserSeat::theReviewAtTheEnd()
{
    // Player 2's page (this tab) after the end: the review over the seat
    // with the game's words, their readings and who found each, as the
    // child reads it; readable on a tablet either way round; closed, it
    // can be opened again from the banner; a reload shows it again.
    const QStringList dealt = m_console->console->game().pool().dealtWords();
    QCOMPARE(dealt.size(), 18);
    QVERIFY2(reviewShows([](const QJsonObject &r) { return r["shown"].toBool() && r["words"].toArray().size() == 18; }),
             qPrintable(m_browser.consoleLog() + QJsonDocument(review()).toJson()));
    QJsonObject r = review();
    QCOMPARE(r["outcome"].toString(), QString("かち！！"));
    QVERIFY2(r["score"].toString().contains("じぶん1") && r["score"].toString().contains("あいて0"),
             qPrintable(r["score"].toString()));
    QStringList words;
    for (const QJsonValue &v : r["words"].toArray()) {
        const QJsonObject card = v.toObject();
        words << card["word"].toString();
        if (card["word"].toString() == "今日") {
            QCOMPARE(card["reading"].toString(), QString("きょう、こんにち"));
            QCOMPARE(card["who"].toString(), QString("じぶん"));
            QCOMPARE(card["kind"].toString(), QString("card own"));
        } else {
            QCOMPARE(card["who"].toString(), QString("—"));
        }
        if (card["word"].toString() == "先生")
            QCOMPARE(card["reading"].toString(), QString("せんせい"));
    }
    QCOMPARE(words, dealt);
    QCOMPARE(r["missed"].toInt(), 17);
    QVERIFY(r["missedShown"].toBool());
    // No wrong answer in this game: no such part.
    QVERIFY(!r["triesShown"].toBool());
    QCOMPARE(r["elements"].toInt(), 0);

    for (const QSize size : {QSize(768, 1024), QSize(1024, 768)}) {
        viewport(size);
        QVERIFY(QTest::qWaitFor([&] { return review()["viewport"].toObject()["w"].toInt() == size.width(); }, 5000));
        r = review();
        const QJsonObject close = r["closeButton"].toObject();
        const QString why = QJsonDocument(r).toJson();
        // Nothing to scroll sideways; the close button a finger's size and in sight.
        QVERIFY2(r["wide"].toBool(), qPrintable(why));
        QVERIFY2(close["h"].toDouble() >= 48 && close["x"].toDouble() >= 0 && close["y"].toDouble() >= 0
                     && close["r"].toDouble() <= size.width() && close["b"].toDouble() <= size.height(),
                 qPrintable(why));
        QVERIFY2(r["columns"].toInt() >= (size.width() > size.height() ? 6 : 4), qPrintable(why));
        QVERIFY2(r["wordPx"].toDouble() >= 36, qPrintable(why));
        const QString shot = qEnvironmentVariable("TARUVO_SEAT_SCREENSHOT");
        if (!shot.isEmpty()) {
            QTest::qWait(1000);
            QFile file(shot + (size.width() > size.height() ? "-review-landscape.png" : "-review-portrait.png"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(m_browser.screenshot());
        }
    }

    // English meanings when the console's setting asks for them.
    const auto meaningOf = [](const QJsonObject &r, const QString &word) {
        for (const QJsonValue &v : r["words"].toArray()) {
            if (v.toObject()["word"].toString() == word)
                return v.toObject()["meaning"].toString();
        }
        return QString("(none)");
    };
    m_console->console->reviewWindow()->setMeanings(true);
    QVERIFY2(reviewShows([&](const QJsonObject &r) { return meaningOf(r, "今日").startsWith("today"); }),
             qPrintable(QJsonDocument(review()).toJson()));
    m_console->console->reviewWindow()->setMeanings(false);
    QVERIFY(reviewShows([&](const QJsonObject &r) { return meaningOf(r, "今日").isEmpty(); }));

    m_browser.click("#reviewclose");
    QVERIFY(reviewShows([](const QJsonObject &r) { return !r["shown"].toBool() && r["reopen"].toBool(); }));
    shoot("-over");
    m_browser.click("#reviewopen");
    QVERIFY(reviewShows([](const QJsonObject &r) { return r["shown"].toBool(); }));
    m_browser.click("#reviewclose");
    QVERIFY(reviewShows([](const QJsonObject &r) { return !r["shown"].toBool(); }));

    // The words of a teacher's list are text, never markup.
    const QJsonObject real =
        m_console->console->reviewWindow()->review().playerJson(2, false, RemoteSeat::MaxReviewBytes);
    QJsonObject hostile = real;
    QJsonArray hostileWords = hostile["words"].toArray();
    QJsonObject first = hostileWords.first().toObject();
    first["word"] = "<img src=x onerror=\"window.pwned=1\">";
    first["readings"] = QJsonArray{"<b>よみ</b>"};
    hostileWords.replace(0, first);
    hostile["words"] = hostileWords;
    QJsonArray players = hostile["players"].toArray();
    QJsonObject own = players.at(1).toObject();
    own["wrongTries"] = QJsonArray{QJsonObject{{"answer", "<script>window.pwned=1</script>"}, {"reason", "noWord"},
                                               {"text", "単語がない！！"}, {"readings", QJsonArray{"<i>x</i>"}},
                                               {"meaning", "<a href=x>y</a>"}}};
    own["wrongTryCount"] = 3;
    players.replace(1, own);
    hostile["players"] = players;
    QVERIFY(seat(2)->setReview(hostile));
    QVERIFY2(reviewShows([](const QJsonObject &r) {
                 return r["shown"].toBool() && r["words"].toArray().first().toObject()["word"].toString().startsWith("<img");
             }),
             qPrintable(QJsonDocument(review()).toJson()));
    QTest::qWait(300);
    r = review();
    QCOMPARE(r["elements"].toInt(), 0);
    QVERIFY(!r["pwned"].toBool());
    QCOMPARE(r["words"].toArray().first().toObject()["reading"].toString(), QString("<b>よみ</b>"));
    QVERIFY(r["triesShown"].toBool());
    QCOMPARE(r["triesText"].toString(), QString("<script>window.pwned=1</script>単語がない！！<i>x</i><a href=x>y</a>"));
    QCOMPARE(r["more"].toString(), QString("ほかに 2 かい"));
    m_browser.script("document.getElementById('rvtries').scrollIntoView(); return 0;");
    shoot("-review-hostile");
    QVERIFY(seat(2)->setReview(real));

    // Player 1's page: the same words, 今日 found by the other player.
    const QJsonArray handles = m_browser.session("GET", "/window/handles").toArray();
    const QString mine = m_browser.session("GET", "/window").toString();
    QString other;
    for (const QJsonValue &h : handles)
        other = h.toString() != mine ? h.toString() : other;
    m_browser.session("POST", "/window", {{"handle", other}});
    const auto lost = [](const QJsonObject &r) {
        bool seen = false;
        for (const QJsonValue &v : r["words"].toArray()) {
            const QJsonObject card = v.toObject();
            if (card["word"].toString() == "今日")
                seen = card["who"].toString() == "あいて" && card["kind"].toString() == "card opp";
        }
        return seen && r["shown"].toBool() && r["outcome"].toString() == "まけ！！" && r["words"].toArray().size() == 18;
    };
    QVERIFY2(reviewShows(lost), qPrintable(QJsonDocument(review()).toJson()));
    m_browser.click("#reviewclose");
    QVERIFY(reviewShows([](const QJsonObject &r) { return !r["shown"].toBool(); }));
    // A reload at the end shows it again. (This tab's seat: a browser
    // keeps the token of the seat it took last.)
    m_browser.refresh();
    QVERIFY2(reviewShows(lost), qPrintable(m_browser.consoleLog() + QJsonDocument(review()).toJson()));
    m_browser.session("POST", "/window", {{"handle", mine}});
}

void TestBrowserSeat::theNextDealClosesTheReview()
{
    // The next game must find the board free: the deal closes the review
    // and takes it away.
    QVERIFY(reviewShows([](const QJsonObject &r) { return r["shown"].toBool(); }));
    m_console->console->StartButton()->click();
    QVERIFY2(reviewShows([](const QJsonObject &r) { return !r["shown"].toBool() && !r["locked"].toBool() && !r["reopen"].toBool(); }),
             qPrintable(QJsonDocument(review()).toJson()));
    QVERIFY(!seat(1)->hasReview() && !seat(2)->hasReview());
    QVERIFY(pageShows([](const QJsonObject &p) { return p["banner"].toString().isEmpty() && p["own"].toString() == "0"; }));
}

void TestBrowserSeat::cleanupTestCase()
{
    m_browser.stop();
    m_console.reset();
}

QTEST_MAIN(TestBrowserSeat)
#include "tst_browserseat.moc"
