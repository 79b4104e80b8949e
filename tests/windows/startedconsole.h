// SPDX-License-Identifier: GPL-3.0-or-later
// A console started from a temporary folder of its own, for window tests.
#pragma once

#include "console/ctrlform.h"
#include "player/playform.h"

#include <QFile>
#include <QTest>
#include <QTemporaryDir>
#include <functional>
#include <memory>

struct StartedConsole
{
    QTemporaryDir folder;
    std::unique_ptr<CtrlForm> console = std::make_unique<CtrlForm>();
    int ends = 0;

    // ini: the bytes of Taruvo.ini, none when null; prepare may put more
    // into the application folder before start-up. Ending the program is
    // counted, not done.
    explicit StartedConsole(const QByteArray &ini = QByteArray(),
                            const std::function<void(const QString &folder)> &prepare = {})
    {
        if (!ini.isNull())
            write(QStringLiteral("Taruvo.ini"), ini);
        if (prepare)
            prepare(folder.path());
        console->setEndProgram([this] { ++ends; });
        console->load(folder.path());
    }

    // Waits until a chosen word list is in; false after a minute.
    bool waitForList() const
    {
        return QTest::qWaitFor([this] { return !console->isLoadingWordList(); }, 60000);
    }

    QString appFolder() const { return folder.path() + QLatin1Char('/'); }
    PlayForm *play(int n) const { return n == 1 ? console->Play1() : console->Play2(); }

    // Writes a file into the application folder and returns its path.
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
};
