// SPDX-License-Identifier: GPL-3.0-or-later
// The numbered feedback series: two built in, more from folders beside the program.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>

class QPainter;
class QRectF;

// One series of feedback items: 0 = correct answer or game won, 1 = wrong
// answer or game lost, 2 = neutral or draw; any other item number is
// neutral. Series 0 (a sun) and 1 (a cat) are built in. A folder
// <N>/ in the library's folder makes series N a user series: files named after the item
// (0.png, 1.jpg, 2.wav ...) replace the built-in picture or sound of that
// item; what is missing or unreadable stays built-in. A number with neither
// uses built-in series 0 when even and 1 when odd.
class FeedbackSeries
{
public:
    static constexpr int ItemCount = 3;
    // Pictures are refused beyond this many pixels a side (a decoding
    // bomb), and kept at most this large once read.
    static constexpr int MaxPictureSide = 8192;
    static constexpr int KeptPictureSide = 1024;

    // Series number with the built-in pictures it falls back to and the
    // sounds of that built-in series (FeedbackLibrary::find also reads its
    // folder).
    FeedbackSeries(int32_t number, const std::array<QByteArray, ItemCount> &builtInSounds);
    // The built-in series a number falls back to: 0 for even, 1 for odd.
    static int builtInFor(int32_t number) { return number % 2 == 0 ? 0 : 1; }
    // Makes it a user series: the items found in the folder path replace
    // built-in ones; one log line says what could not be used.
    void loadFolder(const QString &path);

    int32_t number() const { return m_number; }
    // The built-in series this one falls back to.
    int builtIn() const { return m_builtIn; }
    bool isUserSeries() const { return m_isUser; }

    // Draws the item's picture, as large as fits, centred in square.
    void paint(QPainter &p, const QRectF &square, int32_t item) const;
    // The item's sound, in FeedbackSound's sample format.
    const QByteArray &sound(int32_t item) const { return m_sounds[index(item)]; }
    bool hasOwnPicture(int32_t item) const { return !m_pictures[index(item)].isNull(); }
    bool hasOwnSound(int32_t item) const { return m_ownSounds[index(item)]; }

    static int index(int32_t item) { return item == 0 || item == 1 ? int(item) : 2; }

private:
    void loadItems(const QString &path, QStringList *problems);

    int32_t m_number;
    int m_builtIn;
    bool m_isUser = false;
    QImage m_pictures[ItemCount];
    mutable QImage m_scaled[ItemCount]; // m_pictures at the size last painted
    QByteArray m_sounds[ItemCount];
    bool m_ownSounds[ItemCount] = {};
};
