// SPDX-License-Identifier: GPL-3.0-or-later
// Learning from a game, on the engine: the dictionary of readings, the
// review after a scripted game, its HTML, and lists from learned kanji.
#include "engine/game.h"
#include "fakes/fakes.h"
#include "fakes/hostilefiles.h"
#include "learning/dictionaryloader.h"
#include "learning/gamereview.h"
#include "learning/listbuilder.h"
#include "learning/reviewhtml.h"
#include "learning/worddictionary.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList eighteen = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

struct Limits : GameLimits
{
    bool timeLimitOn() const override { return false; }
    int timeLimitSeconds() const override { return 60; }
    bool answerLimitOn() const override { return false; }
    int answerLimit() const override { return 18; }
};

// A small dictionary, the most common word first.
WordDictionary smallDictionary()
{
    return WordDictionary::parse(QStringLiteral("# comment\n"
                                                "日本\tにほん,にっぽん\tJapan\n"
                                                "学校\tがっこう\tschool\n"
                                                "先生\tせんせい\tteacher\n"
                                                "本日\tほんじつ\ttoday\n"
                                                "日日\tひにち\tdays\n"
                                                "学生\tがくせい\tstudent\n"
                                                "生花\tいけばな\tflower arrangement\n"
                                                "花火\tはなび\tfireworks\n"
                                                "校長\tこうちょう\tprincipal\n"));
}

QString shippedDictionary()
{
    return QStringLiteral(TARUVO_SOURCE_DIR "/data/dictionary/words-ja.tsv");
}

struct ReviewedGame
{
    Limits limits;
    Game game{limits};
    WordDictionary dictionary = smallDictionary();

    explicit ReviewedGame(const QStringList &words = eighteen)
    {
        game.setClock(std::make_unique<ManualClock>(std::make_shared<ManualClock::Time>()));
        auto random = std::make_unique<SeededRandom>();
        random->seed(7);
        game.setRandom(std::move(random));
        WordList list;
        list.load(words);
        game.setWords(std::move(list));
        game.start();
    }
    GameReview end()
    {
        game.EndGame();
        return GameReview::of(game, dictionary);
    }
};

int foundBy(const GameReview &review, const QString &word)
{
    for (const ReviewWord &w : review.words()) {
        if (w.word == word)
            return w.foundBy;
    }
    return -1;
}

} // namespace

class TestLearning : public QObject
{
    Q_OBJECT
private slots:
    void dictionaryLines_data();
    void dictionaryLines();
    void dictionaryKeepsTheFileOrderAndTheFirstLine();
    void dictionaryFilesThatCannotBeRead_data();
    void dictionaryFilesThatCannotBeRead();
    void shippedDictionaryCoversTheBundledLists();
    void everyWordIsFoundWhereItIs();
    void lookUpsOfWordsNotThere_data();
    void lookUpsOfWordsNotThere();
    void repeatedWordsLeaveNoGapInTheRanks();
    void keptEntriesOutliveTheDictionaryTheyCameFrom();
    void loaderReadsTheFirstReadableFile_data();
    void loaderReadsTheFirstReadableFile();

    void reviewAfterAScriptedGame();
    void reviewCountsAWordDealtTwice();
    void wrongTriesAreBoundedAndClearedByADeal();
    void reviewAsJson();
    void playerReviewIsItsOwn_data();
    void playerReviewIsItsOwn();
    void playerReviewKeepsToItsBytes_data();
    void playerReviewKeepsToItsBytes();
    void reviewHtmlEscapesTheWords();
    void sheetHasEveryWordWithItsReading();

    void kanjiOfPastedText_data();
    void kanjiOfPastedText();
    void builderChoosesOnlyAllowedKanji_data();
    void builderChoosesOnlyAllowedKanji();
    void builderOfTheShippedDictionary();
    void listFileIsWrittenWholeAndNeverOverwritten();
};

void TestLearning::dictionaryLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QString>("meaning");
    QTest::newRow("word") << "今日\tきょう,こんにち\ttoday" << true << QStringList{"きょう", "こんにち"} << "today";
    QTest::newRow("katakana and long mark") << "今日\tキョー\ttoday" << true << QStringList{"キョー"} << "today";
    QTest::newRow("no meaning") << "今日\tきょう\t" << true << QStringList{"きょう"} << "";
    QTest::newRow("rare kanji outside the BMP") << "𩸽焼\tほっけやき\tgrilled fish" << true
                                                << QStringList{"ほっけやき"} << "grilled fish";
    QTest::newRow("iteration mark") << "人々\tひとびと\tpeople" << true << QStringList{"ひとびと"} << "people";
    QTest::newRow("one character") << "今\tいま\tnow" << false << QStringList() << "";
    QTest::newRow("three characters") << "今日中\tきょうじゅう\ttoday" << false << QStringList() << "";
    QTest::newRow("kana word") << "きょ\tきょ\tx" << false << QStringList() << "";
    QTest::newRow("latin reading") << "今日\tkyou\ttoday" << false << QStringList() << "";
    QTest::newRow("empty reading") << "今日\t\ttoday" << false << QStringList() << "";
    QTest::newRow("empty reading among others") << "今日\tきょう,\ttoday" << false << QStringList() << "";
    QTest::newRow("middle dot in a reading") << "今日\tきょう・こんにち\ttoday" << false << QStringList() << "";
    QTest::newRow("too many readings") << "今日\tあ,い,う,え,お,か,き,く,け\tx" << false << QStringList() << "";
    QTest::newRow("too long reading") << "今日\t" + QString(33, QChar(0x3042)) + "\tx" << false << QStringList() << "";
    QTest::newRow("too long meaning") << "今日\tきょう\t" + QString(201, 'x') << false << QStringList() << "";
    QTest::newRow("control character in meaning") << QStringLiteral("今日\tきょう\tto\x1b[2Jday") << false
                                                  << QStringList() << "";
    QTest::newRow("undecodable bytes") << QStringLiteral("今日\tきょう\tto\uFFFDday") << false << QStringList() << "";
    QTest::newRow("two fields") << "今日\tきょう" << false << QStringList() << "";
    QTest::newRow("four fields") << "今日\tきょう\ttoday\textra" << false << QStringList() << "";
}

void TestLearning::dictionaryLines()
{
    // Guards the reader against damaged or hostile lines: a wrong reading
    // must never be shown, and nothing but a well-formed line is kept.
    QFETCH(QString, line);
    QFETCH(bool, kept);
    QFETCH(QStringList, readings);
    QFETCH(QString, meaning);
    const WordDictionary d = WordDictionary::parse("# header\r\n" + line + "\r\n");
    QCOMPARE(d.size(), kept ? 1 : 0);
    QCOMPARE(d.skippedLines(), kept ? 0 : 1);
    if (kept) {
        const DictionaryEntry *e = d.find(line.section('\t', 0, 0));
        QVERIFY(e);
        QCOMPARE(e->readings, readings);
        QCOMPARE(e->meaning, meaning);
    }
}

void TestLearning::dictionaryKeepsTheFileOrderAndTheFirstLine()
{
    // Guards the order that stands for how common a word is, and a word
    // repeated further down not replacing its first reading.
    const WordDictionary d = WordDictionary::parse(QStringLiteral("学校\tがっこう\tschool\n\n日本\tにほん\tJapan\n"
                                                                  "学校\tまなびや\tschool building\r"
                                                                  "先生\tせんせい\tteacher"));
    QCOMPARE(d.size(), 3);
    QCOMPARE(d.rank(QStringLiteral("学校")), 0);
    QCOMPARE(d.rank(QStringLiteral("先生")), 2);
    QCOMPARE(d.rank(QStringLiteral("火山")), -1);
    QCOMPARE(d.find(QStringLiteral("学校"))->readings, QStringList{QStringLiteral("がっこう")});
    QVERIFY(!d.find(QStringLiteral("火山")));
}

void TestLearning::dictionaryFilesThatCannotBeRead_data()
{
    QTest::addColumn<int>("kind"); // -1 missing, -2 too large, else a Hostile
    QTest::newRow("missing") << -1;
    QTest::newRow("larger than the limit") << -2;
    QTest::newRow("named pipe without a writer") << int(Hostile::Fifo);
    QTest::newRow("link to /dev/zero") << int(Hostile::DevZero);
    QTest::newRow("folder") << int(Hostile::Folder);
}

void TestLearning::dictionaryFilesThatCannotBeRead()
{
    // Guards the start-up against a dictionary that blocks, never ends or
    // is absurdly large: refused at once with a reason, the next place tried.
    QFETCH(int, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("words-ja.tsv"));
    HostilePlanter planter;
    if (kind == -2) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(WordDictionary::MaxFileBytes + 1));
    } else if (kind >= 0) {
        planter.plant(path, Hostile(kind));
    }
    QElapsedTimer t;
    t.start();
    QString error, found;
    const WordDictionary d = WordDictionary::readFirst({path, shippedDictionary()}, &found, &error);
    QVERIFY(t.elapsed() < 5000);
    QCOMPARE(found, shippedDictionary());
    QVERIFY(d.size() > 10000);
    QString alone;
    QVERIFY(WordDictionary::read(path, &alone).isEmpty());
    QVERIFY2(!alone.isEmpty(), "no reason given");
}

void TestLearning::shippedDictionaryCoversTheBundledLists()
{
    // Guards the shipped file: every word of the bundled lists has a reading,
    // the file stays small, and nothing in it is skipped.
    QString error;
    const WordDictionary d = WordDictionary::read(shippedDictionary(), &error);
    QVERIFY2(!d.isEmpty(), qPrintable(error));
    QCOMPARE(d.skippedLines(), 0);
    QVERIFY(QFileInfo(shippedDictionary()).size() < 1 << 20);
    const QDir words(QStringLiteral(TARUVO_SOURCE_DIR "/data/words"));
    int checked = 0;
    for (const QString &name : words.entryList({QStringLiteral("*.txt")})) {
        if (name.contains(QLatin1String("Shift_JIS")))
            continue;
        QFile f(words.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QString word = QString::fromUtf8(line).trimmed();
            if (word.isEmpty())
                continue;
            QVERIFY2(d.find(word), qPrintable(name + ": " + word));
            ++checked;
        }
    }
    QVERIFY(checked > 10000);
    QVERIFY(d.find(QStringLiteral("今日"))->readings.contains(QStringLiteral("きょう")));
    QCOMPARE(d.find(QStringLiteral("学校"))->meaning, QStringLiteral("school"));
}

void TestLearning::everyWordIsFoundWhereItIs()
{
    // Guards the packed dictionary's binary search and the entries it makes:
    // every word of the shipped file found at its own rank, with the same
    // entry however it is asked for, and a kanji outside the BMP among them.
    const WordDictionary d = WordDictionary::read(shippedDictionary());
    QVERIFY(d.size() > 10000);
    for (qsizetype r = 0; r < d.size(); ++r) {
        const QString word = d.wordAt(r);
        QCOMPARE(d.rank(word), int(r));
        const std::optional<DictionaryEntry> entry = d.lookUp(word);
        QVERIFY(entry);
        QCOMPARE(entry->word, word);
        const DictionaryEntry at = d.entryAt(r);
        QCOMPARE(at.readings, entry->readings);
        QCOMPARE(at.meaning, entry->meaning);
    }
    const DictionaryEntry &first = d.entries().at(0);
    QCOMPARE(d.find(first.word), &first);
    qsizetype counted = 0;
    for (const DictionaryEntry &e : d.entries()) {
        QCOMPARE(d.find(e.word), &e);
        ++counted;
    }
    QCOMPARE(counted, d.size());

    const WordDictionary rare = WordDictionary::parse(QString::fromUcs4(U"日本\tにほん\tJapan\n𩸽焼\tほっけやき\tgrilled fish\n"
                                                                        U"丈夫\tじょうぶ\tstrong\n"));
    QCOMPARE(rare.rank(QString::fromUcs4(U"𩸽焼")), 1);
    QCOMPARE(rare.lookUp(QString::fromUcs4(U"𩸽焼"))->readings, QStringList{QStringLiteral("ほっけやき")});
    QCOMPARE(rare.rank(QStringLiteral("丈夫")), 2);
}

void TestLearning::lookUpsOfWordsNotThere_data()
{
    // Words before the first, after the last and between the words in the
    // search's order, and strings no line can hold.
    QTest::addColumn<QString>("word");
    QTest::newRow("empty") << "";
    QTest::newRow("one kanji of a word") << "学";
    QTest::newRow("a word and more") << "学校長";
    QTest::newRow("before every word") << "一一";
    QTest::newRow("after every word") << QString::fromUcs4(U"𪚲𪚲");
    QTest::newRow("between two words") << "日木";
    QTest::newRow("a word with its tab") << "学校\t";
    QTest::newRow("a whole line") << "学校\tがっこう\tschool";
    QTest::newRow("a reading") << "がっこう";
    QTest::newRow("a lone surrogate") << QString(QChar(0xD867));
}

void TestLearning::lookUpsOfWordsNotThere()
{
    // Guards the search against answering with a neighbour: a word the
    // dictionary lacks shows no reading, never a wrong one.
    QFETCH(QString, word);
    const WordDictionary d = smallDictionary();
    QCOMPARE(d.rank(word), -1);
    QVERIFY(!d.lookUp(word));
    QVERIFY(!d.find(word));
    QVERIFY(!WordDictionary().find(word) && WordDictionary().rank(word) == -1);
}

void TestLearning::repeatedWordsLeaveNoGapInTheRanks()
{
    // Guards the order that stands for how common a word is when a file
    // repeats words further down: the first line counts, the later ones go,
    // and the words after them keep their order without gaps.
    const WordDictionary d = WordDictionary::parse(QStringLiteral("日本\tにほん\tJapan\n学校\tがっこう\tschool\n"
                                                                  "日本\tやまと\tYamato\n先生\tせんせい\tteacher\n"
                                                                  "学校\tまなびや\tschool building\n日本\tにっぽん\t\n"
                                                                  "花火\tはなび\tfireworks\n"));
    QCOMPARE(d.size(), 4);
    QCOMPARE(d.skippedLines(), 0);
    const QStringList order{"日本", "学校", "先生", "花火"};
    for (int r = 0; r < order.size(); ++r) {
        QCOMPARE(d.wordAt(r), order[r]);
        QCOMPARE(d.rank(order[r]), r);
    }
    QCOMPARE(d.lookUp(QStringLiteral("日本"))->readings, QStringList{QStringLiteral("にほん")});
    QCOMPARE(d.lookUp(QStringLiteral("学校"))->meaning, QStringLiteral("school"));
    QCOMPARE(d.entryAt(3).readings, QStringList{QStringLiteral("はなび")});
}

void TestLearning::keptEntriesOutliveTheDictionaryTheyCameFrom()
{
    // Guards an entry handed out by find() against the dictionary being
    // replaced (the review window's setDictionary) while a copy lives on:
    // the entry stays whole (a freed one is caught by the sanitizer).
    WordDictionary d = smallDictionary();
    const DictionaryEntry *e = d.find(QStringLiteral("生花"));
    QVERIFY(e);
    const WordDictionary copy = d;
    QCOMPARE(copy.find(QStringLiteral("生花")), e);
    d = WordDictionary::parse(QStringLiteral("電車\tでんしゃ\ttrain\n"));
    QVERIFY(!d.find(QStringLiteral("生花")));
    QCOMPARE(e->word, QStringLiteral("生花"));
    QCOMPARE(e->readings, QStringList{QStringLiteral("いけばな")});
    QCOMPARE(e->meaning, QStringLiteral("flower arrangement"));
}

void TestLearning::loaderReadsTheFirstReadableFile_data()
{
    QTest::addColumn<int>("kind"); // -1 missing, else a Hostile
    QTest::addColumn<bool>("shippedAfter");
    QTest::newRow("missing, then the shipped file") << -1 << true;
    QTest::newRow("named pipe, then the shipped file") << int(Hostile::Fifo) << true;
    QTest::newRow("link to /dev/zero alone") << int(Hostile::DevZero) << false;
    QTest::newRow("missing alone") << -1 << false;
}

void TestLearning::loaderReadsTheFirstReadableFile()
{
    // Guards the read off the windows' thread: it ends (a pipe or a device
    // does not hold it), gives the first readable file or every reason, and
    // the loader's end waits for it rather than leaving the thread behind.
    QFETCH(int, kind);
    QFETCH(bool, shippedAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("words-ja.tsv"));
    HostilePlanter planter;
    if (kind >= 0)
        planter.plant(path, Hostile(kind));
    QStringList paths{path};
    if (shippedAfter)
        paths << shippedDictionary();
    QFuture<LoadedDictionary> future;
    {
        DictionaryLoader loader;
        future = loader.load(paths);
    }
    QVERIFY(future.isFinished());
    const LoadedDictionary loaded = future.result();
    if (shippedAfter) {
        QCOMPARE(loaded.path, shippedDictionary());
        QVERIFY(loaded.dictionary.size() > 10000);
        QVERIFY(loaded.error.isEmpty());
    } else {
        QVERIFY(loaded.path.isEmpty());
        QVERIFY(loaded.dictionary.isEmpty());
        QVERIFY2(loaded.error.contains(QDir::toNativeSeparators(path)), qPrintable(loaded.error));
    }
}

void TestLearning::reviewAfterAScriptedGame()
{
    // Guards what the review says of a game: every dealt word once with its
    // reading, who found it, the words nobody found, a correct pair that was
    // not dealt, the wrong tries with their reasons, and the results.
    ReviewedGame g;
    const QStringList dealt = g.game.pool().dealtWords();
    QCOMPARE(QSet<QString>(dealt.begin(), dealt.end()), QSet<QString>(eighteen.begin(), eighteen.end()));
    WordList extended;
    extended.load(eighteen + QStringList{QStringLiteral("学生")});
    g.game.setWords(std::move(extended)); // empties the board: deal again with the longer list
    g.game.start();
    const QStringList deal = g.game.pool().dealtWords();
    QCOMPARE(deal.size(), 18);
    // 学生 is dealt, or its characters are (学校 and 先生 both dealt): pick what works.
    g.game.SeigoHantei(1, QStringLiteral("日本"));
    g.game.SeigoHantei(2, QStringLiteral("花火"));
    g.game.SeigoHantei(1, QStringLiteral("本日"));     // characters used: no character
    g.game.SeigoHantei(2, QStringLiteral("校学"));     // not a word
    g.game.SeigoHantei(2, QStringLiteral("先生"));
    const bool studentDealt = deal.contains(QStringLiteral("学生"));
    g.game.SeigoHantei(1, QStringLiteral("学生"));
    const GameReview review = g.end();

    QCOMPARE(review.words().size(), 18);
    QCOMPARE(foundBy(review, QStringLiteral("日本")), 1);
    QCOMPARE(foundBy(review, QStringLiteral("花火")), 2);
    QCOMPARE(foundBy(review, QStringLiteral("先生")), 2);
    const ReviewWord *nihon = nullptr;
    for (const ReviewWord &w : review.words())
        nihon = w.word == QStringLiteral("日本") ? &w : nihon;
    QVERIFY(nihon);
    QCOMPARE(nihon->readings, (QStringList{"にほん", "にっぽん"}));
    QCOMPARE(nihon->meaning, QStringLiteral("Japan"));
    // A word the dictionary lacks: no reading rather than a wrong one.
    for (const ReviewWord &w : review.words()) {
        if (w.word == QStringLiteral("電車"))
            QVERIFY(w.readings.isEmpty() && w.meaning.isEmpty());
    }
    if (studentDealt) {
        QCOMPARE(foundBy(review, QStringLiteral("学生")), 1);
        QVERIFY(review.otherWords().isEmpty());
    } else {
        QCOMPARE(review.otherWords().size(), 1);
        QCOMPARE(review.otherWords().first().word, QStringLiteral("学生"));
        QCOMPARE(review.otherWords().first().foundBy, 1);
        QCOMPARE(review.otherWords().first().readings, QStringList{QStringLiteral("がくせい")});
    }
    QCOMPARE(review.notFound().size(), 18 - (studentDealt ? 4 : 3));
    for (const ReviewWord &w : review.notFound())
        QCOMPARE(w.foundBy, 0);

    const ReviewPlayer &one = review.player(1), &two = review.player(2);
    QCOMPARE(one.score, 2);
    QCOMPARE(two.score, 2);
    QCOMPARE(one.found, (QStringList{"日本", "学生"}));
    QCOMPARE(two.found, (QStringList{"花火", "先生"}));
    QCOMPARE(one.wrongTries.size(), 1);
    QCOMPARE(one.wrongTries.first().answer, QStringLiteral("本日"));
    QCOMPARE(one.wrongTries.first().outcome, Judgement::NoCharacter);
    QCOMPARE(one.wrongTries.first().readings, QStringList{QStringLiteral("ほんじつ")});
    QCOMPARE(two.wrongTries.size(), 1);
    QCOMPARE(two.wrongTries.first().outcome, Judgement::NoWord);
    QVERIFY(two.wrongTries.first().readings.isEmpty());
    QCOMPARE(one.result, QString::fromUtf8(Game::DrawText));
    QCOMPARE(two.result, QString::fromUtf8(Game::DrawText));
}

void TestLearning::reviewCountsAWordDealtTwice()
{
    // Guards a list with a word on several lines: dealt twice and found
    // twice, both copies are found and neither counts as another word.
    QStringList words = eighteen.mid(0, 17);
    words << QStringLiteral("学校");
    ReviewedGame g(words);
    QCOMPARE(g.game.pool().dealtWords().count(QStringLiteral("学校")), 2);
    g.game.SeigoHantei(1, QStringLiteral("学校"));
    g.game.SeigoHantei(2, QStringLiteral("学校"));
    const GameReview review = g.end();
    QList<int> finders;
    for (const ReviewWord &w : review.words()) {
        if (w.word == QStringLiteral("学校"))
            finders << w.foundBy;
    }
    std::sort(finders.begin(), finders.end());
    QCOMPARE(finders, (QList<int>{1, 2}));
    QVERIFY(review.otherWords().isEmpty());
    QCOMPARE(review.notFound().size(), 16);
}

void TestLearning::wrongTriesAreBoundedAndClearedByADeal()
{
    // Guards memory against a seat or a child answering wrong without end,
    // and a new deal starting a new record.
    ReviewedGame g;
    const int tries = Game::WrongTriesKept + 50;
    for (int i = 0; i < tries; ++i)
        g.game.SeigoHantei(2, QStringLiteral("校学") + QString(1000, QChar(0x6F22)));
    g.game.SeigoHantei(2, QStringLiteral("学") + QString::fromUcs4(U"𩸽𩸽𩸽𩸽𩸽𩸽𩸽"));
    QCOMPARE(g.game.wrongTryCount(2), tries + 1);
    QCOMPARE(g.game.wrongTries(2).size(), Game::WrongTriesKept);
    QCOMPARE(g.game.wrongTries(2).first().answer.size(), Game::WrongTryLength);
    QCOMPARE(g.game.wrongTryCount(1), 0);
    const GameReview review = g.end();
    QCOMPARE(review.player(2).wrongTryCount, tries + 1);
    QCOMPARE(review.player(2).wrongTries.size(), Game::WrongTriesKept);

    // Cut between whole characters, never inside a surrogate pair.
    ReviewedGame h;
    h.game.SeigoHantei(1, QStringLiteral("学") + QString::fromUcs4(U"𩸽𩸽𩸽𩸽𩸽𩸽𩸽"));
    const QString kept = h.game.wrongTries(1).first().answer;
    QVERIFY(!kept.back().isHighSurrogate());
    QCOMPARE(kept, QStringLiteral("学") + QString::fromUcs4(U"𩸽𩸽𩸽"));
    h.game.start();
    QVERIFY(h.game.wrongTries(1).isEmpty());
    QCOMPARE(h.game.wrongTryCount(1), 0);
}

void TestLearning::reviewAsJson()
{
    // Guards the form the browser pages and the class host read: meanings
    // only when asked for, every word and try in it.
    ReviewedGame g;
    g.game.SeigoHantei(1, QStringLiteral("学校"));
    g.game.SeigoHantei(2, QStringLiteral("学日"));
    const GameReview review = g.end();
    for (bool meanings : {false, true}) {
        const QJsonObject json = review.toJson(meanings);
        const QJsonArray words = json.value("words").toArray();
        QCOMPARE(words.size(), 18);
        QJsonObject school;
        for (const QJsonValue &w : words)
            school = w.toObject().value("word").toString() == QStringLiteral("学校") ? w.toObject() : school;
        QCOMPARE(school.value("foundBy").toInt(), 1);
        QCOMPARE(school.value("readings").toArray().first().toString(), QStringLiteral("がっこう"));
        QCOMPARE(school.contains("meaning"), meanings);
        const QJsonArray players = json.value("players").toArray();
        QCOMPARE(players.size(), 2);
        const QJsonObject two = players.at(1).toObject();
        QCOMPARE(two.value("player").toInt(), 2);
        QCOMPARE(two.value("result").toString(), QString::fromUtf8(Game::LoseText));
        const QJsonObject wrong = two.value("wrongTries").toArray().first().toObject();
        QCOMPARE(wrong.value("reason").toString(), QStringLiteral("noCharacter"));
        QCOMPARE(wrong.value("text").toString(), QString::fromUtf8(Game::NoCharacterText));
        QCOMPARE(wrong.contains("meaning"), meanings);
        QCOMPARE(two.value("wrongTryCount").toInt(), 1);
    }
}

void TestLearning::playerReviewIsItsOwn_data()
{
    QTest::addColumn<int>("player");
    QTest::addColumn<bool>("meanings");
    QTest::newRow("player 1") << 1 << false;
    QTest::newRow("player 2") << 2 << false;
    QTest::newRow("player 2, meanings") << 2 << true;
}

void TestLearning::playerReviewIsItsOwn()
{
    // Guards what one child's page is given: whose review it is, every word
    // with who found it, both scores and results, its own wrong tries and
    // none of the other's.
    QFETCH(int, player);
    QFETCH(bool, meanings);
    ReviewedGame g;
    g.game.SeigoHantei(1, QStringLiteral("学校"));
    g.game.SeigoHantei(1, QStringLiteral("日学"));
    g.game.SeigoHantei(1, QStringLiteral("日日"));
    g.game.SeigoHantei(2, QStringLiteral("本日"));
    g.game.SeigoHantei(2, QStringLiteral("校本"));
    const GameReview review = g.end();
    const QJsonObject json = review.playerJson(player, meanings, 1 << 20);
    QCOMPARE(json.value("player").toInt(), player);
    const QJsonArray words = json.value("words").toArray();
    QCOMPARE(words.size(), 18);
    for (const QJsonValue &w : words) {
        const QJsonObject o = w.toObject();
        QCOMPARE(o.value("foundBy").toInt(), o.value("word").toString() == QStringLiteral("学校") ? 1 : 0);
        QCOMPARE(o.contains("meaning"), meanings);
    }
    const QJsonArray players = json.value("players").toArray();
    QCOMPARE(players.size(), 2);
    const QJsonObject own = players.at(player - 1).toObject(), other = players.at(2 - player).toObject();
    QCOMPARE(own.value("player").toInt(), player);
    QCOMPARE(own.value("result").toString(), QString::fromUtf8(player == 1 ? Game::WinText : Game::LoseText));
    QCOMPARE(other.value("score").toInt(), player == 1 ? 0 : 1);
    QVERIFY(!other.contains("wrongTries") && !other.contains("wrongTryCount"));
    const QJsonArray tries = own.value("wrongTries").toArray();
    QCOMPARE(tries.size(), 2);
    QCOMPARE(own.value("wrongTryCount").toInt(), 2);
    QCOMPARE(tries.at(0).toObject().value("answer").toString(), player == 1 ? QStringLiteral("日学") : QStringLiteral("本日"));
    if (player == 2) {
        QCOMPARE(tries.at(0).toObject().value("readings").toArray().first().toString(), QStringLiteral("ほんじつ"));
        QCOMPARE(tries.at(0).toObject().contains("meaning"), meanings);
    }
}

void TestLearning::playerReviewKeepsToItsBytes_data()
{
    // The bytes allowed: those of the review without its wrong tries, with
    // the first try's or not, and extra.
    QTest::addColumn<bool>("withFirstTry");
    QTest::addColumn<int>("extra");
    QTest::addColumn<int>("tries"); // -1: no review at all
    QTest::newRow("not even the words") << false << -1 << -1;
    QTest::newRow("the words alone") << false << 0 << 0;
    QTest::newRow("one try, a byte short") << true << -1 << 0;
    QTest::newRow("one try exactly") << true << 0 << 1;
    QTest::newRow("plenty") << false << 1000000 << int(Game::WrongTriesKept);
}

void TestLearning::playerReviewKeepsToItsBytes()
{
    // Guards the page's allowance against a child answering wrong a hundred
    // times: the tries are cut to fit, in order, the words never, and the
    // count of all tries stays.
    QFETCH(bool, withFirstTry);
    QFETCH(int, extra);
    QFETCH(int, tries);
    ReviewedGame g;
    for (int i = 0; i < Game::WrongTriesKept + 20; ++i)
        g.game.SeigoHantei(2, i % 2 ? QStringLiteral("本日") : QStringLiteral("校学"));
    const GameReview review = g.end();
    const auto size = [](const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact).size(); };
    QJsonObject bare = review.playerJson(2, true, 1 << 20);
    QJsonArray players = bare.value("players").toArray();
    QJsonObject own = players.at(1).toObject();
    const QJsonArray all = own.value("wrongTries").toArray();
    QCOMPARE(all.size(), Game::WrongTriesKept);
    own.insert("wrongTries", QJsonArray());
    players.replace(1, own);
    bare.insert("players", players);
    const qsizetype budget = size(bare) + (withFirstTry ? size(all.first().toObject()) : 0) + extra;

    const QJsonObject json = review.playerJson(2, true, budget);
    if (tries < 0) {
        QVERIFY(json.isEmpty());
        return;
    }
    QVERIFY2(size(json) <= budget, qPrintable(QString::number(size(json) - budget)));
    const QJsonObject got = json.value("players").toArray().at(1).toObject();
    QCOMPARE(got.value("wrongTries").toArray().size(), tries);
    QCOMPARE(got.value("wrongTryCount").toInt(), Game::WrongTriesKept + 20);
    QCOMPARE(json.value("words").toArray().size(), 18);
    for (int i = 0; i < tries; ++i)
        QCOMPARE(got.value("wrongTries").toArray().at(i), all.at(i));
}

void TestLearning::reviewHtmlEscapesTheWords()
{
    // Guards pages and print-outs against a teacher's list whose "words" are
    // markup: two characters such as "<b" or "&#" are shown as text.
    QStringList words = eighteen.mid(0, 16);
    words << QStringLiteral("<b") << QStringLiteral("&#");
    ReviewedGame g(words);
    g.game.SeigoHantei(1, QStringLiteral("<b"));
    g.game.SeigoHantei(2, QStringLiteral("<i"));
    const GameReview review = g.end();
    ReviewHtml::Options options;
    const QString html = ReviewHtml::review(review, options);
    QVERIFY(html.contains(QStringLiteral("&lt;b")));
    QVERIFY(html.contains(QStringLiteral("&amp;#")));
    QVERIFY(html.contains(QStringLiteral("&lt;i")));
    QVERIFY(!html.contains(QStringLiteral("<b<")) && !html.contains(QStringLiteral(">&#<")));
    const QString sheet = ReviewHtml::sheet(review, QStringLiteral("<script>"));
    QVERIFY(sheet.contains(QStringLiteral("&lt;script&gt;")) && !sheet.contains(QStringLiteral("<script>")));
    // One player's part only.
    options.player = 1;
    QVERIFY(!ReviewHtml::review(review, options).contains(QStringLiteral("Player2 のまちがい")));
    QVERIFY(ReviewHtml::review(review, options).contains(QStringLiteral("Player1 のまちがい")));
}

void TestLearning::sheetHasEveryWordWithItsReading()
{
    // Guards the teacher's sheet: all 18 words, each followed by its reading.
    ReviewedGame g;
    const GameReview review = g.end();
    const QString sheet = ReviewHtml::sheet(review, QStringLiteral("きょうのことば"));
    for (const QString &w : eighteen)
        QVERIFY2(sheet.contains(w), qPrintable(w));
    QVERIFY(sheet.contains(QStringLiteral("がっこう")));
    QVERIFY(sheet.indexOf(QStringLiteral("がっこう")) > sheet.indexOf(QStringLiteral("学校")));
}

void TestLearning::kanjiOfPastedText_data()
{
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("kanji");
    QTest::newRow("kanji with separators") << "一、二 三,四\n五　六" << "一二三四五六";
    QTest::newRow("repeated kept once in first order") << "日本日本人" << "日本人";
    QTest::newRow("kana, letters and the iteration mark passed over") << "ひと人々 ABC ｱｲｳ 山" << "人山";
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"𩸽と魚") << QString::fromUcs4(U"𩸽魚");
    QTest::newRow("nothing") << "" << "";
}

void TestLearning::kanjiOfPastedText()
{
    // Guards reading a teacher's pasted text of kanji taught so far.
    QFETCH(QString, pasted);
    QFETCH(QString, kanji);
    const QList<char32_t> got = kanjiOfText(pasted);
    QString joined;
    for (char32_t c : got)
        joined += QString::fromUcs4(&c, 1);
    QCOMPARE(joined, kanji);
}

void TestLearning::builderChoosesOnlyAllowedKanji_data()
{
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<int>("maxWords");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("suggestions"); // "kanji count"
    QTest::newRow("two kanji, doubled word included")
        << "日本" << "" << 0 << QStringList{"日本", "本日", "日日"} << QStringList{};
    QTest::newRow("most words first, then the kanji of the more common word")
        << "学" << "" << 0 << QStringList{} << QStringList{"校 1", "日 1", "生 1"};
    QTest::newRow("an unreadable kanji is neither chosen nor suggested")
        << "学生花" << "花" << 0 << QStringList{"学生"} << QStringList{"校 1", "先 1", "日 1"};
    QTest::newRow("at most maxWords, the most common")
        << "日本学校先生" << "" << 2 << QStringList{"日本", "学校"} << QStringList{"花 1", "長 1"};
    QTest::newRow("nothing allowed: only a doubled kanji adds a word alone")
        << "" << "" << 0 << QStringList{} << QStringList{"日 1"};
}

void TestLearning::builderChoosesOnlyAllowedKanji()
{
    // Guards the builder: only words of allowed (and readable) kanji, in the
    // dictionary's order, and below the minimum the kanji that add most.
    QFETCH(QString, allowed);
    QFETCH(QString, unreadable);
    QFETCH(int, maxWords);
    QFETCH(QStringList, words);
    QFETCH(QStringList, suggestions);
    const WordDictionary d = smallDictionary();
    ListBuilder builder(d);
    const QList<uint> bad = unreadable.toUcs4();
    builder.setReadable([bad](char32_t c) { return !bad.contains(c); });
    QSet<char32_t> set;
    for (uint c : allowed.toUcs4())
        set.insert(c);
    const BuiltList list = builder.build(set, maxWords, 18);
    QCOMPARE(list.words, words);
    QStringList got;
    for (const BuiltList::Suggestion &s : list.suggestions)
        got << QStringLiteral("%1 %2").arg(s.kanji).arg(s.addedWords);
    QCOMPARE(got, suggestions);
    for (const BuiltList::Suggestion &s : list.suggestions) {
        QVERIFY(!allowed.contains(s.kanji) && !unreadable.contains(s.kanji));
        QVERIFY(!s.examples.isEmpty() && s.examples.size() <= ListBuilder::ExampleCount);
    }
}

void TestLearning::builderOfTheShippedDictionary()
{
    // Guards lists from school years on the real data: every word of the
    // chosen years' kanji, ordered as the dictionary, and suggestions only
    // while the words are too few.
    const WordDictionary d = WordDictionary::read(shippedDictionary());
    ListBuilder builder(d);
    // The first year's kanji as KANJIDIC gives them.
    const QString first = QStringLiteral("一右雨円王音下火花貝学気九休玉金空月犬見五口校左三山子四糸字耳七車手十出女小上"
                                         "森人水正生青夕石赤千川先早草足村大男竹中虫町天田土二日入年白八百文木本名目立力林六");
    QCOMPARE(first.size(), 80);
    const QSet<char32_t> years = builder.kanjiOfYears({1}, [&first](char32_t c) {
        return first.contains(QString::fromUcs4(&c, 1)) ? 1 : 3;
    });
    QCOMPARE(years.size(), 80);
    const BuiltList list = builder.build(years);
    QVERIFY(list.words.size() > 200);
    QVERIFY(list.suggestions.isEmpty());
    int last = -1;
    for (const QString &w : list.words) {
        for (const QString &c : WordList::characters(w))
            QVERIFY2(first.contains(c), qPrintable(w));
        QVERIFY(d.rank(w) > last);
        last = d.rank(w);
    }
    QVERIFY(list.words.contains(QStringLiteral("学校")));
    QVERIFY(list.words.indexOf(QStringLiteral("学校")) < list.words.indexOf(QStringLiteral("土手")));

    QSet<char32_t> few;
    for (uint c : QStringLiteral("日本人").toUcs4())
        few.insert(c);
    const BuiltList small = builder.build(few);
    QVERIFY(small.words.size() < 18);
    QCOMPARE(small.suggestions.size(), ListBuilder::SuggestionCount);
    for (qsizetype i = 1; i < small.suggestions.size(); ++i)
        QVERIFY(small.suggestions[i - 1].addedWords >= small.suggestions[i].addedWords);
}

void TestLearning::listFileIsWrittenWholeAndNeverOverwritten()
{
    // Guards a teacher's existing list from being replaced by accident, and
    // a failed write from leaving half a file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QString error;
    QVERIFY(writeWordListFile(path, eighteen, false, &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), eighteen.join('\n') + '\n');
    f.close();
    QVERIFY(!writeWordListFile(path, {QStringLiteral("学校")}, false, &error));
    QVERIFY(error.contains(QLatin1String("exists")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count('\n'), 18);
    f.close();
    QVERIFY(writeWordListFile(path, {QStringLiteral("学校")}, true, &error));
    QVERIFY(!writeWordListFile(dir.filePath(QStringLiteral("no/such/folder/list.txt")), eighteen, false, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestLearning)
#include "tst_learning.moc"
