// SPDX-License-Identifier: GPL-3.0-or-later
#include "classwordlists.h"

#include "common/textdecode.h"

#include <QDir>
#include <QPromise>
#include <memory>

ClassWordLists::ClassWordLists(const QString &folder)
    : m_folder(folder)
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
    if (!bundled().contains(name)) {
        QPromise<WordListFile> refused;
        refused.start();
        WordListFile r;
        r.error = QStringLiteral("no word list named %1").arg(name.left(100));
        refused.addResult(r);
        refused.finish();
        return refused.future();
    }
    // Each read to its end: two teachers may create class games at once.
    auto promise = std::make_shared<QPromise<WordListFile>>();
    QFuture<WordListFile> future = promise->future();
    promise->start();
    const QString path = QDir(m_folder).filePath(name);
    m_reads.start([promise, path] {
        promise->addResult(readWordListFile(path));
        promise->finish();
    });
    return future;
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
