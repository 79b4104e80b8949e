// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for what the class host reads from the network: each line of
// the input is a children's page's message and a teacher's page's message,
// read and checked, with the invariants the host relies on; a name that
// passes is cleaned as a class does; each line is also a list's name a
// teacher gives, a path to a printed review, a route and a teacher's
// session cookie, and (its first byte the
// kind) a write queued for the results database; the whole input is also
// read as an uploaded word list.
#include "host/childname.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classroute.h"
#include "host/classwordlists.h"
#include "host/queuedwrite.h"
#include "host/teacherkey.h"
#include "hostweb/lobbymessage.h"
#include "hostweb/printpage.h"
#include "hostweb/teachermessage.h"

#include <QByteArray>
#include <cstdlib>

namespace {

void checkName(const QString &typed)
{
    QString why;
    const QString name = ChildName::clean(typed, &why);
    if (name.isEmpty() == why.isEmpty())
        std::abort(); // refused without a reason, or a reason for a name kept
    if (name.isEmpty())
        return;
    if (name.toUcs4().size() > ChildName::MaxLength || name.trimmed() != name)
        std::abort(); // longer than the bound, or blanks at the ends
    for (const uint c : name.toUcs4()) {
        const QChar::Category k = QChar::category(c);
        if (k == QChar::Other_Control || k == QChar::Other_Format || k == QChar::Other_Surrogate)
            std::abort(); // a character that is not text
    }
    if (ChildName::clean(name) != name)
        std::abort(); // cleaning twice changes it
}

void checkListName(const QString &typed)
{
    QString why;
    const QString name = ClassWordLists::checkName(typed, &why);
    if (name.isEmpty() == why.isEmpty())
        std::abort();
    if (name.isEmpty())
        return;
    if (name.toUcs4().size() > ClassWordLists::MaxNameLength || name.trimmed() != name)
        std::abort();
    // It becomes a file's name in the lists' folder: no way out of it.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('.'))
        || name.contains(QChar(0)))
        std::abort();
    if (ClassWordLists::checkName(name, nullptr) != name)
        std::abort();
}

void checkPrintPath(const QString &path)
{
    const QString prefix = QStringLiteral("/teacher/review/"), suffix = QStringLiteral(".html");
    const QList<qint64> ids = PrintPage::idsIn(path, prefix, suffix, 2);
    if (ids.isEmpty())
        return;
    if (ids.size() != 2)
        std::abort();
    for (qint64 id : ids) {
        if (id < 0 || id > 999999999999999)
            std::abort();
    }
    // Only the plain form passes (leading zeros aside).
    const QString again = prefix + QString::number(ids[0]) + u'-' + QString::number(ids[1]) + suffix;
    if (PrintPage::idsIn(again, prefix, suffix, 2) != ids)
        std::abort();
}

void checkQueuedWrite(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    QueuedWrite w;
    if (!QueuedWrite::decode(int(quint8(line[0])) % 16, line.mid(1), &w))
        return;
    if (!w.isWellFormed())
        std::abort();
    // What is read is what would be written again.
    QueuedWrite again;
    if (!QueuedWrite::decode(w.kind, w.encode(), &again) || again.values != w.values)
        std::abort();
}

// A route (?h=) and a teacher's session cookie as a browser may send them.
void checkRouteAndSession(const QByteArray &line)
{
    const QString text = QString::fromLatin1(line);
    const int route = ClassRoute::parse(text);
    if (route != -1 && (route < ClassRoute::Lowest || route > ClassRoute::Highest || ClassRoute::text(route) != text))
        std::abort(); // a route read that does not read back the same
    TeacherSessions sessions;
    sessions.setSecret(QByteArray(32, 'f'));
    // Nothing but a session the secret signed is good.
    if (sessions.valid(text, 1'800'000'000'000))
        std::abort();
    sessions.end(text, 1'800'000'000'000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n')) {
        const LobbyCommand l = LobbyMessage::parse(line);
        if ((l.kind == LobbyCommand::Invalid) == l.refusal.isEmpty())
            std::abort(); // refused without saying why, or a reason for a good one
        if (l.kind == LobbyCommand::Enter) {
            if ((l.code.size() != ClassHost::ClassCodeDigits
                 && l.code.size() != ClassHost::ClassCodeDigits + ClassRoute::Digits)
                || l.name.size() > LobbyMessage::MaxNameChars)
                std::abort();
            checkName(l.name);
        }
        if (l.kind == LobbyCommand::Back && l.token.size() != 32)
            std::abort();

        checkRouteAndSession(line);

        const TeacherCommand t = TeacherMessage::parse(line);
        if ((t.kind == TeacherCommand::Invalid) == t.refusal.isEmpty())
            std::abort();
        if (t.kind == TeacherCommand::Upload) {
            if (t.bytes.size() > TeacherMessage::MaxPartBytes || t.fileName.isEmpty() || t.fileName.size() > 100
                || t.fileName.contains(QLatin1Char('/')) || t.fileName.contains(QLatin1Char('\\')))
                std::abort(); // a part too large, or a name with a path
        }
        if (t.kind == TeacherCommand::Create) {
            const ClassSettings &s = t.settings;
            if (s.timeLimitSeconds < Rules::TimeLimitMin || s.timeLimitSeconds > Rules::TimeLimitMax
                || s.answerLimit < Rules::AnswerLimitMin || s.answerLimit > Rules::AnswerLimitMax)
                std::abort(); // limits beyond the console panel's ranges
            if (!t.upload && (s.listName.isEmpty() || s.listName.size() > 100))
                std::abort();
            QString why;
            if (!s.check(&why) && why.isEmpty())
                std::abort();
        }
        if (t.kind == TeacherCommand::MakeList || t.kind == TeacherCommand::SaveList) {
            if (t.grades.size() > ClassListMaker::Grades || t.kanji.size() > ClassListMaker::MaxPastedCharacters)
                std::abort();
            for (int g : t.grades) {
                if (g < 1 || g > ClassListMaker::Grades)
                    std::abort();
            }
        }
        if ((t.kind == TeacherCommand::SaveList || t.kind == TeacherCommand::DeleteList)
            && t.listName.size() > 4 * ClassWordLists::MaxNameLength)
            std::abort();
        const QString text = QString::fromUtf8(line);
        checkListName(text);
        checkPrintPath(text);
        checkQueuedWrite(line);
    }
    const WordListFile upload = ClassWordLists::readUpload(bytes);
    if (upload.ok == !upload.error.isEmpty())
        std::abort();
    if (upload.ok) {
        for (qsizetype i = 0; i < upload.words.size() && i < 1000; ++i) {
            if (WordList::characterCount(upload.words.at(i)) != 2)
                std::abort();
        }
    }
    return 0;
}
