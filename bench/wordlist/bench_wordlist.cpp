// SPDX-License-Identifier: GPL-3.0-or-later
// Word-list benchmark: reading and indexing a 100,000-line list, 100,000
// look-ups, and the console's whole load of the same file.
//   build/bench-wordlist [LINES]
#include "common/textfile.h"
#include "console/ctrlform.h"
#include "controls/menubt.h"
#include "engine/wordlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

double medianMs(QList<double> runs)
{
    std::sort(runs.begin(), runs.end());
    return runs.at(runs.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    // Random two-kanji words from the common block, one per line, CR LF ends.
    QRandomGenerator random(2026);
    QStringList words;
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) {
        const QString word = QString(QChar(char16_t(0x4E00 + random.bounded(0x5000))))
            + QChar(char16_t(0x4E00 + random.bounded(0x5000)));
        words << word;
        bytes += word.toUtf8() + "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the benchmark list");
    file.close();

    QList<double> loads;
    WordList list;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        list.load(readTextLines(path).lines);
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
        emit console.menuBT()->fileMenu()->aboutToShow();
        QElapsedTimer t;
        t.start();
        console.menuBT()->fileMenu()->actions().first()->trigger();
        consoleLoads << t.nsecsElapsed() / 1e6;
    }

    std::printf("lines: %d, words: %lld (hits %d)\n", lines, static_cast<long long>(list.size()), hits);
    std::printf("read + index:  median %.1f ms (target 100 ms)\n", medianMs(loads));
    std::printf("look-up:       median %.3f us each (target 1 us)\n", medianMs(lookups));
    std::printf("console load:  median %.1f ms (with the hidden sorted list box and both windows)\n",
                medianMs(consoleLoads));
    return 0;
}
