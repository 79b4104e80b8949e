// SPDX-License-Identifier: GPL-3.0-or-later
// The word lists a teacher can choose from, and the ones a teacher brings.
#pragma once

#include "engine/wordlist.h"
#include "engine/wordlistfile.h"

#include <QFuture>
#include <QThreadPool>
#include <QString>
#include <QStringList>

// The bundled lists are the .txt files of one folder, read the console's
// way (bounded reader, the same decoding and word rules) off the caller's
// thread. An upload is a file's bytes: at most MaxUploadBytes and
// MaxUploadLines lines, decoded and read by the same rules.
class ClassWordLists
{
public:
    static constexpr qint64 MaxUploadBytes = 512 * 1024;
    static constexpr int MaxUploadLines = 20000;

    explicit ClassWordLists(const QString &folder);
    // Waits for the reads under way.
    ~ClassWordLists();

    QString folder() const { return m_folder; }
    // The names of the folder's lists, sorted.
    QStringList bundled() const;
    // Reads a bundled list by its name; a name that is not one of bundled()
    // (a path, "..") gives a result with ok false and the reason.
    QFuture<WordListFile> readBundled(const QString &name);
    // Reads an upload; ok false with the reason when it is too large, has
    // too many lines or cannot be read.
    static WordListFile readUpload(const QByteArray &bytes);

private:
    QString m_folder;
    QThreadPool m_reads;
};
