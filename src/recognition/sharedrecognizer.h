// SPDX-License-Identifier: GPL-3.0-or-later
// The one recogniser that every handwriting box of a program run shares.
#pragma once

#include "engine/recognizer.h"

#include <QMutex>
#include <QSet>
#include <QStringList>
#include <memory>
#include <mutex>

class InkModelRecognizer;
class ZinniaRecognizer;
class TemplateMatcher;
class FusedRecognizer;

// The ink model, Zinnia and the template matcher, fused. The console owns
// one and hands it to the boxes. The models load on first use (or at
// load()), once, from whichever thread comes first; what cannot be loaded is
// named in one log line with the paths tried, and with neither the ink model
// nor Zinnia's the recogniser is unavailable. classify() may run on another
// thread than the one that sets the preferred characters.
class SharedRecognizer : public Recognizer
{
public:
    SharedRecognizer();
    ~SharedRecognizer() override;
    SharedRecognizer(const SharedRecognizer &) = delete;
    SharedRecognizer &operator=(const SharedRecognizer &) = delete;

    // Loads the models now, if not done yet.
    void load() const;

    // The fused recogniser.
    QList<Candidate> classify(const Ink &ink, int count) const override;
    QList<Candidate> classifyInGame(const Ink &ink, int count, const ReadingContext &context) const override;
    ContextMargins contextMargins() const override;
    bool isAvailable() const override;

    const Recognizer &recognizer() const;
    // Inks read so far by the model alone (sure of a free board
    // character) and by all three.
    quint64 sureReadings() const;
    quint64 fullReadings() const;
    const InkModelRecognizer &inkModel() const;
    const ZinniaRecognizer &zinnia() const;
    const TemplateMatcher &templates() const;

    // The characters of the loaded word list: recognition puts them first
    // where they score close to the best. Call again for each new list; an
    // empty set prefers nothing.
    void setPreferredCharacters(const QSet<QString> &characters);
    QSet<QString> preferredCharacters() const;

    // Where the Zinnia model is looked for: the application folder first,
    // then the system's Tegaki models.
    static QStringList modelPaths();
    // Where an ink model file is looked for: the application folder first,
    // then where the installation puts it.
    static QStringList inkModelPaths(const QString &name);
    // The ink models read with together (two trained on different hands),
    // each with where it is looked for.
    static QList<QStringList> inkModels();
    // Where the stroke templates are looked for: the application folder
    // first, then Debian's python3-kanjidraw.
    static QStringList templatePaths();

private:
    struct Parts;
    mutable std::unique_ptr<Parts> m_parts;
    mutable std::once_flag m_loaded;
    mutable QMutex m_lock; // the preferred characters, here and in the fused recogniser
    QSet<QString> m_preferred;
};
