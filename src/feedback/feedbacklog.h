// SPDX-License-Identifier: GPL-3.0-or-later
// Holds back Qt's own messages while feedback files or the audio output are probed.
#pragma once

#include <QLoggingCategory>
#include <QString>

// Where the feedback display reports what it could not use.
Q_DECLARE_LOGGING_CATEGORY(lcFeedback)

// While one lives, messages from this thread are held back instead of
// logged (others pass through), so that a broken file or a missing sound
// system costs one line of our own, not a burst from the libraries below.
class QuietLog
{
public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog &) = delete;
    QuietLog &operator=(const QuietLog &) = delete;

    // The first message held back, empty when none.
    QString first() const { return m_first; }

private:
    QString m_first;
    bool m_installed = false;
};
