// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the feedback of both built-in series for screenshots of the documentation.
//   feedback_shot ITEM           both real player windows, side by side, showing ITEM
//   feedback_shot --sheet OUT.png [SIDE]   items 0, 1 and 2 of both series, drawn off screen
#include "console/ctrlform.h"
#include "controls/resbank.h"
#include "player/playform.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

namespace {

int sheet(const QString &out, int side)
{
    const int gap = 8;
    QImage image(3 * side + 4 * gap, 2 * side + 3 * gap, QImage::Format_RGB32);
    image.fill(QColor(200, 200, 200));
    QPainter p(&image);
    for (int series = 0; series < 2; ++series) {
        for (int item = 0; item < 3; ++item) {
            ResBank bank;
            bank.resize(side, side);
            bank.setSeriesNumber(series);
            bank.setItemNumber(int16_t(item));
            p.drawImage(gap + item * (side + gap), gap + series * (side + gap), bank.grab().toImage());
        }
    }
    p.end();
    return image.save(out) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--sheet"))
        return sheet(args[2], args.size() >= 4 ? args[3].toInt() : 160);

    // The real windows, started from an empty folder: built-in series 0
    // for player 1 and 1 for player 2.
    QTemporaryDir folder;
    CtrlForm console;
    console.setEndProgram([] {});
    console.load(folder.path());
    const int16_t item = int16_t(args.size() >= 2 ? args[1].toInt() : 2);
    PlayForm *windows[] = {console.Play1(), console.Play2()};
    console.hide();
    for (PlayForm *w : windows)
        w->resBank()->setItemNumber(item);
    // Placed once the window manager runs, so both get their title bars.
    QTimer::singleShot(500, &app, [&windows] {
        int x = 20;
        for (PlayForm *w : windows) {
            w->move(x, 40);
            w->show();
            x += w->frameGeometry().width() + 24;
        }
    });
    return app.exec();
}
