// SPDX-License-Identifier: GPL-3.0-or-later
// Whether and where the console serves seats to browsers.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <cstdint>

class WAPISET;

// Read from Taruvo.ini, section [Taruvo]:
//   NetSeats=1,2         the players whose seats a browser may take; empty
//                        or 0: none (the default)
//   NetSeatPort=8700     the first port tried; the next free one is taken
//   NetSeatAddress=      the address listened on; empty: every address
// and overridden by the command line: --seats 1,2 (or off), --seat-port N,
// --seat-address A.
struct SeatOptions
{
    static constexpr quint16 DefaultPort = 8700;

    QList<int16_t> players;
    QHostAddress address = QHostAddress::Any;
    quint16 port = DefaultPort;

    bool enabled() const { return !players.isEmpty(); }

    // What the settings file and the arguments (as the program got them,
    // program name first) say. Values that cannot be read keep the
    // defaults and are named in *problems.
    static SeatOptions read(WAPISET &settings, const QStringList &arguments, QStringList *problems = nullptr);

    // "1,2", "2", "12", "1 2": the players named; "", "0", "off": none.
    // False for anything else.
    static bool parsePlayers(const QString &text, QList<int16_t> *players);
    static bool parsePort(const QString &text, quint16 *port);
    // Empty or "*" listen everywhere.
    static bool parseAddress(const QString &text, QHostAddress *address);
};
