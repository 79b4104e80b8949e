// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: the seat page's feedback pictures and sounds of the two
// built-in series as files, for a program without a GUI to serve them.
//   taruvo-host-feedback FOLDER    writes FOLDER/fb/<player>/<item>.png and .wav
#include "console/seatfeedback.h"
#include "feedback/feedbacklibrary.h"
#include "seats/seatfiles.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: taruvo-host-feedback FOLDER\n");
        return 2;
    }
    const QDir out(args.at(1));
    // A folder with no series in it: the built-in ones only.
    FeedbackLibrary library(out.filePath(QStringLiteral("no-user-series")));
    SeatFiles files;
    // Player 1 takes series 0 and player 2 series 1, as the console's defaults.
    for (int player = 1; player <= 2; ++player)
        addSeatFeedback(files, player, library, player - 1);
    for (const QString &path : files.paths()) {
        if (!path.startsWith(QLatin1String("/fb/")))
            continue;
        const QString target = out.filePath(path.mid(1));
        QDir().mkpath(QFileInfo(target).path());
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(files.find(path)->bytes) != files.find(path)->bytes.size()) {
            std::fprintf(stderr, "taruvo-host-feedback: cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    return 0;
}
