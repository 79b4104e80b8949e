// SPDX-License-Identifier: GPL-3.0-or-later
// The bounded file reader against what a folder may hold besides files.
#include "common/regularfile.h"
#include "fakes/hostilefiles.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class TestRegularFile : public QObject
{
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
    void limits_data();
    void limits();
    void fileGrowingWhileRead();
    void viewMapsOnlyWhatNobodyElseCanChange_data();
    void viewMapsOnlyWhatNobodyElseCanChange();
    void viewLimits_data();
    void viewLimits();
};

void TestRegularFile::refusals_data()
{
    QTest::addColumn<Hostile>("kind");
    QTest::addColumn<QString>("reason");
    const QHash<Hostile, QString> reasons = {
        {Hostile::DevZero, "device"},
        {Hostile::DevRandom, "device"},
        {Hostile::ProcPagemap, "kernel file \\(/proc\\)"},
        // Containers often mask it with /dev/null.
        {Hostile::ProcKmsg, "kernel file \\(/proc\\)|device"},
        {Hostile::Fifo, "named pipe"},
        {Hostile::FifoWithWriter, "named pipe"},
        {Hostile::Folder, "folder"},
        {Hostile::LinkLoop, "link loop"},
        {Hostile::DanglingLink, "dangling link"},
    };
    for (const auto &[name, kind] : hostileKinds())
        QTest::newRow(name) << kind << reasons.value(kind);
}

void TestRegularFile::refusals()
{
    // Guards against endless reads and hangs on what only looks like a
    // file (the reported size of all of these is 0), and against a reason
    // that does not say what the path is.
    QFETCH(Hostile, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    HostilePlanter planter;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    planter.plant(path, kind);
    QElapsedTimer timer;
    timer.start();
    const FileContents file = readRegularFile(path, 128 << 20);
    QVERIFY2(timer.elapsed() < 5000, "refusing took too long");
    QVERIFY(!file.ok);
    QVERIFY(!file.tooLarge);
    QVERIFY(!file.missing);
    QVERIFY(file.bytes.isEmpty()); // refused before reading: nothing held
    QVERIFY2(QRegularExpression(reason).match(file.error).hasMatch(), qPrintable(file.error));

    // Mapping never gets as far as these either, for any owner trusted.
    for (uint owner : {0u, uint(getuid())}) {
        const FileView view = viewRegularFile(path, 128 << 20, owner);
        QVERIFY(!view.ok && !view.tooLarge && !view.missing);
        QVERIFY(view.bytes.isEmpty() && !view.bytes.isMapped());
        QCOMPARE(view.error, file.error);
    }
    QVERIFY2(timer.elapsed() < 5000, "refusing took too long");
}

void TestRegularFile::limits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("ok");
    const QByteArray text("学校\r\n先生\r\n");
    QTest::newRow("empty file") << QByteArray() << false << qint64(10) << true;
    QTest::newRow("small file") << text << false << qint64(1 << 20) << true;
    QTest::newRow("link to a file") << text << true << qint64(1 << 20) << true;
    QTest::newRow("exactly the limit") << text << false << qint64(text.size()) << true;
    QTest::newRow("one byte over") << text << false << qint64(text.size() - 1) << false;
    QTest::newRow("far over") << QByteArray(3 << 20, 'x') << false << qint64(1000) << false;
    QTest::newRow("limit 0, empty") << QByteArray() << false << qint64(0) << true;
    QTest::newRow("limit 0, one byte") << QByteArray("x") << false << qint64(0) << false;
}

void TestRegularFile::limits()
{
    // Guards the limit: one byte over is too large and the first bytes up
    // to it are kept (the settings reader uses them), a link to an ordinary
    // file reads as the file.
    QFETCH(QByteArray, bytes);
    QFETCH(bool, throughLink);
    QFETCH(qint64, limit);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    QString path = writeFile(dir, QStringLiteral("file.txt"), bytes);
    if (throughLink) {
        QVERIFY(QFile::link(path, dir.filePath(QStringLiteral("link.txt"))));
        path = dir.filePath(QStringLiteral("link.txt"));
    }
    const FileContents file = readRegularFile(path, limit);
    QCOMPARE(file.ok, ok);
    QCOMPARE(file.tooLarge, !ok);
    QCOMPARE(file.error.isEmpty(), ok);
    QCOMPARE(file.bytes, bytes.left(limit));
    if (!ok)
        QVERIFY(file.error.contains(QLatin1String("too large")));

    const FileContents missing = readRegularFile(dir.filePath(QStringLiteral("missing.txt")), limit);
    QVERIFY(missing.missing && !missing.ok && missing.error.contains(QLatin1String("not found")));
}

void TestRegularFile::fileGrowingWhileRead()
{
    // Guards against trusting the size seen at opening: a file that a
    // writer keeps growing is read up to the limit and no further.
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("grows.txt"), QByteArray(1000, 'a'));
    constexpr qint64 Limit = 4 << 20;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        QFile file(path);
        if (file.open(QIODevice::Append)) {
            const QByteArray block(64 * 1024, 'b');
            for (int i = 0; i < 2 * Limit / block.size(); ++i) {
                file.write(block);
                file.flush();
            }
        }
        done = true;
    });
    PeakMemory peak;
    int reads = 0;
    while (!done || reads == 0) {
        const FileContents file = readRegularFile(path, Limit);
        QVERIFY(file.ok || file.tooLarge);
        QVERIFY(file.bytes.size() <= Limit);
        ++reads;
    }
    writer.join();
    const FileContents file = readRegularFile(path, Limit);
    QVERIFY(file.tooLarge);
    QCOMPARE(file.bytes.size(), Limit);
    QVERIFY2(peak.growthMB() < 64, "reading a growing file held too much memory");
}

void TestRegularFile::viewMapsOnlyWhatNobodyElseCanChange_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ownerTrusted");
    QTest::addColumn<bool>("mapped");
    QTest::newRow("the trusted owner's, read-only to others") << 0644 << true << true;
    QTest::newRow("the trusted owner's, read-only to all") << 0444 << true << true;
    QTest::newRow("the trusted owner's, its group may write") << 0664 << true << false;
    QTest::newRow("the trusted owner's, anyone may write") << 0646 << true << false;
    QTest::newRow("another owner's") << 0644 << false << false;
}

void TestRegularFile::viewMapsOnlyWhatNobodyElseCanChange()
{
    // Guards against mapping a file that someone other than its trusted
    // owner could shorten under the mapping (the reader would die of
    // SIGBUS), and against either way giving other bytes than the file's.
    QFETCH(int, mode);
    QFETCH(bool, ownerTrusted);
    QFETCH(bool, mapped);
    QTemporaryDir dir;
    QByteArray bytes(300 * 1024, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 4096);
    const QString path = writeFile(dir, QStringLiteral("model.bin"), bytes);
    QVERIFY(chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    // Another owner than the file's: this user's id plus one.
    const uint owner = ownerTrusted ? uint(getuid()) : uint(getuid()) + 1;
    FileView view = viewRegularFile(path, 1 << 20, owner);
    QVERIFY2(view.ok, qPrintable(view.error));
    QCOMPARE(view.bytes.isMapped(), mapped);
    QCOMPARE(QByteArray(view.bytes.data(), view.bytes.size()), bytes);
    // Moved, the bytes stay where they were.
    const char *data = view.bytes.data();
    const FileBytes moved = std::move(view.bytes);
    QCOMPARE(moved.data(), data);
    QCOMPARE(moved.isMapped(), mapped);
    QVERIFY(view.bytes.isEmpty());
}

void TestRegularFile::viewLimits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("ok");
    const QByteArray text("学校\r\n先生\r\n");
    QTest::newRow("empty file") << QByteArray() << qint64(10) << true;
    QTest::newRow("exactly the limit") << text << qint64(text.size()) << true;
    QTest::newRow("one byte over") << text << qint64(text.size() - 1) << false;
    QTest::newRow("far over") << QByteArray(3 << 20, 'x') << qint64(1000) << false;
}

void TestRegularFile::viewLimits()
{
    // Guards the limit whether the file is mapped or copied: a file over it
    // is refused and nothing of it is kept.
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, limit);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("file.bin"), bytes);
    for (uint owner : {uint(getuid()), uint(getuid()) + 1}) {
        const FileView view = viewRegularFile(path, limit, owner);
        QCOMPARE(view.ok, ok);
        QCOMPARE(view.tooLarge, !ok);
        QCOMPARE(QByteArray(view.bytes.data(), view.bytes.size()), ok ? bytes : QByteArray());
        if (!ok)
            QVERIFY(view.error.contains(QLatin1String("too large")));
    }
    const FileView missing = viewRegularFile(dir.filePath(QStringLiteral("missing.bin")), limit);
    QVERIFY(missing.missing && !missing.ok && missing.error.contains(QLatin1String("not found")));
}

QTEST_GUILESS_MAIN(TestRegularFile)
#include "tst_regularfile.moc"
