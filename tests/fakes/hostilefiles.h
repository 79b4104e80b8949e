// SPDX-License-Identifier: GPL-3.0-or-later
// Paths no reader may trust: links to devices, kernel files and pipes,
// folders and broken links, planted under a name a test chooses.
#pragma once

#include <QFile>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum class Hostile {
    DevZero,        // endless zeros, size 0
    DevRandom,      // endless noise, size 0
    ProcPagemap,    // a kernel file that reads on for gigabytes, size 0
    ProcKmsg,       // a kernel file whose read waits for kernel messages
    Fifo,           // a named pipe nobody writes to: opening it waits
    FifoWithWriter, // a named pipe with data waiting in it
    Folder,
    LinkLoop,
    DanglingLink,
};
Q_DECLARE_METATYPE(Hostile)

// Every kind, named for data tables.
inline QList<std::pair<const char *, Hostile>> hostileKinds()
{
    return {{"link to /dev/zero", Hostile::DevZero},
            {"link to /dev/urandom", Hostile::DevRandom},
            {"link to /proc/self/pagemap", Hostile::ProcPagemap},
            {"link to /proc/kmsg", Hostile::ProcKmsg},
            {"named pipe without a writer", Hostile::Fifo},
            {"named pipe with a writer", Hostile::FifoWithWriter},
            {"folder", Hostile::Folder},
            {"link loop", Hostile::LinkLoop},
            {"dangling link", Hostile::DanglingLink}};
}

// Plants hostile paths; a pipe's writer stays open until it is destroyed.
class HostilePlanter
{
public:
    HostilePlanter() = default;
    HostilePlanter(const HostilePlanter &) = delete;
    HostilePlanter &operator=(const HostilePlanter &) = delete;
    ~HostilePlanter()
    {
        for (int fd : m_writers)
            ::close(fd);
    }

    // Makes path what kind says; fails the whole test run when it cannot.
    void plant(const QString &path, Hostile kind)
    {
        const QByteArray name = QFile::encodeName(path);
        bool ok = false;
        auto link = [&](const char *target) { return symlink(target, name.constData()) == 0; };
        switch (kind) {
        case Hostile::DevZero: ok = link("/dev/zero"); break;
        case Hostile::DevRandom: ok = link("/dev/urandom"); break;
        case Hostile::ProcPagemap: ok = link("/proc/self/pagemap"); break;
        case Hostile::ProcKmsg: ok = link("/proc/kmsg"); break;
        case Hostile::Fifo: ok = mkfifo(name.constData(), 0644) == 0; break;
        case Hostile::FifoWithWriter: {
            // Opened for both ends, so that opening does not wait for a reader.
            ok = mkfifo(name.constData(), 0644) == 0;
            const int fd = ok ? ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC) : -1;
            ok = fd >= 0 && ::write(fd, "abcdefgh\n", 9) == 9;
            if (fd >= 0)
                m_writers.append(fd);
            break;
        }
        case Hostile::Folder: ok = mkdir(name.constData(), 0755) == 0; break;
        case Hostile::LinkLoop: {
            const QByteArray other = name + ".other";
            ok = symlink(other.constData(), name.constData()) == 0 && symlink(name.constData(), other.constData()) == 0;
            break;
        }
        case Hostile::DanglingLink: ok = link("/nonexistent/taruvo-missing"); break;
        }
        if (!ok)
            qFatal("cannot plant a hostile file at %s", name.constData());
    }

private:
    QList<int> m_writers;
};

// The most memory the process held (resident) since the last reset, in MB
// above what it held at the reset.
class PeakMemory
{
public:
    PeakMemory() { reset(); }
    void reset()
    {
        if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        m_base = field("VmRSS:");
    }
    qint64 growthMB() const { return (field("VmHWM:") - m_base) / 1024; }

private:
    static qint64 field(const char *name)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            qFatal("cannot read /proc/self/status");
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(int(qstrlen(name))).trimmed().split(' ').value(0).toLongLong();
        }
        qFatal("no %s in /proc/self/status", name);
        return 0;
    }
    qint64 m_base = 0;
};
