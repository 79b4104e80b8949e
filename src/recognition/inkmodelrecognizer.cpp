// SPDX-License-Identifier: GPL-3.0-or-later
// The ink model behind the Recognizer interface.
#include "recognition/inkmodelrecognizer.h"
#include "recognition/inkraster.h"
#include "common/regularfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>
#include <opencv2/dnn.hpp>

namespace {

// The shipped model is about 5 MB and its metadata a few kB: anything far
// larger is not them, and is not read into memory.
constexpr qint64 MaxModelBytes = 64 * 1024 * 1024;
constexpr qint64 MaxMetadataBytes = 1024 * 1024;

} // namespace

struct InkModelRecognizer::Model
{
    cv::dnn::Net net;
    std::mutex mutex; // a network runs one input at a time
};

InkModelRecognizer::InkModelRecognizer(const QStringList &modelPaths)
{
    for (const QString &path : modelPaths) {
        if (path.isEmpty())
            continue;
        const QString why = load(path);
        if (why.isEmpty()) {
            m_pathsTried.append(path);
            m_modelPath = path;
            return;
        }
        m_pathsTried.append(path + QStringLiteral(" (") + why + QLatin1Char(')'));
    }
}

InkModelRecognizer::~InkModelRecognizer() = default;

bool InkModelRecognizer::contains(const QString &text) const
{
    const QList<uint> ucs = text.toUcs4();
    return ucs.size() == 1 && std::binary_search(m_sorted.begin(), m_sorted.end(), char32_t(ucs.first()));
}

QString InkModelRecognizer::metadataPath(const QString &modelPath)
{
    const QFileInfo info(modelPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".json"));
}

QString InkModelRecognizer::load(const QString &path)
{
    // Needed only while the network is made from it: the installed file is
    // mapped rather than copied.
    const FileView file = viewRegularFile(path, MaxModelBytes);
    if (!file.ok)
        return file.tooLarge ? QStringLiteral("too large") : file.error;
    const QByteArrayView bytes(file.bytes.data(), file.bytes.size());

    const FileContents metadata = readRegularFile(metadataPath(path), MaxMetadataBytes);
    if (!metadata.ok)
        return metadata.tooLarge ? QStringLiteral("metadata too large") : QStringLiteral("no metadata beside it: ") + metadata.error;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(metadata.bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return QStringLiteral("metadata unreadable");
    const QJsonObject meta = doc.object();
    const QJsonObject raster = meta.value(QLatin1String("raster")).toObject();
    if (raster.value(QLatin1String("side")).toInt() != InkRaster::Side
        || raster.value(QLatin1String("margin")).toInt() != InkRaster::Margin
        || raster.value(QLatin1String("channels")).toInt() != InkRaster::Channels)
        return QStringLiteral("made for another raster");
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    if (digest != meta.value(QLatin1String("sha256")).toString().toLatin1())
        return QStringLiteral("checksum differs from its metadata");
    // One character a class: a code point each, looked up in a sorted copy
    // (thousands of strings and a hash of them would take ten times the room).
    std::vector<char32_t> classes;
    for (uint c : meta.value(QLatin1String("classes")).toString().toUcs4())
        classes.push_back(char32_t(c));
    if (classes.empty())
        return QStringLiteral("no classes");
    std::vector<char32_t> sorted = classes;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        return QStringLiteral("a class listed twice");

    auto model = std::make_unique<Model>();
    try {
        model->net = cv::dnn::readNetFromONNX(bytes.constData(), size_t(bytes.size()));
        if (model->net.empty())
            return QStringLiteral("not a network");
        model->net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        model->net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        // One run now: it checks the output and sets the network up, so that
        // the first character is as quick as any other.
        const int shape[] = {1, InkRaster::Channels, InkRaster::Side, InkRaster::Side};
        model->net.setInput(cv::Mat(4, shape, CV_32F, cv::Scalar(0)));
        const cv::Mat out = model->net.forward();
        if (out.total() != size_t(classes.size()))
            return QStringLiteral("output does not match its classes");
    } catch (const cv::Exception &) {
        return QStringLiteral("OpenCV cannot read it");
    } catch (const std::exception &) {
        return QStringLiteral("OpenCV cannot read it");
    }
    m_model = std::move(model);
    m_classes = std::move(classes);
    m_sorted = std::move(sorted);
    return {};
}

QList<Candidate> InkModelRecognizer::classify(const Ink &ink, int count) const
{
    if (!m_model || count <= 0)
        return {};
    const Ink bounded = boundedInk(ink);
    if (bounded.isEmpty())
        return {};
    std::vector<float> raster = InkRaster::rasterize(bounded);
    const int shape[] = {1, InkRaster::Channels, InkRaster::Side, InkRaster::Side};
    std::vector<float> logits;
    try {
        const std::lock_guard<std::mutex> lock(m_model->mutex);
        m_model->net.setInput(cv::Mat(4, shape, CV_32F, raster.data()));
        const cv::Mat out = m_model->net.forward();
        const float *begin = out.ptr<float>();
        logits.assign(begin, begin + out.total());
    } catch (const cv::Exception &) {
        return {};
    }
    if (logits.size() != size_t(m_classes.size()))
        return {};
    // Log-softmax: scores comparable between characters and between inks.
    const float top = *std::max_element(logits.begin(), logits.end());
    double sum = 0;
    for (float v : logits)
        sum += std::exp(double(v - top));
    const double logSum = double(top) + std::log(sum);
    std::vector<int> order(logits.size());
    std::iota(order.begin(), order.end(), 0);
    const size_t k = std::min(order.size(), size_t(count));
    std::partial_sort(order.begin(), order.begin() + ptrdiff_t(k), order.end(),
                      [&](int a, int b) { return logits[size_t(a)] > logits[size_t(b)]; });
    QList<Candidate> out;
    out.reserve(int(k));
    for (size_t i = 0; i < k; ++i)
        out.append({QString::fromUcs4(&m_classes[size_t(order[i])], 1), double(logits[size_t(order[i])]) - logSum});
    return out;
}
