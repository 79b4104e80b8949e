// SPDX-License-Identifier: GPL-3.0-or-later
// Where the console and the player windows first appear.
#include "common/windowplacement.h"

#include <QtTest>

using namespace WindowPlacement;

namespace {

// The console and the two player windows at 96 dpi with estimated frames.
const QList<QSize> designed{QSize(175, 341).grownBy(EstimatedFrame), QSize(461, 431).grownBy(EstimatedFrame),
                            QSize(461, 431).grownBy(EstimatedFrame)};

} // namespace

class TestWindowPlacement : public QObject
{
    Q_OBJECT
private slots:
    void arrange_data();
    void arrange();
    void fitBeside_data();
    void fitBeside();
};

void TestWindowPlacement::arrange_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::addColumn<bool>("sideBySide");

    QTest::newRow("1280 x 800") << QRect(0, 0, 1280, 800) << designed << true;
    QTest::newRow("1920 x 1080 below a panel") << QRect(0, 32, 1920, 1048) << designed << true;
    QTest::newRow("second screen to the right") << QRect(1920, 0, 1366, 768) << designed << true;
    QTest::newRow("1024 x 768") << QRect(0, 0, 1024, 768) << designed << false;
    QTest::newRow("800 x 600") << QRect(0, 0, 800, 600) << designed << false;
    QTest::newRow("wide but too low") << QRect(0, 0, 2000, 400) << designed << false;
    QTest::newRow("windows larger than the screen")
        << QRect(0, 0, 640, 480) << QList<QSize>{QSize(700, 500), QSize(900, 700), QSize(900, 700)} << false;
    QTest::newRow("one window") << QRect(0, 0, 1024, 768) << QList<QSize>{QSize(500, 500)} << true;
}

void TestWindowPlacement::arrange()
{
    // Guards Player2 appearing over Player1, and windows placed off the screen.
    QFETCH(QRect, available);
    QFETCH(QList<QSize>, sizes);
    QFETCH(bool, sideBySide);
    const QList<QPoint> places = WindowPlacement::arrange(available, sizes);
    QCOMPARE(places.size(), sizes.size());
    QList<QRect> rects;
    for (int i = 0; i < sizes.size(); ++i)
        rects.append(QRect(places[i], sizes[i]));

    for (const QRect &r : rects) {
        // Whatever fits is wholly on the screen; a larger window shows its corner.
        if (r.width() <= available.width() && r.height() <= available.height())
            QVERIFY2(available.contains(r), qPrintable(QStringLiteral("%1,%2").arg(r.x()).arg(r.y())));
        else
            QVERIFY(available.contains(r.topLeft()));
    }
    for (int i = 0; i < rects.size(); ++i) {
        for (int j = i + 1; j < rects.size(); ++j) {
            if (sideBySide) {
                QVERIFY(!rects[i].intersects(rects[j]));
                QCOMPARE(rects[j].top(), rects[i].top());
                QVERIFY(rects[j].left() > rects[i].right());
            } else if (available.contains(rects[j])) {
                // Each window later in the cascade starts lower and further
                // right, so that the captions before it stay in sight.
                QVERIFY(rects[j].top() >= rects[i].top() + CascadeStep);
                QVERIFY(rects[j].left() >= rects[i].left() + CascadeStep);
            }
        }
    }
    if (!sideBySide && sizes == designed && available.width() >= 1024) {
        // On a 1024 pixel screen a player window hides under the next one
        // only a strip as wide as a board column or two.
        QVERIFY(rects[1].right() - rects[2].left() < sizes[1].width() / 4);
    }
}

void TestWindowPlacement::fitBeside_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QList<QRect>>("boards");
    QTest::addColumn<QList<QRect>>("others");
    QTest::addColumn<bool>("whole"); // at the preferred size
    QTest::addColumn<bool>("clear"); // covering no board
    const QRect console(8, 8, 191, 381), one(207, 8, 481, 475), two(696, 8, 481, 475);
    QTest::newRow("wide screen: whole, beside the boards")
        << QRect(0, 0, 1920, 1080) << QList<QRect>{one, two} << QList<QRect>{console} << true << true;
    QTest::newRow("1280 x 800 with both boards in a row: smaller, below them")
        << QRect(0, 0, 1280, 800) << QList<QRect>{one, two} << QList<QRect>{console} << false << true;
    QTest::newRow("no room at all: whole size, covering least")
        << QRect(0, 0, 800, 700) << QList<QRect>{QRect(0, 0, 500, 700), QRect(300, 0, 500, 700)} << QList<QRect>{}
        << true << false;
    QTest::newRow("screen smaller than the window: the screen's size")
        << QRect(0, 0, 640, 480) << QList<QRect>{QRect(0, 0, 640, 480)} << QList<QRect>{} << false << false;
}

void TestWindowPlacement::fitBeside()
{
    // Guards the review against covering a player's board: it shrinks into
    // free room down to its minimum, and where there is none it keeps its
    // size and covers as little as it can.
    QFETCH(QRect, screen);
    QFETCH(QList<QRect>, boards);
    QFETCH(QList<QRect>, others);
    QFETCH(bool, whole);
    QFETCH(bool, clear);
    const QSize preferred(736, 688), minimum(436, 288);
    const QRect placed = WindowPlacement::fitBeside(screen, preferred, minimum, boards, others);
    const QString where = QStringLiteral("%1,%2 %3x%4").arg(placed.x()).arg(placed.y()).arg(placed.width()).arg(placed.height());
    QVERIFY2(screen.contains(placed), qPrintable(where));
    QCOMPARE(placed.size() == preferred, whole);
    QVERIFY(placed.size() == screen.size() || (placed.width() >= minimum.width() && placed.height() >= minimum.height()));
    bool covers = false;
    for (const QRect &b : boards)
        covers = covers || placed.intersects(b);
    QVERIFY2(covers != clear, qPrintable(where));
    for (const QRect &o : others)
        QVERIFY2(!clear || !placed.intersects(o), qPrintable(where));
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
