// SPDX-License-Identifier: GPL-3.0-or-later
// Taruvo: the operator console starts everything; closing it ends the program.
#include "console/ctrlform.h"
#include "controls/accessibility.h"
#include "sessionwatch.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Qt would abort with several lines about platform plugins; one says it.
bool hasDisplay(int argc, char *argv[])
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char *value = std::getenv(name); value && *value)
            return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!hasDisplay(argc, argv)) {
        std::fputs("taruvo: no display to show the windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
        return 1;
    }
#ifdef __GLIBC__
    // A fixed size above which blocks get mappings of their own. By default
    // glibc raises it (and the size a thread's heap must have free at its
    // top before it shrinks) to the largest block freed so far: after the
    // recognisers' loading frees a few megabyte-sized blocks, several
    // megabytes it freed stayed resident for good in some runs and not in
    // others.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
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
    // The recognisers load on the recognition thread while the windows
    // paint and the operator chooses a list, so that neither waits for them.
    console.recognition().warmUp();
    return app.exec();
}
