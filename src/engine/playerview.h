// SPDX-License-Identifier: GPL-3.0-or-later
// What the game asks of every view of a player's seat.
#pragma once

#include "engine/readingcontext.h"

#include <QString>

// A view of one player's seat: a player window on this PC, or a device in a
// browser. The game drives it through these calls and nothing else; the view
// shows what it is told, lets its player write and answer, and hands the
// answer back through its own signal or message. Board places run 1..36
// (place n shows pool entry n - 1); answer slots run 1..18.
class PlayerView
{
public:
    virtual ~PlayerView() = default;

    // Empty answer boxes, neutral feedback and no result text; then an empty
    // answer list, empty and usable board places, and scores "0" and "0".
    // Whether the player can write is left as it is.
    virtual void AllClear() = 0;
    // The player can neither write nor answer; everything shown stays.
    virtual void AllLock() = 0;
    // Empty answer boxes, neutral feedback and no result text; then the
    // player can write and answer again.
    virtual void AllUnLock() = 0;

    virtual void showBoardCharacter(int place, const QString &character) = 0;
    // A used place keeps its character but can no longer be used.
    virtual void disableBoardPlace(int place) = 0;
    virtual void showResult(const QString &text) = 0;
    // Feedback items: 0 correct or won, 1 wrong or lost, 2 neutral or draw.
    virtual void showFeedbackItem(int item) = 0;
    // Performs an item with the player's own feedback series.
    virtual void playFeedback(int item) = 0;
    virtual void showOwnScore(const QString &score) = 0;
    virtual void showOpponentScore(const QString &score) = 0;
    virtual void showAnswer(int slot, const QString &word) = 0;
    // What the seat's handwriting is read against: the characters still
    // free on the board and the words they make. Views without ink ignore it.
    virtual void setReadingContext(const ReadingContext &context) { Q_UNUSED(context); }
};
