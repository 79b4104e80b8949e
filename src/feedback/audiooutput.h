// SPDX-License-Identifier: GPL-3.0-or-later
// The program's audio output, asked for once and shared by every feedback display.
#pragma once

#include <QAudioDevice>
#include <QString>

// Finds the default audio output on first use and keeps it. Without one, or
// when an output fails, feedback stays silent and the log gets one line for
// the whole program, however many displays there are.
class AudioOutput
{
public:
    bool hasOutput();
    // Valid only when hasOutput() is true.
    const QAudioDevice &device() const { return m_device; }
    // Logs why feedback is silent, the first time only.
    void saySilent(const QString &why);

private:
    QAudioDevice m_device;
    int m_known = -1; // -1 not yet asked, 0 none, 1 present
    bool m_said = false;
};
