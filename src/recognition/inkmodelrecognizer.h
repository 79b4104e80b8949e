// SPDX-License-Identifier: GPL-3.0-or-later
// Recognition by a trained network that reads the ink as a picture.
#pragma once

#include "engine/recognizer.h"

#include <QStringList>
#include <memory>
#include <vector>

// Runs the ink model (ONNX, through OpenCV's DNN module) on the raster of
// the ink. Stroke order, direction and strokes run together do not matter
// to it; it knows only the characters it was trained on. The model is
// loaded once, from the first of the given paths whose file and metadata
// (the same name ending in .json: classes, raster size, checksum) agree.
// Given several models (each with its paths) it reads with every one that
// loads and averages their log-probabilities. classify() may be called from
// any thread, one call at a time or not.
class InkModelRecognizer : public Recognizer
{
public:
    // How the fully connected layers at the network's end are kept: in
    // eight bits (a quarter of the memory; OpenCV runs the convolutions
    // alone) when the network has that shape, or as the file has them.
    enum class Head { EightBit, Float };

    explicit InkModelRecognizer(const QStringList &modelPaths, Head head = Head::EightBit);
    explicit InkModelRecognizer(const QList<QStringList> &models, Head head = Head::EightBit);
    ~InkModelRecognizer() override;

    // Scores are natural logarithms of the model's probabilities.
    QList<Candidate> classify(const Ink &ink, int count) const override;
    bool isAvailable() const override { return !m_models.empty(); }

    // Whether a model knows the character at all.
    bool contains(const QString &text) const;
    // The characters the models know together.
    int size() const { return int(m_classes.size()); }
    // The first model's file, and every loaded one's.
    QString modelPath() const;
    QStringList modelPaths() const;
    // Whether the loaded model's head is kept in eight bits.
    bool isEightBit() const;
    // Every path tried, each with why it was not used.
    QStringList pathsTried() const { return m_pathsTried; }

    // The metadata file that belongs to a model file.
    static QString metadataPath(const QString &modelPath);

private:
    struct Model;
    // Empty on success, else why the model at `path` cannot be used.
    QString load(const QString &path, Head head);

    std::vector<std::unique_ptr<Model>> m_models;
    std::vector<char32_t> m_classes; // of all models, sorted
    QStringList m_pathsTried;
};
