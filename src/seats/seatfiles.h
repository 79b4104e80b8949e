// SPDX-License-Identifier: GPL-3.0-or-later
// The files a seat's page is made of, and nothing else.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// What the seats' server may serve, by path: the page, its style and script
// (compiled into the program) and the feedback pictures and sounds the
// console hands over. Nothing is read from disk while serving.
class SeatFiles
{
public:
    struct File
    {
        QByteArray mime;
        QByteArray bytes;
    };

    // With the page's own files.
    SeatFiles();

    void add(const QString &path, const QByteArray &mime, const QByteArray &bytes);
    // Null for anything not added; "/" is the page.
    const File *find(const QString &path) const;
    QStringList paths() const { return m_files.keys(); }

private:
    QHash<QString, File> m_files;
};
