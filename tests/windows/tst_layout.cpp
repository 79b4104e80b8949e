// SPDX-License-Identifier: GPL-3.0-or-later
// The player window's layout pass and font fitting, its minimum size, and
// how the player windows follow the console's minimise, restore and end.
#include "startedconsole.h"

#include "common/playerlayout.h"
#include "controls/fonts.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"
#include "controls/zubutton.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <cmath>

using namespace PlayerLayout;

namespace {

// Text that grows linearly with its font: `perPoint` twips wide and high
// per point, the size read back as asked.
TextMeasure linear(double widthPerPoint, double heightPerPoint)
{
    return [=](const QString &, double points) {
        return TextExtent{points, widthPerPoint * points, heightPerPoint * points};
    };
}

// The pixel rectangle a place in twips becomes in window w.
QRect pixels(const QWidget *w, const Place &p)
{
    return twipsFor(w).rect(p.left, p.top, p.width, p.height);
}

// What a pass over w's current inner size must produce.
Result expectedFor(const PlayForm *w)
{
    const Twips t = twipsFor(w);
    FixedExtents fixed;
    fixed.resultHeight = t.fromY(w->ResultLabel()->height());
    fixed.recButtonHeight = t.fromY(w->RecButton()->height());
    fixed.scoreWidth = t.fromX(w->Score1()->width());
    fixed.scoreHeight = t.fromY(w->Score1()->height());
    return layoutFor(t.fromX(w->width()), t.fromY(w->height()), fixed, w->chkLabelMeasure());
}

// Compares every control of w with the pass expected for its size.
bool laidOutAsExpected(const PlayForm *w)
{
    const Result e = expectedFor(w);
    bool same = w->resBank()->geometry() == pixels(w, e.resBank)
        && w->ResultLabel()->geometry() == pixels(w, e.resultLabel)
        && w->RecBox(0)->geometry() == pixels(w, e.recBox[0]) && w->RecBox(1)->geometry() == pixels(w, e.recBox[1])
        && w->RecButton()->geometry() == pixels(w, e.recButton)
        && w->ClearButton()->geometry() == pixels(w, e.clearButton)
        && w->AnsButton()->geometry() == pixels(w, e.ansButton) && w->Score1()->geometry() == pixels(w, e.score1)
        && w->Label1()->geometry() == pixels(w, e.label1) && w->Score2()->geometry() == pixels(w, e.score2);
    for (int k = 0; k <= AnswerCount; ++k)
        same = same && w->AnsLabel(k)->geometry() == pixels(w, e.answers[k]);
    for (int n = 1; n <= BoardSize; ++n)
        same = same && w->MonButton(n)->geometry() == pixels(w, e.board[n])
            && w->MonButton(n)->font().pointSizeF() == e.SB;
    return same && w->AnsLabel(18)->font().pointSizeF() == e.SA
        && w->ResultLabel()->font().pointSizeF() == e.resultPoints;
}

// A started console with a list of 18 words chosen and a game dealt.
struct GameRunning : StartedConsole
{
    GameRunning()
    {
        const QByteArray words = "学校\n日本\n先生\n電車\n花火\n山川\n天気\n水道\n名前\n"
                                 "自分\n時間\n世界\n言葉\n動物\n空気\n音楽\n図工\n体育\n";
        write(QStringLiteral("list.txt"), words);
        QMenu *menu = console->menuBT()->fileMenu();
        emit menu->aboutToShow();
        for (QAction *action : menu->actions()) {
            if (action->text() == QLatin1String("list.txt"))
                action->trigger();
        }
        if (!waitForList())
            qFatal("the list took too long");
        console->StartButton()->click();
    }
};

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT
private slots:
    void designSizeFigures();
    void nearestHalvesToEven_data();
    void nearestHalvesToEven();
    void bandsHoldAtAnySize_data();
    void bandsHoldAtAnySize();
    void fitFontSize_data();
    void fitFontSize();
    void measureMatchesTheCheckLabel_data();
    void measureMatchesTheCheckLabel();
    void windowAtDesignSize();
    void fontsFollowTheWindow();
    void minimumSizeSnapsBack_data();
    void minimumSizeSnapsBack();
    void insistingWindowManagerIsNotFought();
    void minimiseAndRestoreDuringAGame_data();
    void minimiseAndRestoreDuringAGame();
    void endButtonDuringAGame();
};

void TestLayout::designSizeFigures()
{
    // Guards the formula: a slipped rounding, clamp or offset moves a design-size figure.
    const Result r = layoutFor(6915, 6465, FixedExtents(), linear(300, 300));
    const QList<int> wholes = {r.L, r.U, r.F, r.AW, r.AH, r.GX, r.GY, r.B, r.BW, r.BH, r.XW, r.XH};
    QCOMPARE(wholes, (QList<int>{2766, 3232, 2756, 915, 533, 5, 5, 3879, 686, 640, 2069, 1671}));
    QCOMPARE(r.BT, 2693.0);
    const QList<QPair<const Place *, QRectF>> places = {
        {&r.resBank, {5, 60, 2756, 2756}},        {&r.resultLabel, {5, 2882, 2756, 345}},
        {&r.answers[0], {5, 3232, 915, 533}},     {&r.answers[1], {5, 3232, 915, 533}},
        {&r.answers[2], {925, 3232, 915, 533}},   {&r.answers[4], {5, 3770, 915, 533}},
        {&r.answers[18], {1845, 5922, 915, 533}}, {&r.board[1], {2766, 5, 686, 640}},
        {&r.board[6], {6221, 5, 686, 640}},       {&r.board[36], {6221, 3230, 686, 640}},
        {&r.recBox[0], {2766, 3879, 2069, 1671}}, {&r.recBox[1], {4840, 3879, 2069, 1671}},
        {&r.recButton, {2766, 5555, 2693, 450}},  {&r.clearButton, {5945, 5555, 961, 450}},
        {&r.ansButton, {2766, 6010, 2693, 450}},  {&r.score1, {5464, 6010, 480, 345}},
        {&r.label1, {5945, 6010, 480, 345}},      {&r.score2, {6426, 6010, 480, 345}},
    };
    for (const auto &[p, expected] : places)
        QCOMPARE(QRectF(p->left, p->top, p->width, p->height), expected);
}

void TestLayout::nearestHalvesToEven_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("whole");
    QTest::newRow("2.5 down") << 2.5 << 2;
    QTest::newRow("3.5 up") << 3.5 << 4;
    QTest::newRow("half of 6465") << 3232.5 << 3232;
    QTest::newRow("half of 6467") << 3233.5 << 3234;
    QTest::newRow("just above a half") << 2.5000001 << 3;
    QTest::newRow("just below a half") << 3.4999999 << 3;
    QTest::newRow("negative half") << -2.5 << -2;
    QTest::newRow("negative odd half") << -3.5 << -4;
    QTest::newRow("negative fraction") << -0.6 << -1;
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestLayout::nearestHalvesToEven()
{
    // Guards the rounding: halves away from zero put U and F a twip off.
    QFETCH(double, x);
    QFETCH(int, whole);
    QCOMPARE(nearest(x), whole);
}

void TestLayout::bandsHoldAtAnySize_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("design") << 6915.0 << 6465.0;
    QTest::newRow("minimum") << 5850.0 << 5700.0;
    QTest::newRow("odd twips") << 6917.0 << 6467.0;
    QTest::newRow("1920 x 1080") << 28800.0 << 16200.0;
    QTest::newRow("3840 x 2160") << 57600.0 << 32400.0;
    QTest::newRow("very wide") << 57600.0 << 5700.0;
    QTest::newRow("very tall") << 5850.0 << 32400.0;
    QTest::newRow("maximised on a tiny screen") << 3000.0 << 2500.0;
    QTest::newRow("nothing left") << 0.0 << 0.0;
    QTest::newRow("negative") << -100.0 << -100.0;
    QTest::newRow("beyond any screen") << 1e12 << std::nan("");
}

void TestLayout::bandsHoldAtAnySize()
{
    // Guards other sizes: negative extents, and bands that overlap or leave the window.
    QFETCH(double, width);
    QFETCH(double, height);
    const FixedExtents fixed;
    const Result r = layoutFor(width, height, fixed, linear(150, 150));
    const double H = std::isnan(height) ? 0.0 : std::clamp(height, 0.0, 1e8);

    const Place *all[] = {&r.resBank, &r.resultLabel, &r.recBox[0], &r.recBox[1], &r.recButton,
                          &r.clearButton, &r.ansButton, &r.score1, &r.label1, &r.score2};
    for (const Place *p : all)
        QVERIFY(p->width >= 0 && p->height >= 0);
    for (const Place &p : r.answers)
        QVERIFY(p.width >= 0 && p.height >= 0);
    for (int n = 1; n <= BoardSize; ++n)
        QVERIFY(r.board[n].width >= 0 && r.board[n].height >= 0);
    QVERIFY(r.SA >= 1 && r.SB >= 1);
    QVERIFY(r.resultPoints >= 1 && r.resultPoints <= 14);

    if (r.AW > 0 && r.AH > 0) {
        QVERIFY2(r.GX >= 5 && r.GY >= 5, qPrintable(QStringLiteral("GX %1 GY %2").arg(r.GX).arg(r.GY)));
        // The answer list ends at least GY above the bottom edge.
        QVERIFY(r.answers[18].top + r.AH + r.GY <= H);
    }
    // The board ends at least 5 above the boxes.
    QVERIFY(r.board[36].top + r.BH + 5 <= r.B || r.BH == 0);
    if (r.XH > 0) {
        QCOMPARE(r.ansButton.top + fixed.recButtonHeight, H - 5);
    }
    if (r.BT >= 0) {
        QCOMPARE(r.clearButton.left + r.clearButton.width, r.score2.left + r.score2.width);
        QCOMPARE(r.score2.left + r.score2.width, double(r.L + 2 * r.XW + 2));
    } else {
        QCOMPARE(r.recButton.width, 0.0);
        QCOMPARE(r.ansButton.width, 0.0);
    }
}

void TestLayout::fitFontSize_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("margin");
    QTest::addColumn<int>("shape");
    QTest::addColumn<double>("points");

    enum { Linear, Flat, Stuck, NotANumber, Jumps };
    // 40 twips wide, 20 high per point.
    QTest::newRow("width decides") << 401.0 << 1000.0 << 1.0 << int(Linear) << 10.0;
    QTest::newRow("height decides") << 1000.0 << 181.0 << 1.0 << int(Linear) << 9.0;
    QTest::newRow("sum exactly at the edge fits") << 404.0 << 1000.0 << 4.0 << int(Linear) << 10.0;
    QTest::newRow("one twip short") << 403.0 << 1000.0 << 4.0 << int(Linear) << 9.0;
    QTest::newRow("fits at no size") << 10.0 << 10.0 << 1.0 << int(Linear) << 1.0;
    QTest::newRow("empty cell") << 0.0 << 0.0 << 4.0 << int(Linear) << 1.0;
    QTest::newRow("negative cell") << -50.0 << 500.0 << 1.0 << int(Linear) << 1.0;
    QTest::newRow("text that never grows") << 1000.0 << 1000.0 << 1.0 << int(Flat) << MaxFontPoints;
    QTest::newRow("font stuck at 8 points") << 1000.0 << 1000.0 << 1.0 << int(Stuck) << 8.0;
    QTest::newRow("measure gives NaN") << 1000.0 << 1000.0 << 1.0 << int(NotANumber) << 1.0;
    QTest::newRow("font jumps past the cap") << 1e9 << 1e9 << 1.0 << int(Jumps) << 5.0;
}

void TestLayout::fitFontSize()
{
    // Guards the font search: off-by-one sizes, results below 1 point, endless loops.
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, margin);
    QFETCH(int, shape);
    QFETCH(double, points);

    int calls = 0;
    const TextMeasure measure = [&](const QString &sample, double size) {
        ++calls;
        [&] { QCOMPARE(sample, QStringLiteral("焼")); }();
        switch (shape) {
        case 1: return TextExtent{size, 0, 0};
        case 2: return TextExtent{std::min(size, 8.0), 40 * size, 20 * size};
        case 3: return TextExtent{size, std::nan(""), std::nan("")};
        case 4: return TextExtent{size > 5 ? 1e6 : size, 1, 1};
        default: return TextExtent{size, 40 * size, 20 * size};
        }
    };
    QCOMPARE(FitFontSize(measure, QStringLiteral("焼"), width, height, margin), points);
    QVERIFY(calls <= int(MaxFontPoints) + 3);
}

void TestLayout::measureMatchesTheCheckLabel_data()
{
    QTest::addColumn<QString>("sample");
    QTest::newRow("answer sample") << QStringLiteral("飛焼");
    QTest::newRow("board sample") << QStringLiteral("焼");
    QTest::newRow("latin") << QStringLiteral("Wg");
    QTest::newRow("empty") << QString();
}

void TestLayout::measureMatchesTheCheckLabel()
{
    // Guards the fast measure against drifting from the size the label itself takes.
    QFETCH(QString, sample);
    StartedConsole s;
    PlayForm *w = s.play(1);
    const TextMeasure measure = w->chkLabelMeasure();
    AutoSizeLabel *label = w->ChkLabel();
    const Twips t = twipsFor(w);
    for (double points : {1.0, 2.0, 7.0, 14.25, 30.0, 61.0, 150.0}) {
        const TextExtent fast = measure(sample, points);
        QFont font = label->font();
        font.setPointSizeF(points);
        label->setFont(font);
        label->setText(sample);
        QCOMPARE(fast.points, label->font().pointSizeF());
        QCOMPARE(fast.width, t.fromX(label->width()));
        QCOMPARE(fast.height, t.fromY(label->height()));
    }
}

void TestLayout::windowAtDesignSize()
{
    // Guards the wiring of the pass, at 100 % and (as tst_layout_hidpi) at 200 %.
    StartedConsole s;
    PlayForm *w = s.play(1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->devicePixelRatioF(), qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
    const Twips t = twipsFor(w);
    QCOMPARE(qRound(t.fromX(w->width())), 6915);
    QCOMPARE(qRound(t.fromY(w->height())), 6465);
    QVERIFY(laidOutAsExpected(w));
    QCOMPARE(w->MonButton(6)->geometry(), t.rect(6221, 5, 686, 640));
    QCOMPARE(w->AnsLabel(18)->geometry(), t.rect(1845, 5922, 915, 533));
    QCOMPARE(w->RecBox(1)->geometry(), t.rect(4840, 3879, 2069, 1671));
    QCOMPARE(w->ClearButton()->geometry(), t.rect(5945, 5555, 961, 450));
    QCOMPARE(w->Score2()->geometry(), t.rect(6426, 6010, 480, 345));
    // The board template stays hidden where the design put it.
    QVERIFY(w->MonButton(0)->isHidden());
    QCOMPARE(w->MonButton(0)->geometry(), t.rect(2880, 120, 735, 735));
    QVERIFY(w->AnsLabel(0)->isHidden());
    // The measuring label is left as the board's search left it.
    QCOMPARE(w->ChkLabel()->text(), QStringLiteral("焼"));
    QCOMPARE(w->ChkLabel()->font().pointSizeF(), w->MonButton(1)->font().pointSizeF());
    QVERIFY(w->ChkLabel()->isHidden());
}

void TestLayout::fontsFollowTheWindow()
{
    // Guards the font sizes: result text above 14 points, board characters overflowing.
    StartedConsole s;
    PlayForm *w = s.play(1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const double smallBoard = w->MonButton(1)->font().pointSizeF();
    const double smallAnswers = w->AnsLabel(1)->font().pointSizeF();

    w->resize(1920, 1080);
    QVERIFY(laidOutAsExpected(w));
    QVERIFY(w->AnsLabel(1)->font().pointSizeF() > 14);
    QCOMPARE(w->ResultLabel()->font().pointSizeF(), 14.0);
    QVERIFY(w->MonButton(1)->font().pointSizeF() > 2 * smallBoard);
    for (ZuButton *button : {w->MonButton(1), w->MonButton(36)}) {
        const QRect glyph = QFontMetrics(button->font()).boundingRect(QStringLiteral("焼"));
        QVERIFY(glyph.width() < button->width() && glyph.height() <= button->height());
    }
    // The console's face on the answers, the design face kept on ChkLabel.
    QCOMPARE(w->AnsLabel(1)->font().family(), s.console->List2()->font().family());
    QCOMPARE(w->ChkLabel()->font().family(), Fonts::DesignFace);

    // Small again: the answers' own size when it is below the cap.
    w->resize(390, 380);
    QVERIFY(laidOutAsExpected(w));
    QVERIFY(w->AnsLabel(1)->font().pointSizeF() <= smallAnswers);
    QCOMPARE(w->ResultLabel()->font().pointSizeF(), double(nearest(w->AnsLabel(1)->font().pointSizeF())));
}

void TestLayout::minimumSizeSnapsBack_data()
{
    QTest::addColumn<QSize>("dragged");
    QTest::newRow("both too small") << QSize(200, 150);
    QTest::newRow("too narrow") << QSize(300, 500);
    QTest::newRow("too low") << QSize(600, 100);
    QTest::newRow("just below") << QSize(389, 379);
    QTest::newRow("large enough") << QSize(500, 400);
}

void TestLayout::minimumSizeSnapsBack()
{
    // Guards the minimum size: a too-small window must return to 390 x 380 outside.
    QFETCH(QSize, dragged);
    StartedConsole s;
    PlayForm *w = s.play(1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QSize frame = w->frameGeometry().size() - w->size();
    const QSize minimum(PlayForm::MinimumOuterWidth, PlayForm::MinimumOuterHeight);
    // The size hint stops ordinary resizes at the minimum already.
    w->resize(10, 10);
    QCOMPARE(w->frameGeometry().size(), minimum);
    w->resize(700, 700);

    // What a window manager ignoring the hint would do.
    w->windowHandle()->resize(dragged);
    QTRY_COMPARE(w->frameGeometry().size(), (dragged + frame).expandedTo(minimum));
    QVERIFY(laidOutAsExpected(w));
}

void TestLayout::insistingWindowManagerIsNotFought()
{
    // Guards against an endless resize fight with a window manager that insists.
    StartedConsole s;
    PlayForm *w = s.play(1);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QSize minimum(PlayForm::MinimumOuterWidth, PlayForm::MinimumOuterHeight);
    w->windowHandle()->resize(300, 200);
    QTRY_COMPARE(w->frameGeometry().size(), minimum);
    const int passes = w->layoutPasses();
    w->windowHandle()->resize(300, 200);
    QTRY_COMPARE(w->size(), QSize(300, 200));
    QTest::qWait(50);
    QCOMPARE(w->size(), QSize(300, 200));
    QVERIFY(w->layoutPasses() - passes <= 2);
    QVERIFY(laidOutAsExpected(w));
    // A later drag to another small size is corrected again.
    w->windowHandle()->resize(320, 200);
    QTRY_COMPARE(w->frameGeometry().size(), minimum);
}

void TestLayout::minimiseAndRestoreDuringAGame_data()
{
    QTest::addColumn<bool>("play2");
    QTest::newRow("Play2 ticked") << true;
    QTest::newRow("Play2 not ticked") << false;
}

void TestLayout::minimiseAndRestoreDuringAGame()
{
    // Guards the player windows following the console's minimise and restore.
    QFETCH(bool, play2);
    GameRunning g;
    CtrlForm *c = g.console.get();
    QVERIFY(c->Timer1()->isActive());
    c->show();
    QVERIFY(QTest::qWaitForWindowExposed(c));
    if (play2)
        c->PlayCheck()->click();
    QCOMPARE(g.play(2)->isVisible(), play2);
    const QString board = g.play(1)->MonButton(1)->text();

    c->MinButton()->click();
    QVERIFY(c->isMinimized());
    QVERIFY(!g.play(1)->isVisible());
    QVERIFY(!g.play(2)->isVisible());
    QVERIFY(c->Timer1()->isActive());

    c->showNormal();
    QVERIFY(!c->isMinimized());
    QVERIFY(g.play(1)->isVisible());
    QCOMPARE(g.play(2)->isVisible(), play2);
    QVERIFY(c->Timer1()->isActive());
    QVERIFY(g.play(1)->AnsButton()->isEnabled());
    QCOMPARE(g.play(1)->MonButton(1)->text(), board);
    QCOMPARE(g.ends, 0);

    // A second minimise from the restored state works the same way.
    c->MinButton()->click();
    QVERIFY(!g.play(1)->isVisible());
    QVERIFY(!g.play(2)->isVisible());
}

void TestLayout::endButtonDuringAGame()
{
    // Guards the end button mid-game: a player window, the clock or a result left over.
    GameRunning g;
    CtrlForm *c = g.console.get();
    c->show();
    c->PlayCheck()->click();
    QVERIFY(c->Timer1()->isActive());
    c->EndButton()->click();
    QVERIFY(!c->isVisible());
    QVERIFY(!g.play(1)->isVisible());
    QVERIFY(!g.play(2)->isVisible());
    QVERIFY(!c->Timer1()->isActive());
    QCOMPARE(g.ends, 1);
    for (int p = 1; p <= 2; ++p) {
        QVERIFY(g.play(p)->ResultLabel()->text().isEmpty());
        QCOMPARE(g.play(p)->resBank()->ItemNumber(), 2);
    }
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
