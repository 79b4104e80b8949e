// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostoptions.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>

namespace {

bool number(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high)
        return false;
    *out = n;
    return true;
}

} // namespace

QString HostOptions::usage()
{
    return QStringLiteral(
        "Usage: taruvo-host [options]\n"
        "Serves class games of Taruvo to the browsers of a class: the teacher's page at /teacher/,\n"
        "the children's page at /.\n"
        "\n"
        "  --state-dir DIR      where the results, the teacher key's hash live\n"
        "                       (default: $STATE_DIRECTORY, else %1)\n"
        "  --address A          the address listened on (default: every address)\n"
        "  --port N             the port (default: %2)\n"
        "  --words DIR          the folder of word lists to choose from (default: words beside the program)\n"
        "  --trusted-proxy A,B  reverse proxies whose X-Forwarded-For and X-Forwarded-Proto are believed\n"
        "  --max-classes N      class games open at once, at most %7: each is a code to guess (default: %3)\n"
        "  --max-children N     children in all open class games (default: %4)\n"
        "  --max-per-class N    children in one class game (default: %5)\n"
        "  --recognizers N      handwriting recognisers reading at once, each with its models (default: %6)\n"
        "  --postgresql SERVER  keep the results in PostgreSQL on SERVER (a host name, an address or the\n"
        "                       folder of its Unix socket), shared with other hosts; queued in the state\n"
        "                       folder while it cannot be reached\n"
        "  --pg-port N          its port (default: 5432)\n"
        "  --pg-database NAME   its database (default: taruvo)\n"
        "  --pg-user NAME       its user (default: taruvo)\n"
        "  --pg-password-file FILE  the password, in a file; else $TARUVO_PG_PASSWORD, else PostgreSQL's\n"
        "                       own PGPASSWORD or ~/.pgpass (a password is never given on the command line)\n"
        "  --host-name NAME     this host among those sharing the database (default: a name made at the\n"
        "                       first start and kept in the state folder)\n"
        "  --route NN           behind a proxy: this host's route, 1 to 99; its class codes begin with it\n"
        "                       and the proxy sends every address with ?h=NN here\n"
        "  --session-secret-file FILE  a secret (at least 32 bytes) the hosts behind one proxy share:\n"
        "                       a teacher's session is then good on each of them\n"
        "  --teacher-key-file FILE  the teacher key's hash (default: teacher-key in the state folder)\n"
        "  --drain-seconds N    once told to stop, answer /health with 503 for N seconds before ending,\n"
        "                       so that the proxy sends nothing new here (default: 0)\n"
        "  --new-teacher-key    make a new teacher key, show it once and end\n"
        "  --help               this text\n")
        .arg(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/taruvo-host"))
        .arg(DefaultPort)
        .arg(HostLimits().classes)
        .arg(HostLimits().children)
        .arg(HostLimits().childrenPerClass)
        .arg(defaultRecognizers())
        .arg(HostLimits::MaxClasses);
}

int HostOptions::defaultRecognizers()
{
    return qBound(1, QThread::idealThreadCount(), 4);
}

QString HostOptions::defaultStateDir()
{
    // systemd may give several, separated by colons: the first is ours.
    const QString given = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!given.isEmpty())
        return given;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/taruvo-host");
}

bool HostOptions::parse(const QStringList &arguments, HostOptions *o, QString *error)
{
    auto fail = [error](const QString &why) {
        *error = why;
        return false;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        QString name = arg, value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            name = arg.section(QLatin1Char('='), 0, 0);
            value = arg.section(QLatin1Char('='), 1);
            inlineValue = true;
        }
        auto next = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments.at(++i);
            return true;
        };
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o->help = true;
        } else if (name == QLatin1String("--new-teacher-key")) {
            o->newTeacherKey = true;
        } else if (name == QLatin1String("--state-dir")) {
            if (!next() || value.isEmpty())
                return fail(QStringLiteral("--state-dir needs a folder"));
            o->stateDir = value;
        } else if (name == QLatin1String("--words")) {
            if (!next() || value.isEmpty())
                return fail(QStringLiteral("--words needs a folder"));
            o->wordsDir = value;
        } else if (name == QLatin1String("--address")) {
            if (!next())
                return fail(QStringLiteral("--address needs an address"));
            if (value.isEmpty() || value == QLatin1String("*")) {
                o->address = QHostAddress::Any;
            } else {
                QHostAddress a(value);
                if (a.isNull())
                    return fail(QStringLiteral("--address: %1 is not an IP address").arg(value));
                o->address = a;
            }
        } else if (name == QLatin1String("--port")) {
            int port = 0;
            if (!next() || !number(value, 0, 65535, &port))
                return fail(QStringLiteral("--port needs a number from 0 to 65535 (0: any free port)"));
            o->port = quint16(port);
        } else if (name == QLatin1String("--trusted-proxy")) {
            if (!next())
                return fail(QStringLiteral("--trusted-proxy needs addresses"));
            for (const QString &part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                QHostAddress a(part.trimmed());
                if (a.isNull())
                    return fail(QStringLiteral("--trusted-proxy: %1 is not an IP address").arg(part));
                o->trustedProxies.append(a);
            }
        } else if (name == QLatin1String("--max-classes")) {
            if (!next() || !number(value, 1, HostLimits::MaxClasses, &o->limits.classes))
                return fail(QStringLiteral("--max-classes needs a number from 1 to %1").arg(HostLimits::MaxClasses));
        } else if (name == QLatin1String("--max-children")) {
            if (!next() || !number(value, 1, 5000, &o->limits.children))
                return fail(QStringLiteral("--max-children needs a number from 1 to 5000"));
        } else if (name == QLatin1String("--recognizers")) {
            if (!next() || !number(value, 1, 16, &o->recognizers))
                return fail(QStringLiteral("--recognizers needs a number from 1 to 16"));
        } else if (name == QLatin1String("--max-per-class")) {
            if (!next() || !number(value, 1, 500, &o->limits.childrenPerClass))
                return fail(QStringLiteral("--max-per-class needs a number from 1 to 500"));
        } else if (name == QLatin1String("--postgresql")) {
            if (!next() || value.isEmpty())
                return fail(QStringLiteral("--postgresql needs a server: a host name, an address or a socket folder"));
            o->database.server = value;
        } else if (name == QLatin1String("--pg-port")) {
            if (!next() || !number(value, 1, 65535, &o->database.port))
                return fail(QStringLiteral("--pg-port needs a number from 1 to 65535"));
        } else if (name == QLatin1String("--pg-database") || name == QLatin1String("--pg-user")
                   || name == QLatin1String("--host-name")) {
            if (!next() || value.isEmpty() || value.size() > 200)
                return fail(QStringLiteral("%1 needs a name of at most 200 characters").arg(name));
            if (name == QLatin1String("--pg-database"))
                o->database.name = value;
            else if (name == QLatin1String("--pg-user"))
                o->database.user = value;
            else
                o->database.hostName = value;
            o->hostNameGiven = o->hostNameGiven || name == QLatin1String("--host-name");
        } else if (name == QLatin1String("--pg-password-file")) {
            if (!next() || value.isEmpty())
                return fail(QStringLiteral("--pg-password-file needs a file"));
            o->passwordFile = value;
        } else if (name == QLatin1String("--route")) {
            if (!next() || !number(value, 1, 99, &o->route))
                return fail(QStringLiteral("--route needs a number from 1 to 99"));
        } else if (name == QLatin1String("--drain-seconds")) {
            if (!next() || !number(value, 0, 600, &o->drainSeconds))
                return fail(QStringLiteral("--drain-seconds needs a number from 0 to 600"));
        } else if (name == QLatin1String("--session-secret-file") || name == QLatin1String("--teacher-key-file")) {
            if (!next() || value.isEmpty())
                return fail(QStringLiteral("%1 needs a file").arg(name));
            (name == QLatin1String("--teacher-key-file") ? o->teacherKeyFile : o->sessionSecretFile) = value;
        } else if (name == QLatin1String("--pg-password")) {
            // Anyone on the machine can read a command line.
            return fail(QStringLiteral("a password is never given on the command line: use --pg-password-file FILE"
                                       " or $TARUVO_PG_PASSWORD"));
        } else {
            return fail(QStringLiteral("unknown option %1 (see --help)").arg(arg));
        }
    }
    const bool pgOnly = !o->passwordFile.isEmpty() || o->database.port != ResultsDatabase().port
                        || o->database.name != ResultsDatabase().name || o->database.user != ResultsDatabase().user;
    if (pgOnly && !o->database.isShared())
        return fail(QStringLiteral("the --pg-... options need --postgresql SERVER"));
    return true;
}
