// SPDX-License-Identifier: GPL-3.0-or-later
// Times the player window's layout pass at large window sizes; `--show WxH` shows a filled window instead.
#include "console/ctrlform.h"
#include "controls/zubutton.h"
#include "player/playform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
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
    // The first pass at a size may meet font sizes not measured yet.
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
                "(%d passes; first pass at this size %.3f ms)\n",
                size.width(), size.height(), percentile(times, 0.5), percentile(times, 0.95),
                *std::max_element(times.begin(), times.end()), passes, first);
}

} // namespace

int main(int argc, char *argv[])
{
    QSize shown;
    bool cold = false;
    if (argc == 3 && QByteArray(argv[1]) == "--show") {
        const QList<QByteArray> parts = QByteArray(argv[2]).split('x');
        shown = parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
    }
    cold = argc == 2 && QByteArray(argv[1]) == "--cold";
    if (!(argc == 1 || cold || !shown.isEmpty())) {
        std::fprintf(stderr, "usage: %s [--cold | --show WIDTHxHEIGHT]\n", argv[0]);
        return 2;
    }
    // Headless, on a screen as large as the largest size timed, so that the
    // idle warm-up covers it as it would on such a screen.
    QTemporaryDir folder;
    if (shown.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const QString config = folder.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 3840, "height": 2160,
                              "logicalDpi": 96}]})") < 0)
            return 1;
        file.close();
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.toLocal8Bit());
    }
    QApplication app(argc, argv);

    CtrlForm console;
    console.setEndProgram([] { QCoreApplication::exit(0); });
    console.load(folder.path());
    PlayForm *w = console.Play1();
    fillLikeAGame(w);

    if (!shown.isEmpty()) {
        // Resized once the window manager has framed the window, and again
        // once the pass has learnt the frame: a size below the minimum then
        // shows the window at its outer minimum.
        QTimer::singleShot(500, w, [w, shown] { w->resize(shown); });
        QTimer::singleShot(800, w, [w, shown] { w->resize(shown); });
        return app.exec();
    }

    std::printf("%s\n", qPrintable(QStringLiteral("screen %1x%2, logical DPI %3, face %4")
                                       .arg(w->screen()->size().width())
                                       .arg(w->screen()->size().height())
                                       .arg(w->logicalDpiX())
                                       .arg(QFontInfo(w->ChkLabel()->font()).family())));
    // The window is shown at its design size; its idle warm-up runs here.
    QElapsedTimer clock;
    clock.start();
    if (!cold)
        QCoreApplication::processEvents();
    std::printf("idle warm-up of the font measures after the first show: %.3f ms%s\n",
                double(clock.nsecsElapsed()) / 1e6, cold ? " (skipped: --cold)" : "");
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
        timePasses(w, size, 400);
    return 0;
}
