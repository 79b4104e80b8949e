// SPDX-License-Identifier: GPL-3.0-or-later
// Ink normalisation, the Zinnia recogniser's guards and the taruvo-recognize tool.
#include "engine/ink.h"
#include "recognition/sharedrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniamodel.h"
#include "recognition/zinniarecognizer.h"
#include "fakes/hostilefiles.h"

#include "recognition/fusedrecognizer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace {

Ink inkOf(const char *text, QSizeF canvas = QSizeF(300, 300))
{
    return parseInkLine(QString::fromLatin1(text), canvas);
}

QString top(const QList<Candidate> &candidates)
{
    return candidates.isEmpty() ? QString() : candidates.first().text;
}

const ZinniaRecognizer &realZinnia()
{
    static const ZinniaRecognizer r(SharedRecognizer::modelPaths());
    return r;
}

// Back and forth across a box of `side` pixels `turns` times, `points`
// pointer moves per crossing, drifting down.
Stroke zigzag(int turns, int points, qreal side = 300, qreal amplitude = 300)
{
    Stroke s;
    for (int t = 0; t <= turns; ++t) {
        for (int k = 0; k < points; ++k) {
            const qreal along = (t + qreal(k) / points) / (turns + 1);
            const qreal across = (t % 2 ? 1 - qreal(k) / points : qreal(k) / points) * amplitude;
            s.append(QPointF(across, along * side));
        }
    }
    return s;
}

// Named inks for the bounding tests.
Ink namedInk(const QString &name)
{
    Ink ink;
    if (name == QLatin1String("neat tree")) {
        ink = inkOf("30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235");
        for (Stroke &s : ink.strokes)
            s = resampledStroke(s, 0.5); // a tablet's many points
    } else if (name == QLatin1String("6000-point line")) {
        Stroke s;
        for (int i = 0; i < 6000; ++i)
            s.append(QPointF(10 + i * 0.04, 150 + (i % 2) * 0.2));
        ink.strokes << s;
    } else if (name == QLatin1String("41 strokes")) {
        for (int i = 0; i < 41; ++i)
            ink.strokes << Stroke{QPointF(5 + i * 7, 20), QPointF(5 + i * 7, 280)};
    } else if (name == QLatin1String("zigzag, 20 turns")) {
        ink.strokes << zigzag(20, 10);
    } else if (name == QLatin1String("zigzag, 28 turns")) {
        ink.strokes << zigzag(28, 10);
    } else if (name == QLatin1String("zigzag, 40 turns")) {
        ink.strokes << zigzag(40, 10);
    } else if (name == QLatin1String("zigzag, 6000 points")) {
        ink.strokes << zigzag(599, 10);
    } else if (name == QLatin1String("zigzag, 14 turns")) {
        ink.strokes << zigzag(14, 10);
    } else if (name == QLatin1String("wavy line, 40 turns")) {
        Stroke s;
        for (int i = 0; i <= 400; ++i)
            s.append(QPointF(20 + i * 0.65, 150 + ((i / 5) % 2 ? 5 - i % 5 : i % 5) * 2.0));
        ink.strokes << s;
    } else if (name == QLatin1String("60 lines of ten moves")) {
        for (int i = 0; i < 60; ++i) {
            Stroke s;
            for (int k = 0; k <= 10; ++k)
                s.append(QPointF(i % 2 ? 300 - k * 30 : k * 30, i * 5));
            ink.strokes << s;
        }
    } else if (name == QLatin1String("39 zigzags of 12 turns")) {
        for (int i = 0; i < 39; ++i) {
            Stroke s = zigzag(12, 10, 20, 20);
            for (QPointF &p : s)
                p += QPointF((i % 6) * 45, (i / 6) * 40);
            ink.strokes << s;
        }
    } else if (name == QLatin1String("a dot")) {
        ink.strokes << Stroke{QPointF(40, 40), QPointF(40, 40), QPointF(40, 40)};
    }
    return ink;
}

} // namespace

class TestRecognition : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fitFillsEightyPercentCentred_data();
    void fitFillsEightyPercentCentred();
    void resamplingKeepsEndsAndSpacing();
    void parseSkipsWhatIsNotInk_data();
    void parseSkipsWhatIsNotInk();
    void sizeAndPlaceDoNotMatter_data();
    void sizeAndPlaceDoNotMatter();
    void zinniaPitfallsAreHandled_data();
    void zinniaPitfallsAreHandled();
    void missingModelIsUnavailable();
    void modelLayoutIsChecked_data();
    void modelLayoutIsChecked();
    void modelIsSharedOnlyWhenOnlyRootCanChangeIt();
    void hostileModelAndTemplatePaths_data();
    void hostileModelAndTemplatePaths();
    void boundedInkKeepsCharactersNotScribbles_data();
    void boundedInkKeepsCharactersNotScribbles();
    void scribblesCostLittle_data();
    void scribblesCostLittle();
    void toolPrintsOneLinePerInput();
    void toolRejectsBadArguments_data();
    void toolRejectsBadArguments();

private:
    SharedRecognizer m_shared;
};

void TestRecognition::initTestCase()
{
    QVERIFY2(realZinnia().isAvailable(),
             "the Zinnia model is missing: install tegaki-zinnia-japanese (tools/setup.sh)");
    // Loaded now, so that no test below counts the loading.
    QVERIFY(m_shared.isAvailable());
}

void TestRecognition::fitFillsEightyPercentCentred_data()
{
    QTest::addColumn<QByteArray>("ink");
    QTest::addColumn<QRectF>("fitted");
    // The longer side becomes 240 of 300, the other keeps the aspect ratio.
    QTest::newRow("square in a corner") << QByteArray("0,0 10,0 10,10 0,10") << QRectF(30, 30, 240, 240);
    QTest::newRow("wide, off centre") << QByteArray("200,50 280,50;200,70 280,70") << QRectF(30, 120, 240, 60);
    QTest::newRow("tall") << QByteArray("5,0 5,100;15,0 15,100") << QRectF(138, 30, 24, 240);
    QTest::newRow("flat line") << QByteArray("10,40 50,40") << QRectF(30, 150, 240, 0);
    QTest::newRow("a dot is only centred") << QByteArray("7,9") << QRectF(150, 150, 0, 0);
}

void TestRecognition::fitFillsEightyPercentCentred()
{
    // Guards the normalisation that makes a small or off-centre character readable.
    QFETCH(QByteArray, ink);
    QFETCH(QRectF, fitted);
    const QRectF box = inkBounds(fittedInk(inkOf(ink.constData())));
    QVERIFY2(qAbs(box.left() - fitted.left()) < 1e-6 && qAbs(box.top() - fitted.top()) < 1e-6
                 && qAbs(box.width() - fitted.width()) < 1e-6 && qAbs(box.height() - fitted.height()) < 1e-6,
             qPrintable(QStringLiteral("got %1,%2 %3x%4").arg(box.left()).arg(box.top()).arg(box.width()).arg(box.height())));
}

void TestRecognition::resamplingKeepsEndsAndSpacing()
{
    // Guards resampling that loses the stroke's ends or bunches points at corners.
    const Stroke corner{QPointF(0, 0), QPointF(0, 0), QPointF(100, 0), QPointF(100, 53)};
    const Stroke r = resampledStroke(corner, 10);
    QCOMPARE(r.first(), corner.first());
    QCOMPARE(r.last(), corner.last());
    for (int i = 1; i + 1 < r.size(); ++i) {
        const qreal step = QLineF(r[i - 1], r[i]).length();
        QVERIFY2(step <= 10 + 1e-9 && step > 7, qPrintable(QString::number(step)));
    }
    QCOMPARE(resampledStroke(Stroke{QPointF(3, 4)}, 10), Stroke{QPointF(3, 4)});
    // Smoothing keeps the ends and straight lines.
    const Stroke s = smoothedStroke(resampledStroke(Stroke{QPointF(0, 0), QPointF(100, 0)}, 10));
    QCOMPARE(s.first(), QPointF(0, 0));
    QCOMPARE(s.last(), QPointF(100, 0));
    for (QPointF p : s)
        QCOMPARE(p.y(), 0.0);
    // A scribble back and forth across the box stays a bounded number of
    // points (none: it is no character).
    Stroke zigzag;
    for (int i = 0; i < 20000; ++i)
        zigzag.append(QPointF(i % 2 ? 300 : 0, i * 0.01));
    const Ink scribble = normalizedInk(Ink{{zigzag}, QSizeF(300, 300)});
    QVERIFY(scribble.strokes.isEmpty() || scribble.strokes.first().size() <= 2001);
}

void TestRecognition::parseSkipsWhatIsNotInk_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("strokes");
    QTest::addColumn<int>("points");
    QTest::newRow("label is ignored") << "1,2\t3,4 5,6;7,8" << 2 << 3;
    QTest::newRow("no label") << "3,4 5,6;7,8" << 2 << 3;
    QTest::newRow("empty line") << "" << 0 << 0;
    QTest::newRow("label only") << "一\t" << 0 << 0;
    QTest::newRow("empty strokes dropped") << ";;3,4;; ;5,6" << 2 << 2;
    QTest::newRow("malformed points skipped") << "3,4 x,5 6, ,7 8 nan,1 1,inf 1e300,2 9,9" << 1 << 2;
    QTest::newRow("extra spaces") << "  3,4    5,6  " << 1 << 2;
}

void TestRecognition::parseSkipsWhatIsNotInk()
{
    // Guards the tool against garbage input turning into points (or a crash).
    QFETCH(QString, line);
    QFETCH(int, strokes);
    QFETCH(int, points);
    const Ink ink = parseInkLine(line, QSizeF(300, 300));
    QCOMPARE(ink.strokes.size(), strokes);
    int n = 0;
    for (const Stroke &s : ink.strokes)
        n += s.size();
    QCOMPARE(n, points);
}

void TestRecognition::sizeAndPlaceDoNotMatter_data()
{
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QByteArray>("ink");
    QTest::newRow("三") << "三" << QByteArray("70,70 230,65;90,150 210,147;40,235 260,230");
    QTest::newRow("木") << "木" << QByteArray("30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235");
}

void TestRecognition::sizeAndPlaceDoNotMatter()
{
    // Guards against a character written small in a corner being misread.
    QFETCH(QString, kanji);
    QFETCH(QByteArray, ink);
    const Ink full = inkOf(ink.constData());
    QCOMPARE(top(realZinnia().classify(full, 5)), kanji);
    Ink small = full;
    for (Stroke &s : small.strokes) {
        for (QPointF &p : s)
            p = p / 3 + QPointF(200, 200);
    }
    QCOMPARE(top(realZinnia().classify(small, 5)), kanji);
    // And on a canvas that is not square.
    Ink wide = full;
    wide.canvas = QSizeF(900, 300);
    for (Stroke &s : wide.strokes) {
        for (QPointF &p : s)
            p.rx() += 600;
    }
    QCOMPARE(top(realZinnia().classify(wide, 5)), kanji);
}

void TestRecognition::zinniaPitfallsAreHandled_data()
{
    QTest::addColumn<bool>("emptyStroke");
    QTest::addColumn<QSizeF>("canvas");
    QTest::newRow("empty stroke in the middle") << true << QSizeF(300, 300);
    QTest::newRow("zero canvas") << false << QSizeF(0, 0);
    QTest::newRow("negative canvas") << true << QSizeF(-5, 300);
}

void TestRecognition::zinniaPitfallsAreHandled()
{
    // Guards Zinnia dropping strokes after a gap in stroke ids, and returning
    // nothing for a zero size.
    QFETCH(bool, emptyStroke);
    QFETCH(QSizeF, canvas);
    Ink ink = inkOf("70,70 230,65;90,150 210,147;40,235 260,230", canvas);
    if (emptyStroke)
        ink.strokes.insert(1, Stroke{});
    QCOMPARE(top(realZinnia().classify(ink, 5)), QStringLiteral("三"));
    // No ink at all, or ink of nothing but bad numbers: no result.
    QVERIFY(realZinnia().classify(Ink{}, 5).isEmpty());
    const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
    QVERIFY(realZinnia().classify(Ink{{Stroke{QPointF(nan, 1)}}, canvas}, 5).isEmpty());
    QVERIFY(realZinnia().classify(ink, 0).isEmpty());
}

void TestRecognition::missingModelIsUnavailable()
{
    // Guards an unreadable model file being opened anyway, or crashing.
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.model"));
    const QString junk = dir.filePath(QStringLiteral("junk.model"));
    QFile(empty).open(QIODevice::WriteOnly);
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    const ZinniaRecognizer r({empty, junk, dir.path(), QStringLiteral("/nonexistent/model")});
    QVERIFY(!r.isAvailable());
    QCOMPARE(r.pathsTried().size(), 4);
    QVERIFY(r.modelPath().isEmpty());
    QVERIFY(r.classify(inkOf("0,0 10,10"), 5).isEmpty());
    // The real model is found after a missing one.
    const ZinniaRecognizer second({junk, SharedRecognizer::modelPaths().last()});
    QVERIFY(second.isAvailable());
    QCOMPARE(second.modelPath(), SharedRecognizer::modelPaths().last());
}

void TestRecognition::modelLayoutIsChecked_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("usable");
    QFile real(SharedRecognizer::modelPaths().last());
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray model = real.readAll();
    QVERIFY(model.size() > 1000000);
    // The first word is a fixed magic number mixed with the file's size.
    const quint32 magic = qFromLittleEndian<quint32>(model.constData()) ^ quint32(model.size());
    auto made = [magic](quint32 entries, const QByteArray &body) {
        QByteArray bytes(12, '\0');
        qToLittleEndian<quint32>(magic ^ quint32(12 + body.size()), bytes.data());
        qToLittleEndian<quint32>(1, bytes.data() + 4); // version
        qToLittleEndian<quint32>(entries, bytes.data() + 8);
        return bytes + body;
    };
    auto feature = [](qint32 index) {
        QByteArray node(8, '\0');
        qToLittleEndian<qint32>(index, node.data());
        return node;
    };
    const QByteArray name = QByteArray("x").leftJustified(16, '\0');
    const QByteArray bias(4, '\0');
    QTest::newRow("the real model") << model << true;
    QTest::newRow("one entry") << made(1, name + bias + feature(3) + feature(-1)) << true;
    QTest::newRow("cut short by a byte") << model.chopped(1) << false;
    QTest::newRow("cut in half") << model.left(model.size() / 2) << false;
    QTest::newRow("a byte too many") << model + '\0' << false;
    QTest::newRow("four billion entries claimed") << made(0xFFFFFFFFu, name + bias + feature(-1)) << false;
    QTest::newRow("a name without an end") << made(1, QByteArray(16, 'x') + bias + feature(-1)) << false;
    QTest::newRow("features past the end") << made(1, name + bias + feature(3) + feature(4)) << false;
    QTest::newRow("header only, cut") << made(0, {}).left(8) << false;
}

void TestRecognition::modelLayoutIsChecked()
{
    // Guards against Zinnia reading past a damaged model, or allocating
    // for every entry a forged header claims, before it checks anything.
    QFETCH(QByteArray, bytes);
    QFETCH(bool, usable);
    QCOMPARE(isZinniaModelLayout(bytes), usable);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("handwriting-ja.model")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const ZinniaRecognizer r({file.fileName()});
    QCOMPARE(r.isAvailable(), usable);
    QCOMPARE(r.problems().isEmpty(), usable);
    if (usable)
        QVERIFY(!r.classify(inkOf("0,0 100,100"), 5).isEmpty());
}

void TestRecognition::modelIsSharedOnlyWhenOnlyRootCanChangeIt()
{
    // Guards the system's model being copied into every console's memory,
    // and a model another user could shorten under the mapping being mapped;
    // either way recognition must read the same.
    QVERIFY(realZinnia().isModelShared());
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("handwriting-ja.model"));
    QVERIFY(QFile::copy(SharedRecognizer::modelPaths().last(), copy));
    // Not root's: as root, the file goes to the user "nobody".
    if (getuid() == 0)
        QVERIFY(chown(QFile::encodeName(copy).constData(), 65534, 65534) == 0);
    const ZinniaRecognizer own({copy});
    QVERIFY(own.isAvailable());
    QVERIFY(!own.isModelShared());
    for (const char *ink : {"30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235", "20,150 280,150"}) {
        const QList<Candidate> a = realZinnia().classify(inkOf(ink), 10), b = own.classify(inkOf(ink), 10);
        QCOMPARE(a.size(), b.size());
        for (int i = 0; i < a.size(); ++i)
            QVERIFY(a[i].text == b[i].text && a[i].score == b[i].score);
    }
}

void TestRecognition::hostileModelAndTemplatePaths_data()
{
    QTest::addColumn<Hostile>("kind");
    for (const auto &[name, kind] : hostileKinds())
        QTest::newRow(name) << kind;
}

void TestRecognition::hostileModelAndTemplatePaths()
{
    // Guards the recognisers' start against a model or templates beside the
    // program that are links to devices, kernel files or pipes: passed over
    // at once (the model for the installed one, with the reason).
    QFETCH(Hostile, kind);
    QTemporaryDir dir;
    HostilePlanter planter;
    const QString model = dir.filePath(QStringLiteral("handwriting-ja.model"));
    const QString templates = dir.filePath(QStringLiteral("kanjidraw-data.json"));
    planter.plant(model, kind);
    planter.plant(templates, kind);
    const ZinniaRecognizer zinnia({model, SharedRecognizer::modelPaths().last()});
    QCOMPARE(zinnia.modelPath(), SharedRecognizer::modelPaths().last());
    QCOMPARE(zinnia.problems().size(), 1);
    QVERIFY(zinnia.problems().first().startsWith(model + QStringLiteral(" (")));
    const TemplateMatcher matcher({templates});
    QVERIFY(!matcher.isAvailable());
    QCOMPARE(matcher.pathsTried(), QStringList{templates});
}

void TestRecognition::boundedInkKeepsCharactersNotScribbles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("strokes"); // 0: refused as no character
    QTest::newRow("neat character") << "neat tree" << 4;
    QTest::newRow("a line of 6000 points") << "6000-point line" << 1;
    QTest::newRow("a dot") << "a dot" << 1;
    QTest::newRow("small waves") << "wavy line, 40 turns" << 1;
    QTest::newRow("14 crossings") << "zigzag, 14 turns" << 1;
    QTest::newRow("20 crossings") << "zigzag, 20 turns" << 0;
    QTest::newRow("600 crossings") << "zigzag, 6000 points" << 0;
    QTest::newRow("41 strokes") << "41 strokes" << 0;
    QTest::newRow("60 strokes back and forth") << "60 lines of ten moves" << 0;
    QTest::newRow("39 small zigzags") << "39 zigzags of 12 turns" << 39;
}

void TestRecognition::boundedInkKeepsCharactersNotScribbles()
{
    // Guards the bound losing a character's shape, or letting through ink
    // whose points and turns make recognisers explode.
    QFETCH(QString, name);
    QFETCH(int, strokes);
    const Ink ink = namedInk(name);
    const Ink bounded = boundedInk(ink);
    QCOMPARE(bounded.strokes.size(), strokes);
    for (int i = 0; i < bounded.strokes.size(); ++i) {
        const Stroke &s = bounded.strokes[i];
        QVERIFY(s.size() <= 48);
        // Ends stay where the pen touched; every point dropped lies close to
        // what is kept.
        QCOMPARE(s.first(), ink.strokes[i].first());
        QCOMPARE(s.last(), ink.strokes[i].last());
        const QRectF box = inkBounds(ink);
        const qreal tolerance = 0.0025 * qMax(box.width(), box.height());
        if (name == QLatin1String("neat tree") || name == QLatin1String("6000-point line")) {
            for (QPointF p : ink.strokes[i]) {
                qreal nearest = 1e9;
                for (int k = 1; k < s.size(); ++k) {
                    const QPointF a = s[k - 1], b = s[k];
                    const QPointF d = b - a;
                    const qreal len2 = QPointF::dotProduct(d, d);
                    const qreal t = len2 > 0 ? qBound(0.0, QPointF::dotProduct(p - a, d) / len2, 1.0) : 0;
                    nearest = qMin(nearest, QLineF(p, a + d * t).length());
                }
                QVERIFY2(nearest <= tolerance + 1e-9, qPrintable(QString::number(nearest)));
            }
        }
        // What Zinnia gets is coarser still.
        QVERIFY(boundedInk(ink, ZinniaRecognizer::MaxPointsPerStroke).strokes[i].size()
                <= ZinniaRecognizer::MaxPointsPerStroke);
    }
}

void TestRecognition::scribblesCostLittle_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"zigzag, 14 turns", "zigzag, 20 turns", "zigzag, 28 turns", "zigzag, 40 turns",
                             "zigzag, 6000 points", "60 lines of ten moves", "39 zigzags of 12 turns",
                             "wavy line, 40 turns"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestRecognition::scribblesCostLittle()
{
    // Guards against a scribble making Zinnia's feature extraction explode
    // (a 28-turn zigzag once took a gigabyte, 60 strokes back and forth
    // ended the program). Generous bounds: this is no benchmark.
    QFETCH(QString, name);
    const Ink ink = namedInk(name);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer clock;
    clock.start();
    const QList<Candidate> result = m_shared.classify(ink, 10);
    const qint64 ms = clock.elapsed();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const long grownMb = (after.ru_maxrss - before.ru_maxrss) / 1024;
    QVERIFY2(ms < 3000, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    QVERIFY2(grownMb < 150, qPrintable(QStringLiteral("%1 MB more at the peak").arg(grownMb)));
    QVERIFY(result.size() <= 10);
}

void TestRecognition::toolPrintsOneLinePerInput()
{
    // Guards the line-for-line contract the benchmark relies on.
    QProcess tool;
    tool.start(QStringLiteral(TARUVO_RECOGNIZE), {QStringLiteral("-n"), QStringLiteral("3")});
    QVERIFY(tool.waitForStarted());
    tool.write("一\t20,150 280,145\n\n"
               "garbage\n"
               "70,100 230,95;40,210 260,205\r\n");
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5); // four lines and the final newline
    QCOMPARE(lines[0].split(QLatin1Char(' ')).size(), 3);
    QVERIFY(lines[0].startsWith(QStringLiteral("一 ")));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[2], QString());
    QVERIFY(lines[3].startsWith(QStringLiteral("二 ")));
}

void TestRecognition::toolRejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("zero size") << QStringList{"--size", "0,300"};
    QTest::newRow("n not a number") << QStringList{"-n", "many"};
    QTest::newRow("missing value") << QStringList{"-n"};
    QTest::newRow("unknown") << QStringList{"--fast"};
}

void TestRecognition::toolRejectsBadArguments()
{
    // Guards bad arguments being taken silently as something else.
    QFETCH(QStringList, args);
    QProcess tool;
    tool.start(QStringLiteral(TARUVO_RECOGNIZE), args);
    QVERIFY(tool.waitForStarted());
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 2);
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
