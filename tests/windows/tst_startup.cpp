// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the settings panel, the player windows' state operations and
// closing, driven through the real windows.
#include "startedconsole.h"

#include "fakes/hostilefiles.h"

#include "console/ctrlform.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackseries.h"
#include "controls/fonts.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/recboxf_zu.h"
#include "controls/resbank.h"
#include "controls/zubutton.h"
#include "player/playform.h"

#include <QCheckBox>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

namespace {

bool isLocked(const PlayForm *w)
{
    return w->RecBox(0)->Locked() && w->RecBox(1)->Locked() && !w->RecButton()->isEnabled()
        && !w->ClearButton()->isEnabled() && !w->AnsButton()->isEnabled();
}

bool isUnlocked(const PlayForm *w)
{
    return !w->RecBox(0)->Locked() && !w->RecBox(1)->Locked() && w->RecButton()->isEnabled()
        && w->ClearButton()->isEnabled() && w->AnsButton()->isEnabled();
}

// Puts a game's worth of content into a window, as the console would.
void fillLikeAGame(PlayForm *w)
{
    for (int n = 1; n <= PlayForm::BoardSize; ++n)
        w->MonButton(n)->setText(QString(QChar(0x4E00 + n)));
    w->MonButton(3)->setEnabled(false);
    w->MonButton(17)->setEnabled(false);
    w->AnsLabel(1)->setText(QStringLiteral("学校"));
    w->Score1()->setText(QStringLiteral("1"));
    w->Score2()->setText(QStringLiteral("2"));
    w->ResultLabel()->setText(QStringLiteral("正解！！"));
    w->resBank()->setItemNumber(0);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void designBeforeStartUp();
    void startUpState();
    void configuration_data();
    void configuration();
    void kanjiFontsResolve();
    void hostileSeriesFolder();
    void noDisplayIsOneLine();
    void settingsPanelRules();
    void scrollBarKeys_data();
    void scrollBarKeys();
    void lockUnlockAndClear();
    void playerCloseIsRefused();
    void consoleCloseEndsEverything();
    void sessionEndClosesFromAPlayerWindow();
};

void TestStartup::designBeforeStartUp()
{
    // Guards the design itself: wrong initial states leak into start-up.
    CtrlForm console;
    QCOMPARE(console.windowTitle(), QStringLiteral("Taruvo Ver.1.0E"));
    for (QCheckBox *check : {console.TimShowCheck(), console.TimeCheck(), console.SeikaiCheck(), console.PlayCheck()})
        QVERIFY(!check->isChecked());
    for (QScrollBar *scroll : {console.TimScroll(), console.SeikaiScroll()}) {
        QVERIFY(!scroll->isEnabled());
        QCOMPARE(scroll->value(), 1);
        QCOMPARE(scroll->singleStep(), 1);
        QCOMPARE(scroll->pageStep(), 1);
    }
    QCOMPARE(console.TimScroll()->maximum(), 600);
    QCOMPARE(console.SeikaiScroll()->maximum(), 18);
    for (QLabel *label : {console.TimLabel(), console.Tim2Label(), console.SeikaiLabel(),
                          console.Label2(), console.Label3(), console.Label5()})
        QVERIFY2(label->isHidden(), qPrintable(label->objectName()));
    QCOMPARE(console.Label1()->text(), QStringLiteral("None"));
    QVERIFY(!console.Timer1()->isActive());
    QCOMPARE(console.Timer1()->interval(), 999);
    QCOMPARE(console.List1()->model()->rowCount(), 0);
    QVERIFY(!console.List2()->isSortingEnabled());

    // Client area 2625 x 5115 twips, and a border that cannot be dragged.
    const Twips t = twipsFor(&console);
    QCOMPARE(qRound(t.fromX(console.width())), 2625);
    QCOMPARE(qRound(t.fromY(console.height())), 5115);
    QCOMPARE(console.minimumSize(), console.maximumSize());
    QVERIFY(!(console.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(console.windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(console.windowIcon().availableSizes().contains(QSize(32, 32)));

    // The word list and the pool sit below the client area.
    QVERIFY(console.List1()->geometry().top() >= console.height());

    // Tab order starts at the file button and goes on to the list box next.
    QCOMPARE(console.menuBT()->nextInFocusChain(), static_cast<QWidget *>(console.List1()));
}

void TestStartup::startUpState()
{
    // Guards the start-up sequence: what both windows and the panel show
    // before any list is chosen.
    StartedConsole s;
    CtrlForm *c = s.console.get();
    QVERIFY(!c->StartButton()->isEnabled());
    QVERIFY(!c->UnlockButton()->isEnabled());
    QVERIFY(c->TimShowCheck()->isChecked());
    QVERIFY(!c->TimLabel()->isHidden());
    QVERIFY(!c->Label5()->isHidden());
    QCOMPARE(c->TimLabel()->text(), QStringLiteral("0"));
    QVERIFY(!c->TimeCheck()->isChecked());
    QVERIFY(!c->TimScroll()->isEnabled());
    QCOMPARE(c->TimScroll()->value(), 60);
    QCOMPARE(c->Tim2Label()->text(), QStringLiteral("60"));
    QVERIFY(c->Tim2Label()->isHidden());
    QVERIFY(c->Label2()->isHidden());
    QVERIFY(c->SeikaiCheck()->isChecked());
    QVERIFY(c->SeikaiScroll()->isEnabled());
    QCOMPARE(c->SeikaiScroll()->value(), 5);
    QCOMPARE(c->SeikaiLabel()->text(), QStringLiteral("5"));
    QVERIFY(!c->SeikaiLabel()->isHidden());
    QVERIFY(!c->Label3()->isHidden());
    QVERIFY(!c->PlayCheck()->isChecked());
    QVERIFY(!c->Timer1()->isActive());

    QVERIFY(s.play(1)->isVisible());
    QVERIFY(s.play(2)->isHidden());
    QCOMPARE(s.play(1)->windowTitle(), QStringLiteral("Player1"));
    QCOMPARE(s.play(2)->windowTitle(), QStringLiteral("Player2"));
    for (int p = 1; p <= 2; ++p) {
        const PlayForm *w = s.play(p);
        QCOMPARE(w->PlayerNumber(), int16_t(p));
        QVERIFY(isLocked(w));
        QVERIFY(w->MonButton(0)->isHidden());
        QVERIFY(w->AnsLabel(0)->isHidden());
        QVERIFY(w->ChkLabel()->isHidden());
        for (int n = 1; n <= PlayForm::BoardSize; ++n) {
            QVERIFY(!w->MonButton(n)->isHidden());
            QVERIFY(w->MonButton(n)->text().isEmpty());
            QVERIFY(w->MonButton(n)->isEnabled());
        }
        QCOMPARE(w->MonButton(PlayForm::BoardSize + 1), nullptr);
        for (int k = 1; k <= PlayForm::AnswerCount; ++k) {
            QVERIFY(!w->AnsLabel(k)->isHidden());
            QVERIFY(w->AnsLabel(k)->text().isEmpty());
        }
        QCOMPARE(w->AnsLabel(PlayForm::AnswerCount + 1), nullptr);
        QCOMPARE(w->Score1()->text(), QStringLiteral("0"));
        QCOMPARE(w->Score2()->text(), QStringLiteral("0"));
        QCOMPARE(w->Label1()->text(), QStringLiteral("対"));
        QVERIFY(w->ResultLabel()->text().isEmpty());
        QCOMPARE(w->resBank()->ItemNumber(), 2);
        QCOMPARE(w->windowIcon().cacheKey(), c->windowIcon().cacheKey());
        // Client area 6915 x 6465 twips, sizable.
        const Twips t = twipsFor(w);
        QCOMPARE(qRound(t.fromX(w->width())), 6915);
        QCOMPARE(qRound(t.fromY(w->height())), 6465);
        QVERIFY(w->minimumSize() != w->maximumSize());
        QVERIFY(!(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    }
    // The two windows share one design: the same places and captions at
    // the same size.
    c->PlayCheck()->click();
    QVERIFY(QTest::qWaitForWindowExposed(s.play(2)));
    s.play(2)->resize(s.play(1)->size());
    for (const char *name : {"RecButton", "ClearButton", "AnsButton", "Score1", "Label1", "Score2",
                             "ResultLabel", "RecBox0", "RecBox1", "ResBank"}) {
        auto *a = s.play(1)->findChild<QWidget *>(QLatin1String(name));
        auto *b = s.play(2)->findChild<QWidget *>(QLatin1String(name));
        QVERIFY2(a && b, name);
        QCOMPARE(a->geometry(), b->geometry());
    }
}

void TestStartup::configuration_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("dataPath");   // appended to the application folder
    QTest::addColumn<QString>("fontName");
    QTest::addColumn<int>("series1");
    QTest::addColumn<int>("series2");

    const QString ms = Fonts::DesignFace;
    QTest::newRow("no file") << QByteArray() << "" << ms << 0 << 1;
    QTest::newRow("empty file") << QByteArray("") << "" << ms << 0 << 1;
    QTest::newRow("section without keys") << QByteArray("[Taruvo]\r\n") << "" << ms << 0 << 1;
    QTest::newRow("other section only") << QByteArray("[Other]\nSeries1=7\nDataPath=x\n") << "" << ms << 0 << 1;
    QTest::newRow("folder with separator") << QByteArray("[Taruvo]\nDataPath=words/\n") << "words/" << ms << 0 << 1;
    QTest::newRow("folder without separator") << QByteArray("[Taruvo]\nDataPath=words\n") << "words" << ms << 0 << 1;
    QTest::newRow("series numbers") << QByteArray("[Taruvo]\nSeries1=3\nSeries2=abc\n") << "" << ms << 3 << 0;
    QTest::newRow("series with blanks and fraction") << QByteArray("[taruvo]\nseries1 = 2.4\nSERIES2= 1 1\n") << "" << ms << 2 << 11;
    QTest::newRow("key without equals") << QByteArray("[Taruvo]\nSeries1\nFontName\n") << "" << ms << 0 << 1;
    QTest::newRow("font in Shift_JIS")
        << QByteArray("[Taruvo]\r\nFontName=\x82\x6c\x82\x72 \x96\xbe\x92\xa9\r\nSeries2=4\r\n") << "" << ms << 0 << 4;
    QTest::newRow("other font in UTF-8")
        << QByteArray("\xef\xbb\xbf[Taruvo]\nFontName=IPAGothic\nDataPath=リスト\n") << QString::fromUtf8("リスト")
        << "IPAGothic" << 0 << 1;
    QTest::newRow("half-written") << QByteArray("[Taruvo]\nSeries1=5\nDataPa") << "" << ms << 5 << 1;
    // Once took the font system 35 s at start-up; no face has such a name.
    QTest::newRow("absurdly long font name")
        << "[Taruvo]\nFontName=" + QByteArray(300000, 'M') + "\nSeries1=2\n" << "" << ms << 2 << 1;
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7919) % 256));
    QTest::newRow("binary") << binary << "" << ms << 0 << 1;
}

void TestStartup::configuration()
{
    // Guards the start-up reads of DataPath, FontName, Series1 and Series2,
    // whatever state the file is in.
    QFETCH(QByteArray, ini);
    QFETCH(QString, dataPath);
    QFETCH(QString, fontName);
    QFETCH(int, series1);
    QFETCH(int, series2);

    StartedConsole s(ini);
    QCOMPARE(s.console->settings().AppFolder(), s.appFolder());
    QCOMPARE(QDir::currentPath() + QLatin1Char('/'), s.appFolder());
    QCOMPARE(s.console->menuBT()->FolderPath(), s.appFolder() + dataPath);
    QCOMPARE(s.console->List2()->font().family(), fontName);
    for (int p = 1; p <= 2; ++p) {
        const PlayForm *w = s.play(p);
        QCOMPARE(w->AnsLabel(0)->font().family(), fontName);
        QCOMPARE(w->AnsLabel(18)->font().family(), fontName);
        QCOMPARE(w->ResultLabel()->font().family(), fontName);
        QCOMPARE(w->MonButton(0)->font().family(), fontName);
        QCOMPARE(w->MonButton(36)->font().family(), fontName);
        QCOMPARE(w->RecBox(0)->BoxFontName(), fontName);
        QCOMPARE(w->RecBox(1)->BoxFontName(), fontName);
        // Only the name changes; the design size stays on the template.
        QCOMPARE(w->MonButton(0)->font().pointSizeF(), 14.25);
        // The score labels keep the design face.
        QCOMPARE(w->Score1()->font().family(), Fonts::DesignFace);
    }
    QCOMPARE(s.play(1)->resBank()->SeriesNumber(), series1);
    QCOMPARE(s.play(2)->resBank()->SeriesNumber(), series2);
}

void TestStartup::hostileSeriesFolder()
{
    // Guards start-up against a feedback series folder of links to devices,
    // kernel files and pipes: the windows appear, with the built-in items.
    HostilePlanter planter;
    auto plantSeries = [&planter](const QString &folder) {
        QVERIFY(QDir(folder).mkpath(QStringLiteral("series/3")));
        const QString item = folder + QStringLiteral("/series/3/");
        planter.plant(item + QStringLiteral("0.png"), Hostile::DevZero);
        planter.plant(item + QStringLiteral("0.wav"), Hostile::DevRandom);
        planter.plant(item + QStringLiteral("1.png"), Hostile::ProcPagemap);
        planter.plant(item + QStringLiteral("1.wav"), Hostile::Fifo);
        planter.plant(item + QStringLiteral("2.png"), Hostile::ProcKmsg);
        planter.plant(item + QStringLiteral("2.wav"), Hostile::FifoWithWriter);
    };
    PeakMemory peak;
    {
        StartedConsole s(QByteArray("[Taruvo]\nSeries1=3\nSeries2=3\n"), plantSeries);
        s.console->show();
        s.console->PlayCheck()->setChecked(true);
        QVERIFY(s.console->isVisible());
        for (int p = 1; p <= 2; ++p) {
            QVERIFY(s.play(p)->isVisible());
            QCOMPARE(s.play(p)->resBank()->SeriesNumber(), 3);
        }
        const auto loaded = s.console->feedback().find(3);
        QVERIFY(loaded->isUserSeries());
        for (int i = 0; i < FeedbackSeries::ItemCount; ++i)
            QVERIFY(!loaded->hasOwnPicture(i) && !loaded->hasOwnSound(i));
    }
    QVERIFY2(peak.growthMB() < 200, "start-up held too much memory");
}

void TestStartup::noDisplayIsOneLine()
{
    // Guards against the platform plug-in's abort, a burst of lines and a
    // core file, when the program starts where there is no display.
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TARUVO_PROGRAM), {});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    const QString error = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(error.count(QLatin1Char('\n')), 1);
    QVERIFY2(error.contains(QLatin1String("no display")), qPrintable(error));
}

void TestStartup::kanjiFontsResolve()
{
    // Guards against kanji drawn as boxes: Windows face names must reach an
    // installed Japanese face.
    const QChar kanji(0x5B57); // 字
    for (const QString &name : {Fonts::DesignFace, QStringLiteral("MS Mincho"), QStringLiteral("ＭＳ ゴシック"),
                                QStringLiteral("Meiryo"), QStringLiteral("No Such Face")}) {
        const QString family = Fonts::mapToInstalled(name);
        QVERIFY2(family.startsWith(QLatin1String("IPA")), qPrintable(name + " -> " + family));
        QFont font(name);
        QVERIFY2(QFontMetrics(font).inFont(kanji), qPrintable(name));
        QCOMPARE(QFontInfo(font).family(), family);
    }
    QCOMPARE(Fonts::mapToInstalled(Fonts::DesignFace), QStringLiteral("IPAMincho"));
    QCOMPARE(Fonts::mapToInstalled(QStringLiteral("ＭＳ ゴシック")), QStringLiteral("IPAGothic"));
    // An installed face is left alone.
    QCOMPARE(Fonts::mapToInstalled(QStringLiteral("IPAGothic")), QStringLiteral("IPAGothic"));
}

void TestStartup::settingsPanelRules()
{
    // Guards the panel's rules: what each check box and scroll bar shows,
    // hides and enables, and that unlock reaches a hidden player 2.
    StartedConsole s;
    CtrlForm *c = s.console.get();

    c->TimeCheck()->click();
    QVERIFY(c->TimScroll()->isEnabled());
    QVERIFY(!c->Tim2Label()->isHidden());
    QVERIFY(!c->Label2()->isHidden());
    QCOMPARE(c->Tim2Label()->text(), QStringLiteral("60"));
    c->TimeCheck()->click();
    QVERIFY(!c->TimScroll()->isEnabled());
    QVERIFY(c->Tim2Label()->isHidden());
    QVERIFY(c->Label2()->isHidden());
    QCOMPARE(c->TimScroll()->value(), 60);

    c->TimShowCheck()->click();
    QVERIFY(c->TimLabel()->isHidden());
    QVERIFY(c->Label5()->isHidden());
    c->SeikaiCheck()->click();
    QVERIFY(!c->SeikaiScroll()->isEnabled());
    QVERIFY(c->SeikaiLabel()->isHidden());
    QVERIFY(c->Label3()->isHidden());
    c->SeikaiCheck()->click();
    QVERIFY(c->SeikaiScroll()->isEnabled());

    // The scroll bars' ends: no limit of 0 can be set.
    c->TimScroll()->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(c->Tim2Label()->text(), QStringLiteral("600"));
    c->TimScroll()->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(c->Tim2Label()->text(), QStringLiteral("1"));
    c->SeikaiScroll()->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(c->SeikaiLabel()->text(), QStringLiteral("18"));
    c->SeikaiScroll()->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(c->SeikaiLabel()->text(), QStringLiteral("1"));
    c->SeikaiScroll()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(c->SeikaiLabel()->text(), QStringLiteral("2"));

    c->PlayCheck()->click();
    QVERIFY(s.play(2)->isVisible());
    c->PlayCheck()->click();
    QVERIFY(s.play(2)->isHidden());

    // Unlock reaches both windows, the hidden one too, and stays enabled.
    c->UnlockButton()->setEnabled(true);
    c->UnlockButton()->click();
    QVERIFY(isUnlocked(s.play(1)));
    QVERIFY(isUnlocked(s.play(2)));
    QVERIFY(c->UnlockButton()->isEnabled());
}

void TestStartup::scrollBarKeys_data()
{
    QTest::addColumn<bool>("timeLimit");
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("expected");

    using K = QList<int>;
    QTest::newRow("answers: right raises") << false << 5 << K{Qt::Key_Right} << 6;
    QTest::newRow("answers: left lowers") << false << 5 << K{Qt::Key_Left} << 4;
    QTest::newRow("answers: up raises") << false << 5 << K{Qt::Key_Up} << 6;
    QTest::newRow("answers: down lowers") << false << 5 << K{Qt::Key_Down} << 4;
    QTest::newRow("answers: page up raises") << false << 5 << K{Qt::Key_PageUp} << 6;
    QTest::newRow("answers: page down lowers") << false << 5 << K{Qt::Key_PageDown} << 4;
    QTest::newRow("answers: right stops at 18") << false << 17 << K{Qt::Key_Right, Qt::Key_Right} << 18;
    QTest::newRow("answers: left stops at 1") << false << 2 << K{Qt::Key_Left, Qt::Key_Left} << 1;
    QTest::newRow("seconds: right twice from 1") << true << 1 << K{Qt::Key_Right, Qt::Key_Right} << 3;
    QTest::newRow("seconds: home") << true << 60 << K{Qt::Key_Home} << 1;
    QTest::newRow("seconds: end") << true << 60 << K{Qt::Key_End} << 600;
    QTest::newRow("seconds: end, left") << true << 60 << K{Qt::Key_End, Qt::Key_Left} << 599;
}

void TestStartup::scrollBarKeys()
{
    // Guards the keyboard direction of the limits: Qt's scroll bars step
    // the other way from the arrows unless told otherwise.
    QFETCH(bool, timeLimit);
    QFETCH(int, start);
    QFETCH(QList<int>, keys);
    QFETCH(int, expected);
    StartedConsole s;
    CtrlForm *c = s.console.get();
    if (timeLimit)
        c->TimeCheck()->click();
    QScrollBar *scroll = timeLimit ? c->TimScroll() : c->SeikaiScroll();
    QLabel *value = timeLimit ? c->Tim2Label() : c->SeikaiLabel();
    scroll->setValue(start);
    for (int key : keys)
        QTest::keyClick(scroll, Qt::Key(key));
    QCOMPARE(scroll->value(), expected);
    QCOMPARE(value->text(), QString::number(expected));
}

void TestStartup::lockUnlockAndClear()
{
    // Guards what each state operation may and may not touch.
    StartedConsole s;
    PlayForm *w = s.play(1);
    QSignalSpy changed(w->RecBox(0), &RecBoxF_Zu::Changed);

    w->AllUnLock();
    QVERIFY(isUnlocked(w));
    fillLikeAGame(w);

    w->AllLock();
    QVERIFY(isLocked(w));
    QCOMPARE(w->ResultLabel()->text(), QStringLiteral("正解！！"));
    QCOMPARE(w->resBank()->ItemNumber(), 0);
    QCOMPARE(w->Score2()->text(), QStringLiteral("2"));

    // Unlocking empties the boxes and the result but keeps the game.
    w->AllUnLock();
    QVERIFY(isUnlocked(w));
    QVERIFY(w->ResultLabel()->text().isEmpty());
    QCOMPARE(w->resBank()->ItemNumber(), 2);
    QCOMPARE(w->MonButton(36)->text(), QString(QChar(0x4E00 + 36)));
    QVERIFY(!w->MonButton(3)->isEnabled());
    QCOMPARE(w->AnsLabel(1)->text(), QStringLiteral("学校"));
    QCOMPARE(w->Score1()->text(), QStringLiteral("1"));

    // Clearing an unlocked window leaves it unlocked and re-enables the board.
    w->AllClear();
    QVERIFY(isUnlocked(w));
    for (int n = 1; n <= PlayForm::BoardSize; ++n) {
        QVERIFY(w->MonButton(n)->text().isEmpty());
        QVERIFY(w->MonButton(n)->isEnabled());
    }
    QVERIFY(w->AnsLabel(1)->text().isEmpty());
    QCOMPARE(w->Score1()->text(), QStringLiteral("0"));
    QCOMPARE(w->Score2()->text(), QStringLiteral("0"));

    // The erase button and a box's Changed both reset the feedback.
    fillLikeAGame(w);
    w->ClearButton()->click();
    QVERIFY(w->ResultLabel()->text().isEmpty());
    QCOMPARE(w->resBank()->ItemNumber(), 2);
    w->ResultLabel()->setText(QStringLiteral("単語がない！！"));
    w->resBank()->setItemNumber(1);
    emit w->RecBox(1)->Changed();
    QVERIFY(w->ResultLabel()->text().isEmpty());
    QCOMPARE(w->resBank()->ItemNumber(), 2);

    // Pressing a board button changes nothing.
    const QString before = w->MonButton(5)->text();
    w->MonButton(5)->click();
    QCOMPARE(w->MonButton(5)->text(), before);
    QVERIFY(w->MonButton(5)->isEnabled());
}

void TestStartup::playerCloseIsRefused()
{
    // Guards against a player closing the game by closing a player window.
    StartedConsole s;
    s.console->show();
    QVERIFY(!s.play(1)->close());
    QVERIFY(s.play(1)->isVisible());
    QCloseEvent request;
    QCoreApplication::sendEvent(s.play(1), &request);
    QVERIFY(!request.isAccepted());
    QCOMPARE(s.ends, 0);
    QVERIFY(s.console->isVisible());
}

void TestStartup::consoleCloseEndsEverything()
{
    // Guards the closing sequence: both players go, the clock stops, the
    // program ends once, and a second request does nothing.
    StartedConsole s;
    s.console->show();
    s.console->PlayCheck()->click();
    s.console->Timer1()->start();
    QVERIFY(s.console->close());
    QVERIFY(!s.play(1)->isVisible());
    QVERIFY(!s.play(2)->isVisible());
    QVERIFY(!s.console->Timer1()->isActive());
    QCOMPARE(s.ends, 1);
    s.console->close();
    QCOMPARE(s.ends, 1);

    // The end button is the same close request.
    StartedConsole t;
    t.console->show();
    t.console->EndButton()->click();
    QVERIFY(!t.console->isVisible());
    QVERIFY(!t.play(1)->isVisible());
    QCOMPARE(t.ends, 1);
}

void TestStartup::sessionEndClosesFromAPlayerWindow()
{
    // Guards log-off and SIGTERM: a player window closed by the session
    // takes the console and the program with it.
    StartedConsole s;
    s.console->show();
    s.console->setSessionEnding();
    QVERIFY(s.play(2)->close());
    QVERIFY(!s.console->isVisible());
    QVERIFY(!s.play(1)->isVisible());
    QCOMPARE(s.ends, 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
