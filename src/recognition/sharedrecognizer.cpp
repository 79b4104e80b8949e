// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the shared recognisers once and says in the log what is missing.
#include "recognition/sharedrecognizer.h"
#include "recognition/fusedrecognizer.h"
#include "recognition/inkmodelrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QCoreApplication>
#include <QDir>

// Under AddressSanitizer the heap is the sanitizer's: glibc's trim has
// nothing of ours to give back, and walking its idle arenas from a pooled
// thread once crashed the sanitized build.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define TARUVO_TRIM_HEAP 1
#include <malloc.h>
#endif

namespace {

QString besideProgram(const QString &name)
{
    if (!QCoreApplication::instance())
        return {};
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

} // namespace

struct SharedRecognizer::Parts
{
    InkModelRecognizer inkModel{SharedRecognizer::inkModels()};
    ZinniaRecognizer zinnia{SharedRecognizer::modelPaths()};
    TemplateMatcher templates{SharedRecognizer::templatePaths()};
    FusedRecognizer fused{inkModel, zinnia, templates};

    Parts()
    {
        if (!inkModel.isAvailable())
            qWarning("the ink model is off, recognition as before it: no usable model at %s",
                     qPrintable(inkModel.pathsTried().join(QLatin1String(", "))));
        else if (inkModel.modelPaths().size() < SharedRecognizer::inkModels().size())
            qWarning("reading with the ink models at %s only; tried %s",
                     qPrintable(inkModel.modelPaths().join(QLatin1String(", "))),
                     qPrintable(inkModel.pathsTried().join(QLatin1String(", "))));
        if (!zinnia.isAvailable())
            qWarning("handwriting recognition is off: no readable Zinnia model at %s",
                     qPrintable(zinnia.problems().join(QLatin1String(", "))));
        if (!templates.isAvailable())
            qWarning("stroke-order-free recognition is off: no readable stroke templates at %s",
                     qPrintable(templates.pathsTried().join(QLatin1String(", "))));
    }
};

SharedRecognizer::SharedRecognizer() = default;
SharedRecognizer::~SharedRecognizer() = default;

void SharedRecognizer::load() const
{
    std::call_once(m_loaded, [this] {
        auto parts = std::make_unique<Parts>();
#ifdef TARUVO_TRIM_HEAP
        // Loading leaves tens of megabytes freed between what it keeps
        // (parsers' leftovers); they go back to the system now rather than
        // stay resident for the life of the program.
        malloc_trim(0);
#endif
        QMutexLocker lock(&m_lock);
        parts->fused.setPreferredCharacters(m_preferred);
        m_parts = std::move(parts);
    });
}

QStringList SharedRecognizer::modelPaths()
{
    QStringList paths{besideProgram(QStringLiteral("handwriting-ja.model"))};
    paths << QStringLiteral("/usr/share/tegaki/models/zinnia/handwriting-ja.model");
    paths.removeAll(QString());
    return paths;
}

QList<QStringList> SharedRecognizer::inkModels()
{
    return {inkModelPaths(QStringLiteral("ink-ja.onnx")), inkModelPaths(QStringLiteral("ink-ja-longhand.onnx"))};
}

QStringList SharedRecognizer::inkModelPaths(const QString &name)
{
    QStringList paths{besideProgram(name)};
    // The installation puts the model in a data folder: found relative to
    // the program wherever the installation was moved, else where it was
    // installed to.
    paths << besideProgram(QStringLiteral(TARUVO_DATA_FROM_PROGRAM "/") + name);
    paths << QStringLiteral(TARUVO_DATA_DIR "/") + name;
    paths.removeAll(QString());
    paths.removeDuplicates();
    return paths;
}

QStringList SharedRecognizer::templatePaths()
{
    QStringList paths{besideProgram(QStringLiteral("kanjidraw-data.json"))};
    paths << QStringLiteral("/usr/lib/python3/dist-packages/kanjidraw/data.json");
    paths.removeAll(QString());
    return paths;
}

const Recognizer &SharedRecognizer::recognizer() const
{
    load();
    return m_parts->fused;
}

quint64 SharedRecognizer::sureReadings() const
{
    load();
    return m_parts->fused.sureReadings();
}

quint64 SharedRecognizer::fullReadings() const
{
    load();
    return m_parts->fused.fullReadings();
}

const InkModelRecognizer &SharedRecognizer::inkModel() const
{
    load();
    return m_parts->inkModel;
}

const ZinniaRecognizer &SharedRecognizer::zinnia() const
{
    load();
    return m_parts->zinnia;
}

const TemplateMatcher &SharedRecognizer::templates() const
{
    load();
    return m_parts->templates;
}

QList<Candidate> SharedRecognizer::classify(const Ink &ink, int count) const
{
    return recognizer().classify(ink, count);
}

QList<Candidate> SharedRecognizer::classifyInGame(const Ink &ink, int count, const ReadingContext &context) const
{
    return recognizer().classifyInGame(ink, count, context);
}

ContextMargins SharedRecognizer::contextMargins() const
{
    return recognizer().contextMargins();
}

bool SharedRecognizer::isAvailable() const
{
    return recognizer().isAvailable();
}

void SharedRecognizer::setPreferredCharacters(const QSet<QString> &characters)
{
    QMutexLocker lock(&m_lock);
    m_preferred = characters;
    // Models not loaded yet take them when they load.
    if (m_parts)
        m_parts->fused.setPreferredCharacters(characters);
}

QSet<QString> SharedRecognizer::preferredCharacters() const
{
    QMutexLocker lock(&m_lock);
    return m_preferred;
}
