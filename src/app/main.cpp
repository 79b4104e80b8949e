// SPDX-License-Identifier: GPL-3.0-or-later
// Taruvo: the operator console starts everything; closing it ends the program.
#include "console/ctrlform.h"
#include "controls/accessibility.h"
#include "sessionwatch.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("taruvo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("taruvo"));
    // The console decides when the program ends, not the last open window.
    QApplication::setQuitOnLastWindowClosed(false);
    installAccessibility();

    CtrlForm console;
    SessionWatch session(&console);
    console.setArguments(QCoreApplication::arguments());
    console.load();
    console.show();
    // Loads the handwriting recogniser while the operator chooses a list,
    // so that the first "にんしき" does not wait for it.
    QTimer::singleShot(0, &console, [&console] { console.recognizer().load(); });
    return app.exec();
}
