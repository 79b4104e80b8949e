// SPDX-License-Identifier: GPL-3.0-or-later
// Feedback sounds: the built-in ones, synthesised, and WAV files, all held in one sample format.
#pragma once

#include <QByteArray>
#include <QString>

namespace FeedbackSound {

// Every feedback sound is held as 16-bit signed mono samples at this rate,
// so that one audio output per bank serves them all.
constexpr int SampleRate = 22050;
// Longer sounds are cut here: feedback follows every answer.
constexpr int MaxSeconds = 10;
// Larger files are not read at all.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

// Item 0, 1 or 2 of built-in series 0 or 1, made afresh (FeedbackLibrary
// keeps them).
QByteArray synthesise(int series, int item);

// The samples of a WAV file (PCM of 8 to 32 bits or floating point, any
// channel count and rate), mixed to mono and resampled. Empty, with *why
// saying what is wrong, for anything else.
QByteArray decodeWav(const QByteArray &bytes, QString *why);

} // namespace FeedbackSound
