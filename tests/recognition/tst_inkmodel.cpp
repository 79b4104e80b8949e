// SPDX-License-Identifier: GPL-3.0-or-later
// The ink model: its raster against the training code's, loading, threads.
#include "recognition/inkmodelrecognizer.h"
#include "recognition/inkraster.h"
#include "recognition/quantizedlayer.h"
#include "recognition/sharedrecognizer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <thread>

namespace {

Ink inkOf(const char *text)
{
    return parseInkLine(QString::fromLatin1(text), QSizeF(300, 300));
}

QString top(const QList<Candidate> &candidates)
{
    return candidates.isEmpty() ? QString() : candidates.first().text;
}

const char *const Tree = "30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235";
const char *const River = "63,60 40,196;125,55 128,177;200,36 204,221";
const char *const Three = "64,55 198,47;67,128 190,122;30,205 226,199";

} // namespace

class TestInkModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rasterIsTheTrainingRaster();
    void readsWhatItWasTrainedOn_data();
    void readsWhatItWasTrainedOn();
    void loadsOnlyAWholeModel_data();
    void loadsOnlyAWholeModel();
    void classifiesFromSeveralThreads();
    void eightBitLayerKeepsItsSums();
    void eightBitHeadReadsAsTheFloatOne();
    void modelsReadTogether();

private:
    SharedRecognizer m_shared;
};

void TestInkModel::initTestCase()
{
    QVERIFY2(m_shared.inkModel().isAvailable(),
             qPrintable(QStringLiteral("the ink model did not load: ")
                        + m_shared.inkModel().pathsTried().join(QLatin1String(", "))));
}

void TestInkModel::rasterIsTheTrainingRaster()
{
    // Guards the program feeding a model something other than what it
    // learnt from: the cells tools/inkmodel/raster.py gives the same inks,
    // at each side a model is trained on.
    for (const char *name : {"raster-golden.txt", "raster-golden-64.txt"}) {
        QFile file(QStringLiteral(TARUVO_TEST_DATA "/") + QLatin1String(name));
        QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), name);
        const QRegularExpression header(QStringLiteral("Side (\\d+), margin (\\d+)"));
        InkRaster::Geometry geometry{0, 0};
        int inks = 0;
        std::vector<float> expected;
        QString ink;
        auto compare = [&]() {
            const std::vector<float> got = InkRaster::rasterize(parseInkLine(ink, QSizeF(300, 300)), geometry);
            QCOMPARE(got.size(), expected.size());
            const int side = geometry.side;
            for (size_t i = 0; i < got.size(); ++i) {
                if (std::abs(got[i] - expected[i]) > 2e-6) {
                    const int c = int(i) / (side * side), cell = int(i) % (side * side);
                    QFAIL(qPrintable(QStringLiteral("%1 (side %2): channel %3 row %4 column %5 is %6, training had %7")
                                         .arg(ink).arg(side).arg(c).arg(cell / side).arg(cell % side)
                                         .arg(got[i]).arg(expected[i])));
                }
            }
        };
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('#'))) {
                const QRegularExpressionMatch m = header.match(line);
                if (m.hasMatch())
                    geometry = {m.captured(1).toInt(), m.captured(2).toInt()};
                continue;
            }
            if (line.isEmpty())
                continue;
            if (line.startsWith(QLatin1String("ink\t"))) {
                if (!ink.isNull())
                    compare();
                QVERIFY2(geometry.isValid(), name);
                ink = line.mid(4);
                expected.assign(size_t(geometry.size()), 0.0f);
                ++inks;
                continue;
            }
            const QStringList f = line.split(QLatin1Char(' '));
            QCOMPARE(f.size(), 4);
            expected[size_t((f[0].toInt() * geometry.side + f[1].toInt()) * geometry.side + f[2].toInt())] = f[3].toFloat();
        }
        compare();
        QVERIFY(inks >= 5);
    }
}

void TestInkModel::readsWhatItWasTrainedOn_data()
{
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QByteArray>("ink");
    // 川 and 三 are each other's mirror across the diagonal: a raster with
    // rows and columns swapped reads one as the other.
    QTest::newRow("川") << "川" << QByteArray(River);
    QTest::newRow("三") << "三" << QByteArray(Three);
    QTest::newRow("木") << "木" << QByteArray(Tree);
    QTest::newRow("木, cross in one stroke") << "木" << QByteArray("30,110 270,105 150,30 150,280;145,110 40,240;155,110 265,235");
}

void TestInkModel::readsWhatItWasTrainedOn()
{
    // Guards the model's input and output being wired the wrong way round
    // (channels, axes, class order).
    QFETCH(QString, kanji);
    QFETCH(QByteArray, ink);
    const QList<Candidate> result = m_shared.inkModel().classify(inkOf(ink.constData()), 5);
    QCOMPARE(result.size(), 5);
    QCOMPARE(result.first().text, kanji);
    QVERIFY(result.first().score <= 0 && result.first().score > std::log(0.5));
    for (int i = 1; i < result.size(); ++i)
        QVERIFY(result[i].score <= result[i - 1].score);
}

void TestInkModel::loadsOnlyAWholeModel_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing" << "file not found";
    QTest::newRow("a folder") << "folder" << "a folder";
    QTest::newRow("a named pipe") << "pipe" << "a named pipe";
    // Reading it would block the recognition thread for good.
    QTest::newRow("a link to /proc/kmsg") << "kmsg" << "a kernel file";
    QTest::newRow("empty") << "empty" << "checksum";
    QTest::newRow("no metadata") << "no metadata" << "no metadata";
    QTest::newRow("model truncated") << "truncated" << "checksum";
    QTest::newRow("junk with a matching checksum") << "junk" << "OpenCV cannot read it";
    QTest::newRow("metadata not JSON") << "bad json" << "metadata unreadable";
    QTest::newRow("a raster side beyond any model") << "side 1000" << "another raster";
    QTest::newRow("three channels") << "channels 3" << "another raster";
    QTest::newRow("no margin given") << "no margin" << "another raster";
    // A side a model may have, but not this one.
    QTest::newRow("another model's raster side") << "side 64" << "does not fit its raster";
    QTest::newRow("a class missing") << "short classes" << "output does not match";
    QTest::newRow("a class twice") << "twice" << "twice";
}

void TestInkModel::loadsOnlyAWholeModel()
{
    // Guards start-up against a damaged, mismatched or foreign model file:
    // it is named in the log and skipped, never run.
    QFETCH(QString, damage);
    QFETCH(QString, reason);
    const QString real = m_shared.inkModel().modelPath();
    QFile realFile(real), realMeta(InkModelRecognizer::metadataPath(real));
    QVERIFY(realFile.open(QIODevice::ReadOnly) && realMeta.open(QIODevice::ReadOnly));
    QByteArray model = realFile.readAll();
    QJsonObject meta = QJsonDocument::fromJson(realMeta.readAll()).object();
    QByteArray metaBytes;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ink-ja.onnx"));
    auto rehash = [&]() {
        meta.insert(QStringLiteral("sha256"),
                    QString::fromLatin1(QCryptographicHash::hash(model, QCryptographicHash::Sha256).toHex()));
    };
    if (damage == QLatin1String("empty")) {
        model.clear();
    } else if (damage == QLatin1String("truncated")) {
        model.chop(1000);
    } else if (damage == QLatin1String("junk")) {
        model = QByteArray(5000, 'x');
        rehash();
    } else if (damage.startsWith(QLatin1String("side ")) || damage.startsWith(QLatin1String("channels "))
               || damage == QLatin1String("no margin")) {
        QJsonObject raster = meta.value(QStringLiteral("raster")).toObject();
        const QStringList kv = damage.split(QLatin1Char(' '));
        if (kv[1] == QLatin1String("margin"))
            raster.remove(QStringLiteral("margin"));
        else
            raster.insert(kv[0], kv[1].toInt());
        meta.insert(QStringLiteral("raster"), raster);
    } else if (damage == QLatin1String("short classes")) {
        meta.insert(QStringLiteral("classes"), meta.value(QStringLiteral("classes")).toString().chopped(1));
    } else if (damage == QLatin1String("twice")) {
        meta.insert(QStringLiteral("classes"), meta.value(QStringLiteral("classes")).toString() + QStringLiteral("一"));
    }
    metaBytes = damage == QLatin1String("bad json") ? QByteArray("{\"raster\": ") : QJsonDocument(meta).toJson();
    if (damage == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ink-ja.onnx")));
    } else if (damage == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (damage == QLatin1String("kmsg")) {
        QVERIFY(QFile::link(QStringLiteral("/proc/kmsg"), path));
    } else if (damage != QLatin1String("missing")) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(model);
    }
    if (damage != QLatin1String("no metadata")) {
        QFile out(InkModelRecognizer::metadataPath(path));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(metaBytes);
    }

    const InkModelRecognizer broken({path});
    QVERIFY(!broken.isAvailable());
    QCOMPARE(broken.pathsTried().size(), 1);
    QVERIFY2(broken.pathsTried().first().contains(reason), qPrintable(broken.pathsTried().first()));
    QVERIFY(broken.classify(inkOf(Tree), 5).isEmpty());
    // The next path still loads.
    const InkModelRecognizer next({path, real});
    QVERIFY(next.isAvailable());
    QCOMPARE(next.modelPath(), real);
    QCOMPARE(top(next.classify(inkOf(Tree), 5)), QStringLiteral("木"));
}

void TestInkModel::classifiesFromSeveralThreads()
{
    // Guards the network being run by two threads at once (it keeps its
    // buffers between runs): every thread must get what one thread gets.
    const InkModelRecognizer &model = m_shared.inkModel();
    const QList<QByteArray> inks{Tree, River, Three};
    QList<QList<Candidate>> expected;
    for (const QByteArray &ink : inks)
        expected << model.classify(inkOf(ink.constData()), 5);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t]() {
            for (int i = 0; i < 30; ++i) {
                const int k = (i + t) % int(inks.size());
                const QList<Candidate> got = model.classify(inkOf(inks[k].constData()), 5);
                if (got.size() != expected[k].size() || got.first().text != expected[k].first().text
                    || std::abs(got.first().score - expected[k].first().score) > 1e-4)
                    ++wrong;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(wrong.load(), 0);
}

void TestInkModel::eightBitLayerKeepsItsSums()
{
    // 300 outputs of 200 inputs, weights of very different sizes per output.
    const int out = 300, in = 200;
    const size_t outs = out, ins = in;
    std::mt19937 rng(5);
    std::normal_distribution<float> normal;
    std::vector<float> w(outs * ins), b(outs), x(ins);
    for (int o = 0; o < out; ++o) {
        const float size = std::pow(10.0f, float(o % 7) - 3.0f);
        for (int i = 0; i < in; ++i)
            w[size_t(o * in + i)] = size * normal(rng);
        b[size_t(o)] = normal(rng);
    }
    // Half the inputs zero, as after a ReLU.
    for (int i = 0; i < in; ++i)
        x[size_t(i)] = i % 2 ? std::max(0.0f, normal(rng)) : 0.0f;
    const QuantizedLayer layer = QuantizedLayer::fromFloat(w.data(), b.data(), out, in);
    QCOMPARE(layer.outputs(), out);
    QCOMPARE(layer.inputs(), in);
    QVERIFY(layer.bytes() < w.size() * sizeof(float) / 3);
    std::vector<float> y(outs);
    layer.apply(x.data(), y.data());
    for (int o = 0; o < out; ++o) {
        double exact = b[size_t(o)], magnitude = 0;
        for (int i = 0; i < in; ++i) {
            exact += double(w[size_t(o * in + i)]) * x[size_t(i)];
            magnitude += std::fabs(double(w[size_t(o * in + i)]) * x[size_t(i)]);
        }
        // Each weight is off by at most half a step of 1/127 of its row's largest.
        QVERIFY2(std::fabs(y[size_t(o)] - exact) <= magnitude / 127 + 1e-5, qPrintable(QString::number(o)));
    }
    // A row of zeros, and weights that are no numbers.
    std::fill(w.begin(), w.begin() + in, 0.0f);
    QVERIFY(!QuantizedLayer::fromFloat(w.data(), b.data(), out, in).isEmpty());
    w[7] = std::numeric_limits<float>::quiet_NaN();
    QVERIFY(QuantizedLayer::fromFloat(w.data(), b.data(), out, in).isEmpty());
    w[7] = 0;
    b[3] = std::numeric_limits<float>::infinity();
    QVERIFY(QuantizedLayer::fromFloat(w.data(), b.data(), out, in).isEmpty());
}

void TestInkModel::eightBitHeadReadsAsTheFloatOne()
{
    // The shipped model's head is taken apart and kept in eight bits; it
    // reads the same characters as the network read whole, with scores a
    // few hundredths apart.
    const InkModelRecognizer &eight = m_shared.inkModel();
    QVERIFY(eight.isEightBit());
    const InkModelRecognizer whole({eight.modelPath()}, InkModelRecognizer::Head::Float);
    QVERIFY(whole.isAvailable());
    QVERIFY(!whole.isEightBit());
    for (const char *ink : {Tree, River, Three}) {
        const QList<Candidate> a = eight.classify(inkOf(ink), 5);
        const QList<Candidate> b = whole.classify(inkOf(ink), 5);
        QCOMPARE(a.size(), 5);
        QCOMPARE(a.first().text, b.first().text);
        QVERIFY2(std::abs(a.first().score - b.first().score) < 0.1, ink);
    }
}

void TestInkModel::modelsReadTogether()
{
    // Both shipped models load; together they know the name kanji only the
    // longhand one was trained on, and a reading is each character's mean
    // log-probability over the models that know it, scaled to sum to one.
    const InkModelRecognizer &both = m_shared.inkModel();
    QCOMPARE(both.modelPaths().size(), 2);
    const InkModelRecognizer joyo({both.modelPaths().at(0)});
    const InkModelRecognizer longhand({both.modelPaths().at(1)});
    const QString name = QStringLiteral("凛");
    QVERIFY(!joyo.contains(name) && longhand.contains(name) && both.contains(name));
    QCOMPARE(both.size(), longhand.size());
    for (const char *ink : {Tree, River, Three}) {
        QHash<QString, QList<double>> scores;
        for (const InkModelRecognizer *m : {&joyo, &longhand})
            for (const Candidate &c : m->classify(inkOf(ink), m->size()))
                scores[c.text] << c.score;
        QHash<QString, double> mean;
        double top = -1e300;
        for (auto it = scores.cbegin(); it != scores.cend(); ++it) {
            mean[it.key()] = std::accumulate(it->begin(), it->end(), 0.0) / it->size();
            top = std::max(top, mean[it.key()]);
        }
        double sum = 0;
        for (double v : std::as_const(mean))
            sum += std::exp(v - top);
        const double logSum = top + std::log(sum);
        const QList<Candidate> got = both.classify(inkOf(ink), 5);
        QCOMPARE(got.size(), 5);
        for (const Candidate &c : got)
            QVERIFY2(std::abs(c.score - (mean.value(c.text) - logSum)) < 1e-6, qPrintable(c.text));
        QVERIFY(std::abs(got.first().score - (top - logSum)) < 1e-6);
    }
}

QTEST_GUILESS_MAIN(TestInkModel)
#include "tst_inkmodel.moc"
