// SPDX-License-Identifier: GPL-3.0-or-later
// Reading word-list files: encodings, line ends, which lines are words.
#include "common/textfile.h"
#include "engine/wordlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray out = bigEndian ? QByteArray("\xfe\xff", 2) : QByteArray("\xff\xfe", 2);
    for (QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xff);
        out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    return out;
}

} // namespace

class TestWordList : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
    void loadKeepsDuplicatesAndLooksUpWholeEntries();
    void encodings_data();
    void encodings();
    void lineEnds_data();
    void lineEnds();
    void unreadableFiles();
    void fiftyMegabytes();
    void moreThanSixteenBitsOfLines();
};

void TestWordList::classify_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("word");
    using L = WordList::Line;
    QTest::newRow("two kanji") << "学校" << int(L::Word) << "学校";
    QTest::newRow("spaces around") << "  学校 " << int(L::Word) << "学校";
    QTest::newRow("tab and ideographic space") << "\t\u3000学校\u3000" << int(L::Word) << "学校";
    QTest::newRow("any two characters") << "ab" << int(L::Word) << "ab";
    QTest::newRow("supplementary kanji") << QString::fromUtf8("𩸽焼") << int(L::Word) << QString::fromUtf8("𩸽焼");
    QTest::newRow("one supplementary kanji is one") << QString::fromUtf8("𠮟") << int(L::TooShort) << "";
    QTest::newRow("one kanji") << "学" << int(L::TooShort) << "";
    QTest::newRow("three kanji") << "学校長" << int(L::TooLong) << "";
    QTest::newRow("space inside") << "学 校" << int(L::SpaceInside) << "";
    QTest::newRow("ideographic space inside") << "学\u3000校" << int(L::SpaceInside) << "";
    QTest::newRow("empty") << "" << int(L::Empty) << "";
    QTest::newRow("blanks only") << " \t\u3000" << int(L::Empty) << "";
    QTest::newRow("control character") << QString::fromLatin1("a\x01", 2) << int(L::InvalidCharacter) << "";
    QTest::newRow("NUL") << QString(QChar(u'字')) + QChar(0) << int(L::InvalidCharacter) << "";
    QTest::newRow("undecodable byte") << QString(QChar(u'字')) + QChar(0xFFFD) << int(L::InvalidCharacter) << "";
}

void TestWordList::classify()
{
    // Guards which lines become words; a kanji outside the BMP must count
    // as one character, not two broken halves.
    QFETCH(QString, line);
    QFETCH(int, verdict);
    QFETCH(QString, word);
    QString got;
    QCOMPARE(int(WordList::classify(line, &got)), verdict);
    if (verdict == int(WordList::Line::Word))
        QCOMPARE(got, word);
}

void TestWordList::loadKeepsDuplicatesAndLooksUpWholeEntries()
{
    // Guards the look-up index: whole entries, letter case ignored, and each
    // copy of a repeated word kept for the deal.
    WordList list;
    list.load({"学校", " 学校", "学", "Ab", "学 校", QString::fromUtf8("𩸽焼"), "漢字\u3000"});
    QCOMPARE(list.words(), (QStringList{"学校", "学校", "Ab", QString::fromUtf8("𩸽焼"), "漢字"}));
    QVERIFY(list.contains("学校"));
    QVERIFY(list.contains("aB"));
    QVERIFY(list.contains(QString::fromUtf8("𩸽焼")));
    QVERIFY(!list.contains("学"));
    QVERIFY(!list.contains("学校長"));
    QVERIFY(!list.contains("校学"));
    QVERIFY(!list.contains(" 学校"));
    list.load({"日本"});
    QCOMPARE(list.size(), 1);
    QVERIFY(!list.contains("学校"));
}

void TestWordList::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    const QString text = QStringLiteral("学校\r\n日本\r\n");
    QTest::newRow("Shift_JIS") << QByteArray("\x8a\x77\x8d\x5a\r\n\x93\xfa\x96\x7b\r\n") << int(TextEncoding::ShiftJis);
    QTest::newRow("UTF-8") << text.toUtf8() << int(TextEncoding::Utf8);
    QTest::newRow("UTF-8 with mark") << QByteArray("\xef\xbb\xbf") + text.toUtf8() << int(TextEncoding::Utf8Bom);
    QTest::newRow("UTF-16LE") << utf16(text, false) << int(TextEncoding::Utf16LeBom);
    QTest::newRow("UTF-16BE") << utf16(text, true) << int(TextEncoding::Utf16BeBom);
}

void TestWordList::encodings()
{
    // Guards lists written on Windows years ago as well as new ones.
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QTemporaryDir dir;
    const TextLines read = readTextLines(writeFile(dir, "list.txt", bytes));
    QVERIFY(read.ok);
    QCOMPARE(int(read.encoding), encoding);
    QCOMPARE(read.lines, (QStringList{"学校", "日本"}));
}

void TestWordList::lineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("LF") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("CR") << "a\rb\r" << QStringList{"a", "b"};
    QTest::newRow("mixed") << "a\r\nb\rc\nd" << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no end on last line") << "a\nb" << QStringList{"a", "b"};
    QTest::newRow("blank lines kept") << "\n\na\n" << QStringList{"", "", "a"};
    QTest::newRow("LF CR is two ends") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestWordList::lineEnds()
{
    // Guards the line splitter, whatever the file's origin.
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitLines(text), lines);
}

void TestWordList::unreadableFiles()
{
    // Guards against hangs and crashes on files that are not word lists.
    QTemporaryDir dir;
    QVERIFY(!readTextLines(dir.filePath("missing.txt")).ok);
    QVERIFY(!readTextLines(dir.path()).ok);
    QVERIFY(!readTextLines(QStringLiteral("/dev/zero")).ok);
    const QString big = writeFile(dir, "big.txt", QByteArray(2048, 'a'));
    const TextLines tooBig = readTextLines(big, 1024);
    QVERIFY(!tooBig.ok);
    QVERIFY(tooBig.lines.isEmpty());
    QVERIFY(!tooBig.error.isEmpty());

    QByteArray binary;
    for (int i = 0; i < 65536; ++i)
        binary.append(char((i * 2654435761u) >> 24));
    const TextLines garbage = readTextLines(writeFile(dir, "bin.dat", binary));
    QVERIFY(garbage.ok);
    WordList list;
    list.load(garbage.lines);
    for (const QString &word : list.words())
        QCOMPARE(WordList::classify(word), WordList::Line::Word);
}

void TestWordList::fiftyMegabytes()
{
    // Guards a huge file: read whole, no hang, no crash.
    QByteArray line = QStringLiteral("学校\r\n").toUtf8();
    QByteArray bytes = line.repeated(50 * 1024 * 1024 / line.size());
    QTemporaryDir dir;
    const TextLines read = readTextLines(writeFile(dir, "big.txt", bytes));
    QVERIFY(read.ok);
    QCOMPARE(read.lines.size(), bytes.size() / line.size());
}

void TestWordList::moreThanSixteenBitsOfLines()
{
    // Guards against a 16-bit line count cutting long lists short.
    QByteArray bytes;
    for (int i = 0; i < 40000; ++i)
        bytes += (i == 39999 ? QStringLiteral("終了") : QStringLiteral("学校")).toUtf8() + "\n";
    QTemporaryDir dir;
    WordList list;
    list.load(readTextLines(writeFile(dir, "long.txt", bytes)).lines);
    QCOMPARE(list.size(), 40000);
    QVERIFY(list.contains("終了"));
}

QTEST_GUILESS_MAIN(TestWordList)
#include "tst_wordlist.moc"
