// SPDX-License-Identifier: GPL-3.0-or-later
#include "lobbymessage.h"

#include "host/classhost.h"
#include "host/classroute.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

namespace {

LobbyCommand refused(const QString &why)
{
    LobbyCommand c;
    c.refusal = why;
    return c;
}

bool onlyOf(const QString &text, const char *allowed)
{
    for (QChar c : text) {
        if (c.unicode() > 127 || !std::strchr(allowed, char(c.unicode())))
            return false;
    }
    return true;
}

} // namespace

namespace LobbyMessage {

LobbyCommand parse(const QByteArray &utf8)
{
    if (utf8.size() > MaxBytes)
        return refused(QStringLiteral("message too large (at most %1 bytes)").arg(MaxBytes));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return refused(QStringLiteral("a message must be a JSON object"));
    const QJsonObject o = doc.object();
    const QString t = o.value(QLatin1String("t")).toString();
    LobbyCommand c;
    if (t == QLatin1String("enter")) {
        const QJsonValue code = o.value(QLatin1String("code"));
        const QJsonValue name = o.value(QLatin1String("name"));
        const qsizetype digits = code.toString().size();
        if (!code.isString()
            || (digits != ClassHost::ClassCodeDigits && digits != ClassHost::ClassCodeDigits + ClassRoute::Digits)
            || !onlyOf(code.toString(), "0123456789"))
            return refused(QStringLiteral("\"code\" must be %1 digits, or %2 behind a proxy")
                               .arg(ClassHost::ClassCodeDigits)
                               .arg(ClassHost::ClassCodeDigits + ClassRoute::Digits));
        if (!name.isString() || name.toString().size() > MaxNameChars)
            return refused(QStringLiteral("\"name\" must be a string of at most %1 characters").arg(MaxNameChars));
        c.kind = LobbyCommand::Enter;
        c.code = code.toString();
        c.name = name.toString();
    } else if (t == QLatin1String("back")) {
        const QJsonValue token = o.value(QLatin1String("token"));
        if (!token.isString() || token.toString().size() != 32 || !onlyOf(token.toString(), "0123456789abcdef"))
            return refused(QStringLiteral("\"token\" must be 32 lower-case hex digits"));
        c.kind = LobbyCommand::Back;
        c.token = token.toString();
    } else if (t == QLatin1String("ping")) {
        c.kind = LobbyCommand::Ping;
    } else {
        return refused(QStringLiteral("unknown command"));
    }
    return c;
}

} // namespace LobbyMessage
