// SPDX-License-Identifier: GPL-3.0-or-later
#include "classwordlists.h"

#include "common/rules.h"
#include "common/textdecode.h"
#include "learning/listbuilder.h"

#include <QDir>
#include <QFile>
#include <QPromise>
#include <memory>

namespace {

QFuture<WordListFile> refusedRead(const QString &why)
{
    QPromise<WordListFile> refused;
    refused.start();
    WordListFile r;
    r.error = why;
    refused.addResult(r);
    refused.finish();
    return refused.future();
}

} // namespace

ClassWordLists::ClassWordLists(const QString &folder, const QString &saved)
    : m_folder(folder)
    , m_saved(saved)
{
    m_reads.setMaxThreadCount(1);
}

ClassWordLists::~ClassWordLists()
{
    m_reads.waitForDone();
}

QStringList ClassWordLists::bundled() const
{
    QStringList names = QDir(m_folder).entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Readable, QDir::Name);
    names.removeIf([](const QString &n) { return n.startsWith(QLatin1Char('.')); });
    return names;
}

QFuture<WordListFile> ClassWordLists::readBundled(const QString &name)
{
    if (!bundled().contains(name))
        return refusedRead(QStringLiteral("no word list named %1").arg(name.left(100)));
    return read(QDir(m_folder).filePath(name));
}

QFuture<WordListFile> ClassWordLists::read(const QString &path)
{
    // Each read to its end: two teachers may create class games at once.
    auto promise = std::make_shared<QPromise<WordListFile>>();
    QFuture<WordListFile> future = promise->future();
    promise->start();
    m_reads.start([promise, path] {
        promise->addResult(readWordListFile(path));
        promise->finish();
    });
    return future;
}

QStringList ClassWordLists::saved() const
{
    if (m_saved.isEmpty())
        return {};
    QStringList names = QDir(m_saved).entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Readable, QDir::Name);
    QStringList out;
    for (const QString &n : std::as_const(names)) {
        const QString name = n.chopped(4);
        if (checkName(name, nullptr) == name)
            out << name;
    }
    return out;
}

QFuture<WordListFile> ClassWordLists::readSaved(const QString &name)
{
    if (!saved().contains(name))
        return refusedRead(QStringLiteral("no list of yours named %1").arg(name.left(100)));
    return read(QDir(m_saved).filePath(name + QStringLiteral(".txt")));
}

QString ClassWordLists::checkName(const QString &name, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QString();
    };
    const QString n = name.trimmed();
    const QList<uint> points = n.toUcs4();
    if (points.isEmpty() || points.size() > MaxNameLength)
        return refuse(QStringLiteral("a list's name has 1 to %1 characters").arg(MaxNameLength));
    for (const uint c : points) {
        const bool allowed = QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing
                             || QChar::category(c) == QChar::Mark_SpacingCombining || c == u' ' || c == 0x3000
                             || (c <= 0xFFFF && QStringView(u"-_・ー()（）々").contains(QChar(char16_t(c))));
        if (!allowed || c > 0x10FFFF || QChar::isSurrogate(c))
            return refuse(QStringLiteral("a list's name may hold letters, digits, blanks and - _ ・ ー ( ) only"));
    }
    return n;
}

bool ClassWordLists::save(const QString &name, const QStringList &words, bool replace, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QString n = checkName(name, why);
    if (n.isEmpty())
        return false;
    if (m_saved.isEmpty())
        return refuse(QStringLiteral("this host keeps no lists of its own"));
    if (words.size() < Rules::WordsPerGame || words.size() > MaxSavedWords)
        return refuse(QStringLiteral("a list has %1 to %2 words").arg(Rules::WordsPerGame).arg(MaxSavedWords));
    const QStringList existing = saved();
    if (!existing.contains(n) && existing.size() >= MaxSaved)
        return refuse(QStringLiteral("the host keeps %1 lists at most; delete one first").arg(MaxSaved));
    if (existing.contains(n) && !replace)
        return refuse(QStringLiteral("a list named %1 exists already").arg(n));
    if (!QDir().mkpath(m_saved))
        return refuse(QStringLiteral("the lists' folder cannot be made"));
    QString error;
    if (!writeWordListFile(QDir(m_saved).filePath(n + QStringLiteral(".txt")), words, true, &error))
        return refuse(QStringLiteral("the list cannot be kept: %1").arg(error));
    return true;
}

bool ClassWordLists::remove(const QString &name, QString *why)
{
    if (!saved().contains(name)) {
        if (why)
            *why = QStringLiteral("no list of yours named %1").arg(name.left(100));
        return false;
    }
    if (!QFile::remove(QDir(m_saved).filePath(name + QStringLiteral(".txt")))) {
        if (why)
            *why = QStringLiteral("the list cannot be deleted");
        return false;
    }
    return true;
}

WordListFile ClassWordLists::readUpload(const QByteArray &bytes)
{
    WordListFile r;
    if (bytes.size() > MaxUploadBytes) {
        r.error = QStringLiteral("a word list file may have at most %1 kB").arg(MaxUploadBytes / 1024);
        return r;
    }
    const QString text = decodeText(bytes);
    qsizetype lines = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\n' || (c == u'\r' && (i + 1 == text.size() || text.at(i + 1) != u'\n')))
            ++lines;
    }
    if (lines > MaxUploadLines) {
        r.error = QStringLiteral("a word list file may have at most %1 lines").arg(MaxUploadLines);
        return r;
    }
    return readWordListBytes(bytes);
}
