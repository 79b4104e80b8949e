// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelcharacters.h"
#include "zinniamodel.h"

#include <zinnia.h>

#include <memory>

QSet<QString> modelCharacters(const QString &modelPath, bool *opened)
{
    QSet<QString> characters;
    QString why;
    const FileBytes bytes = readZinniaModel(modelPath, &why);
    std::unique_ptr<zinnia::Recognizer> model(zinnia::Recognizer::create());
    const bool ok = !bytes.isEmpty() && model && model->open(bytes.data(), size_t(bytes.size()));
    if (opened)
        *opened = ok;
    if (!ok)
        return characters;
    for (size_t i = 0; i < model->size(); ++i) {
        // Values point into the model: copy them before it closes.
        if (const char *value = model->value(i))
            characters.insert(QString::fromUtf8(value));
    }
    return characters;
}
