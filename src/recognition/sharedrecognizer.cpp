// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the shared recogniser once and says in the log when it cannot.
#include "recognition/sharedrecognizer.h"
#include "recognition/zinniarecognizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <memory>

namespace {

const char ModelName[] = "handwriting-ja.model";

} // namespace

QStringList SharedRecognizer::modelPaths()
{
    QStringList paths;
    if (QCoreApplication::instance())
        paths << QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(ModelName));
    paths << QStringLiteral("/usr/share/tegaki/models/zinnia/") + QLatin1String(ModelName);
    return paths;
}

const Recognizer &SharedRecognizer::instance()
{
    static const std::unique_ptr<ZinniaRecognizer> shared = [] {
        auto r = std::make_unique<ZinniaRecognizer>(modelPaths());
        if (!r->isAvailable())
            qWarning("handwriting recognition is off: no readable Zinnia model at %s",
                     qPrintable(r->pathsTried().join(QLatin1String(", "))));
        return r;
    }();
    return *shared;
}
