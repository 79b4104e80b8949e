// SPDX-License-Identifier: GPL-3.0-or-later
#include "teachermessage.h"

#include "host/classlistmaker.h"
#include "host/classwordlists.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

constexpr double MaxWhole = 9007199254740992.0;

TeacherCommand refused(const QString &why, qint64 id = -1)
{
    TeacherCommand c;
    c.id = id;
    c.refusal = why;
    return c;
}

bool whole(const QJsonValue &v, double low, double high, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < low || d > high)
        return false;
    *out = qint64(d);
    return true;
}

} // namespace

namespace TeacherMessage {

TeacherCommand parse(const QByteArray &utf8)
{
    if (utf8.size() > MaxBytes)
        return refused(QStringLiteral("message too large (at most %1 bytes)").arg(MaxBytes));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return refused(QStringLiteral("a message must be a JSON object"));
    const QJsonObject o = doc.object();
    TeacherCommand c;
    if (o.contains(QLatin1String("id")) && !whole(o.value(QLatin1String("id")), 0, MaxWhole, &c.id))
        return refused(QStringLiteral("\"id\" must be a whole number from 0"));
    const QString t = o.value(QLatin1String("t")).toString();

    auto number = [&o](const char *field, double low, double high, qint64 *out) {
        return whole(o.value(QLatin1String(field)), low, high, out);
    };
    auto flag = [&o](const char *field, bool *out) {
        const QJsonValue v = o.value(QLatin1String(field));
        if (!v.isBool())
            return false;
        *out = v.toBool();
        return true;
    };
    const auto needClass = [&]() { return number("class", 1, MaxWhole, &c.classId); };
    const QString badClass = QStringLiteral("\"class\" must be a class game's number");

    if (t == QLatin1String("login")) {
        const QJsonValue key = o.value(QLatin1String("key"));
        if (!key.isString() || key.toString().size() > 100)
            return refused(QStringLiteral("\"key\" must be a string"), c.id);
        c.key = key.toString();
        c.kind = TeacherCommand::Login;
    } else if (t == QLatin1String("create")) {
        ClassSettings &s = c.settings;
        const QJsonValue name = o.value(QLatin1String("name"));
        if (!name.isString() || name.toString().size() > 4 * ClassSettings::MaxNameLength)
            return refused(QStringLiteral("\"name\" must be a string"), c.id);
        s.name = name.toString();
        qint64 time = 0, answers = 0;
        if (!flag("timeOn", &s.timeLimitOn) || !number("time", Rules::TimeLimitMin, Rules::TimeLimitMax, &time))
            return refused(QStringLiteral("the time limit is %1 to %2 seconds").arg(Rules::TimeLimitMin).arg(Rules::TimeLimitMax), c.id);
        if (!flag("answersOn", &s.answerLimitOn) || !number("answers", Rules::AnswerLimitMin, Rules::AnswerLimitMax, &answers))
            return refused(QStringLiteral("the answer limit is %1 to %2").arg(Rules::AnswerLimitMin).arg(Rules::AnswerLimitMax), c.id);
        s.timeLimitSeconds = int(time);
        s.answerLimit = int(answers);
        const QJsonValue list = o.value(QLatin1String("list"));
        const QJsonValue upload = o.value(QLatin1String("upload"));
        if (list.isString() && upload.isUndefined()) {
            if (list.toString().isEmpty() || list.toString().size() > 100)
                return refused(QStringLiteral("\"list\" must name a word list"), c.id);
            s.listName = list.toString();
            const QJsonValue saved = o.value(QLatin1String("saved"));
            if (!saved.isUndefined() && !saved.isBool())
                return refused(QStringLiteral("\"saved\" must be true or false"), c.id);
            c.saved = saved.toBool();
        } else if (upload.isBool() && upload.toBool() && list.isUndefined()) {
            c.upload = true;
        } else {
            return refused(QStringLiteral("give either \"list\" or \"upload\": true"), c.id);
        }
        c.kind = TeacherCommand::Create;
    } else if (t == QLatin1String("upload")) {
        const QJsonValue file = o.value(QLatin1String("name"));
        const QJsonValue data = o.value(QLatin1String("data"));
        qint64 part = 0;
        if (!file.isString() || file.toString().isEmpty() || file.toString().size() > 400)
            return refused(QStringLiteral("\"name\" must be the file's name"), c.id);
        if (!number("part", 0, 1000, &part) || !flag("last", &c.last))
            return refused(QStringLiteral("\"part\" must be a number from 0 and \"last\" true or false"), c.id);
        if (!data.isString() || data.toString().size() > (MaxPartBytes + 2) / 3 * 4)
            return refused(QStringLiteral("\"data\" must be base64 of at most %1 bytes").arg(MaxPartBytes), c.id);
        const auto decoded = QByteArray::fromBase64Encoding(data.toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return refused(QStringLiteral("\"data\" is not base64"), c.id);
        // Only the file's own name, whatever path the browser gave.
        QString shown = file.toString().section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
        shown.removeIf([](QChar ch) {
            return ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format;
        });
        c.fileName = shown.trimmed().left(100);
        if (c.fileName.isEmpty())
            c.fileName = QStringLiteral("upload.txt");
        c.part = int(part);
        c.bytes = *decoded;
        c.kind = TeacherCommand::Upload;
    } else if (t == QLatin1String("pair")) {
        if (!needClass())
            return refused(badClass, c.id);
        if (!flag("shuffle", &c.shuffle))
            return refused(QStringLiteral("\"shuffle\" must be true or false"), c.id);
        c.kind = TeacherCommand::Pair;
    } else if (t == QLatin1String("swap")) {
        if (!needClass())
            return refused(badClass, c.id);
        if (!number("a", 1, MaxWhole, &c.a) || !number("b", 1, MaxWhole, &c.b))
            return refused(QStringLiteral("\"a\" and \"b\" must be children's numbers"), c.id);
        c.kind = TeacherCommand::Swap;
    } else if (t == QLatin1String("remove")) {
        if (!needClass())
            return refused(badClass, c.id);
        if (!number("child", 1, MaxWhole, &c.child))
            return refused(QStringLiteral("\"child\" must be a child's number"), c.id);
        c.kind = TeacherCommand::Remove;
    } else if (t == QLatin1String("start")) {
        if (!needClass())
            return refused(badClass, c.id);
        if (!flag("oneDeal", &c.oneDeal))
            return refused(QStringLiteral("\"oneDeal\" must be true or false"), c.id);
        c.kind = TeacherCommand::Start;
    } else if (t == QLatin1String("end") || t == QLatin1String("release") || t == QLatin1String("close")) {
        if (!needClass())
            return refused(badClass, c.id);
        c.kind = t == QLatin1String("end")       ? TeacherCommand::End
                 : t == QLatin1String("release") ? TeacherCommand::Release
                                                 : TeacherCommand::Close;
    } else if (t == QLatin1String("results") || t == QLatin1String("delete")) {
        if (!number("game", 1, MaxWhole, &c.gameId))
            return refused(QStringLiteral("\"game\" must be a class game's number"), c.id);
        c.kind = t == QLatin1String("results") ? TeacherCommand::Results : TeacherCommand::Delete;
    } else if (t == QLatin1String("makelist") || t == QLatin1String("savelist")) {
        const QJsonValue grades = o.value(QLatin1String("grades"));
        const QJsonValue kanji = o.value(QLatin1String("kanji"));
        if (!grades.isArray() || grades.toArray().size() > ClassListMaker::Grades)
            return refused(QStringLiteral("\"grades\" must be a list of school grades"), c.id);
        for (const QJsonValue &g : grades.toArray()) {
            qint64 grade = 0;
            if (!whole(g, 1, ClassListMaker::Grades, &grade))
                return refused(QStringLiteral("school grades are 1 to %1").arg(ClassListMaker::Grades), c.id);
            c.grades.insert(int(grade));
        }
        if (!kanji.isString() || kanji.toString().size() > ClassListMaker::MaxPastedCharacters)
            return refused(QStringLiteral("\"kanji\" must be text of at most %1 characters")
                               .arg(ClassListMaker::MaxPastedCharacters),
                           c.id);
        c.kanji = kanji.toString();
        c.kind = TeacherCommand::MakeList;
        if (t == QLatin1String("savelist")) {
            const QJsonValue name = o.value(QLatin1String("name"));
            const QJsonValue replace = o.value(QLatin1String("replace"));
            if (!name.isString() || name.toString().size() > 4 * ClassWordLists::MaxNameLength)
                return refused(QStringLiteral("\"name\" must be the list's name"), c.id);
            if (!replace.isUndefined() && !replace.isBool())
                return refused(QStringLiteral("\"replace\" must be true or false"), c.id);
            c.listName = name.toString();
            c.replace = replace.toBool();
            c.kind = TeacherCommand::SaveList;
        }
    } else if (t == QLatin1String("deletelist")) {
        const QJsonValue name = o.value(QLatin1String("name"));
        if (!name.isString() || name.toString().size() > 4 * ClassWordLists::MaxNameLength)
            return refused(QStringLiteral("\"name\" must be the list's name"), c.id);
        c.listName = name.toString();
        c.kind = TeacherCommand::DeleteList;
    } else if (t == QLatin1String("past")) {
        c.kind = TeacherCommand::Past;
    } else if (t == QLatin1String("logout")) {
        c.kind = TeacherCommand::Logout;
    } else if (t == QLatin1String("ping")) {
        c.kind = TeacherCommand::Ping;
    } else {
        return refused(QStringLiteral("unknown command"), c.id);
    }
    return c;
}

} // namespace TeacherMessage
