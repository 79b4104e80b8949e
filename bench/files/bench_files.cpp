// SPDX-License-Identifier: GPL-3.0-or-later
// Times the file reader on paths that are not files, and the feedback
// series on hostile and very large pictures, with the memory each holds.
#include "common/regularfile.h"
#include "feedback/feedbacklibrary.h"
#include "feedback/feedbackseries.h"
#include "fakes/bigpictures.h"
#include "fakes/hostilefiles.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMicroseconds(int rounds, const std::function<void()> &run)
{
    std::vector<qint64> ns;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        run();
        ns.push_back(timer.nsecsElapsed());
    }
    std::sort(ns.begin(), ns.end());
    return double(ns[ns.size() / 2]) / 1000.0;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray jpeg(int side, bool progressive)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;

    std::printf("| Path | reader's answer | median |\n|---|---|---|\n");
    HostilePlanter planter;
    int n = 0;
    for (const auto &[name, kind] : hostileKinds()) {
        const QString path = dir.filePath(QStringLiteral("hostile%1").arg(++n));
        planter.plant(path, kind);
        FileContents file;
        const double us = medianMicroseconds(200, [&] { file = readRegularFile(path, 128 << 20); });
        std::printf("| %s | %s | %.1f µs |\n", name, qPrintable(file.error), us);
    }

    std::printf("\n| Series 3 holds | used | load time | peak memory above start |\n|---|---|---|---|\n");
    struct Case
    {
        const char *name;
        std::function<void(const QString &folder)> fill;
    };
    const int side = FeedbackSeries::MaxPictureSide;
    const std::vector<Case> cases = {
        {"links to /dev/zero, /dev/urandom, /proc/self/pagemap, /proc/kmsg, two pipes",
         [&](const QString &f) {
             planter.plant(f + "/0.png", Hostile::DevZero);
             planter.plant(f + "/0.wav", Hostile::DevRandom);
             planter.plant(f + "/1.png", Hostile::ProcPagemap);
             planter.plant(f + "/1.wav", Hostile::Fifo);
             planter.plant(f + "/2.png", Hostile::ProcKmsg);
             planter.plant(f + "/2.wav", Hostile::FifoWithWriter);
         }},
        {"PNG 8192×8192", [&](const QString &f) { write(f + "/0.png", bigPng(side, side)); }},
        {"PNG 6000×6000", [&](const QString &f) { write(f + "/0.png", bigPng(6000, 6000)); }},
        {"JPEG 8192×8192", [&](const QString &f) { write(f + "/0.jpg", jpeg(side, false)); }},
        {"progressive JPEG 6000×6000", [&](const QString &f) { write(f + "/0.jpg", jpeg(6000, true)); }},
        {"progressive JPEG 8192×8192", [&](const QString &f) { write(f + "/0.jpg", jpeg(side, true)); }},
        {"progressive JPEG header claiming 8192×8192",
         [&](const QString &f) { write(f + "/0.jpg", progressiveJpegClaiming(side, side)); }},
        {"interlaced PNG 6000×6000", [&](const QString &f) { write(f + "/0.png", bigPng(6000, 6000, true)); }},
    };
    for (const Case &c : cases) {
        QTemporaryDir root;
        QDir(root.path()).mkpath(QStringLiteral("3"));
        c.fill(root.filePath(QStringLiteral("3")));
        FeedbackLibrary library(root.path());
        PeakMemory peak;
        QElapsedTimer timer;
        timer.start();
        const auto series = library.find(3);
        const qint64 ms = timer.elapsed();
        std::printf("| %s | %s | %lld ms | %lld MB |\n", c.name,
                    series->hasOwnPicture(0) ? "yes" : "no", static_cast<long long>(ms),
                    static_cast<long long>(peak.growthMB()));
    }
    return 0;
}
