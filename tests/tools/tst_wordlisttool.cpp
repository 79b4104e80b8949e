// SPDX-License-Identifier: GPL-3.0-or-later
// The teachers' word-list checker, run as a teacher runs it, and the lists
// the game ships with.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
};

Run check(const QStringList &files)
{
    QProcess p;
    p.start(QStringLiteral(TARUVO_WORDLIST_TOOL), files);
    if (!p.waitForFinished(60000))
        qFatal("taruvo-wordlist did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

} // namespace

class TestWordListTool : public QObject
{
    Q_OBJECT
private slots:
    void bundledListsArePlayable();
    void reportsWhatAListGives();
};

void TestWordListTool::bundledListsArePlayable()
{
    // Guards the shipped lists: four stages and a Shift_JIS copy, each with
    // at least 100 words, all of them writable in the handwriting boxes.
    const QDir words(QStringLiteral(TARUVO_WORDS_DIR));
    const QStringList files = words.entryList({QStringLiteral("*.txt")}, QDir::Files);
    QVERIFY2(files.size() >= 5, qPrintable(files.join(',')));
    QStringList paths;
    for (const QString &f : files)
        paths << words.filePath(f);
    const Run r = check(paths);
    QCOMPARE(r.status, 0);
    QVERIFY2(!r.out.contains(QLatin1String("not recognisable")), qPrintable(r.out));
    QVERIFY(r.out.contains(QLatin1String("Shift_JIS")));
    static const QRegularExpression count(QStringLiteral("words: (\\d+)"));
    auto it = count.globalMatch(r.out);
    int lists = 0;
    while (it.hasNext()) {
        QVERIFY(it.next().captured(1).toInt() >= 100);
        ++lists;
    }
    QCOMPARE(lists, files.size());
}

void TestWordListTool::reportsWhatAListGives()
{
    // Guards the checker's report and exit status: the skipped lines with
    // their reasons, characters no box can read, unreadable files.
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("short.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("学校\n学\n学校長\n学 校\n\n𩸽焼\n").toUtf8());
    f.close();
    Run r = check({f.fileName()});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.contains(QLatin1String("words: 2")));
    QVERIFY(r.out.contains(QLatin1String("line 2: too short")));
    QVERIFY(r.out.contains(QLatin1String("line 3: too long")));
    QVERIFY(r.out.contains(QLatin1String("line 4: space inside")));
    QVERIFY(!r.out.contains(QLatin1String("line 5")));
    QVERIFY(r.out.contains(QStringLiteral("not recognisable by handwriting: 𩸽")));
    QVERIFY(r.out.contains(QLatin1String("can start a game: no")));

    r = check({f.fileName(), dir.filePath(QStringLiteral("missing.txt"))});
    QCOMPARE(r.status, 2);
    QVERIFY(r.out.contains(QLatin1String("cannot read: file not found")));

    // A link loop is not a missing file: say what it is.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("b.txt")), dir.filePath(QStringLiteral("a.txt"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("a.txt")), dir.filePath(QStringLiteral("b.txt"))));
    r = check({dir.filePath(QStringLiteral("a.txt"))});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.out.contains(QLatin1String("cannot read: link loop")), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(TestWordListTool)
#include "tst_wordlisttool.moc"
