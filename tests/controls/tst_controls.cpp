// SPDX-License-Identifier: GPL-3.0-or-later
// The small controls and the contracts their callers rely on.
#include "controls/accessibility.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"
#include "controls/zubutton.h"

#include <QAccessible>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {

QStringList entryTexts(const MenuBT &button)
{
    QStringList texts;
    for (QAction *action : button.fileMenu()->actions())
        texts << action->text();
    return texts;
}

void touch(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
}

} // namespace

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installAccessibility(); }
    void buttonsRaisePressedOnlyWhenEnabled();
    void zuButtonCloneCopiesTheTemplate();
    void menuListsTheFolderAfresh();
    void menuWithoutFiles();
    void choosingAFileSetsFilePath();
    void resBankSeriesConversion_data();
    void resBankSeriesConversion();
    void resBankItemChangesThePicture();
    void recBoxTakesInkOnlyWhenUnlocked();
    void customControlsHaveAccessibleRoles();
};

void TestControls::buttonsRaisePressedOnlyWhenEnabled()
{
    // Guards against a disabled (locked) button still reaching its handler.
    NButton n;
    ZuButton z;
    QSignalSpy nPressed(&n, &NButton::Pressed);
    QSignalSpy zPressed(&z, &ZuButton::Pressed);
    n.resize(80, 30);
    z.resize(80, 30);
    QTest::mouseClick(&n, Qt::LeftButton);
    QTest::mouseClick(&z, Qt::LeftButton);
    QCOMPARE(nPressed.count(), 1);
    QCOMPARE(zPressed.count(), 1);
    n.setEnabled(false);
    z.setEnabled(false);
    QTest::mouseClick(&n, Qt::LeftButton);
    QTest::mouseClick(&z, Qt::LeftButton);
    QCOMPARE(nPressed.count(), 1);
    QCOMPARE(zPressed.count(), 1);
    // The keyboard presses too.
    n.setEnabled(true);
    QTest::keyClick(&n, Qt::Key_Space);
    QCOMPARE(nPressed.count(), 2);
}

void TestControls::zuButtonCloneCopiesTheTemplate()
{
    // Guards the board made from its template: same font, size and place.
    QWidget form;
    auto *templ = new ZuButton(&form);
    QFont font(QStringLiteral("IPAMincho"));
    font.setPointSizeF(14.25);
    templ->setFont(font);
    templ->setGeometry(192, 8, 49, 49);
    templ->hide();
    ZuButton *copy = templ->clone();
    QCOMPARE(copy->parentWidget(), &form);
    QCOMPARE(copy->font(), font);
    QCOMPARE(copy->geometry(), templ->geometry());
    QVERIFY(copy->isHidden());
}

void TestControls::menuListsTheFolderAfresh()
{
    // Guards the file menu: every file (also without a dot), by name, and a
    // file added while the program runs shows up at the next press.
    QTemporaryDir dir;
    for (const char *name : {"b.txt", "A.txt", "noext", "c&d.txt"})
        touch(dir.filePath(QLatin1String(name)));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    MenuBT button;
    button.setFolderPath(dir.path());
    button.BuildMenu();
    QCOMPARE(entryTexts(button), (QStringList{"A.txt", "b.txt", "c&&d.txt", "noext"}));
    touch(dir.filePath(QStringLiteral("0new.txt")));
    emit button.fileMenu()->aboutToShow();
    QCOMPARE(entryTexts(button).first(), QStringLiteral("0new.txt"));
}

void TestControls::menuWithoutFiles()
{
    // Guards a missing or empty data folder: one disabled entry, no crash.
    QTemporaryDir dir;
    for (const QString &folder : {dir.path(), dir.filePath(QStringLiteral("missing")), QString()}) {
        MenuBT button;
        button.setFolderPath(folder);
        button.BuildMenu();
        const QList<QAction *> actions = button.fileMenu()->actions();
        QCOMPARE(actions.size(), 1);
        QVERIFY(!actions.first()->isEnabled());
        QVERIFY(!actions.first()->text().isEmpty());
    }
}

void TestControls::choosingAFileSetsFilePath()
{
    // Guards FilePath: folder, one separator, name, with or without a
    // separator at the end of the folder.
    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("list.txt")));
    for (const QString &folder : {dir.path(), dir.path() + QLatin1Char('/')}) {
        MenuBT button;
        QSignalSpy chosen(&button, &MenuBT::FileChosen);
        button.setFolderPath(folder);
        button.BuildMenu();
        button.fileMenu()->actions().first()->trigger();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(button.FilePath(), dir.filePath(QStringLiteral("list.txt")));
    }
}

void TestControls::resBankSeriesConversion_data()
{
    QTest::addColumn<double>("written");
    QTest::addColumn<int>("read");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("whole") << 3.0 << 3;
    QTest::newRow("half to even, down") << 2.5 << 2;
    QTest::newRow("half to even, up") << 3.5 << 4;
    QTest::newRow("fraction") << 0.4 << 0;
    QTest::newRow("negative") << -1.6 << -2;
    QTest::newRow("too large") << 1e20 << std::numeric_limits<int32_t>::max();
    QTest::newRow("too small") << -inf << std::numeric_limits<int32_t>::min();
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestControls::resBankSeriesConversion()
{
    // Guards the read-back of SeriesNumber against overflow and NaN.
    QFETCH(double, written);
    QFETCH(int, read);
    ResBank bank;
    bank.setSeriesNumber(written);
    QCOMPARE(bank.SeriesNumber(), read);
}

void TestControls::resBankItemChangesThePicture()
{
    // Guards "writing ItemNumber alone changes what is shown".
    ResBank bank;
    bank.resize(120, 120);
    QCOMPARE(bank.ItemNumber(), 2);
    const QImage neutral = bank.grab().toImage();
    bank.setItemNumber(0);
    QCOMPARE(bank.ItemNumber(), 0);
    const QImage right = bank.grab().toImage();
    bank.setItemNumber(1);
    const QImage wrong = bank.grab().toImage();
    QVERIFY(neutral != right);
    QVERIFY(right != wrong);
    QVERIFY(wrong != neutral);
}

void TestControls::recBoxTakesInkOnlyWhenUnlocked()
{
    // Guards the lock and the Changed contract of the handwriting box.
    RecBoxF_Zu box;
    box.resize(120, 120);
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
    box.setLocked(true);
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(20, 60));
    QTest::mouseMove(&box, QPoint(100, 60));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(100, 60));
    QVERIFY(box.strokes().isEmpty());
    QCOMPARE(changed.count(), 0);

    box.setLocked(false);
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(20, 60));
    QCOMPARE(changed.count(), 1); // at the start of the stroke
    QTest::mouseMove(&box, QPoint(60, 60));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(100, 60));
    QCOMPARE(box.strokes().size(), 1);
    QVERIFY(box.strokes().first().size() >= 2);

    box.Clear();
    QVERIFY(box.strokes().isEmpty());
    QVERIFY(!box.HasResult());
    box.Recognize();
    QVERIFY(!box.HasResult());
}

void TestControls::customControlsHaveAccessibleRoles()
{
    // Guards screen-reader access to the two controls Qt knows nothing of.
    RecBoxF_Zu box;
    ResBank bank;
    QAccessibleInterface *boxInfo = QAccessible::queryAccessibleInterface(&box);
    QAccessibleInterface *bankInfo = QAccessible::queryAccessibleInterface(&bank);
    QVERIFY(boxInfo && bankInfo);
    QCOMPARE(boxInfo->role(), QAccessible::Canvas);
    QCOMPARE(bankInfo->role(), QAccessible::Graphic);
    QVERIFY(!boxInfo->text(QAccessible::Name).isEmpty());
    QVERIFY(!bankInfo->text(QAccessible::Name).isEmpty());
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
