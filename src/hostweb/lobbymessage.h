// SPDX-License-Identifier: GPL-3.0-or-later
// What a child's class page sends, read and checked.
#pragma once

#include <QByteArray>
#include <QString>

// One message of a class page, checked; anything else comes back as
// Invalid with a one-line reason.
//
//   {"t":"enter","code":"12345678","name":"たろう"} code: the class code, digits only
//                                                  (ten behind a proxy: the route first)
//   {"t":"back","token":"<32 hex digits>"}          a device that entered before
//   {"t":"ping"}
struct LobbyCommand
{
    enum Kind { Invalid, Enter, Back, Ping };

    Kind kind = Invalid;
    QString code;
    QString name;    // as typed; the class cleans it
    QString token;
    QString refusal; // Invalid: why
};

namespace LobbyMessage {

constexpr int MaxBytes = 1024;
constexpr int MaxNameChars = 64; // what the class is shown at all

LobbyCommand parse(const QByteArray &utf8);

} // namespace LobbyMessage
