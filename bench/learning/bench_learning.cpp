// SPDX-License-Identifier: GPL-3.0-or-later
// Times the dictionary's load and weighs it, times the review window's
// appearance after the end of a game (the first of a console, which may wait
// for the dictionary, and the later ones), and the list builder for whole
// school years.
//   bench_learning                    the figures
//   bench_learning --show [SECONDS]   a played game's console, players and review, for screenshots
//   bench_learning --pdf REVIEW.pdf SHEET.pdf   the review and the sheet of a played game
#include "console/ctrlform.h"
#include "console/reviewwindow.h"
#include "controls/menubt.h"
#include "controls/nbutton.h"
#include "controls/valuelabel.h"
#include "engine/game.h"
#include "learning/listbuilder.h"
#include "learning/worddictionary.h"
#include "player/playform.h"
#include "recognition/kanjigrades.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double maxOf(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Bytes the heap has handed out and not had back: what a structure keeps,
// without what freed blocks leave resident.
long heapInUseKb()
{
#ifdef __GLIBC__
    const struct mallinfo2 m = mallinfo2();
    return long((m.uordblks + m.hblkhd) / 1024);
#else
    return 0;
#endif
}

// Records when the review's text was painted; the text view is made with
// the first review, so the whole application is watched.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(const QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object->isWidgetType()) {
            const auto *w = static_cast<QWidget *>(object);
            if (w->window() == m_window && qobject_cast<QTextBrowser *>(w->parentWidget()))
                painted = true;
        }
        return false;
    }

private:
    const QWidget *m_window;
};

// A console with the bundled first list chosen, as the operator chooses it.
struct Console
{
    QTemporaryDir folder;
    CtrlForm form;

    Console()
    {
        if (!QFile::copy(QStringLiteral(TARUVO_WORDS_DIR "/小学1-2年.txt"), folder.filePath(QStringLiteral("小学1-2年.txt"))))
            qFatal("cannot copy the bundled list into %s", qPrintable(folder.path()));
        form.setEndProgram([] {});
        form.load(folder.path());
        MenuBT *menu = form.menuBT();
        emit menu->fileMenu()->aboutToShow();
        for (QAction *a : menu->fileMenu()->actions()) {
            if (a->text() == QStringLiteral("小学1-2年.txt"))
                a->trigger();
        }
        while (form.isLoadingWordList())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!form.game().canStart())
            qFatal("the bundled list did not load: %s %s", qPrintable(form.Label1()->text()), qPrintable(form.Label1()->toolTip()));
    }

    // A game as children play it: some words found by each, some tries wrong.
    void play()
    {
        form.StartButton()->click();
        const QStringList dealt = form.game().pool().dealtWords();
        form.SeigoHantei(1, dealt.at(0));
        form.SeigoHantei(2, dealt.at(1));
        form.SeigoHantei(1, dealt.at(2));
        form.SeigoHantei(2, dealt.at(3).right(1) + dealt.at(3).left(1));
        form.SeigoHantei(1, QStringLiteral("学生"));
        form.SeigoHantei(2, dealt.at(4));
        form.SeigoHantei(1, dealt.at(5));
        form.SeigoHantei(2, QStringLiteral("火山"));
    }
};

void timeDictionary()
{
    const QString path = WordDictionary::paths().value(0);
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const WordDictionary d = WordDictionary::read(path);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const long before = heapInUseKb();
    const WordDictionary kept = WordDictionary::read(path);
    const long packed = heapInUseKb() - before;
    // Every entry made as strings, as the entries of the dictionary once were.
    const WordDictionary::Entries all = kept.entries();
    for (qsizetype rank = 0; rank < all.size(); ++rank)
        all.at(rank);
    std::printf("dictionary %s: %lld bytes, %lld words; load median %.1f ms, max %.1f ms (20 loads); "
                "kept in memory %ld kB (heap in use); every entry made as strings: %ld kB more\n",
                qPrintable(path), qlonglong(QFileInfo(path).size()), qlonglong(kept.size()), median(times),
                maxOf(times), packed, heapInUseKb() - before - packed);
}

// How long the windows' thread takes to make the review window at start-up
// (it once read the dictionary there).
void timeReviewWindowMade(const Game &game)
{
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        ReviewWindow window(game);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("the review window made at start-up: median %.2f ms, max %.2f ms (20 made)\n", median(times),
                maxOf(times));
}

// Runs the events until the review's text is painted, at most 5 s.
void waitForPaint(const PaintWatch &watch)
{
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The first review of fresh consoles: the dictionary is read from the
// game's start on a thread of its own and the text view is made with the
// review. waitMs 0 ends the game at once, while the read is under way (the
// review waits for the rest of it); else the game lasts that long.
void timeFirstReview(int consoles, int waitMs)
{
    std::vector<double> shown, painted;
    long residentBefore = 0, residentAtTheEnd = 0, residentAfter = 0;
    for (int i = 0; i < consoles; ++i) {
        auto console = std::make_unique<Console>();
        ReviewWindow *review = console->form.reviewWindow();
        PaintWatch watch(review);
        if (i == 0)
            residentBefore = residentKb();
        console->play();
        QElapsedTimer game;
        game.start();
        while (game.elapsed() < waitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (i == 0)
            residentAtTheEnd = residentKb();
        QElapsedTimer t;
        t.start();
        console->form.EndGame();
        shown.push_back(double(t.nsecsElapsed()) / 1e6);
        waitForPaint(watch);
        painted.push_back(double(t.nsecsElapsed()) / 1e6);
        if (i == 0)
            residentAfter = residentKb();
        review->close();
    }
    std::printf("first review of a console, game %s: made and shown (EndGame returns) median %.1f ms, max %.1f ms; "
                "first paint median %.1f ms, max %.1f ms (%d consoles)\n",
                waitMs ? qPrintable(QStringLiteral("of %1 ms").arg(waitMs)) : "ended at once", median(shown),
                maxOf(shown), median(painted), maxOf(painted), consoles);
    static bool firstOfTheProcess = true;
    if (firstOfTheProcess)
        std::printf("  the process's first console, resident: %ld kB before its first deal, %ld kB at the game's "
                    "end (the game played, the dictionary read), %ld kB with its review shown\n",
                    residentBefore, residentAtTheEnd, residentAfter);
    firstOfTheProcess = false;
}

void timeReview(int games)
{
    Console console;
    ReviewWindow *review = console.form.reviewWindow();
    timeReviewWindowMade(console.form.game());
    // The first game's review made the dictionary and the view ready.
    console.play();
    console.form.EndGame();
    review->close();
    PaintWatch watch(review);
    std::vector<double> shown, painted;
    for (int g = 0; g < games; ++g) {
        console.play();
        watch.painted = false;
        QElapsedTimer t;
        t.start();
        console.form.EndGame();
        shown.push_back(double(t.nsecsElapsed()) / 1e6);
        waitForPaint(watch);
        painted.push_back(double(t.nsecsElapsed()) / 1e6);
        review->close();
    }
    std::printf("later reviews after EndGame: made and shown (EndGame returns) median %.1f ms, max %.1f ms; "
                "first paint median %.1f ms, max %.1f ms (%d games)\n",
                median(shown), maxOf(shown), median(painted), maxOf(painted), games);
}

void timeBuilder()
{
    const WordDictionary d = WordDictionary::read(WordDictionary::paths().value(0));
    ListBuilder builder(d);
    const auto yearOf = [](char32_t c) { return kanjiSchoolYear(QString::fromUcs4(&c, 1)); };
    for (const QSet<int> &years : {QSet<int>{1}, QSet<int>{1, 2}, QSet<int>{1, 2, 3, 4, 5, 6},
                                   QSet<int>{1, 2, 3, 4, 5, 6, 7}}) {
        std::vector<double> times;
        qsizetype words = 0, kanji = 0;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            const QSet<char32_t> allowed = builder.kanjiOfYears(years, yearOf);
            const BuiltList list = builder.build(allowed);
            times.push_back(double(t.nsecsElapsed()) / 1e6);
            words = list.words.size();
            kanji = allowed.size();
        }
        QList<int> sorted = years.values();
        std::sort(sorted.begin(), sorted.end());
        std::printf("builder, school years %d-%d (%lld kanji): %lld words, median %.2f ms, max %.2f ms (20 runs)\n",
                    sorted.first(), sorted.last(), qlonglong(kanji), qlonglong(words), median(times), maxOf(times));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--show")) {
        Console console;
        console.form.show();
        // Ended once the window manager has placed the windows, as a game ends.
        QTimer::singleShot(3000, &app, [&console] {
            console.play();
            console.form.EndGame();
        });
        QTimer::singleShot(args.value(1, QStringLiteral("30")).toInt() * 1000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    if (args.value(0) == QLatin1String("--pdf") && args.size() == 3) {
        Console console;
        console.play();
        console.form.EndGame();
        ReviewWindow *review = console.form.reviewWindow();
        QString error;
        for (int i = 0; i < 2; ++i) {
            const auto which = i ? ReviewWindow::Document::Sheet : ReviewWindow::Document::Review;
            if (!review->writePdf(args.at(1 + i), which, &error)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(args.at(1 + i)), qPrintable(error));
                return 1;
            }
        }
        return 0;
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_learning [--show [SECONDS] | --pdf REVIEW.pdf SHEET.pdf]\n");
        return 2;
    }
    // The first console of the process first: its memory is that of a
    // console's first game, with nothing made before it.
    timeFirstReview(10, 1000);
    timeFirstReview(10, 0);
    timeDictionary();
    timeBuilder();
    timeReview(50);
    return 0;
}
