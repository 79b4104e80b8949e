// SPDX-License-Identifier: GPL-3.0-or-later
// Word lists a teacher makes on a class host: made from grades and pasted
// kanji (only readable kanji, the message below a game's worth), kept under
// checked names within bounds, offered again and played.
#include "engine/wordlistfile.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classwordlists.h"
#include "learning/worddictionary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Twenty words of ten kanji, the most common first; 犬 and 猫 make two
// more words with 子, 子 none without them.
const char *const Words =
    "山川\tやまかわ\t\n川山\tかわやま\t\n山田\tやまだ\t\n田山\tたやま\t\n川田\tかわだ\t\n田川\tたがわ\t\n"
    "上下\tじょうげ\t\n下山\tげざん\t\n山上\tさんじょう\t\n川上\tかわかみ\t\n川下\tかわしも\t\n田上\tたがみ\t\n"
    "上田\tうえだ\t\n下田\tしもだ\t\n人口\tじんこう\t\n口上\tこうじょう\t\n山口\tやまぐち\t\n川口\tかわぐち\t\n"
    "人山\tひとやま\t\n口下\tくちした\t\n子犬\tこいぬ\t\n子猫\tこねこ\t\n魚田\tうおた\t\n";

int grade(char32_t c)
{
    // 山川田 in grade 1, 上下人口 in grade 2, 子 in grade 3; the rest in none.
    if (QStringView(u"山川田").contains(QChar(char16_t(c))))
        return 1;
    if (QStringView(u"上下人口").contains(QChar(char16_t(c))))
        return 2;
    return c == U'子' ? 3 : 0;
}

bool readable(char32_t c)
{
    return c != U'魚';
}

QStringList lines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestClassLists : public QObject
{
    Q_OBJECT
private slots:
    void aListIsMadeFromGradesAndKanji_data();
    void aListIsMadeFromGradesAndKanji();
    void listNamesAreChecked_data();
    void listNamesAreChecked();
    void aSavedListIsOfferedAndPlayed();
    void savedListsAreBounded();
};

void TestClassLists::aListIsMadeFromGradesAndKanji_data()
{
    QTest::addColumn<QList<int>>("grades");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<int>("words");         // -1: refused
    QTest::addColumn<QString>("suggested"); // the kanji suggested first; empty: none
    QTest::addColumn<QString>("unreadable");
    QTest::newRow("grades 1 and 2") << QList<int>{1, 2} << "" << 20 << "" << "";
    QTest::newRow("pasted with kana and blanks") << QList<int>{} << "山、川 と 田 上下人口。" << 20 << "" << "";
    QTest::newRow("grades and pasted together") << QList<int>{1} << "上下人口" << 20 << "" << "";
    QTest::newRow("grade 1 alone: too few, 上 adds most") << QList<int>{1} << "" << 6 << "上" << "";
    QTest::newRow("grade 3: no word, 犬 or 猫 would add") << QList<int>{3} << "" << 0 << "犬" << "";
    QTest::newRow("a kanji no box reads is left out") << QList<int>{1} << "魚" << 6 << "上" << "魚";
    QTest::newRow("nothing chosen") << QList<int>{} << " 、あ " << -1 << "" << "";
    QTest::newRow("grade 8") << QList<int>{8} << "" << -1 << "" << "";
    QTest::newRow("grade 0") << QList<int>{0} << "" << -1 << "" << "";
    QTest::newRow("text too long") << QList<int>{} << QString(ClassListMaker::MaxPastedCharacters + 1, u'山') << -1
                                   << "" << "";
    QTest::newRow("text at the bound") << QList<int>{} << QString(ClassListMaker::MaxPastedCharacters, u'山') << 0
                                       << "川" << "";
}

void TestClassLists::aListIsMadeFromGradesAndKanji()
{
    QFETCH(QList<int>, grades);
    QFETCH(QString, pasted);
    QFETCH(int, words);
    QFETCH(QString, suggested);
    QFETCH(QString, unreadable);
    const WordDictionary dictionary = WordDictionary::parse(QString::fromUtf8(Words));
    ClassListMaker maker(&dictionary, grade, readable);
    const QSet<int> chosen(grades.cbegin(), grades.cend());
    // Off the caller's thread, as the teacher's page asks for it.
    const ClassListMaker::Made made = maker.makeLater(chosen, pasted).result();
    QCOMPARE(made.ok, words >= 0);
    QCOMPARE(made.error.isEmpty(), made.ok);
    if (!made.ok)
        return;
    QCOMPARE(made.words.size(), words);
    QCOMPARE(made.enough(), words >= Rules::WordsPerGame);
    QCOMPARE(made.unreadable, unreadable);
    // Only allowed kanji, in the dictionary's order of how common.
    int last = -1;
    for (const QString &w : made.words) {
        QVERIFY(dictionary.rank(w) > last);
        last = dictionary.rank(w);
        QVERIFY(!w.contains(u'子') && !w.contains(u'魚'));
    }
    QCOMPARE(made.suggestions.isEmpty(), suggested.isEmpty());
    if (!suggested.isEmpty()) {
        QCOMPARE(made.suggestions.first().kanji, suggested);
        QVERIFY(made.suggestions.first().addedWords > 0);
        for (const BuiltList::Suggestion &s : made.suggestions)
            QVERIFY(s.kanji != "魚");
    }
}

void TestClassLists::listNamesAreChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept"); // empty: refused
    QTest::newRow("kanji, kana, digits") << "2年2学期まで" << "2年2学期まで";
    QTest::newRow("blanks at the ends go") << "　 3年 (1) ・ ー_- " << "3年 (1) ・ ー_-";
    QTest::newRow("forty characters") << QString(40, u'字') << QString(40, u'字');
    QTest::newRow("forty-one") << QString(41, u'字') << "";
    QTest::newRow("beyond the BMP counts once") << QString::fromUcs4(U"𠮷田") << QString::fromUcs4(U"𠮷田");
    QTest::newRow("a hyphen's twin beyond the BMP") << QString::fromUcs4(U"a\U0001F02D") << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("a path") << "../teacher-key" << "";
    QTest::newRow("a folder") << "a/b" << "";
    QTest::newRow("a backslash") << "a\\b" << "";
    QTest::newRow("a dot") << "list.txt" << "";
    QTest::newRow("hidden") << ".x" << "";
    QTest::newRow("a control") << "a\x01" "b" << "";
    QTest::newRow("a line break") << "a\nb" << "";
    QTest::newRow("right-to-left override") << "a\u202Eb" << "";
    QTest::newRow("markup") << "<b>" << "";
    QTest::newRow("an unpaired surrogate") << QString(QChar(0xD800)) << "";
}

void TestClassLists::listNamesAreChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QString why;
    QCOMPARE(ClassWordLists::checkName(typed, &why), kept);
    QCOMPARE(why.isEmpty(), !kept.isEmpty());
}

void TestClassLists::aSavedListIsOfferedAndPlayed()
{
    QTemporaryDir dir;
    const WordDictionary dictionary = WordDictionary::parse(QString::fromUtf8(Words));
    ClassListMaker maker(&dictionary, grade, readable);
    ClassWordLists lists(dir.filePath("words"), dir.filePath("state/lists"));
    QVERIFY(lists.saved().isEmpty());
    const ClassListMaker::Made made = maker.make({1, 2}, {});
    QString why;
    QVERIFY2(lists.save(" 2年まで ", made.words, false, &why), qPrintable(why));
    QCOMPARE(lists.saved(), QStringList{"2年まで"});
    QCOMPARE(lines(dir.filePath("state/lists/2年まで.txt")), made.words);
    // Not replaced unless asked.
    const QStringList fewer = made.words.mid(0, Rules::WordsPerGame);
    QVERIFY(!lists.save("2年まで", fewer, false, &why));
    QVERIFY(why.contains("exists"));
    QVERIFY(lists.save("2年まで", fewer, true, &why));
    QCOMPARE(lines(dir.filePath("state/lists/2年まで.txt")), fewer);

    // Read back as the class game form reads it, and played.
    const WordListFile file = lists.readSaved("2年まで").result();
    QVERIFY2(file.ok, qPrintable(file.error));
    QCOMPARE(file.words.size(), Rules::WordsPerGame);
    ClassHost host(nullptr, {}, HostLimits{});
    ClassSettings s;
    s.name = "2年2組";
    s.listName = "2年まで";
    ClassGame *game = host.create(s, file.words, &why);
    QVERIFY2(game, qPrintable(why));
    qint64 child = 0;
    game->join("a", &child, &why);
    QVERIFY(game->startAll(false, &why));
    QVERIFY(host.preferredCharacters().contains("山"));

    // Only a saved list's name reads a saved list: no path out of the folder.
    QVERIFY(!lists.readSaved("../lists/2年まで").result().ok);
    QVERIFY(!lists.readSaved("2年まで.txt").result().ok);
    QVERIFY(!lists.readSaved("ない").result().ok);
    // A file put there by hand under a name no teacher could give is not offered.
    QFile odd(dir.filePath("state/lists/a.b.txt"));
    QVERIFY(odd.open(QIODevice::WriteOnly));
    odd.close();
    QCOMPARE(lists.saved(), QStringList{"2年まで"});
    QVERIFY(lists.remove("2年まで", &why));
    QVERIFY(lists.saved().isEmpty());
    QVERIFY(!lists.remove("2年まで", &why));
}

void TestClassLists::savedListsAreBounded()
{
    QTemporaryDir dir;
    ClassWordLists lists(dir.filePath("words"), dir.filePath("lists"));
    QStringList words;
    for (int i = 0; i < ClassWordLists::MaxSavedWords + 1; ++i)
        words << QString(QChar(char16_t(0x4E00 + i / 100))) + QChar(char16_t(0x4E00 + i % 100));
    QString why;
    QVERIFY(!lists.save("too many", words, false, &why));
    QVERIFY(why.contains("2000"));
    QVERIFY(!lists.save("too few", words.mid(0, Rules::WordsPerGame - 1), false, &why));
    const QStringList eighteen = words.mid(0, Rules::WordsPerGame);
    for (int i = 0; i < ClassWordLists::MaxSaved; ++i)
        QVERIFY2(lists.save(QString::number(i), eighteen, false, &why), qPrintable(why));
    QVERIFY(!lists.save("one more", eighteen, false, &why));
    QVERIFY(why.contains("100"));
    // Replacing one is not one more.
    QVERIFY(lists.save("7", eighteen, true, &why));
    // A host without a folder for them keeps none.
    ClassWordLists none(dir.filePath("words"));
    QVERIFY(!none.save("x", eighteen, false, &why));
    QVERIFY(none.saved().isEmpty());
}

QTEST_GUILESS_MAIN(TestClassLists)
#include "tst_classlists.moc"
