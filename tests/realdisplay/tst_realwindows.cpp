// SPDX-License-Identifier: GPL-3.0-or-later
// The windows under a real window manager and with a screen reader's bus:
// where they appear, the minimum size the manager is told, and what screen
// readers are told during a game. Run by tests/realdisplay/run.sh.
#include "../windows/startedconsole.h"

#include "console/seatswindow.h"
#include "controls/accessibility.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"

#include <QAccessible>
#include <QCheckBox>
#include <QMenu>
#include <QScreen>
#include <QtTest>

namespace {

// What screen readers were told: the object and the value an event carried.
struct Told
{
    QObject *object;
    QString value;
};
QList<Told> *toldList = nullptr;

void recordTold(QAccessibleEvent *event)
{
    if (toldList && event->type() == QAccessible::ValueChanged)
        toldList->append({event->object(), static_cast<QAccessibleValueChangeEvent *>(event)->value().toString()});
}

// Waits until the window manager has framed w.
bool framed(QWidget *w)
{
    return QTest::qWaitFor([w] { return w->frameGeometry().size() != w->size(); }, 15000);
}

} // namespace

class TestRealWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowsSideBySide();
    void seatCodeInSight();
    void firstSizeHintCountsTheFrame();
    void screenReaderIsToldTheGame();
};

void TestRealWindows::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    installAccessibility();
}

namespace {

// Each window shown, framed, on the screen and clear of the others.
void expectSideBySide(const QList<QWidget *> &windows)
{
    for (QWidget *w : windows) {
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(framed(w), qPrintable(w->windowTitle()));
    }
    const QRect screen = windows.first()->screen()->availableGeometry();
    for (int i = 0; i < windows.size(); ++i) {
        const QRect outer = windows[i]->frameGeometry();
        QVERIFY2(screen.contains(outer), qPrintable(windows[i]->windowTitle()));
        for (int j = i + 1; j < windows.size(); ++j)
            QVERIFY2(!outer.intersects(windows[j]->frameGeometry()),
                     qPrintable(windows[i]->windowTitle() + " and " + windows[j]->windowTitle()));
    }
}

} // namespace

void TestRealWindows::windowsSideBySide()
{
    // Guards Player2 appearing over Player1 on a screen wide enough for all.
    StartedConsole s;
    s.console->show();
    s.console->PlayCheck()->click();
    expectSideBySide({s.console.get(), s.play(1), s.play(2)});
}

void TestRealWindows::seatCodeInSight()
{
    // With player 2's seat in a browser the seats' window joins the row; on
    // this screen the row is too narrow for four windows, and the seats'
    // window lay under the console and Player1 with its code half hidden.
    StartedConsole s("[Taruvo]\nNetSeats=2\nNetSeatAddress=127.0.0.1\n");
    s.console->show();
    QVERIFY(s.console->seatsWindow());
    expectSideBySide({s.console.get(), s.console->seatsWindow(), s.play(1)});
}

void TestRealWindows::firstSizeHintCountsTheFrame()
{
    // Guards the first shrink of a player window stopping at an inner
    // 390 x 380: the minimum is on the outer size from the start.
    StartedConsole s;
    PlayForm *w = s.play(1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(framed(w));
    const QSize frame = w->frameGeometry().size() - w->size();
    QTRY_COMPARE(w->minimumSize() + frame, QSize(PlayForm::MinimumOuterWidth, PlayForm::MinimumOuterHeight));
}

void TestRealWindows::screenReaderIsToldTheGame()
{
    // Guards scores, list name, recognised characters and outcomes that
    // changed on screen without a word to screen readers.
    QVERIFY2(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000),
             "no accessibility bus: run under tests/realdisplay/run.sh");
    QList<Told> told;
    toldList = &told;
    QAccessible::installUpdateHandler(recordTold);
    auto cleanup = qScopeGuard([] {
        QAccessible::installUpdateHandler(nullptr);
        toldList = nullptr;
    });
    auto wasTold = [&told](QObject *object, const QString &value) {
        return std::any_of(told.begin(), told.end(),
                           [&](const Told &t) { return t.object == object && t.value == value; });
    };

    StartedConsole s;
    s.write(QStringLiteral("list.txt"),
            QStringLiteral("学校\n日本\n先生\n電車\n花火\n山川\n天気\n水道\n名前\n自分\n時間\n世界\n言葉\n動物\n空気\n音楽\n図工\n体育\n")
                .toUtf8());
    emit s.console->menuBT()->fileMenu()->aboutToShow();
    for (QAction *action : s.console->menuBT()->fileMenu()->actions()) {
        if (action->text() == QLatin1String("list.txt"))
            action->trigger();
    }
    QVERIFY(s.waitForList());
    QVERIFY(s.console->StartButton()->isEnabled());
    QVERIFY(wasTold(s.console->Label1(), QStringLiteral("list.txt")));

    s.console->StartButton()->click();
    s.console->SeigoHantei(1, QStringLiteral("学校"));
    QVERIFY(wasTold(s.play(1)->Score1(), QStringLiteral("1")));
    QVERIFY(wasTold(s.play(2)->Score2(), QStringLiteral("1")));
    QVERIFY(wasTold(s.play(1)->resBank(), QStringLiteral("正解！！")));
    s.console->SeigoHantei(2, QStringLiteral("学校"));
    QVERIFY(wasTold(s.play(2)->resBank(), QStringLiteral("文字がない！")));

    // The box's result is its value.
    RecBoxF_Zu *box = s.play(1)->RecBox(0);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(10, box->height() / 2));
    for (int x = 20; x < box->width() - 10; x += 10)
        QTest::mouseMove(box, QPoint(x, box->height() / 2));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(box->width() - 10, box->height() / 2));
    box->Recognize();
    QVERIFY(box->HasResult());
    QVERIFY(wasTold(box, box->ResultText()));
}

QTEST_MAIN(TestRealWindows)
#include "tst_realwindows.moc"
