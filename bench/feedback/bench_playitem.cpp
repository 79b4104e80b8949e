// SPDX-License-Identifier: GPL-3.0-or-later
// Times ResBank::PlayItem as a button handler sees it, and checks that many calls do not grow memory.
#include "feedback/audiooutput.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackplayer.h"
#include "controls/resbank.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

double percentile(std::vector<qint64> ns, double q)
{
    std::sort(ns.begin(), ns.end());
    return ns[size_t(q * double(ns.size() - 1))] / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;
    FeedbackLibrary library;
    AudioOutput audio;
    ResBank bank;
    bank.setSources(&library, &audio);
    bank.resize(177, 177);
    bank.show();
    bank.setSeriesNumber(0);
    std::printf("audio output: %s\n", audio.hasOutput() ? "yes" : "none");

    // Warm up: a series is made when a window sets it, not in PlayItem.
    bank.PlayItem(0, 0);
    bank.PlayItem(1, 0);
    app.processEvents();

    // Filled in advance, so that resident memory measures the bank alone.
    std::vector<qint64> call(size_t(rounds), 0), turn(size_t(rounds), 0);
    QElapsedTimer timer;
    long rssAfterWarmUp = 0;
    for (int i = 0; i < rounds; ++i) {
        const int32_t item = i % 3;
        bank.setItemNumber(int16_t(item));
        timer.start();
        bank.PlayItem(int32_t(i % 2), item);
        call[size_t(i)] = timer.nsecsElapsed();
        // What the event loop does next: start the sound, paint a frame.
        timer.start();
        app.processEvents();
        turn[size_t(i)] = timer.nsecsElapsed();
        if (i == rounds / 10)
            rssAfterWarmUp = residentKb();
    }
    const long rssEnd = residentKb();
    std::printf("PlayItem call, %d rounds: median %.1f us, 99th percentile %.1f us, max %.1f us\n",
                rounds, percentile(call, 0.5), percentile(call, 0.99), percentile(call, 1.0));
    std::printf("event-loop turn after it (sound start, one frame): median %.1f us, 99th %.1f us\n",
                percentile(turn, 0.5), percentile(turn, 0.99));
    std::printf("resident memory: %ld kB after %d rounds, %ld kB at the end\n", rssAfterWarmUp,
                rounds / 10, rssEnd);
    return 0;
}
