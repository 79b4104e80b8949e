// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class CtrlForm;
class QSocketNotifier;

// Lets the desktop session and the operating system close the program
// cleanly: at log-off the player windows accept their close, and SIGTERM,
// SIGHUP or SIGINT close the console as its own end button would.
class SessionWatch : public QObject
{
    Q_OBJECT
public:
    explicit SessionWatch(CtrlForm *console);
    ~SessionWatch() override;

private:
    void onSignal();

    CtrlForm *m_console;
    QSocketNotifier *m_notifier = nullptr;
};
