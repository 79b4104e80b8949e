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

// The bytes of a file opened for reading only: either mapped from the page
// cache, which every process that maps the same file shares and nothing
// copies, or a copy read into memory. Move-only; a mapping ends with it.
class FileBytes
{
public:
    FileBytes() = default;
    FileBytes(FileBytes &&other) noexcept;
    FileBytes &operator=(FileBytes &&other) noexcept;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes();

    const char *data() const;
    qint64 size() const;
    bool isEmpty() const { return size() == 0; }
    bool isMapped() const { return m_map != nullptr; }

private:
    friend struct FileView viewRegularFile(const QString &path, qint64 maxBytes, uint trustedOwner);
    void unmap();

    QByteArray m_copy;
    void *m_map = nullptr;
    qint64 m_size = 0;
};

struct FileView
{
    bool ok = false;       // the whole file is in bytes
    bool tooLarge = false; // more than the limit: nothing is kept
    bool missing = false;  // nothing at the path
    FileBytes bytes;
    QString error;         // why not ok
};

// The file at path, checked as readRegularFile checks it, for a reader that
// keeps it for the life of the program. A file that nobody but
// trustedOwner (root) can write, on a file system of this machine, is
// mapped: its bytes stay in the page cache, shared by every program that
// reads it. Any other file is read into memory, because shortening a mapped
// file kills the process the next time it touches a page past the new end
// (SIGBUS): a file of the package manager is replaced by a new one, never
// rewritten where it lies, so only root overwriting it in place can do that.
FileView viewRegularFile(const QString &path, qint64 maxBytes, uint trustedOwner = 0);
