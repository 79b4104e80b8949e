// SPDX-License-Identifier: GPL-3.0-or-later
// The feedback series of a program run: found once, shared by both displays.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>

class FeedbackSeries;

// Finds series by number, reading a user series from its folder the first
// time it is asked for, and keeps the synthesised built-in sounds. The
// console owns one and hands it to the players' displays.
class FeedbackLibrary
{
public:
    // folder: where user series live; empty means "series" beside the program.
    explicit FeedbackLibrary(const QString &folder = QString());
    ~FeedbackLibrary();

    QString folder() const { return m_folder; }
    // Forgets every series loaded so far.
    void setFolder(const QString &folder);

    // Never null.
    std::shared_ptr<const FeedbackSeries> find(int32_t number);

    // Item 0..2 of built-in series 0 or 1 (others are clamped).
    const QByteArray &builtInSound(int series, int item);

private:
    QString m_folder;
    QHash<int32_t, std::shared_ptr<const FeedbackSeries>> m_series;
    QByteArray m_builtInSounds[2][3];
};
