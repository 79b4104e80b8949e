// SPDX-License-Identifier: GPL-3.0-or-later
#include "audiooutput.h"

#include "feedbacklog.h"

#include <QMediaDevices>

bool AudioOutput::hasOutput()
{
    if (m_known < 0) {
        QString reason;
        {
            // The sound system may explain its absence in several lines.
            QuietLog quiet;
            m_device = QMediaDevices::defaultAudioOutput();
            reason = quiet.first();
        }
        m_known = m_device.isNull() ? 0 : 1;
        if (!m_known)
            saySilent(reason.isEmpty() ? QStringLiteral("no audio output")
                                       : QStringLiteral("no audio output (%1)").arg(reason));
    }
    return m_known == 1;
}

void AudioOutput::saySilent(const QString &why)
{
    if (m_said)
        return;
    m_said = true;
    qCInfo(lcFeedback, "feedback stays silent: %s", qPrintable(why));
}
