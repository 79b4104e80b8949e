// SPDX-License-Identifier: GPL-3.0-or-later
// The game's context of a reading and the rules that apply it, on fake scores.
#include "engine/boardpreference.h"
#include "engine/characterpool.h"
#include "engine/judge.h"
#include "engine/random.h"
#include "engine/readingcontext.h"
#include "engine/recognitionqueue.h"
#include "engine/wordlist.h"

#include <QtTest>
#include <cmath>
#include <limits>

namespace {

WordList listOf(const QStringList &words)
{
    WordList list;
    list.load(words);
    return list;
}

// "木:-1 本:-2.5" as candidates, best first as a recogniser gives them.
QList<Candidate> scored(const QString &text)
{
    QList<Candidate> out;
    for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype colon = item.lastIndexOf(QLatin1Char(':'));
        out.append({item.left(colon), item.mid(colon + 1).toDouble()});
    }
    return out;
}

// The margins the rules are tested with: board 2, floor -8, pair 4, each 3,
// pair floor -9.
const ContextMargins margins{2.0, -8.0, 4.0, 3.0, -9.0};

// A board of the characters given, and a list with these words plus a few
// whose characters are not all on it.
ReadingContext contextOf(const QString &board, const QStringList &words)
{
    return ReadingContext(WordList::characters(board), listOf(words + QStringList{"電車", "花火"}));
}

// Answers the candidates a test sets; counts the calls in a game.
class ScriptedRecognizer : public Recognizer
{
public:
    QList<Candidate> classify(const Ink &, int count) const override { return candidates.mid(0, count); }
    QList<Candidate> classifyInGame(const Ink &, int, const ReadingContext &context) const override
    {
        ++inGame;
        lastContext = context;
        return candidates;
    }
    bool isAvailable() const override { return true; }
    QList<Candidate> candidates;
    mutable int inGame = 0;
    mutable ReadingContext lastContext;
};

} // namespace

Q_DECLARE_METATYPE(ContextMargins)

class TestBoardPreference : public QObject
{
    Q_OBJECT
private slots:
    void boardWordsAreWhatTheJudgeAccepts();
    void doubledCharacterNeedsTwoPlaces();
    void boardFirst_data();
    void boardFirst();
    void pair_data();
    void pair();
    void queueReadsInTheGameOnlyWithAContext();
};

void TestBoardPreference::boardWordsAreWhatTheJudgeAccepts()
{
    // Guards the context offering a pair the judge would refuse (a used
    // place, a word the wrong way round, a character on one place only
    // taken twice), or missing one it accepts.
    const QStringList words = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前", "自分",
                               "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育", "本日", "生気",
                               "気分", "学生", "人人", "日日", "本名", "火山", "校名", "川口"};
    const WordList list = listOf(words);
    SeededRandom random;
    for (int deal = 0; deal < 40; ++deal) {
        random.seed(uint64_t(deal) + 1);
        CharacterPool pool;
        pool.deal(list, random);
        // Some places used, as correct answers leave them.
        for (int i = 0; i < deal % 9; ++i)
            pool.markUsed(int(random.next() * CharacterPool::Size));
        const ReadingContext context = ReadingContext::of(pool, list);
        QSet<QString> chars;
        for (int i = 0; i < pool.size(); ++i)
            chars.insert(pool.at(i).character);
        for (const QString &a : chars) {
            QCOMPARE(context.isFree(a), pool.lowestFree(a) < CharacterPool::Size);
            for (const QString &b : chars) {
                const bool correct = judge(pool, list, a + b).outcome == Judgement::Correct;
                QVERIFY2(context.isBoardWord(a, b) == correct, qPrintable(a + b));
            }
        }
        for (const auto &[a, b] : context.boardWords())
            QVERIFY(judge(pool, list, a + b).outcome == Judgement::Correct);
    }
}

void TestBoardPreference::doubledCharacterNeedsTwoPlaces()
{
    // Guards 日日 offered as a board word while 日 is free on one place only.
    const WordList list = listOf({"日日", "日本"});
    QVERIFY(!ReadingContext({"日", "本"}, list).isBoardWord("日", "日"));
    QVERIFY(ReadingContext({"日", "本"}, list).isBoardWord("日", "本"));
    QVERIFY(ReadingContext({"日", "本", "日"}, list).isBoardWord("日", "日"));
    QVERIFY(!ReadingContext({"本", "日"}, list).isBoardWord("本", "日"));
    QVERIFY(ReadingContext().isEmpty());
    QVERIFY(ReadingContext().boardWords().isEmpty());
}

void TestBoardPreference::boardFirst_data()
{
    QTest::addColumn<QString>("candidates");
    QTest::addColumn<QString>("board");
    QTest::addColumn<ContextMargins>("rules");
    QTest::addColumn<QString>("first");
    const ContextMargins off{};
    // Board characters.
    QTest::newRow("board character close behind") << "眠:-1 眼:-2.5 民:-4" << "眼目" << margins << "眼";
    QTest::newRow("at the margin exactly") << "眠:-1 眼:-3" << "眼" << margins << "眼";
    QTest::newRow("the better of two board characters") << "眠:-1 眼:-2.9 民:-1.5" << "眼民" << margins << "民";
    QTest::newRow("first already on the board") << "眠:-1 眼:-1.1" << "眠眼" << margins << "眠";
    QTest::newRow("a board character listed behind a non-kanji")
        << "眠:-1 へ:-0.5 眼:-2.4" << "眼" << margins << "眼";
    // Characters written otherwise than anything on the board.
    QTest::newRow("board character too far behind") << "眠:-1 眼:-3.01" << "眼" << margins << "眠";
    QTest::newRow("measured from the best, not the first") << "千:-2 干:-0.5 于:-3" << "于" << margins << "千";
    QTest::newRow("below the floor: a scribble") << "一:-7.5 二:-8.5" << "二" << margins << "一";
    QTest::newRow("nothing on the board") << "眠:-1 眼:-2" << "目耳" << margins << "眠";
    QTest::newRow("no game") << "眠:-1 眼:-2" << "" << margins << "眠";
    QTest::newRow("rules off") << "眠:-1 眼:-1.1" << "眼" << off << "眠";
    QTest::newRow("a score that is no number")
        << "眠:-1 眼:nan" << "眼" << margins << "眠";
}

void TestBoardPreference::boardFirst()
{
    // Guards a board character not going first within the margin, going
    // first from beyond it, or a scribble or a broken score turned into one.
    QFETCH(QString, candidates);
    QFETCH(QString, board);
    QFETCH(ContextMargins, rules);
    QFETCH(QString, first);
    const QList<Candidate> list = scored(candidates);
    const int index = BoardPreference::boardFirst(list, contextOf(board, {}), rules);
    QCOMPARE(index < 0 ? list.first().text : list.at(index).text, first);
    QVERIFY(index != 0);
}

void TestBoardPreference::pair_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("board");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("reading"); // the pair's word, empty when each box keeps its own
    const QStringList eye = {"眼科", "眠気"};
    // The pair reading.
    QTest::newRow("a board word close behind both") << "眠:-1 眼:-2.5" << "科:-0.5 料:-1" << "眼科気" << eye << "眼科";
    QTest::newRow("one box alone moves") << "眠:-1 眼:-3.9" << "科:-0.2" << "眼科" << eye << "眼科";
    QTest::newRow("the word that trails least")
        << "石:-1 右:-2 古:-1.5" << "川:-1 州:-2" << "右古川州" << QStringList{"右川", "古川", "古州"} << "古川";
    QTest::newRow("second box moves") << "学:-1" << "枚:-1 校:-2" << "学校" << QStringList{"学校"} << "学校";
    QTest::newRow("a doubled character on two places") << "日:-1" << "目:-1 日:-2" << "日日" << QStringList{"日日"} << "日日";
    // Pairs that are not board words keep their readings.
    QTest::newRow("already a board word") << "眠:-1 眼:-1.5" << "気:-1 科:-1.2" << "眠気眼科" << eye << "";
    QTest::newRow("not a word: 単語がない stays")
        << "文:-1 字:-3.5" << "字:-1 文:-3.5" << "文字" << QStringList{"字文"} << "";
    QTest::newRow("a non-board character clearly written")
        << "眠:-1 眼:-4.5" << "科:-1" << "眼科" << eye << "";
    QTest::newRow("each box within, both together too far")
        << "眠:-1 眼:-3.8" << "料:-1 科:-2.5" << "眼科" << eye << "";
    QTest::newRow("doubled character on one place") << "日:-1" << "目:-1 日:-2" << "日目" << QStringList{"日日"} << "";
    QTest::newRow("above the pair's floor") << "一:-8.5 二:-8.6" << "科:-1" << "二科" << QStringList{"二科"} << "二科";
    QTest::newRow("below the pair's floor") << "一:-8.5 二:-9.1" << "科:-1" << "二科" << QStringList{"二科"} << "";
    QTest::newRow("character missing from a box") << "眠:-1" << "科:-1" << "眼科" << eye << "";
    QTest::newRow("an empty box") << "" << "科:-1" << "眼科" << eye << "";
    QTest::newRow("no game") << "眠:-1 眼:-2" << "科:-1" << "" << eye << "";
}

void TestBoardPreference::pair()
{
    // Guards the pair reading turning a clearly written non-word or
    // non-board pair into a board word (the player would be told 正解 for
    // what they did not write), or missing a board word close behind.
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, board);
    QFETCH(QStringList, words);
    QFETCH(QString, reading);
    const BoardPreference::PairReading got =
        BoardPreference::pair(scored(first), scored(second), contextOf(board, words), margins);
    QCOMPARE(got.first + got.second, reading);
    QCOMPARE(got.isValid(), !reading.isEmpty());
    // The rules off: nothing is ever read as a pair.
    QVERIFY(!BoardPreference::pair(scored(first), scored(second), contextOf(board, words), ContextMargins{}).isValid());
}

void TestBoardPreference::queueReadsInTheGameOnlyWithAContext()
{
    // Guards the game's context not reaching the recogniser, or a reading
    // outside a game (no deal) taking the game's path.
    ScriptedRecognizer recognizer;
    recognizer.candidates = scored("眠:-1 眼:-2 民:-3");
    RecognitionQueue queue(recognizer);
    const Ink ink{{Stroke{QPointF(1, 1), QPointF(9, 9)}}, QSizeF(10, 10)};
    QCOMPARE(queue.submit(ink, 2).result().size(), 2);
    QCOMPARE(recognizer.inGame, 0);
    const ReadingContext context = contextOf("眼科", {"眼科"});
    QCOMPARE(queue.submit(ink, 2, context).result().size(), 3);
    QCOMPARE(recognizer.inGame, 1);
    QVERIFY(recognizer.lastContext == context);
    QVERIFY(recognizer.lastContext.isBoardWord("眼", "科"));
}

QTEST_GUILESS_MAIN(TestBoardPreference)
#include "tst_boardpreference.moc"
