// SPDX-License-Identifier: GPL-3.0-or-later
// The class host's command line.
#pragma once

#include "host/classsettings.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

//   taruvo-host [--state-dir DIR] [--address A] [--port N] [--words DIR]
//               [--trusted-proxy A,B] [--max-classes N] [--max-children N]
//               [--max-per-class N] [--recognizers N] [--new-teacher-key] [--help]
struct HostOptions
{
    static constexpr quint16 DefaultPort = 8800;

    QString stateDir;   // empty: the default (see defaultStateDir)
    QHostAddress address = QHostAddress::Any;
    quint16 port = DefaultPort;
    QString wordsDir;   // empty: "words" beside the program
    QList<QHostAddress> trustedProxies;
    HostLimits limits;
    int recognizers = defaultRecognizers();
    bool newTeacherKey = false;
    bool help = false;

    // The arguments as the program got them, its name first. False with
    // *error naming the first thing that cannot be read.
    static bool parse(const QStringList &arguments, HostOptions *options, QString *error);
    static QString usage();

    // One a core, at least one and at most four.
    static int defaultRecognizers();
    // $STATE_DIRECTORY when systemd gives one (the packaged service:
    // /var/lib/taruvo), else the user's data folder.
    static QString defaultStateDir();
};
