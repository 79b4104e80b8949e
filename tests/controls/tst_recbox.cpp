// SPDX-License-Identifier: GPL-3.0-or-later
// The handwriting box with the real recogniser: ink from mouse, pen and finger.
#include "controls/accessibility.h"
#include "controls/recboxf_zu.h"
#include "engine/wordlist.h"
#include "engine/recognitionqueue.h"
#include "recognition/sharedrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QAccessible>
#include <QPointingDevice>
#include <QPushButton>
#include <QTabletEvent>
#include <QtTest>

namespace {

enum class Device { Mouse, Pen, Touch };

// Strokes on a 300 x 300 grid, "x,y x,y;x,y ..." as taruvo-recognize reads them.
const char *const One = "20,150 280,145";
const char *const Two = "70,100 230,95;40,210 260,205";
const char *const Three = "70,70 230,65;90,150 210,147;40,235 260,230";
const char *const Ten = "30,140 270,135;150,30 148,275";
// Filling the box, 口 looks like the enclosure 囗 once size is normalised away.
const char *const Mouth = "70,70 75,240;75,75 230,70 225,240;78,230 222,230";
const char *const River = "80,40 78,150 50,260;150,60 150,220;230,30 232,270";
const char *const Tree = "30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235";
const char *const Field = "60,60 60,250;60,65 240,65 240,250;150,65 150,245;65,155 235,155;65,245 235,245";
const char *const Water = "150,30 150,260 120,245;50,120 110,120 40,230;240,80 180,150;160,150 270,270";

const QPointingDevice *pen()
{
    static QPointingDevice device(QStringLiteral("test pen"), 1001, QInputDevice::DeviceType::Stylus,
                                  QPointingDevice::PointerType::Pen,
                                  QInputDevice::Capability::Position | QInputDevice::Capability::Pressure,
                                  1, 2);
    return &device;
}

QPointingDevice *touchScreen()
{
    static QPointingDevice *device = QTest::createTouchDevice();
    return device;
}

void sendTablet(RecBoxF_Zu &box, QEvent::Type type, QPointF pos, qreal pressure)
{
    const Qt::MouseButtons buttons = type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton;
    QTabletEvent event(type, pen(), pos, box.mapToGlobal(pos), pressure, 0, 0, 0, 0, 0,
                       Qt::NoModifier, Qt::LeftButton, buttons);
    QCoreApplication::sendEvent(&box, &event);
}

// Writes one stroke, with points in widget coordinates, through `device`.
void writeStroke(RecBoxF_Zu &box, const QList<QPointF> &points, Device device, qreal pressure = 0.5)
{
    // Moves in small steps, as a real device reports them.
    QList<QPointF> path{points.first()};
    for (int i = 1; i < points.size(); ++i) {
        const QPointF a = points[i - 1], b = points[i];
        const int steps = qMax(1, int(QLineF(a, b).length() / 4));
        for (int k = 1; k <= steps; ++k)
            path << a + (b - a) * (qreal(k) / steps);
    }
    switch (device) {
    case Device::Mouse:
        QTest::mousePress(&box, Qt::LeftButton, {}, path.first().toPoint());
        for (int i = 1; i < path.size(); ++i)
            QTest::mouseMove(&box, path[i].toPoint());
        QTest::mouseRelease(&box, Qt::LeftButton, {}, path.last().toPoint());
        break;
    case Device::Pen:
        sendTablet(box, QEvent::TabletPress, path.first(), pressure);
        for (int i = 1; i < path.size(); ++i)
            sendTablet(box, QEvent::TabletMove, path[i], pressure);
        sendTablet(box, QEvent::TabletRelease, path.last(), 0);
        break;
    case Device::Touch:
        QTest::touchEvent(&box, touchScreen()).press(0, path.first().toPoint(), &box);
        for (int i = 1; i < path.size(); ++i)
            QTest::touchEvent(&box, touchScreen()).move(0, path[i].toPoint(), &box);
        QTest::touchEvent(&box, touchScreen()).release(0, path.last().toPoint(), &box);
        break;
    }
}

// Writes a character given on a 300 x 300 grid, scaled to the box.
void writeCharacter(RecBoxF_Zu &box, const char *strokes, Device device)
{
    const Ink ink = parseInkLine(QString::fromLatin1(strokes), QSizeF(300, 300));
    for (const Stroke &s : ink.strokes) {
        QList<QPointF> points;
        for (QPointF p : s)
            points << QPointF(p.x() * box.width() / 300, p.y() * box.height() / 300);
        writeStroke(box, points, device);
    }
}

// Two clicks as quick as a child's: the window system delivers the second
// press as a double click.
void doubleClick(RecBoxF_Zu &box, QPointF pos)
{
    QTest::mouseDClick(box.window()->windowHandle(), Qt::LeftButton, {},
                       box.mapTo(box.window(), pos.toPoint()));
}

int inkPixels(RecBoxF_Zu &box)
{
    const QImage image = box.grab().toImage();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    }
    return dark;
}

} // namespace

Q_DECLARE_METATYPE(Device)

class TestRecBox : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recognisesWrittenKanji_data();
    void recognisesWrittenKanji();
    void lockedBoxTakesNothing_data();
    void lockedBoxTakesNothing();
    void undoRemovesExactlyTheLastStroke_data();
    void undoRemovesExactlyTheLastStroke();
    void changedAtStrokeStartAndResultChange();
    void pickSurvivesRecognizeButNotClear();
    void readsInTheGamesContext();
    void penPressureShapesTheLine();
    void quickSecondClickActs_data();
    void quickSecondClickActs();
    void strokeOnAResultStartsANewCharacter_data();
    void strokeOnAResultStartsANewCharacter();
    void keyboardPicksACandidate_data();
    void keyboardPicksACandidate();
    void tabLeavesAfterTheLastCandidate();
    void screenReaderSeesResultAndCandidates();
    void missingModelGivesNoticeNotResult();

private:
    SharedRecognizer m_recognition;
    RecognitionQueue m_queue{m_recognition};
};

void TestRecBox::initTestCase()
{
    // Recognition tests without the model would prove nothing: fail loudly.
    QVERIFY2(m_recognition.isAvailable(),
             "the Zinnia model is missing: install tegaki-zinnia-japanese (tools/setup.sh)");
    QVERIFY2(m_recognition.templates().isAvailable(),
             "the stroke templates are missing: install python3-kanjidraw (tools/setup.sh)");
}

void TestRecBox::readsInTheGamesContext()
{
    // Guards the box against a context it read with going stale (a board
    // character used since still preferred), the pair's character shown
    // without the single best among the candidates, or the pair overruling
    // a candidate the player picked.
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(129, 121);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    writeCharacter(box, Ten, Device::Mouse);
    box.Recognize();
    QCOMPARE(box.ResultText(), QStringLiteral("十"));
    const QList<Candidate> plain = box.reading();
    QVERIFY(plain.size() > box.candidates().size());
    QCOMPARE(plain.first().text, QStringLiteral("十"));

    // A candidate shown as the pair's: the single best leads the candidates.
    const QString other = plain.at(3).text;
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
    box.showReading(other);
    QCOMPARE(box.ResultText(), other);
    QCOMPARE(box.candidates().value(0), QStringLiteral("十"));
    QVERIFY(!box.candidates().contains(other));
    QCOMPARE(changed.count(), 1);
    box.showReading(QStringLiteral("鬱")); // not read: nothing happens
    QCOMPARE(box.ResultText(), other);
    box.showReading(QStringLiteral("十"));
    QCOMPARE(box.ResultText(), QStringLiteral("十"));

    // Picked by the player: the pair leaves it.
    box.pickCandidate(1);
    QVERIFY(box.resultPicked());
    const QString picked = box.ResultText();
    box.showReading(QStringLiteral("十"));
    QCOMPARE(box.ResultText(), picked);

    box.Clear();
    QVERIFY(box.reading().isEmpty() && !box.resultPicked());

    // Read ahead at the pen-ups outside a game; the game's context comes
    // before the player asks: the ink is read again, in the game, where
    // everything scored follows the candidates.
    writeCharacter(box, Ten, Device::Mouse);
    WordList none;
    box.setReadingContext(ReadingContext({QStringLiteral("十")}, none));
    box.Recognize();
    QCOMPARE(box.ResultText(), QStringLiteral("十"));
    QVERIFY(!box.resultPicked());
    QVERIFY2(box.reading().size() > plain.size(), qPrintable(QString::number(box.reading().size())));
}

void TestRecBox::recognisesWrittenKanji_data()
{
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QByteArray>("strokes");
    QTest::addColumn<Device>("device");
    QTest::addColumn<QSize>("size");
    const QSize box(129, 121); // the player window's box at its design size
    QTest::newRow("一 mouse") << "一" << QByteArray(One) << Device::Mouse << box;
    QTest::newRow("二 pen") << "二" << QByteArray(Two) << Device::Pen << box;
    QTest::newRow("三 touch") << "三" << QByteArray(Three) << Device::Touch << box;
    QTest::newRow("十 mouse") << "十" << QByteArray(Ten) << Device::Mouse << box;
    QTest::newRow("口 touch") << "口" << QByteArray(Mouth) << Device::Touch << box;
    QTest::newRow("川 pen") << "川" << QByteArray(River) << Device::Pen << box;
    QTest::newRow("木 mouse") << "木" << QByteArray(Tree) << Device::Mouse << box;
    QTest::newRow("田 pen, large box") << "田" << QByteArray(Field) << Device::Pen << QSize(400, 380);
    QTest::newRow("木 pen, wrong order, a stroke reversed")
        << "木" << QByteArray("150,30 150,280;30,110 270,105;265,235 155,110;145,110 40,240") << Device::Pen << box;
    QTest::newRow("水 touch, wide box") << "水" << QByteArray(Water) << Device::Touch << QSize(260, 120);
}

void TestRecBox::recognisesWrittenKanji()
{
    // Guards the whole path from device events through normalisation to Zinnia.
    QFETCH(QString, kanji);
    QFETCH(QByteArray, strokes);
    QFETCH(Device, device);
    QFETCH(QSize, size);
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(size);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    writeCharacter(box, strokes.constData(), device);
    QCOMPARE(box.strokes().size(), strokes.count(';') + 1);
    box.Recognize();
    QVERIFY(box.HasResult());
    QCOMPARE(box.ResultText(), kanji);
    QVERIFY(box.candidates().size() >= 4);
    QVERIFY(!box.candidates().contains(kanji));
}

void TestRecBox::lockedBoxTakesNothing_data()
{
    QTest::addColumn<Device>("device");
    QTest::newRow("mouse") << Device::Mouse;
    QTest::newRow("pen") << Device::Pen;
    QTest::newRow("touch") << Device::Touch;
}

void TestRecBox::lockedBoxTakesNothing()
{
    // Guards a player writing, undoing or picking a candidate after the game is over.
    QFETCH(Device, device);
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    writeCharacter(box, Ten, Device::Mouse);
    box.Recognize();
    QVERIFY(box.HasResult());
    const QString result = box.ResultText();
    box.setLocked(true);
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
    writeStroke(box, {QPointF(20, 20), QPointF(180, 30)}, device);
    writeStroke(box, {box.candidateRect(0).center()}, device);
    writeStroke(box, {box.undoRect().center()}, device);
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.strokes().size(), 2);
    QCOMPARE(box.ResultText(), result);
    QCOMPARE(changed.count(), 0);
    // Unlocked again, the same device writes: on a result, a new character.
    box.setLocked(false);
    writeStroke(box, {QPointF(20, 20), QPointF(180, 30)}, device);
    QCOMPARE(box.strokes().size(), 1);
    QVERIFY(!box.HasResult());
}

void TestRecBox::undoRemovesExactlyTheLastStroke_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Ctrl+Z") << true;
    QTest::newRow("corner control") << false;
}

void TestRecBox::undoRemovesExactlyTheLastStroke()
{
    // Guards undo taking the wrong stroke, or more than one, or leaving a stale result.
    QFETCH(bool, byKey);
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    writeCharacter(box, Three, Device::Mouse);
    const QList<Stroke> before = box.strokes();
    box.Recognize();
    QCOMPARE(box.ResultText(), QStringLiteral("三"));
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
    auto undo = [&] {
        if (byKey) {
            box.setFocus();
            QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
        } else {
            QTest::mouseClick(&box, Qt::LeftButton, {}, box.undoRect().center().toPoint());
        }
    };
    undo();
    QCOMPARE(box.strokes(), before.mid(0, 2));
    QVERIFY(!box.HasResult());
    QCOMPARE(changed.count(), 1);
    box.Recognize();
    QCOMPARE(box.ResultText(), QStringLiteral("二"));
    undo();
    undo();
    QVERIFY(box.strokes().isEmpty());
    // Nothing left: Ctrl+Z does nothing (the corner control is gone, a tap there writes).
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(box.strokes().isEmpty());
}

void TestRecBox::changedAtStrokeStartAndResultChange()
{
    // Guards the window's feedback reset, which hangs on exactly these moments.
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(20, 100));
    QCOMPARE(changed.count(), 1);
    QTest::mouseMove(&box, QPoint(100, 98));
    QTest::mouseMove(&box, QPoint(180, 96));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(180, 96));
    QCOMPARE(changed.count(), 1);
    box.Recognize();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(box.ResultText(), QStringLiteral("一"));

    // Tapping a candidate makes it the result.
    const QString second = box.candidates().at(1);
    QTest::mouseClick(&box, Qt::LeftButton, {}, box.candidateRect(1).center().toPoint());
    QCOMPARE(changed.count(), 3);
    QCOMPARE(box.ResultText(), second);
    QVERIFY(box.candidates().contains(QStringLiteral("一")));

    // A new stroke makes the result stale: one Changed for both.
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(30, 150));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(170, 150));
    QCOMPARE(changed.count(), 4);
    QVERIFY(!box.HasResult());

    box.Clear(); // no result to lose: nothing changes for the window
    QCOMPARE(changed.count(), 4);
}

void TestRecBox::pickSurvivesRecognizeButNotClear()
{
    // Guards "にんしき" pressed again undoing the player's pick, and Clear
    // leaving a stale result for the window's "no result: clear" rule.
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.Recognize(); // no ink: no result
    QVERIFY(!box.HasResult());
    writeCharacter(box, Ten, Device::Mouse);
    box.Recognize();
    box.pickCandidate(0);
    const QString picked = box.ResultText();
    QVERIFY(picked != QStringLiteral("十"));
    box.Recognize();
    QCOMPARE(box.ResultText(), picked);
    box.Clear();
    QVERIFY(!box.HasResult());
    QVERIFY(box.ResultText().isEmpty());
    QVERIFY(box.candidates().isEmpty() && box.strokes().isEmpty());
    box.Recognize();
    QVERIFY(!box.HasResult());
}

void TestRecBox::penPressureShapesTheLine()
{
    // Guards pen pressure being dropped on the way to the painter.
    RecBoxF_Zu light, heavy;
    for (RecBoxF_Zu *box : {&light, &heavy}) {
        box->resize(200, 200);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
    }
    const QList<QPointF> line{QPointF(30, 100), QPointF(170, 100)};
    const int empty = inkPixels(light);
    writeStroke(light, line, Device::Pen, 0.1);
    writeStroke(heavy, line, Device::Pen, 1.0);
    QVERIFY(inkPixels(light) > empty);
    QVERIFY2(inkPixels(heavy) - empty > 2 * (inkPixels(light) - empty), "a firm pen must draw a wider line");
}

void TestRecBox::quickSecondClickActs_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("undo control") << "undo";
    QTest::newRow("candidate") << "candidate";
    QTest::newRow("empty area") << "ink";
}

void TestRecBox::quickSecondClickActs()
{
    // Guards a fast child's second tap being lost: it arrives as a double click.
    QFETCH(QString, target);
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    if (target == QLatin1String("undo")) {
        writeCharacter(box, Three, Device::Mouse);
        doubleClick(box, box.undoRect().center());
        QCOMPARE(box.strokes().size(), 1);
    } else if (target == QLatin1String("candidate")) {
        writeCharacter(box, Ten, Device::Mouse);
        box.Recognize();
        const QStringList before = box.candidates();
        QSignalSpy changed(&box, &RecBoxF_Zu::Changed);
        // Each tap picks what the tile shows at that moment.
        doubleClick(box, box.candidateRect(1).center());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(box.ResultText(), before.at(0));
        QCOMPARE(box.strokes().size(), 2);
    } else {
        doubleClick(box, QPointF(60, 60));
        QCOMPARE(box.strokes().size(), 2);
    }
}

void TestRecBox::strokeOnAResultStartsANewCharacter_data()
{
    QTest::addColumn<Device>("device");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("picks");
    for (Device device : {Device::Mouse, Device::Pen, Device::Touch}) {
        const char *name = device == Device::Mouse ? "mouse" : device == Device::Pen ? "pen" : "touch";
        QTest::addRow("%s: stroke in the middle", name) << device << "middle" << false;
        QTest::addRow("%s: stroke from a candidate", name) << device << "candidate" << false;
        QTest::addRow("%s: tap on a candidate", name) << device << "tap" << true;
        QTest::addRow("%s: shaky tap on a candidate", name) << device << "shaky tap" << true;
    }
}

void TestRecBox::strokeOnAResultStartsANewCharacter()
{
    // Guards ink written over a judged answer merging with the old ink (and
    // reading the old character again), and strokes that start low in the
    // box picking a candidate instead of writing.
    QFETCH(Device, device);
    QFETCH(QString, start);
    QFETCH(bool, picks);
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    writeCharacter(box, Ten, device);
    box.Recognize();
    QCOMPARE(box.ResultText(), QStringLiteral("十"));
    const QString second = box.candidates().at(2);
    QSignalSpy changed(&box, &RecBoxF_Zu::Changed);

    const QPointF tile = box.candidateRect(2).center();
    if (start == QLatin1String("middle")) {
        writeCharacter(box, One, device);
    } else if (start == QLatin1String("candidate")) {
        writeStroke(box, {tile, QPointF(tile.x(), 30)}, device);
    } else if (start == QLatin1String("tap")) {
        writeStroke(box, {tile}, device);
    } else {
        writeStroke(box, {tile, tile + QPointF(2, -1), tile + QPointF(1, 1)}, device);
    }
    QCOMPARE(changed.count(), 1);
    if (picks) {
        QCOMPARE(box.ResultText(), second);
        QCOMPARE(box.strokes().size(), 2);
        return;
    }
    // The old ink and result went as the pen touched down.
    QVERIFY(!box.HasResult());
    QCOMPARE(box.strokes().size(), 1);
    if (start == QLatin1String("candidate")) {
        QCOMPARE(box.strokes().first().first(), tile);
    } else {
        box.Recognize();
        QCOMPARE(box.ResultText(), QStringLiteral("一"));
    }
}

void TestRecBox::keyboardPicksACandidate_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("picked"); // index into the candidates first shown, -1: none
    using K = QList<int>;
    QTest::newRow("right, enter") << K{Qt::Key_Right, Qt::Key_Return} << 0;
    QTest::newRow("right twice, space") << K{Qt::Key_Right, Qt::Key_Right, Qt::Key_Space} << 1;
    QTest::newRow("down, down, up, enter") << K{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Enter} << 0;
    QTest::newRow("end, enter") << K{Qt::Key_End, Qt::Key_Return} << 4;
    QTest::newRow("far right stops at the last") << K{Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right,
                                                      Qt::Key_Right, Qt::Key_Right, Qt::Key_Return} << 4;
    QTest::newRow("tab, tab, enter") << K{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return} << 1;
    QTest::newRow("enter alone picks nothing") << K{Qt::Key_Return} << -1;
    QTest::newRow("left alone, enter") << K{Qt::Key_Left, Qt::Key_Return} << 0;
}

void TestRecBox::keyboardPicksACandidate()
{
    // Guards candidates that only a pointer could reach.
    QFETCH(QList<int>, keys);
    QFETCH(int, picked);
    QWidget window;
    auto *box = new RecBoxF_Zu(&window);
    box->setRecognizer(&m_queue);
    box->setGeometry(0, 0, 200, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    writeCharacter(*box, Ten, Device::Mouse);
    box->Recognize();
    const QStringList before = box->candidates();
    QCOMPARE(before.size(), RecBoxF_Zu::ShownCandidates);
    box->setFocus();
    for (int key : keys)
        QTest::keyClick(box, Qt::Key(key));
    QCOMPARE(box->ResultText(), picked < 0 ? QStringLiteral("十") : before.at(picked));
}

void TestRecBox::tabLeavesAfterTheLastCandidate()
{
    // Guards Tab being trapped in the box, and candidates Tab cannot reach.
    QWidget window;
    auto *before = new QPushButton(QStringLiteral("before"), &window);
    auto *box = new RecBoxF_Zu(&window);
    auto *after = new QPushButton(QStringLiteral("after"), &window);
    box->setRecognizer(&m_queue);
    box->setGeometry(0, 40, 200, 200);
    after->move(0, 250);
    QWidget::setTabOrder(before, box);
    QWidget::setTabOrder(box, after);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    box->setFocus();
    // Without a result, Tab leaves at once.
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);

    writeCharacter(*box, Ten, Device::Mouse);
    box->Recognize();
    box->setFocus();
    for (int i = 0; i < RecBoxF_Zu::ShownCandidates; ++i) {
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), box);
        QCOMPARE(box->currentCandidate(), i);
    }
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after);
    QCOMPARE(box->currentCandidate(), -1);
    // Back: Shift+Tab walks the candidates down and leaves before the box.
    box->setFocus();
    box->setCurrentCandidate(1);
    QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(box->currentCandidate(), 0);
    QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(box->currentCandidate(), -1);
    QCOMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), before);
}

void TestRecBox::screenReaderSeesResultAndCandidates()
{
    // Guards a box that screen readers knew only as a canvas with a name:
    // the result is its value, the candidates are children to press.
    installAccessibility();
    RecBoxF_Zu box;
    box.setAccessibleName(QStringLiteral("手書き欄 1文字め"));
    box.setRecognizer(&m_queue);
    box.resize(200, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&box);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("手書き欄 1文字め"));
    QVERIFY(iface->text(QAccessible::Value).isEmpty());
    QCOMPARE(iface->childCount(), 0);

    writeCharacter(box, Ten, Device::Mouse);
    box.Recognize();
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("十"));
    const QStringList candidates = box.candidates();
    QCOMPARE(iface->childCount(), candidates.size());
    for (int i = 0; i < candidates.size(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        QVERIFY(child && child->isValid());
        QCOMPARE(child->text(QAccessible::Name), candidates.at(i));
        QCOMPARE(child->role(), QAccessible::Button);
        QCOMPARE(child->parent(), iface);
        QCOMPARE(iface->indexOfChild(child), i);
        QVERIFY(iface->rect().contains(child->rect()));
        QCOMPARE(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
    }

    // Pressing a candidate child picks it, as a tap would.
    QAccessibleInterface *third = iface->child(2);
    QVERIFY(third->actionInterface());
    third->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(box.ResultText(), candidates.at(2));
    QCOMPARE(iface->text(QAccessible::Value), candidates.at(2));
    QCOMPARE(iface->child(0)->text(QAccessible::Name), QStringLiteral("十"));

    // Focus on a candidate from the keyboard is the box's focus child.
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Right);
    QCOMPARE(iface->focusChild(), iface->child(0));

    box.Clear();
    QCOMPARE(iface->childCount(), 0);
    QVERIFY(!third->isValid());
    QVERIFY(iface->text(QAccessible::Value).isEmpty());
}

void TestRecBox::missingModelGivesNoticeNotResult()
{
    // Guards a missing model being reported as a result, or crashing the box.
    const ZinniaRecognizer missing({QStringLiteral("/nonexistent/handwriting-ja.model")});
    RecBoxF_Zu box;
    box.setRecognizer(&m_queue);
    box.resize(150, 150);
    RecognitionQueue missingQueue(missing);
    box.setRecognizer(&missingQueue);
    writeCharacter(box, One, Device::Mouse);
    box.Recognize();
    QVERIFY(!box.HasResult());
    QVERIFY(box.showsNotice());
    box.Clear(); // the window clears a box without result; the notice stays
    QVERIFY(box.showsNotice());
    RecBoxF_Zu other;
    other.setRecognizer(&m_queue);
    QVERIFY(!other.showsNotice());
}

QTEST_MAIN(TestRecBox)
#include "tst_recbox.moc"
