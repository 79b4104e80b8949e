// SPDX-License-Identifier: GPL-3.0-or-later
// The teachers' word-list checker, run as a teacher runs it, and the lists
// the game ships with.
#include "engine/wordlist.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runTool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TARUVO_WORDLIST_TOOL), arguments);
    if (!p.waitForFinished(60000))
        qFatal("taruvo-wordlist did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

Run check(const QStringList &files)
{
    return runTool(files);
}

QStringList wordsOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestWordListTool : public QObject
{
    Q_OBJECT
private slots:
    void bundledListsArePlayable();
    void reportsWhatAListGives();
    void makesAListFromLearnedKanji_data();
    void makesAListFromLearnedKanji();
    void neverOverwritesAList();
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

void TestWordListTool::makesAListFromLearnedKanji_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("allowed"); // every kanji a word may use; empty: any of the first two years
    QTest::addColumn<int>("words");       // -1: at least 18
    QTest::addColumn<QStringList>("said");
    QTest::newRow("pasted kanji, too few")
        << QStringList{"--kanji", "日本人、山川 学校"} << 1 << "日本人山川学校" << 8
        << QStringList{"words found: 8 (a game needs 18)", "kanji that would add the most words:", "no list written"};
    QTest::newRow("pasted kanji, enough")
        << QStringList{"--kanji", "一二三四五六七八九十日月火水木金土人大小上下中山川"} << 0
        << "一二三四五六七八九十日月火水木金土人大小上下中山川" << -1 << QStringList{"written:"};
    QTest::newRow("first school year") << QStringList{"--grades", "1"} << 0 << "" << 286 << QStringList{"kanji of grades 1: 80"};
    QTest::newRow("two years, at most 20 words") << QStringList{"--grades", "1-2", "--max", "20"} << 0 << "" << 20
                                                 << QStringList{"words found: 20"};
    QTest::newRow("a grade and pasted kanji") << QStringList{"--grades", "1", "--kanji", "語"} << 0 << "" << -1
                                              << QStringList{"kanji pasted: 1"};
    QTest::newRow("unreadable pasted kanji left out")
        << QStringList{"--kanji", QString::fromUcs4(U"𩸽日本")} << 1 << "日本" << 3
        << QStringList{QString::fromUcs4(U"not recognisable by handwriting, left out: 𩸽")};
    QTest::newRow("grade out of range") << QStringList{"--grades", "0-9"} << 2 << "" << 0 << QStringList{"usage:"};
    QTest::newRow("nothing to build from") << QStringList{} << 2 << "" << 0 << QStringList{"usage:"};
    QTest::newRow("max below a game") << QStringList{"--grades", "1", "--max", "5"} << 2 << "" << 0
                                      << QStringList{"--max needs"};
}

void TestWordListTool::makesAListFromLearnedKanji()
{
    // Guards the teacher's list maker: only the allowed kanji, the count it
    // says, the kanji that would help below 18, and a list only when it
    // can start a game.
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, allowed);
    QFETCH(int, words);
    QFETCH(QStringList, said);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("クラス.txt"));
    const Run r = runTool(QStringList{"--make", path} + arguments);
    QCOMPARE(r.status, status);
    for (const QString &s : said)
        QVERIFY2((r.out + r.err).contains(s), qPrintable(s + " not in:\n" + r.out + r.err));
    if (status != 0) {
        QVERIFY(!QFile::exists(path));
        if (words > 0)
            QVERIFY(r.out.contains(QStringLiteral("words found: %1").arg(words)));
        return;
    }
    const QStringList list = wordsOf(path);
    QVERIFY(words < 0 ? list.size() >= 18 : list.size() == words);
    QVERIFY(r.out.contains(QStringLiteral("words found: %1").arg(list.size())));
    // The first two years' kanji, as the bundled list of those years holds them.
    QString years;
    for (const QString &w : wordsOf(QStringLiteral(TARUVO_WORDS_DIR "/小学1-2年.txt")))
        years += w;
    for (const QString &w : list) {
        for (const QString &c : WordList::characters(w)) {
            const bool ok = allowed.isEmpty() ? (years.contains(c) || c == QStringLiteral("語")) : allowed.contains(c);
            QVERIFY2(ok, qPrintable(w));
        }
    }
    // The list the game reads back: every line a word.
    const Run checked = check({path});
    QCOMPARE(checked.status, 0);
    QVERIFY(checked.out.contains(QStringLiteral("words: %1").arg(list.size())));
}

void TestWordListTool::neverOverwritesAList()
{
    // Guards a teacher's list: an existing file stays unless --replace.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mine.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("学校\n");
    f.close();
    Run r = runTool({"--make", path, "--grades", "1"});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QLatin1String("exists already")), qPrintable(r.err));
    QCOMPARE(wordsOf(path), QStringList{QStringLiteral("学校")});
    r = runTool({"--make", path, "--grades", "1", "--replace"});
    QCOMPARE(r.status, 0);
    QCOMPARE(wordsOf(path).size(), 286);
}

QTEST_GUILESS_MAIN(TestWordListTool)
#include "tst_wordlisttool.moc"
