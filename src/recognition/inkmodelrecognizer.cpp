// SPDX-License-Identifier: GPL-3.0-or-later
// The ink model behind the Recognizer interface.
#include "recognition/inkmodelrecognizer.h"
#include "recognition/inkraster.h"
#include "recognition/quantizedlayer.h"
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
#include <opencv2/dnn/all_layers.hpp>

namespace {

// The shipped model is about 5 MB and its metadata a few kB: anything far
// larger is not them, and is not read into memory.
constexpr qint64 MaxModelBytes = 64 * 1024 * 1024;
constexpr qint64 MaxMetadataBytes = 1024 * 1024;

// The eight-bit head may differ from the float one by a few hundredths;
// more means it was not taken apart right.
constexpr float HeadTolerance = 0.5f;

cv::dnn::DictValue sizes(const std::vector<size_t> &values)
{
    std::vector<int> ints(values.begin(), values.end());
    return cv::dnn::DictValue::arrayInt(ints.data(), int(ints.size()));
}

// A layer of the convolutional part as parameters a new network takes; false
// for a kind of layer or a setting this does not carry over.
bool paramsOf(const cv::Ptr<cv::dnn::Layer> &layer, cv::dnn::LayerParams &p)
{
    p.name = layer->name;
    p.type = layer->type;
    p.blobs = layer->blobs;
    if (layer->type == "Convolution") {
        const auto conv = layer.dynamicCast<cv::dnn::BaseConvolutionLayer>();
        if (!conv || conv->pads_begin != conv->pads_end || !conv->padMode.empty() || layer->blobs.empty())
            return false;
        p.set("kernel_size", sizes(conv->kernel_size));
        p.set("stride", sizes(conv->strides));
        p.set("dilation", sizes(conv->dilations));
        p.set("pad", sizes(conv->pads_begin));
        p.set("num_output", conv->numOutput);
        p.set("bias_term", layer->blobs.size() > 1);
        return true;
    }
    if (layer->type == "Pooling") {
        const auto pool = layer.dynamicCast<cv::dnn::PoolingLayer>();
        if (!pool || pool->type != 0 /* max */ || pool->globalPooling || pool->pads_begin != pool->pads_end
            || !pool->padMode.empty())
            return false;
        p.set("pool", "max");
        p.set("kernel_size", sizes(pool->kernel_size));
        p.set("stride", sizes(pool->strides));
        p.set("pad", sizes(pool->pads_begin));
        p.set("ceil_mode", pool->ceilMode);
        return true;
    }
    if (layer->type == "ReLU") {
        const auto relu = layer.dynamicCast<cv::dnn::ReLULayer>();
        return relu && relu->negativeSlope == 0.0f;
    }
    return layer->type == "Flatten";
}

QuantizedLayer quantized(const cv::Ptr<cv::dnn::Layer> &layer)
{
    if (layer->blobs.size() != 2)
        return {};
    const cv::Mat &w = layer->blobs[0];
    const cv::Mat &b = layer->blobs[1];
    if (w.type() != CV_32F || b.type() != CV_32F || w.dims != 2 || !w.isContinuous() || !b.isContinuous()
        || b.total() != size_t(w.size[0]))
        return {};
    return QuantizedLayer::fromFloat(w.ptr<float>(), b.ptr<float>(), w.size[0], w.size[1]);
}

} // namespace

struct InkModelRecognizer::Model
{
    QString path;
    // Its classes in the network's output order, and where each stands
    // among the classes of all the models.
    std::vector<char32_t> classes;
    std::vector<int> place;
    // The raster it was trained on.
    InkRaster::Geometry geometry;
    // The whole network, or its convolutional part when the head is split off.
    cv::dnn::Net net;
    // The head in eight bits: hidden, a ReLU, output; empty when the net is whole.
    QuantizedLayer hidden;
    QuantizedLayer output;
    std::mutex mutex; // a network runs one input at a time

    // The network's output for one raster.
    std::vector<float> logits(const float *raster);
    // Splits the whole network into its convolutional part, run by OpenCV,
    // and the two fully connected layers at its end, kept in eight bits;
    // false (and nothing changed) when it has another shape or the parts do
    // not give what it gives.
    bool splitHead();
};

std::vector<float> InkModelRecognizer::Model::logits(const float *raster)
{
    const int shape[] = {1, InkRaster::Channels, geometry.side, geometry.side};
    net.setInput(cv::Mat(4, shape, CV_32F, const_cast<float *>(raster)));
    const cv::Mat out = net.forward();
    const float *begin = out.ptr<float>();
    if (output.isEmpty())
        return std::vector<float>(begin, begin + out.total());
    if (out.total() != size_t(hidden.inputs()))
        return {};
    std::vector<float> h(size_t(hidden.outputs()));
    hidden.apply(begin, h.data());
    for (float &v : h)
        v = std::max(v, 0.0f);
    std::vector<float> y(size_t(output.outputs()));
    output.apply(h.data(), y.data());
    return y;
}

bool InkModelRecognizer::Model::splitHead()
{
    cv::dnn::Net whole = net;
    // Layer ids run 1..n in the order the file gives them; the head is the
    // last two fully connected layers with a ReLU between them.
    const std::vector<cv::String> names = whole.getLayerNames();
    const int n = int(names.size());
    int first = 0;
    for (int id = 1; id <= n; ++id) {
        if (whole.getLayerId(names[size_t(id - 1)]) != id)
            return false;
        if (!first && whole.getLayer(id)->type == "InnerProduct")
            first = id;
    }
    if (first < 2 || first + 2 > n || whole.getLayer(first + 1)->type != "ReLU"
        || whole.getLayer(first + 2)->type != "InnerProduct")
        return false;
    for (int id = first + 3; id <= n; ++id)
        if (whole.getLayer(id)->type != "Identity")
            return false;
    QuantizedLayer h = quantized(whole.getLayer(first));
    QuantizedLayer o = quantized(whole.getLayer(first + 2));
    if (h.isEmpty() || o.isEmpty() || o.inputs() != h.outputs())
        return false;

    cv::dnn::Net part;
    for (int id = 1; id < first; ++id) {
        // A chain: each layer reads the one before it and nothing else.
        if (id > 1) {
            const std::vector<cv::Ptr<cv::dnn::Layer>> inputs = whole.getLayerInputs(id);
            if (inputs.size() != 1 || inputs.front()->name != names[size_t(id - 2)])
                return false;
        }
        cv::dnn::LayerParams p;
        if (!paramsOf(whole.getLayer(id), p))
            return false;
        part.addLayerToPrev(p.name, p.type, p);
    }
    part.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    part.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);

    // Both ways on an ink-like pattern must agree.
    std::vector<float> probe(size_t(geometry.size()));
    for (size_t i = 0; i < probe.size(); ++i)
        probe[i] = (i * 7919 % 31 < 5) ? float(i % 13) / 12.0f : 0.0f;
    const int shape[] = {1, InkRaster::Channels, geometry.side, geometry.side};
    whole.setInput(cv::Mat(4, shape, CV_32F, probe.data()));
    const cv::Mat expected = whole.forward().clone();
    net = part;
    hidden = std::move(h);
    output = std::move(o);
    const std::vector<float> got = logits(probe.data());
    bool same = got.size() == expected.total();
    for (size_t i = 0; same && i < got.size(); ++i)
        same = std::fabs(got[i] - expected.ptr<float>()[i]) <= HeadTolerance;
    if (!same) {
        net = whole;
        hidden = {};
        output = {};
    }
    return same;
}

InkModelRecognizer::InkModelRecognizer(const QStringList &modelPaths, Head head)
    : InkModelRecognizer(QList<QStringList>{modelPaths}, head)
{
}

InkModelRecognizer::InkModelRecognizer(const QList<QStringList> &models, Head head)
{
    for (const QStringList &paths : models) {
        for (const QString &path : paths) {
            if (path.isEmpty())
                continue;
            const QString why = load(path, head);
            if (why.isEmpty()) {
                m_pathsTried.append(path);
                break;
            }
            m_pathsTried.append(path + QStringLiteral(" (") + why + QLatin1Char(')'));
        }
    }
    // Every model's classes in one sorted list; each output finds its place.
    for (const auto &model : m_models)
        m_classes.insert(m_classes.end(), model->classes.begin(), model->classes.end());
    std::sort(m_classes.begin(), m_classes.end());
    m_classes.erase(std::unique(m_classes.begin(), m_classes.end()), m_classes.end());
    for (const auto &model : m_models) {
        for (char32_t c : model->classes)
            model->place.push_back(int(std::lower_bound(m_classes.begin(), m_classes.end(), c) - m_classes.begin()));
    }
}

InkModelRecognizer::~InkModelRecognizer() = default;

bool InkModelRecognizer::contains(const QString &text) const
{
    const QList<uint> ucs = text.toUcs4();
    return ucs.size() == 1 && std::binary_search(m_classes.begin(), m_classes.end(), char32_t(ucs.first()));
}

QString InkModelRecognizer::metadataPath(const QString &modelPath)
{
    const QFileInfo info(modelPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".json"));
}

bool InkModelRecognizer::isEightBit() const
{
    return !m_models.empty() && std::all_of(m_models.begin(), m_models.end(), [](const auto &m) {
        return !m->output.isEmpty();
    });
}

QStringList InkModelRecognizer::modelPaths() const
{
    QStringList paths;
    for (const auto &model : m_models)
        paths << model->path;
    return paths;
}

QString InkModelRecognizer::modelPath() const
{
    return m_models.empty() ? QString() : m_models.front()->path;
}

QString InkModelRecognizer::load(const QString &path, Head head)
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
    const InkRaster::Geometry geometry{raster.value(QLatin1String("side")).toInt(),
                                       raster.value(QLatin1String("margin")).toInt(-1)};
    if (!geometry.isValid() || raster.value(QLatin1String("channels")).toInt() != InkRaster::Channels)
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
    model->path = path;
    model->geometry = geometry;
    try {
        model->net = cv::dnn::readNetFromONNX(bytes.constData(), size_t(bytes.size()));
    } catch (const std::exception &) { // cv::Exception among them
        return QStringLiteral("OpenCV cannot read it");
    }
    if (model->net.empty())
        return QStringLiteral("not a network");
    model->net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    model->net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    try {
        // One run now: it checks the network against its raster and output
        // and sets it up, so that the first character is as quick as any other.
        const int shape[] = {1, InkRaster::Channels, geometry.side, geometry.side};
        model->net.setInput(cv::Mat(4, shape, CV_32F, cv::Scalar(0)));
        const cv::Mat out = model->net.forward();
        if (out.total() != size_t(classes.size()))
            return QStringLiteral("output does not match its classes");
        // A network of another shape keeps its head in float.
        if (head == Head::EightBit)
            model->splitHead();
    } catch (const std::exception &) {
        return QStringLiteral("the network does not fit its raster");
    }
    model->classes = std::move(classes);
    m_models.push_back(std::move(model));
    return {};
}

namespace {

// log(sum(exp(v))), safe from overflow.
double logSumExp(const std::vector<double> &v)
{
    const double top = *std::max_element(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += std::exp(x - top);
    return top + std::log(sum);
}

} // namespace

QList<Candidate> InkModelRecognizer::classify(const Ink &ink, int count) const
{
    if (m_models.empty() || count <= 0)
        return {};
    const Ink bounded = boundedInk(ink);
    if (bounded.isEmpty())
        return {};
    // Each model reads the raster it was trained on, drawn again only when
    // a model's differs from the one before it.
    InkRaster::Geometry drawn{0, 0};
    std::vector<float> raster;
    // Each model's log-probabilities, averaged over the models that know a
    // character: two models trained on different hands err apart.
    std::vector<double> sum(m_classes.size(), 0.0);
    std::vector<int> votes(m_classes.size(), 0);
    for (const auto &model : m_models) {
        if (!(model->geometry == drawn)) {
            drawn = model->geometry;
            raster = InkRaster::rasterize(bounded, drawn);
        }
        std::vector<float> logits;
        try {
            const std::lock_guard<std::mutex> lock(model->mutex);
            logits = model->logits(raster.data());
        } catch (const cv::Exception &) {
            return {};
        }
        if (logits.size() != model->classes.size())
            return {};
        const std::vector<double> scores(logits.begin(), logits.end());
        const double logSum = logSumExp(scores);
        for (size_t i = 0; i < scores.size(); ++i) {
            sum[size_t(model->place[i])] += scores[i] - logSum;
            ++votes[size_t(model->place[i])];
        }
    }
    for (size_t i = 0; i < sum.size(); ++i)
        sum[i] /= votes[i];
    // Averaged, they are probabilities again only once scaled to sum to one.
    const double logSum = m_models.size() > 1 ? logSumExp(sum) : 0.0;
    std::vector<int> order(sum.size());
    std::iota(order.begin(), order.end(), 0);
    const size_t k = std::min(order.size(), size_t(count));
    std::partial_sort(order.begin(), order.begin() + ptrdiff_t(k), order.end(),
                      [&](int a, int b) { return sum[size_t(a)] > sum[size_t(b)]; });
    QList<Candidate> out;
    out.reserve(int(k));
    for (size_t i = 0; i < k; ++i)
        out.append({QString::fromUcs4(&m_classes[size_t(order[i])], 1), sum[size_t(order[i])] - logSum});
    return out;
}
