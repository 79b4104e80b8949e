// SPDX-License-Identifier: GPL-3.0-or-later
// Times the player window's layout pass at large window sizes; `--show WxH` shows a filled window instead.
#include "console/ctrlform.h"
#include "controls/zubutton.h"
#include "player/playform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A board and an answer list as they look in the middle of a game.
void fillLikeAGame(PlayForm *w)
{
    const QString board = QStringLiteral("学校日本先生電車花火山川天気水道名前自分時間世界言葉動物空気音楽図工体育");
    for (int n = 1; n <= PlayForm::BoardSize; ++n)
        w->MonButton(n)->setText(board.mid(n - 1, 1));
    const QStringList answers = {QStringLiteral("学校"), QStringLiteral("天気"), QStringLiteral("音楽")};
    for (int k = 0; k < answers.size(); ++k) {
        w->AnsLabel(k + 1)->setText(answers[k]);
        for (int n = 1; n <= PlayForm::BoardSize; ++n) {
            if (answers[k].contains(w->MonButton(n)->text()))
                w->MonButton(n)->setEnabled(false);
        }
    }
    w->Score1()->setText(QStringLiteral("2"));
    w->Score2()->setText(QStringLiteral("1"));
    w->ResultLabel()->setText(QStringLiteral("正解！！"));
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// Passes as a drag runs them: the size changes by a pixel each time, so
// every pass measures and places everything again.
void timePasses(PlayForm *w, QSize size, int passes)
{
    // The first pass near a size meets font sizes never measured before.
    QElapsedTimer clock;
    clock.start();
    w->resize(size);
    const double first = double(clock.nsecsElapsed()) / 1e6;

    std::vector<double> times;
    for (int i = 0; i < passes; ++i) {
        const QSize next = (i % 2) ? size : size - QSize(1, 1);
        clock.restart();
        w->resize(next);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("layout pass at %dx%d: median %.3f ms, 95th percentile %.3f ms, max %.3f ms "
                "(%d passes; first pass, with fonts not yet measured, %.3f ms)\n",
                size.width(), size.height(), percentile(times, 0.5), percentile(times, 0.95),
                *std::max_element(times.begin(), times.end()), passes, first);
}

} // namespace

int main(int argc, char *argv[])
{
    QSize shown;
    if (argc == 3 && QByteArray(argv[1]) == "--show") {
        const QList<QByteArray> parts = QByteArray(argv[2]).split('x');
        shown = parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
        if (shown.isEmpty()) {
            std::fprintf(stderr, "usage: %s [--show WIDTHxHEIGHT]\n", argv[0]);
            return 2;
        }
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--show WIDTHxHEIGHT]\n", argv[0]);
        return 2;
    }
    if (shown.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir folder;
    CtrlForm console;
    console.setEndProgram([] { QCoreApplication::exit(0); });
    console.load(folder.path());
    PlayForm *w = console.Play1();
    fillLikeAGame(w);

    if (!shown.isEmpty()) {
        // A size below the minimum shows the window snapped to it.
        w->resize(shown);
        w->show();
        return app.exec();
    }

    w->show();
    std::printf("%s\n", qPrintable(QStringLiteral("screen logical DPI %1, face %2")
                                       .arg(w->logicalDpiX())
                                       .arg(QFontInfo(w->ChkLabel()->font()).family())));
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
        timePasses(w, size, 400);
    return 0;
}
