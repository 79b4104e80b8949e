// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program reads a file: bounded, never blocking, regular files only.
#pragma once

#include <QByteArray>
#include <QString>

struct FileContents
{
    bool ok = false;       // the whole file is in bytes
    bool tooLarge = false; // more than the limit: bytes holds its first maxBytes
    bool missing = false;  // nothing at the path (a dangling link is not missing)
    QByteArray bytes;
    QString error;         // why not ok, for a log line or a tool tip
};

// Reads the file at path, following links, when it is a regular file on a
// disk file system; at most maxBytes are kept and one byte more tells that
// the file is too large. Refused with a reason: a folder, a device, a named
// pipe, a socket, a link loop or a dangling link, and files of the kernel's
// pseudo file systems (/proc, /sys ...), whose reported sizes lie and some of
// which block or never end. Opening never waits, and the size the file
// system reports is only a hint: a file that grows while read stops at the
// limit.
FileContents readRegularFile(const QString &path, qint64 maxBytes);
