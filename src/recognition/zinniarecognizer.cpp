// SPDX-License-Identifier: GPL-3.0-or-later
// Zinnia behind the Recognizer interface, with the library's pitfalls handled.
#include "recognition/zinniarecognizer.h"
#include "recognition/zinniamodel.h"

#include <QtMath>
#include <zinnia.h>

void ZinniaRecognizer::Deleter::operator()(zinnia::Recognizer *r) const
{
    delete r;
}

ZinniaRecognizer::ZinniaRecognizer(const QStringList &modelPaths)
{
    for (const QString &path : modelPaths) {
        if (path.isEmpty())
            continue;
        m_pathsTried.append(path);
        // Zinnia would map whatever it is given, devices and pipes too: it
        // gets the checked bytes instead (mapped when only root can change
        // the file), and points into them while it lives.
        QString why;
        m_modelBytes = readZinniaModel(path, &why);
        if (m_modelBytes.isEmpty()) {
            m_problems.append(QStringLiteral("%1 (%2)").arg(path, why));
            continue;
        }
        std::unique_ptr<zinnia::Recognizer, Deleter> model(zinnia::Recognizer::create());
        if (model && model->open(m_modelBytes.data(), size_t(m_modelBytes.size()))) {
            m_model = std::move(model);
            m_modelPath = path;
            return;
        }
        m_problems.append(QStringLiteral("%1 (not a model Zinnia can open)").arg(path));
        m_modelBytes = {};
    }
}

ZinniaRecognizer::~ZinniaRecognizer() = default;

QList<Candidate> ZinniaRecognizer::classify(const Ink &ink, int count) const
{
    return classifyNormalized(normalizedInk(boundedInk(ink, MaxPointsPerStroke)), count);
}

QList<Candidate> ZinniaRecognizer::classifyNormalized(const Ink &ink, int count) const
{
    if (!m_model || count <= 0)
        return {};
    std::unique_ptr<zinnia::Character> character(zinnia::Character::create());
    // A zero size makes Zinnia divide by zero and return nothing.
    character->set_width(size_t(qMax<qreal>(1, qCeil(ink.canvas.width()))));
    character->set_height(size_t(qMax<qreal>(1, qCeil(ink.canvas.height()))));
    // Ids must run 0, 1, 2... without gaps: Zinnia drops every stroke after a
    // gap, and an empty stroke leaves such a gap.
    size_t id = 0;
    for (const Stroke &stroke : ink.strokes) {
        if (stroke.isEmpty())
            continue;
        for (QPointF p : stroke)
            character->add(id, qRound(p.x()), qRound(p.y()));
        // A dot needs a second point to count as a stroke.
        if (stroke.size() == 1)
            character->add(id, qRound(stroke.first().x()) + 1, qRound(stroke.first().y()));
        ++id;
    }
    if (id == 0)
        return {};
    std::unique_ptr<zinnia::Result> result(m_model->classify(*character, size_t(count)));
    if (!result)
        return {};
    QList<Candidate> out;
    out.reserve(int(result->size()));
    for (size_t i = 0; i < result->size(); ++i) {
        // The strings live inside the model: copy them.
        const char *value = result->value(i);
        if (value && *value)
            out.append({QString::fromUtf8(value), double(result->score(i))});
    }
    return out;
}
