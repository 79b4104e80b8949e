// SPDX-License-Identifier: GPL-3.0-or-later
#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// File systems the kernel makes up as they are read: sizes are 0 or
// invented, and some files never end (/proc/self/pagemap) or wait for
// events (/proc/kmsg).
struct PseudoFileSystem
{
    unsigned long magic;
    const char *name;
};
constexpr PseudoFileSystem PseudoFileSystems[] = {
    {PROC_SUPER_MAGIC, "/proc"},       {SYSFS_MAGIC, "/sys"},
    {DEBUGFS_MAGIC, "debugfs"},        {TRACEFS_MAGIC, "tracefs"},
    {SECURITYFS_MAGIC, "securityfs"},  {SELINUX_MAGIC, "selinuxfs"},
    {SMACK_MAGIC, "smackfs"},          {CGROUP_SUPER_MAGIC, "cgroup"},
    {CGROUP2_SUPER_MAGIC, "cgroup2"},  {BPF_FS_MAGIC, "bpf"},
    {PSTOREFS_MAGIC, "pstore"},        {EFIVARFS_MAGIC, "efivarfs"},
    {BINFMTFS_MAGIC, "binfmt_misc"},   {DEVPTS_SUPER_MAGIC, "devpts"},
    {NSFS_MAGIC, "nsfs"},              {0x62656570, "configfs"},
    {0x65735543, "fusectl"},
};

QString systemError(int error)
{
    switch (error) {
    case ENOENT: return QStringLiteral("file not found");
    case ELOOP: return QStringLiteral("link loop (links that lead back to themselves)");
    case ENOTDIR: return QStringLiteral("file not found (a part of the path is not a folder)");
    case EACCES:
    case EPERM: return QStringLiteral("permission denied");
    case ENAMETOOLONG: return QStringLiteral("path too long");
    default: return QString::fromLocal8Bit(strerror(error));
    }
}

// Why stat/open failed; a missing target of an existing link says so.
QString openError(const QByteArray &path, int error)
{
    struct stat link;
    if (error == ENOENT && lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode))
        return QStringLiteral("dangling link (its target is missing)");
    return systemError(error);
}

// Empty when the kind is readable.
QString kindError(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a file");
    return QStringLiteral("not a regular file");
}

// Empty when a file of this kind on this file system can be read.
QString refusal(const struct stat &info, const struct statfs &fs)
{
    if (QString why = kindError(info.st_mode); !why.isEmpty())
        return why;
    for (const PseudoFileSystem &pseudo : PseudoFileSystems) {
        if (pseudo.magic == static_cast<unsigned long>(fs.f_type))
            return QStringLiteral("a kernel file (%1), not a file on disk").arg(QLatin1String(pseudo.name));
    }
    return {};
}

struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

FileContents readRegularFile(const QString &path, qint64 maxBytes)
{
    FileContents result;
    if (path.isEmpty()) {
        result.error = QStringLiteral("no file name");
        return result;
    }
    maxBytes = qMax<qint64>(0, maxBytes);
    const QByteArray name = QFile::encodeName(path);

    // Looked at before opening, so that a device or a kernel file is never
    // opened at all (opening some has effects), then again on what was
    // opened, in case the path changed in between.
    struct stat info;
    struct statfs fs;
    if (stat(name.constData(), &info) != 0 || statfs(name.constData(), &fs) != 0) {
        const int error = errno;
        struct stat link;
        result.missing = error == ENOENT && lstat(name.constData(), &link) != 0;
        result.error = openError(name, error);
        return result;
    }
    if (result.error = refusal(info, fs); !result.error.isEmpty())
        return result;

    Descriptor file;
    do
        file.fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0) {
        result.error = openError(name, errno);
        return result;
    }
    if (fstat(file.fd, &info) != 0 || fstatfs(file.fd, &fs) != 0) {
        result.error = systemError(errno);
        return result;
    }
    if (result.error = refusal(info, fs); !result.error.isEmpty())
        return result;

    // The reported size only sizes the first buffer; the file is read to
    // its end or one byte past the limit, whichever comes first.
    const qint64 wanted = maxBytes + 1;
    QByteArray bytes(qBound<qint64>(1, qint64(info.st_size) + 1, wanted), Qt::Uninitialized);
    qint64 used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used == wanted)
                break;
            bytes.resize(qMin(wanted, qMax<qint64>(used * 2, 64 * 1024)));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + used, size_t(bytes.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = systemError(errno);
            return result;
        }
        if (got == 0)
            break;
        used += got;
    }
    if (used > maxBytes) {
        bytes.truncate(maxBytes);
        result.tooLarge = true;
        result.error = QStringLiteral("file too large (more than %1 bytes)").arg(maxBytes);
    } else {
        bytes.truncate(used);
        result.ok = true;
    }
    // A buffer grown by doubling for a file that grew while read.
    if (bytes.capacity() - bytes.size() > 64 * 1024)
        bytes.squeeze();
    result.bytes = std::move(bytes);
    return result;
}
