// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatfiles.h"

#include <QFile>

namespace {

QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/seats/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("taruvo: the seat page's %s is missing from the program", qPrintable(name));
    return file.readAll();
}

} // namespace

SeatFiles::SeatFiles()
{
    add(QStringLiteral("/"), "text/html; charset=utf-8", resource(QStringLiteral("index.html")));
    add(QStringLiteral("/seat.css"), "text/css; charset=utf-8", resource(QStringLiteral("seat.css")));
    add(QStringLiteral("/seat.js"), "text/javascript; charset=utf-8", resource(QStringLiteral("seat.js")));
}

void SeatFiles::add(const QString &path, const QByteArray &mime, const QByteArray &bytes)
{
    m_files.insert(path, File{mime, bytes});
}

const SeatFiles::File *SeatFiles::find(const QString &path) const
{
    const auto it = m_files.constFind(path == QLatin1String("/index.html") ? QStringLiteral("/") : path);
    return it == m_files.constEnd() ? nullptr : &*it;
}
