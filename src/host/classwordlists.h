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
// MaxUploadLines lines, decoded and read by the same rules. The teachers'
// own lists, made on the host, are kept in a folder of their own (in the
// host's state), at most MaxSaved of them and MaxSavedWords words each,
// under names a teacher gives (checked: see checkName).
class ClassWordLists
{
public:
    static constexpr qint64 MaxUploadBytes = 512 * 1024;
    static constexpr int MaxUploadLines = 20000;
    static constexpr int MaxSaved = 100;
    static constexpr int MaxSavedWords = 2000;
    static constexpr int MaxNameLength = 40;

    // saved: the teachers' lists' folder, made when the first is saved;
    // empty: none can be saved.
    explicit ClassWordLists(const QString &folder, const QString &saved = QString());
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

    QString savedFolder() const { return m_saved; }
    // The names of the teachers' lists (without ".txt"), sorted.
    QStringList saved() const;
    QFuture<WordListFile> readSaved(const QString &name);
    // Keeps words as the list name; an existing list of that name is
    // replaced only when replace is set. False with *why.
    bool save(const QString &name, const QStringList &words, bool replace, QString *why);
    bool remove(const QString &name, QString *why);
    // A list's name as a teacher may give it: 1 to MaxNameLength letters,
    // digits, blanks inside, and - _ ・ ー ( ) （ ）; the name cleaned of
    // blanks at its ends, or empty with *why.
    static QString checkName(const QString &name, QString *why);

private:
    QFuture<WordListFile> read(const QString &path);

    QString m_folder;
    QString m_saved;
    QThreadPool m_reads;
};
