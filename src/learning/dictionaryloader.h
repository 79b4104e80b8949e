// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the dictionary of readings off the windows' thread.
#pragma once

#include "learning/worddictionary.h"

#include <QFuture>
#include <QThreadPool>

struct LoadedDictionary
{
    WordDictionary dictionary; // empty when none of the paths could be read
    QString path;              // the file read
    QString error;             // why none could be read
};

// Reads the dictionary on a thread of its own, so that start-up does not
// wait for it; whoever needs it waits only for what is left of the read.
// The read is bounded by the file reader's limits (a regular file of at
// most WordDictionary::MaxFileBytes).
class DictionaryLoader
{
public:
    DictionaryLoader();
    // Waits for a read under way.
    ~DictionaryLoader();
    DictionaryLoader(const DictionaryLoader &) = delete;
    DictionaryLoader &operator=(const DictionaryLoader &) = delete;

    // Starts reading the first of paths that can be read.
    QFuture<LoadedDictionary> load(const QStringList &paths);

private:
    QThreadPool m_thread;
};
