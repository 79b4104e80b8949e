// SPDX-License-Identifier: GPL-3.0-or-later
// The characters a handwriting model file can recognise.
#pragma once

#include <QSet>
#include <QString>

// The model's classes, or nothing when the file cannot be opened as a model.
QSet<QString> modelCharacters(const QString &modelPath, bool *opened = nullptr);
