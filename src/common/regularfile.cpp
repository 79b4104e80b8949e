// SPDX-License-Identifier: GPL-3.0-or-later
#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
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

// File systems whose files another machine, or a program in user space,
// can change behind this one's back: NFS, SMB/CIFS (three), FUSE, 9P,
// Ceph, AFS (two), Coda, GFS2, OCFS2.
constexpr unsigned long NetworkFileSystems[] = {
    NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, 0xFF534D42, 0xFE534D42, 0x65735546, V9FS_MAGIC,
    0x00C36400,      AFS_SUPER_MAGIC, AFS_FS_MAGIC, CODA_SUPER_MAGIC, 0x01161970, 0x7461636F,
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
    Descriptor() = default;
    Descriptor(Descriptor &&other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

QString tooLargeError(qint64 maxBytes)
{
    return QStringLiteral("file too large (more than %1 bytes)").arg(maxBytes);
}

// Opens path for reading when it is a regular file on a disk file system;
// else fills result's error (and missing) and returns no descriptor.
template <typename Result>
Descriptor openChecked(const QString &path, Result &result, struct stat &info, struct statfs &fs)
{
    Descriptor file;
    if (path.isEmpty()) {
        result.error = QStringLiteral("no file name");
        return file;
    }
    const QByteArray name = QFile::encodeName(path);

    // Looked at before opening, so that a device or a kernel file is never
    // opened at all (opening some has effects), then again on what was
    // opened, in case the path changed in between.
    if (stat(name.constData(), &info) != 0 || statfs(name.constData(), &fs) != 0) {
        const int error = errno;
        struct stat link;
        result.missing = error == ENOENT && lstat(name.constData(), &link) != 0;
        result.error = openError(name, error);
        return file;
    }
    if (result.error = refusal(info, fs); !result.error.isEmpty())
        return file;

    do
        file.fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0) {
        result.error = openError(name, errno);
        return file;
    }
    if (fstat(file.fd, &info) != 0 || fstatfs(file.fd, &fs) != 0) {
        result.error = systemError(errno);
        file.close();
        return file;
    }
    if (result.error = refusal(info, fs); !result.error.isEmpty())
        file.close();
    return file;
}

// Reads an opened file from where it stands to its end, or one byte past
// maxBytes, whichever comes first. The reported size only sizes the first
// buffer.
FileContents readOpened(int fd, qint64 sizeHint, qint64 maxBytes)
{
    FileContents result;
    const qint64 wanted = maxBytes + 1;
    QByteArray bytes(qBound<qint64>(1, sizeHint + 1, wanted), Qt::Uninitialized);
    qint64 used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used == wanted)
                break;
            bytes.resize(qMin(wanted, qMax<qint64>(used * 2, 64 * 1024)));
        }
        const ssize_t got = ::read(fd, bytes.data() + used, size_t(bytes.size() - used));
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
        result.error = tooLargeError(maxBytes);
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

// Whether nobody but trustedOwner can change the file's bytes while it is
// mapped: owned by it, writable neither by its group nor by others (an
// access list that lets anyone else write shows in the group bits), on a
// file system of this machine.
bool onlyOwnerWrites(const struct stat &info, const struct statfs &fs, uint trustedOwner)
{
    if (info.st_uid != trustedOwner || (info.st_mode & (S_IWGRP | S_IWOTH)))
        return false;
    for (unsigned long magic : NetworkFileSystems) {
        if (magic == static_cast<unsigned long>(fs.f_type))
            return false;
    }
    return true;
}

} // namespace

FileContents readRegularFile(const QString &path, qint64 maxBytes)
{
    FileContents result;
    struct stat info;
    struct statfs fs;
    const Descriptor file = openChecked(path, result, info, fs);
    if (file.fd < 0)
        return result;
    return readOpened(file.fd, qint64(info.st_size), qMax<qint64>(0, maxBytes));
}

FileBytes::FileBytes(FileBytes &&other) noexcept
    : m_copy(std::move(other.m_copy))
    , m_map(std::exchange(other.m_map, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

FileBytes &FileBytes::operator=(FileBytes &&other) noexcept
{
    if (this != &other) {
        unmap();
        m_copy = std::move(other.m_copy);
        m_map = std::exchange(other.m_map, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

FileBytes::~FileBytes()
{
    unmap();
}

void FileBytes::unmap()
{
    if (m_map)
        munmap(m_map, size_t(m_size));
    m_map = nullptr;
}

const char *FileBytes::data() const
{
    return m_map ? static_cast<const char *>(m_map) : m_copy.constData();
}

qint64 FileBytes::size() const
{
    return m_map ? m_size : m_copy.size();
}

FileView viewRegularFile(const QString &path, qint64 maxBytes, uint trustedOwner)
{
    FileView result;
    maxBytes = qMax<qint64>(0, maxBytes);
    struct stat info;
    struct statfs fs;
    const Descriptor file = openChecked(path, result, info, fs);
    if (file.fd < 0)
        return result;
    const qint64 size = qint64(info.st_size);
    if (size > 0 && onlyOwnerWrites(info, fs, trustedOwner)) {
        // The size of a regular file of this machine is what the file holds.
        if (size > maxBytes) {
            result.tooLarge = true;
            result.error = tooLargeError(maxBytes);
            return result;
        }
        void *map = mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, file.fd, 0);
        struct stat now;
        if (map != MAP_FAILED && fstat(file.fd, &now) == 0 && now.st_size == info.st_size) {
            result.bytes.m_map = map;
            result.bytes.m_size = size;
            result.ok = true;
            return result;
        }
        // Changed between the look and the mapping: read what is there now.
        if (map != MAP_FAILED)
            munmap(map, size_t(size));
    }
    FileContents read = readOpened(file.fd, size, maxBytes);
    result.ok = read.ok;
    result.tooLarge = read.tooLarge;
    result.error = read.error;
    if (read.ok)
        result.bytes.m_copy = std::move(read.bytes);
    return result;
}
