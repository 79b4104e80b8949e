// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatmessage.h"

#include "seats/seatbox.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>

namespace {

// The largest whole number a double holds exactly.
constexpr double MaxWhole = 9007199254740992.0;

SeatCommand refused(const QString &why, qint64 id = -1)
{
    SeatCommand c;
    c.id = id;
    c.refusal = why;
    return c;
}

bool wholeNumber(const QJsonValue &v, double low, double high, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < low || d > high)
        return false;
    *out = qint64(d);
    return true;
}

bool onlyOf(const QString &text, const char *allowed)
{
    for (QChar c : text) {
        if (c.unicode() > 127 || !std::strchr(allowed, char(c.unicode())))
            return false;
    }
    return true;
}

// A name the sender chose, safe to quote back in a refusal.
QString quoted(const QString &name)
{
    QString out;
    for (QChar c : name.left(24))
        out += c.isPrint() ? c : QChar(u'?');
    return out;
}

} // namespace

namespace SeatMessage {

SeatCommand parse(const QByteArray &utf8)
{
    if (utf8.size() > MaxBytes)
        return refused(QStringLiteral("message too large (at most %1 bytes)").arg(MaxBytes));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError)
        return refused(QStringLiteral("not JSON: ") + error.errorString());
    if (!doc.isObject())
        return refused(QStringLiteral("a message must be a JSON object"));
    const QJsonObject o = doc.object();

    const QJsonValue t = o.value(QLatin1String("t"));
    if (!t.isString())
        return refused(QStringLiteral("no command: \"t\" must be a string"));
    const QString name = t.toString();

    SeatCommand c;
    if (o.contains(QLatin1String("id")) && !wholeNumber(o.value(QLatin1String("id")), 0, MaxWhole, &c.id))
        return refused(QStringLiteral("\"id\" must be a whole number from 0"));

    auto readBox = [&o, &c]() {
        qint64 box = -1;
        if (!wholeNumber(o.value(QLatin1String("box")), 0, 1, &box))
            return false;
        c.box = int(box);
        return true;
    };
    const QString badBox = QStringLiteral("\"box\" must be 0 or 1");

    if (name == QLatin1String("join")) {
        const QJsonValue code = o.value(QLatin1String("code"));
        if (!code.isString() || code.toString().isEmpty() || code.toString().size() > 16
            || !onlyOf(code.toString(), "0123456789"))
            return refused(QStringLiteral("\"code\" must be a string of digits"), c.id);
        c.code = code.toString();
        if (o.contains(QLatin1String("token"))) {
            const QJsonValue token = o.value(QLatin1String("token"));
            if (!token.isString() || token.toString().size() != TokenLength
                || !onlyOf(token.toString(), "0123456789abcdef"))
                return refused(QStringLiteral("\"token\" must be %1 lower-case hex digits").arg(TokenLength), c.id);
            c.token = token.toString();
        }
        c.kind = SeatCommand::Join;
    } else if (name == QLatin1String("stroke")) {
        if (!readBox())
            return refused(badBox, c.id);
        qint64 epoch = 0;
        if (!wholeNumber(o.value(QLatin1String("e")), 0, 4294967295.0, &epoch))
            return refused(QStringLiteral("\"e\" must be a whole number from 0"), c.id);
        c.epoch = quint32(epoch);
        const QJsonValue pts = o.value(QLatin1String("pts"));
        if (!pts.isArray())
            return refused(QStringLiteral("\"pts\" must be an array of numbers"), c.id);
        const QJsonArray a = pts.toArray();
        if (a.isEmpty() || a.size() % 2 != 0)
            return refused(QStringLiteral("\"pts\" must hold x, y pairs"), c.id);
        if (a.size() / 2 > SeatBox::MaxPoints)
            return refused(QStringLiteral("too many points in a stroke (at most %1)").arg(SeatBox::MaxPoints), c.id);
        c.points.reserve(a.size() / 2);
        for (qsizetype i = 0; i < a.size(); i += 2) {
            const QJsonValue x = a.at(i), y = a.at(i + 1);
            if (!x.isDouble() || !y.isDouble())
                return refused(QStringLiteral("\"pts\" must be an array of numbers"), c.id);
            const double px = x.toDouble(), py = y.toDouble();
            if (!(px >= 0 && px <= SeatBox::Canvas && py >= 0 && py <= SeatBox::Canvas))
                return refused(QStringLiteral("coordinates must lie from 0 to %1").arg(SeatBox::Canvas), c.id);
            c.points.append(QPointF(px, py));
        }
        c.kind = SeatCommand::Stroke;
    } else if (name == QLatin1String("undo")) {
        if (!readBox())
            return refused(badBox, c.id);
        c.kind = SeatCommand::Undo;
    } else if (name == QLatin1String("pick")) {
        if (!readBox())
            return refused(badBox, c.id);
        qint64 index = -1;
        if (!wholeNumber(o.value(QLatin1String("i")), 0, SeatBox::ShownCandidates - 1, &index))
            return refused(QStringLiteral("\"i\" must be a candidate from 0 to %1").arg(SeatBox::ShownCandidates - 1), c.id);
        c.index = int(index);
        c.kind = SeatCommand::Pick;
    } else if (name == QLatin1String("recognize")) {
        c.kind = SeatCommand::Recognize;
    } else if (name == QLatin1String("erase")) {
        c.kind = SeatCommand::Erase;
    } else if (name == QLatin1String("answer")) {
        c.kind = SeatCommand::Answer;
    } else if (name == QLatin1String("ping")) {
        c.kind = SeatCommand::Ping;
    } else {
        return refused(QStringLiteral("unknown command \"%1\"").arg(quoted(name)), c.id);
    }
    return c;
}

} // namespace SeatMessage
