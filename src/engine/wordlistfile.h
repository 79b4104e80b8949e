// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a word-list file into a compact list, and doing so off the windows' thread.
#pragma once

#include "common/textdecode.h"
#include "engine/wordlist.h"

#include <QFuture>
#include <QThreadPool>
#include <functional>

struct WordListFile
{
    bool ok = false;        // false: the file could not be read; error says why
    bool cancelled = false; // abandoned before the end
    QString error;
    TextEncoding encoding = TextEncoding::Utf8;
    WordList words;
    QSet<QString> characters; // the words' characters, each once
};

// Reads a word-list file through the bounded reader (at most
// MaxTextFileBytes) and keeps its words, decoding it piece by piece: the
// memory needed is the file and the compact list, never a string per line.
// `stop` is asked between pieces; when it says yes, the read is abandoned.
WordListFile readWordListFile(const QString &path, const std::function<bool()> &stop = {});
// The same for a file's bytes already in memory (an upload).
WordListFile readWordListBytes(const QByteArray &bytes, const std::function<bool()> &stop = {});

// Reads word-list files on a thread of its own, one after another. A read
// that is no longer wanted is cancelled through its future and stops
// within a piece of the file.
class WordListLoader
{
public:
    WordListLoader();
    // Cancels what is under way and waits for it to stop.
    ~WordListLoader();
    WordListLoader(const WordListLoader &) = delete;
    WordListLoader &operator=(const WordListLoader &) = delete;

    // Starts reading path; a read still under way is cancelled.
    QFuture<WordListFile> load(const QString &path);

private:
    QThreadPool m_thread;
    QFuture<WordListFile> m_last;
};
