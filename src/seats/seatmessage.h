// SPDX-License-Identifier: GPL-3.0-or-later
// The messages a seat's page sends, read and checked.
#pragma once

#include "engine/ink.h"

#include <QByteArray>
#include <QString>

// One message of a page, checked: anything that is not exactly a known
// command with fields of the right type and range comes back as Invalid with
// a one-line reason, so that the sender can be told what was wrong.
//
//   {"t":"join","code":"123456","token":"<32 hex digits>"}   token optional
//   {"t":"stroke","box":0,"e":3,"pts":[x,y,x,y,...]}         0 <= x,y <= 1000
//   {"t":"undo","box":1}
//   {"t":"pick","box":0,"i":2}
//   {"t":"recognize"}  {"t":"erase"}  {"t":"answer"}  {"t":"ping"}
//
// Every command may carry "id", a whole number the page counts up; the seat
// acknowledges the last one it has dealt with.
struct SeatCommand
{
    enum Kind { Invalid, Join, Stroke, Undo, Pick, Recognize, Erase, Answer, Ping };

    Kind kind = Invalid;
    qint64 id = -1;  // -1: none given
    int box = -1;    // Stroke, Undo, Pick
    int index = -1;  // Pick
    quint32 epoch = 0; // Stroke: the box's epoch the page wrote in
    ::Stroke points; // Stroke
    QString code;    // Join
    QString token;   // Join; empty when none
    QString refusal; // Invalid: why
};

namespace SeatMessage {

// Larger messages are refused before they are read.
constexpr int MaxBytes = 32 * 1024;
constexpr int CodeLength = 6;
constexpr int TokenLength = 32;

SeatCommand parse(const QByteArray &utf8);

} // namespace SeatMessage
