// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatoptions.h"

#include "common/wapiset.h"

#include <QCommandLineParser>

bool SeatOptions::parsePlayers(const QString &text, QList<int16_t> *players)
{
    QList<int16_t> found;
    const QString t = text.trimmed().toLower();
    if (t.isEmpty() || t == QLatin1String("0") || t == QLatin1String("off") || t == QLatin1String("none")) {
        *players = found;
        return true;
    }
    for (QChar c : t) {
        if (c == QLatin1Char('1') || c == QLatin1Char('2')) {
            const int16_t p = int16_t(c.unicode() - '0');
            if (!found.contains(p))
                found.append(p);
        } else if (c != QLatin1Char(',') && c != QLatin1Char(' ')) {
            return false;
        }
    }
    if (found.isEmpty())
        return false;
    std::sort(found.begin(), found.end());
    *players = found;
    return true;
}

bool SeatOptions::parsePort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

bool SeatOptions::parseAddress(const QString &text, QHostAddress *address)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("*")) {
        *address = QHostAddress::Any;
        return true;
    }
    QHostAddress a;
    if (!a.setAddress(t))
        return false;
    *address = a;
    return true;
}

SeatOptions SeatOptions::read(WAPISET &settings, const QStringList &arguments, QStringList *problems)
{
    SeatOptions o;
    auto problem = [problems](const QString &what) {
        if (problems)
            problems->append(what);
    };
    auto setting = [&settings](const char *key) {
        settings.ReadSetting(QStringLiteral("Taruvo"), QString::fromLatin1(key), QString());
        return settings.SettingValue();
    };

    struct Source { QString seats, port, address; const char *from; };
    Source ini{setting("NetSeats"), setting("NetSeatPort"), setting("NetSeatAddress"), "Taruvo.ini"};

    QCommandLineParser parser;
    const QCommandLineOption seats(QStringLiteral("seats"), QString(), QStringLiteral("players"));
    const QCommandLineOption port(QStringLiteral("seat-port"), QString(), QStringLiteral("port"));
    const QCommandLineOption address(QStringLiteral("seat-address"), QString(), QStringLiteral("address"));
    parser.addOptions({seats, port, address});
    // Other arguments are not ours to judge.
    parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("taruvo")} : arguments);
    Source line{parser.value(seats), parser.value(port), parser.value(address), "the command line"};

    for (const Source *s : {&ini, &line}) {
        const bool fromLine = s == &line;
        if (!fromLine || parser.isSet(seats)) {
            if (!parsePlayers(s->seats, &o.players))
                problem(QStringLiteral("seats \"%1\" from %2: not 1, 2, 1,2 or off").arg(s->seats, s->from));
        }
        if ((!fromLine && !s->port.isEmpty()) || (fromLine && parser.isSet(port))) {
            if (!parsePort(s->port, &o.port))
                problem(QStringLiteral("seat port \"%1\" from %2: not a port").arg(s->port, s->from));
        }
        if (!fromLine || parser.isSet(address)) {
            if (!parseAddress(s->address, &o.address))
                problem(QStringLiteral("seat address \"%1\" from %2: not an address").arg(s->address, s->from));
        }
    }
    return o;
}
