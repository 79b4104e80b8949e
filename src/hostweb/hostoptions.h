// SPDX-License-Identifier: GPL-3.0-or-later
// The class host's command line.
#pragma once

#include "host/classsettings.h"
#include "host/resultsstore.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

//   taruvo-host [--state-dir DIR] [--address A] [--port N] [--words DIR]
//               [--trusted-proxy A,B] [--max-classes N] [--max-children N]
//               [--max-per-class N] [--recognizers N] [--new-teacher-key] [--help]
//               [--postgresql SERVER [--pg-port N] [--pg-database NAME] [--pg-user NAME]
//                [--pg-password-file FILE] [--host-name NAME]]
//               [--route NN] [--session-secret-file FILE] [--teacher-key-file FILE]
//               [--drain-seconds N]
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
    // The results in PostgreSQL when database.server is given; the
    // password is read from passwordFile or $TARUVO_PG_PASSWORD, never
    // given on the command line.
    ResultsDatabase database;
    QString passwordFile;
    bool hostNameGiven = false;
    // Behind a proxy: this host's route (1 to 99; 0: none), the secret
    // that signs teachers' sessions on every host, the key's hash shared
    // by them (empty: teacher-key in the state folder), and how long a
    // stopping host answers 503 to the proxy's checks before it ends.
    int route = 0;
    QString sessionSecretFile;
    QString teacherKeyFile;
    int drainSeconds = 0;
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
