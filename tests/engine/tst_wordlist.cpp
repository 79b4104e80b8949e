// SPDX-License-Identifier: GPL-3.0-or-later
// Reading word-list files: encodings, line ends, which lines are words.
#include "common/textfile.h"
#include "engine/wordlist.h"
#include "engine/wordlistfile.h"

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
    void piecesMakeTheSameWordsAsLines_data();
    void piecesMakeTheSameWordsAsLines();
    void repeatedWordsShareEntries();
    void lookUpIgnoresLetterCase_data();
    void lookUpIgnoresLetterCase();
    void readsFilesOffTheWindowsThread_data();
    void readsFilesOffTheWindowsThread();
    void abandonedReadKeepsNothing();
    void aWordStartingWithUfeffKeepsBothCharacters();
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
    // In the list's own order, by the characters' code points.
    QCOMPARE(list.words(), (QStringList{"Ab", "学校", "学校", "漢字", QString::fromUtf8("𩸽焼")}));
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

void TestWordList::piecesMakeTheSameWordsAsLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF, CR and LF") << QStringLiteral("学校\r\n日本\r先生\n電車");
    QTest::newRow("blanks around and inside") << QStringLiteral(" 学校\t\n学 校\n\u3000日本\u3000\u3000\n学\t校");
    QTest::newRow("one, three, empty") << QStringLiteral("学\n学校長\n\n\n学校");
    QTest::newRow("supplementary kanji") << QString::fromUtf8("𩸽焼\n𠮟\n焼𩸽 \n𩸽𩸽𩸽");
    QTest::newRow("lone halves") << QStringLiteral("a") + QChar(0xD867) + QStringLiteral("\nb") + QChar(0xDE3D) + QChar(0xD867);
    QTest::newRow("invalid characters") << QStringLiteral("a\x01\n\x7F\x7Fb\n字") + QChar(0xFFFD) + QStringLiteral("\nok");
    QTest::newRow("no end after the last") << QStringLiteral("学校");
    QTest::newRow("look-alikes of a plain word") << QStringLiteral("字") + QChar(0xFFFD) + QStringLiteral("\n字\u3000\n\u3000字字\n字字\r\n\r\na\u00A0\n\u00A1\u00A1\n字\u3000字\n")
                                                 + QChar(0xD867) + QStringLiteral("字\n字");
}

void TestWordList::piecesMakeTheSameWordsAsLines()
{
    // Guards the reader of large lists, which never makes a string per line:
    // wherever a piece ends, the words are those of the line rules.
    QFETCH(QString, text);
    WordList byLines;
    byLines.load(splitLines(text));
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        WordList::Builder builder;
        builder.add(QStringView(text).left(cut));
        builder.add(QStringView(text).mid(cut));
        QCOMPARE(builder.finish().words(), byLines.words());
    }
    WordList::Builder oneByOne;
    for (QChar c : text)
        oneByOne.add(QStringView(&c, 1));
    QCOMPARE(oneByOne.finish().words(), byLines.words());
}

void TestWordList::repeatedWordsShareEntries()
{
    // Guards lists of a few words repeated millions of times: they are
    // counted, not stored, and every copy still takes part in the deal.
    constexpr int Many = (1 << 22) + 5; // more copies than one entry counts
    WordList::Builder builder;
    for (int i = 0; i < Many; ++i)
        builder.add(u"ab\n");
    builder.add(u"cd\ncd\nAB\n");
    const WordList list = builder.finish();
    QCOMPARE(list.size(), qsizetype(Many) + 3);
    QCOMPARE(list.at(0), QStringLiteral("AB"));
    QCOMPARE(list.at(1), QStringLiteral("ab"));
    QCOMPARE(list.at(Many), QStringLiteral("ab"));
    QCOMPARE(list.at(Many + 1), QStringLiteral("cd"));
    QCOMPARE(list.at(Many + 2), QStringLiteral("cd"));
    QVERIFY(list.at(Many + 3).isNull());
    QVERIFY(list.contains(QStringLiteral("Cd")));
    QCOMPARE(list.distinctCharacters(), (QSet<QString>{"a", "b", "c", "d", "A", "B"}));
}

void TestWordList::lookUpIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("found");
    QTest::newRow("Latin") << "Ab" << "aB" << true;
    QTest::newRow("Kelvin sign and k") << QString(QChar(0x212A)) + "x" << "kX" << true;
    QTest::newRow("k and Kelvin sign") << "kx" << QString(QChar(0x212A)) + "x" << true;
    QTest::newRow("long s") << QString(QChar(0x017F)) + "t" << "ST" << true;
    QTest::newRow("final sigma") << "ΣΑ" << "ςα" << true;
    QTest::newRow("micro sign and mu") << "µm" << "Μm" << true;
    QTest::newRow("full-width letters") << "ＡＢ" << "ａｂ" << true;
    QTest::newRow("kanji") << "学校" << "学校" << true;
    QTest::newRow("different letters") << "ab" << "ac" << false;
    QTest::newRow("answer of one") << "ab" << "a" << false;
    QTest::newRow("answer of three") << "ab" << "abc" << false;
    QTest::newRow("empty answer") << "ab" << "" << false;
}

void TestWordList::lookUpIgnoresLetterCase()
{
    // Guards the binary search over the compact list: letter case ignored
    // as before, whole entries only.
    QFETCH(QString, word);
    QFETCH(QString, answer);
    QFETCH(bool, found);
    WordList list;
    list.load({"日本", word, "ZZ"});
    QCOMPARE(list.contains(answer), found);
}

void TestWordList::readsFilesOffTheWindowsThread_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("words"); // -1: unreadable
    const QByteArray big = QStringLiteral("学校\r\n日本\n").toUtf8().repeated(300000); // several pieces
    QTest::newRow("UTF-8, several pieces") << big << int(TextEncoding::Utf8) << 600000;
    QTest::newRow("Shift_JIS") << QByteArray("\x8a\x77\x8d\x5a\r\n\x93\xfa\x96\x7b\r\n") << int(TextEncoding::ShiftJis) << 2;
    QTest::newRow("UTF-16LE") << QByteArray("\xff\xfe" "a\0b\0\n\0", 8) << int(TextEncoding::Utf16LeBom) << 1;
    QTest::newRow("empty") << QByteArray() << int(TextEncoding::Utf8) << 0;
    QTest::newRow("too large") << QByteArray() << int(TextEncoding::Utf8) << -1;
}

void TestWordList::readsFilesOffTheWindowsThread()
{
    // Guards the console's reader: the words of the file, or the reason it
    // cannot be read, from a thread of its own.
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(int, words);
    QTemporaryDir dir;
    QString path = writeFile(dir, "list.txt", bytes);
    if (words < 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(MaxTextFileBytes + 1));
    }
    WordListLoader loader;
    QFuture<WordListFile> future = loader.load(path);
    future.waitForFinished();
    const WordListFile read = future.result();
    QCOMPARE(read.ok, words >= 0);
    if (words < 0) {
        QVERIFY(read.error.contains(QStringLiteral("too large")));
        QCOMPARE(read.words.size(), 0);
        return;
    }
    QCOMPARE(int(read.encoding), encoding);
    QCOMPARE(read.words.size(), words);
    QCOMPARE(read.characters, read.words.distinctCharacters());
}

void TestWordList::abandonedReadKeepsNothing()
{
    // Guards closing during a load: the read stops and keeps nothing.
    QTemporaryDir dir;
    const QString path = writeFile(dir, "list.txt", QStringLiteral("学校\n").toUtf8().repeated(1000000));
    int asked = 0;
    const WordListFile read = readWordListFile(path, [&asked] { return ++asked > 1; });
    QVERIFY(read.cancelled);
    QVERIFY(!read.ok);
    QCOMPARE(read.words.size(), 0);
    QCOMPARE(asked, 2);
}

void TestWordList::aWordStartingWithUfeffKeepsBothCharacters()
{
    // A zero-width no-break space (U+FEFF) where a line starts, as when
    // lists saved with byte-order marks are joined, is a character of the
    // word; read back, the word was one character short (found by the
    // class host's fuzzer on an uploaded list).
    WordList list;
    list.load({QString(QChar(0xFEFF)) + QString::fromUtf8("日"), QString::fromUtf8("今日")});
    QCOMPARE(list.size(), 2);
    for (const QString &word : list.words()) {
        QCOMPARE(WordList::characterCount(word), 2);
        QVERIFY(list.contains(word));
    }
    QVERIFY(list.distinctCharacters().contains(QString(QChar(0xFEFF))));
}

QTEST_GUILESS_MAIN(TestWordList)
#include "tst_wordlist.moc"
