// SPDX-License-Identifier: GPL-3.0-or-later
// The host's terminal: lines out, and SIGTERM or Ctrl-C to end.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into the signal ending(), delivered on
// the event loop (a signal handler may do next to nothing itself). One a
// program.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void ending(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};

namespace Terminal {

// A line to standard output, flushed at once (a service's journal).
void say(const QString &line);
// Whether standard output is a terminal (colours, a QR code).
bool isTerminal();

} // namespace Terminal
