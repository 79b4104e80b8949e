// SPDX-License-Identifier: GPL-3.0-or-later
// Word-list benchmark: reading and indexing a 100,000-line list, 100,000
// look-ups, and the console's whole load of the same file; with --big also
// the largest lists a teacher could choose, loaded by the console: the time
// until the words are in, the memory at the peak and afterwards, how long
// the window's event loop stood still at most, and how soon closing acts.
//   build/bench-wordlist [LINES] [--big]
#include "common/textfile.h"
#include "console/ctrlform.h"
#include "controls/menubt.h"
#include "engine/wordlistfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

double medianMs(QList<double> runs)
{
    std::sort(runs.begin(), runs.end());
    return runs.at(runs.size() / 2);
}

// Resident memory of this process in MB: now, and the most since reset().
struct Memory
{
    static double field(const char *name)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(int(qstrlen(name))).trimmed().split(' ').value(0).toDouble() / 1024;
        }
        return 0;
    }
    static void reset()
    {
        if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
    }
    static double now() { return field("VmRSS:"); }
    static double peak() { return field("VmHWM:"); }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray kanjiWord(QRandomGenerator &random)
{
    return (QString(QChar(char16_t(0x4E00 + random.bounded(0x5000)))) + QChar(char16_t(0x4E00 + random.bounded(0x5000))))
        .toUtf8();
}

QAction *menuEntry(CtrlForm &console, const QString &name)
{
    emit console.menuBT()->fileMenu()->aboutToShow();
    for (QAction *action : console.menuBT()->fileMenu()->actions()) {
        if (action->text() == name)
            return action;
    }
    qFatal("no menu entry for %s", qPrintable(name));
}

// The console loads `name` from its data folder; prints the figures.
void loadBig(const QString &folder, const QString &name, const char *what)
{
    const double fileMB = QFileInfo(folder + QLatin1Char('/') + name).size() / 1048576.0;
    auto console = std::make_unique<CtrlForm>();
    console->setEndProgram([] {});
    console->load(folder);
    QCoreApplication::processEvents();

    // The longest the event loop waited between two turns: idle for a
    // second (what the machine allows), then while loading.
    QElapsedTimer sinceTurn;
    qint64 longestGap = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, sinceTurn.restart());
    });
    sinceTurn.start();
    beat.start(1);
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    beat.stop();
    const qint64 idleGap = longestGap;
    longestGap = 0;

    const double before = Memory::now();
    Memory::reset();
    QElapsedTimer t;
    t.start();
    menuEntry(*console, name)->trigger();
    sinceTurn.start();
    beat.start(1);
    while (console->isLoadingWordList())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double ms = t.nsecsElapsed() / 1e6;
    beat.stop();
    const double peak = Memory::peak() - before;
    const double kept = Memory::now() - before;
    std::printf("%s: %.1f MB, %lld words: in after %.2f s; memory peak +%.0f MB (%.2f x the file), kept +%.0f MB; "
                "longest wait of the event loop %lld ms (idle %lld ms)\n",
                what, fileMB, static_cast<long long>(console->wordList().size()), ms / 1000, peak, peak / fileMB, kept,
                static_cast<long long>(longestGap), static_cast<long long>(idleGap));

    // Closing during a load: the console closes at once, and the read stops.
    menuEntry(*console, name)->trigger();
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QElapsedTimer closing;
    closing.start();
    console->close();
    const double closedMs = closing.nsecsElapsed() / 1e6;
    console.reset();
    std::printf("  closing 0.3 s into a load: the windows close in %.1f ms, the read has stopped %.0f ms later\n",
                closedMs, closing.nsecsElapsed() / 1e6 - closedMs);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool big = args.contains(QStringLiteral("--big"));
    int lines = 100000;
    for (const QString &arg : args) {
        if (arg != QLatin1String("--big"))
            lines = arg.toInt();
    }

    // Random two-kanji words from the common block, one per line, CR LF ends.
    QRandomGenerator random(2026);
    QStringList words;
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) {
        const QByteArray word = kanjiWord(random);
        words << QString::fromUtf8(word);
        bytes += word + "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    writeFile(path, bytes);

    QList<double> loads;
    WordList list;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        list = readWordListFile(path).words;
        loads << t.nsecsElapsed() / 1e6;
    }

    // Look-ups: half hits, half misses, in an order unlike the file's.
    QStringList probes;
    for (int i = 0; i < lines; ++i)
        probes << (i % 2 ? words.at(random.bounded(lines)) : words.at(random.bounded(lines)) + QStringLiteral("x"));
    QList<double> lookups;
    int hits = 0;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        for (const QString &probe : std::as_const(probes))
            hits += list.contains(probe) ? 1 : 0;
        lookups << t.nsecsElapsed() / 1e3 / probes.size();
    }

    // The console's whole load: file, words, the hidden list box, the windows.
    CtrlForm console;
    console.setEndProgram([] {});
    console.load(dir.path());
    QList<double> consoleLoads;
    for (int run = 0; run < 5; ++run) {
        QAction *entry = menuEntry(console, QStringLiteral("list.txt"));
        QElapsedTimer t;
        t.start();
        entry->trigger();
        while (console.isLoadingWordList())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        consoleLoads << t.nsecsElapsed() / 1e6;
    }

    std::printf("lines: %d, words: %lld (hits %d)\n", lines, static_cast<long long>(list.size()), hits);
    std::printf("read + index:  median %.1f ms (target 100 ms)\n", medianMs(loads));
    std::printf("look-up:       median %.3f us each (target 1 us)\n", medianMs(lookups));
    std::printf("console load:  median %.1f ms (until the words are in, the windows responsive meanwhile)\n",
                medianMs(consoleLoads));
    if (!big)
        return 0;

    // The largest lists: 10 million distinct words; 128 MiB (the most a
    // list may hold) of words drawn at random; 128 MiB of one word repeated.
    QTemporaryDir bigDir;
    {
        QByteArray distinct;
        distinct.reserve(10000000 * 7);
        for (int i = 0; i < 10000000; ++i) {
            const int a = i % 5000, b = i / 5000;
            distinct += (QString(QChar(char16_t(0x4E00 + a))) + QChar(char16_t(0x4E00 + b))).toUtf8() + '\n';
        }
        writeFile(bigDir.filePath(QStringLiteral("distinct.txt")), distinct);
    }
    {
        QByteArray drawn;
        const qsizetype limit = MaxTextFileBytes - 8;
        drawn.reserve(limit + 8);
        while (drawn.size() < limit)
            drawn += kanjiWord(random) + '\n';
        writeFile(bigDir.filePath(QStringLiteral("drawn.txt")), drawn);
    }
    writeFile(bigDir.filePath(QStringLiteral("repeated.txt")), QByteArray("ab\n").repeated(MaxTextFileBytes / 3));
    loadBig(bigDir.path(), QStringLiteral("distinct.txt"), "10 million distinct words");
    loadBig(bigDir.path(), QStringLiteral("drawn.txt"), "128 MiB of random two-kanji words");
    loadBig(bigDir.path(), QStringLiteral("repeated.txt"), "128 MiB of one word repeated");
    return 0;
}
