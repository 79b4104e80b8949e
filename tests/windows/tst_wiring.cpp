// SPDX-License-Identifier: GPL-3.0-or-later
// Games through the real windows: the console's list loading, and the
// wiring of game, panel and windows (the rules are tested on the engine).
#include "startedconsole.h"

#include "controls/accessibility.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"
#include "controls/zubutton.h"
#include "fakes/fakes.h"
#include "fakes/hostilefiles.h"

#include <QAccessible>
#include <QCheckBox>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>
#include <algorithm>

namespace {

const QStringList eighteen = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

// A started console with fixed chance and a hand-driven clock.
struct Played : StartedConsole
{
    std::shared_ptr<ManualClock::Time> time = std::make_shared<ManualClock::Time>();

    Played()
    {
        console->setClock(std::make_unique<ManualClock>(time));
        SeededRandom *random = new SeededRandom;
        random->seed(2026);
        console->setRandom(std::unique_ptr<UniformRandom>(random));
    }

    // The menu entry of a file of the data folder, the menu built afresh.
    QAction *entry(const QString &name) const
    {
        MenuBT *menu = console->menuBT();
        emit menu->fileMenu()->aboutToShow();
        for (QAction *action : menu->fileMenu()->actions()) {
            if (action->text() == name)
                return action;
        }
        qFatal("no menu entry for %s", qPrintable(name));
    }
    // Writes a list into the data folder, chooses it through the menu and
    // waits until it is in.
    void choose(const QString &name, const QByteArray &bytes)
    {
        write(name, bytes);
        entry(name)->trigger();
        if (!waitForList())
            qFatal("the list %s took too long", qPrintable(name));
    }
    void choose(const QStringList &words) { choose(QStringLiteral("list.txt"), words.join('\n').toUtf8()); }

    void start() { console->StartButton()->click(); }
    void tickAt(qint64 ms)
    {
        time->ms = ms;
        console->Timer1Tick();
    }
    QString board(int player) const
    {
        QString out;
        for (int n = 1; n <= PlayForm::BoardSize; ++n)
            out += play(player)->MonButton(n)->text();
        return out;
    }
    // The word that a dealt pair of characters of word forms, as answered.
    QString result(int player) const { return play(player)->ResultLabel()->text(); }
    bool locked(int player) const { return !play(player)->AnsButton()->isEnabled(); }
};

QString accessible(QObject *object, QAccessible::Text text)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(text) : QStringLiteral("<no interface>");
}

QStringList sortedCharacters(const QString &text)
{
    QStringList chars = WordList::characters(text);
    std::sort(chars.begin(), chars.end());
    return chars;
}

} // namespace

class TestWiring : public QObject
{
    Q_OBJECT
private slots:
    void choosingAList_data();
    void choosingAList();
    void aSecondListReplacesTheFirst();
    void unreadableListsEndInNone();
    void noneSaysWhy_data();
    void noneSaysWhy();
    void windowsRespondDuringALoad();
    void closingAbandonsALoad();
    void dealShowsTheSameBoardInBothWindows();
    void correctAnswerOfPlayer2();
    void answerLimitEndsTheGameInTheSameCall();
    void timeLimitEndsAtTheFirstTickThatReachesIt();
    void drawAtNothingEach();
    void loadingDuringAGameThenTimeOut();
    void submitWithoutResultsDoesNothing();
    void boxesReadInTheGame();
    void screenReadersReadScoresListAndOutcome();
};

void TestWiring::choosingAList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("words");
    QTest::newRow("18 words") << eighteen.join('\n').toUtf8() << true << 18;
    QTest::newRow("17 words") << QStringList(eighteen.mid(0, 17)).join('\n').toUtf8() << false << 17;
    QTest::newRow("18 copies of one word") << QByteArray("学校\n").repeated(18) << true << 18;
    QTest::newRow("skipped lines do not count")
        << (QStringList(eighteen.mid(0, 17)) + QStringList{"学", "学校長", "学 校", ""}).join("\r\n").toUtf8() << false << 17;
    QTest::newRow("blanks around words") << ("\u3000" + eighteen.join(" \n\t")).toUtf8() << true << 18;
    QTest::newRow("Shift_JIS")
        << QByteArray("\x8a\x77\x8d\x5a\r\n").repeated(18) << true << 18;
}

void TestWiring::choosingAList()
{
    // Guards the load: 18 words make a list ready, fewer do not; the pool
    // is emptied and both windows locked and cleared either way.
    QFETCH(QByteArray, bytes);
    QFETCH(bool, usable);
    QFETCH(int, words);
    Played g;
    g.play(1)->Score1()->setText("3");
    g.choose(QStringLiteral("リスト.txt"), bytes);
    QCOMPARE(g.console->wordList().size(), words);
    QCOMPARE(g.console->List1()->model()->rowCount(), words);
    QCOMPARE(g.console->StartButton()->isEnabled(), usable);
    QCOMPARE(g.console->Label1()->text(), usable ? QStringLiteral("リスト.txt") : QStringLiteral("None"));
    QCOMPARE(g.console->List2()->count(), 0);
    QCOMPARE(g.play(1)->Score1()->text(), QStringLiteral("0"));
    // The handwriting boxes prefer the list's characters.
    const QSet<QString> preferred = g.console->recognizer().preferredCharacters();
    QCOMPARE(preferred.contains(QStringLiteral("校")), words > 0);
    QVERIFY(g.locked(1) && g.locked(2));
}

void TestWiring::aSecondListReplacesTheFirst()
{
    // Guards against a short second list leaving the first one usable.
    Played g;
    g.choose(eighteen);
    QVERIFY(g.console->StartButton()->isEnabled());
    g.choose(QStringLiteral("short.txt"), "学校\n日本\n");
    QVERIFY(!g.console->StartButton()->isEnabled());
    QCOMPARE(g.console->Label1()->text(), QStringLiteral("None"));
    QCOMPARE(g.console->wordList().size(), 2);
    QVERIFY(!g.console->wordList().contains("先生"));
}

void TestWiring::unreadableListsEndInNone()
{
    // Guards files that vanish or are not lists: "None", nothing else.
    Played g;
    g.choose(eighteen);
    const QString path = g.write(QStringLiteral("gone.txt"), eighteen.join('\n').toUtf8());
    emit g.console->menuBT()->fileMenu()->aboutToShow();
    QAction *gone = nullptr;
    for (QAction *action : g.console->menuBT()->fileMenu()->actions())
        if (action->text() == QLatin1String("gone.txt"))
            gone = action;
    QVERIFY(gone);
    QVERIFY(QFile::remove(path));
    gone->trigger();
    QVERIFY(g.waitForList());
    QCOMPARE(g.console->Label1()->text(), QStringLiteral("None"));
    QVERIFY(!g.console->StartButton()->isEnabled());
}

void TestWiring::noneSaysWhy_data()
{
    QTest::addColumn<int>("kind"); // a Hostile, or -1 for a list of 17 words
    QTest::addColumn<QString>("reason");
    QTest::newRow("17 words") << -1 << "list.txt: 17 words; a game needs 18";
    QTest::newRow("vanished") << -2 << "list.txt: file not found";
    for (const auto &[name, kind] : hostileKinds())
        QTest::newRow(name) << int(kind) << QString();
}

void TestWiring::noneSaysWhy()
{
    // Guards a list that ends in "None" with its reason only in the log,
    // which the operator never sees: the label's tool tip says why.
    QFETCH(int, kind);
    QFETCH(QString, reason);
    Played g;
    const QString path = g.write(QStringLiteral("list.txt"), QStringList(eighteen.mid(0, 17)).join('\n').toUtf8());
    QAction *entry = g.entry(QStringLiteral("list.txt"));
    HostilePlanter planter;
    if (kind != -1) {
        QVERIFY(QFile::remove(path));
        if (kind >= 0)
            planter.plant(path, Hostile(kind));
    }
    entry->trigger();
    QVERIFY(g.waitForList());
    QCOMPARE(g.console->Label1()->text(), QStringLiteral("None"));
    QVERIFY(!g.console->StartButton()->isEnabled());
    const QString tip = g.console->Label1()->toolTip();
    if (!reason.isEmpty())
        QCOMPARE(tip, reason);
    else
        QVERIFY2(tip.startsWith(QStringLiteral("list.txt: ")) && tip.size() > 12, qPrintable(tip));
    // A usable list afterwards says how many words it holds.
    g.choose(QStringLiteral("good.txt"), eighteen.join('\n').toUtf8());
    QVERIFY(g.console->Label1()->toolTip().endsWith(QStringLiteral("good.txt: 18 words")));
}

void TestWiring::windowsRespondDuringALoad()
{
    // Guards the windows freezing while a large list loads: the load runs
    // off the windows' thread, "Wait!!" shows, and until the words are in
    // nothing starts and nothing is judged.
    Played g;
    g.choose(eighteen);
    g.start();
    QByteArray big;
    for (int i = 0; i < 1000000; ++i)
        big += QString(QChar(0x4E00 + i % 20000)).append(QChar(0x4E00 + i / 20000)).toUtf8() + '\n';
    g.write(QStringLiteral("big.txt"), big);
    g.entry(QStringLiteral("big.txt"))->trigger();
    QCOMPARE(g.console->Label1()->text(), QStringLiteral("Wait!!"));
    QVERIFY(g.console->isLoadingWordList());
    QVERIFY(!g.console->StartButton()->isEnabled());
    QVERIFY(g.locked(1) && g.locked(2));
    g.console->SeigoHantei(1, "学校");
    QVERIFY(g.result(1).isEmpty());
    g.start();
    QCOMPARE(g.console->characterPool().size(), 0);

    int turns = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&turns] { ++turns; });
    beat.start(0);
    QVERIFY(g.waitForList());
    QVERIFY2(turns > 0, "the event loop stood still during the load");
    QCOMPARE(g.console->Label1()->text(), QStringLiteral("big.txt"));
    QCOMPARE(g.console->wordList().size(), 1000000);
    QCOMPARE(g.console->List1()->model()->rowCount(), 1000000);
    QVERIFY(g.console->StartButton()->isEnabled());
    QVERIFY(g.console->wordList().contains(QString(QChar(0x4E00 + 7)).append(QChar(0x4E00 + 3))));
}

void TestWiring::closingAbandonsALoad()
{
    // Guards closing (and SIGTERM) that acted only once a load had ended.
    auto g = std::make_unique<Played>();
    g->write(QStringLiteral("big.txt"), QByteArray("\xe5\xad\xa6\xe6\xa0\xa1\n").repeated(3000000));
    g->entry(QStringLiteral("big.txt"))->trigger();
    QVERIFY(g->console->isLoadingWordList());
    g->console->close();
    QCOMPARE(g->ends, 1);
    // The console goes while the read stops; nothing of it may come back.
    g.reset();
    QTest::qWait(50);
}

void TestWiring::dealShowsTheSameBoardInBothWindows()
{
    // Guards the deal: exactly the list's 36 characters, in both windows,
    // both unlocked, the clock running from 0.
    Played g;
    g.choose(eighteen);
    g.start();
    QCOMPARE(sortedCharacters(g.board(1)), sortedCharacters(eighteen.join(QString())));
    QCOMPARE(g.board(1), g.board(2));
    QVERIFY(!g.locked(1) && !g.locked(2));
    QVERIFY(g.console->Timer1()->isActive());
    QCOMPARE(g.console->TimLabel()->text(), QStringLiteral("0"));
    QVERIFY(!g.console->UnlockButton()->isEnabled());
    QCOMPARE(g.console->List2()->count(), 36);
}

void TestWiring::correctAnswerOfPlayer2()
{
    // Guards where a correct answer is written: scores in both windows,
    // the answer list and result of the answering window only, and the
    // lowest matching board button disabled in both.
    Played g;
    QStringList words = eighteen;
    words[17] = "学生"; // 学 and 生 also stand in 学校 and 先生
    words << "体育";
    g.choose(words);
    g.start();
    const QString board = g.board(1);
    g.console->SeigoHantei(2, "学生");
    QCOMPARE(g.result(2), QStringLiteral("正解！！"));
    QCOMPARE(g.play(2)->resBank()->ItemNumber(), 0);
    QCOMPARE(g.play(2)->Score1()->text(), QStringLiteral("1"));
    QCOMPARE(g.play(1)->Score2()->text(), QStringLiteral("1"));
    QCOMPARE(g.play(1)->Score1()->text(), QStringLiteral("0"));
    QCOMPARE(g.play(2)->AnsLabel(1)->text(), QStringLiteral("学生"));
    QVERIFY(g.play(1)->AnsLabel(1)->text().isEmpty());
    QVERIFY(g.result(1).isEmpty());
    const int first = board.indexOf("学") + 1;
    const int second = board.indexOf("生") + 1;
    for (int p = 1; p <= 2; ++p) {
        for (int n = 1; n <= 36; ++n) {
            const bool used = n == first || n == second;
            QVERIFY2(g.play(p)->MonButton(n)->isEnabled() != used, qPrintable(QString::number(n)));
        }
        QCOMPARE(g.play(p)->MonButton(first)->text(), QStringLiteral("学"));
    }
    QCOMPARE(g.console->List2()->item(first - 1)->data(Qt::UserRole).toInt(), 1);

    // The next 学 on the board is used by the next answer.
    g.console->SeigoHantei(2, "学生");
    QCOMPARE(g.result(2), board.count("学") > 1 && board.count("生") > 1 ? QStringLiteral("正解！！")
                                                                        : QStringLiteral("文字がない！"));
}

void TestWiring::answerLimitEndsTheGameInTheSameCall()
{
    // Guards the answer limit: the answer that reaches it is scored in
    // full, then the result replaces "正解！！" at once.
    Played g;
    g.choose(eighteen);
    g.start();
    g.console->SeikaiScroll()->setValue(2);
    g.console->SeigoHantei(1, "学校");
    QVERIFY(g.console->Timer1()->isActive());
    g.console->SeigoHantei(1, "日本");
    QCOMPARE(g.play(1)->Score1()->text(), QStringLiteral("2"));
    QCOMPARE(g.play(1)->AnsLabel(2)->text(), QStringLiteral("日本"));
    QCOMPARE(g.result(1), QStringLiteral("かち！！"));
    QCOMPARE(g.result(2), QStringLiteral("まけ！！"));
    QCOMPARE(g.play(1)->resBank()->ItemNumber(), 0);
    QCOMPARE(g.play(2)->resBank()->ItemNumber(), 1);
    QVERIFY(g.locked(1) && g.locked(2));
    QVERIFY(!g.console->Timer1()->isActive());
    QVERIFY(g.console->UnlockButton()->isEnabled());
}

void TestWiring::timeLimitEndsAtTheFirstTickThatReachesIt()
{
    // Guards the time-out: not a tick early, and the final display.
    Played g;
    g.choose(eighteen);
    const qint64 start = g.time->ms;
    g.start();
    g.console->TimeCheck()->click();
    g.console->SeigoHantei(2, "先生");
    g.tickAt(start + 59999);
    QCOMPARE(g.console->TimLabel()->text(), QStringLiteral("59"));
    QVERIFY(g.console->Timer1()->isActive());
    g.tickAt(start + 60400);
    QVERIFY(!g.console->Timer1()->isActive());
    QCOMPARE(g.console->TimLabel()->text(), QStringLiteral("60"));
    QCOMPARE(g.result(2), QStringLiteral("かち！！"));
    QCOMPARE(g.result(1), QStringLiteral("まけ！！"));
    // A later call of the end changes nothing.
    g.play(2)->ResultLabel()->clear();
    g.console->EndGame();
    QVERIFY(g.result(2).isEmpty());
}

void TestWiring::drawAtNothingEach()
{
    // Guards the draw: both windows show it with the neutral item, and only
    // player 1's bank performs.
    Played g;
    g.choose(eighteen);
    g.start();
    g.console->TimeCheck()->click();
    g.console->TimScroll()->setValue(1);
    g.tickAt(g.time->ms + 1000);
    for (int p = 1; p <= 2; ++p) {
        QCOMPARE(g.result(p), QStringLiteral("ひきわけ！！"));
        QCOMPARE(g.play(p)->resBank()->ItemNumber(), 2);
    }
    // Only player 1's bank performs.
    QVERIFY(g.play(1)->resBank()->isAnimating());
    QVERIFY(!g.play(2)->resBank()->isAnimating());
}

void TestWiring::loadingDuringAGameThenTimeOut()
{
    // Guards a list chosen mid-game: the clock runs on and the time-out is a
    // draw at 0 to 0; answers on the empty board then give "文字がない！".
    Played g;
    g.choose(eighteen);
    g.start();
    g.console->SeigoHantei(1, "学校");
    g.console->TimeCheck()->click();
    g.choose(QStringLiteral("second.txt"), eighteen.join('\n').toUtf8());
    QVERIFY(g.console->Timer1()->isActive());
    QVERIFY(g.locked(1) && g.locked(2));
    QCOMPARE(g.console->characterPool().size(), 0);
    g.tickAt(g.time->ms + 60000);
    QCOMPARE(g.result(1), QStringLiteral("ひきわけ！！"));
    g.console->UnlockButton()->click();
    g.console->SeigoHantei(1, "学校");
    QCOMPARE(g.result(1), QStringLiteral("文字がない！"));
}

void TestWiring::submitWithoutResultsDoesNothing()
{
    // Guards "こたえあわせ" with unrecognised boxes: no call, no message.
    Played g;
    g.choose(eighteen);
    g.start();
    g.play(1)->AnsButton()->click();
    QVERIFY(g.result(1).isEmpty());
    QCOMPARE(g.play(1)->resBank()->ItemNumber(), 2);
}

void TestWiring::boxesReadInTheGame()
{
    // Guards the game's context not reaching a window's boxes: they would
    // read as outside a game, board characters and words not preferred.
    Played g;
    g.choose(eighteen);
    auto writeAndRead = [&g](int player) {
        PlayForm *play = g.play(player);
        for (int b = 0; b < 2; ++b) {
            RecBoxF_Zu *box = play->RecBox(b);
            const int y = box->height() / 3;
            QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(box->width() / 6, y));
            for (int x = box->width() / 6; x <= box->width() * 5 / 6; x += 4) {
                QMouseEvent move(QEvent::MouseMove, QPointF(x, y), box->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                                 Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(box, &move);
            }
            QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(box->width() * 5 / 6, y));
        }
        play->RecButton()->click();
    };
    g.start();
    for (int player = 1; player <= 2; ++player) {
        writeAndRead(player);
        for (int b = 0; b < 2; ++b) {
            const RecBoxF_Zu *box = g.play(player)->RecBox(b);
            QVERIFY(box->HasResult());
            // Read in the game: everything scored follows the shown candidates.
            QVERIFY2(box->reading().size() > 10, qPrintable(QStringLiteral("player %1 box %2").arg(player).arg(b)));
        }
    }
}

void TestWiring::screenReadersReadScoresListAndOutcome()
{
    // Guards labels whose accessible name hid their text from screen
    // readers, and outcomes shown only as a picture.
    installAccessibility();
    Played g;
    g.choose(eighteen);
    QCOMPARE(accessible(g.console->Label1(), QAccessible::Name), QStringLiteral("単語リスト"));
    QCOMPARE(accessible(g.console->Label1(), QAccessible::Value), QStringLiteral("list.txt"));
    g.start();
    g.console->SeigoHantei(1, "学校");
    struct Expected
    {
        QObject *object;
        const char *name;
        const char *value;
    };
    const Expected expected[] = {
        {g.play(1)->Score1(), "じぶんのてんすう", "1"},
        {g.play(1)->Score2(), "あいてのてんすう", "0"},
        {g.play(2)->Score1(), "じぶんのてんすう", "0"},
        {g.play(2)->Score2(), "あいてのてんすう", "1"},
        {g.play(1)->resBank(), "フィードバック", "正解！！"},
        {g.play(2)->resBank(), "フィードバック", ""},
    };
    for (const Expected &e : expected) {
        QCOMPARE(accessible(e.object, QAccessible::Name), QString::fromUtf8(e.name));
        QCOMPARE(accessible(e.object, QAccessible::Value), QString::fromUtf8(e.value));
        QCOMPARE(accessible(e.object, QAccessible::Description), QString::fromUtf8(e.value));
    }
    g.console->SeigoHantei(2, "学校");
    QCOMPARE(accessible(g.play(2)->resBank(), QAccessible::Description), QStringLiteral("文字がない！"));
    // Erasing resets the feedback, and with it what is described.
    g.play(1)->EraseAnswer();
    QVERIFY(accessible(g.play(1)->resBank(), QAccessible::Description).isEmpty());
}

QTEST_MAIN(TestWiring)
#include "tst_wiring.moc"
