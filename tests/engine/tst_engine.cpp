// SPDX-License-Identifier: GPL-3.0-or-later
// Dealing, judging and the clock arithmetic, without any window.
#include "engine/characterpool.h"
#include "engine/gameclock.h"
#include "engine/judge.h"
#include "engine/recognitionqueue.h"
#include "engine/wordlist.h"
#include "fakes/fakes.h"

#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <atomic>

namespace {

WordList listOf(const QStringList &words)
{
    WordList list;
    list.load(words);
    return list;
}

const QStringList eighteen = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

QStringList poolCharacters(const CharacterPool &pool)
{
    QStringList out;
    for (int i = 0; i < pool.size(); ++i)
        out << pool.at(i).character;
    return out;
}

// A pool holding the given characters in order, dealt from words that
// exist only to place them.
CharacterPool boardOf(const QString &thirtySix)
{
    QStringList words;
    const QStringList chars = WordList::characters(thirtySix);
    for (int i = 0; i < chars.size(); i += 2)
        words << chars[i] + chars[i + 1];
    // Draw i picks the list entry of word i (the list keeps its own order;
    // r = entry / 18 + a little); the shuffle swaps each entry with itself
    // (r = g / 36 + a little).
    const WordList list = listOf(words);
    const QStringList order = list.words();
    QList<int> taken;
    QList<double> r;
    for (const QString &word : words) {
        int entry = int(order.indexOf(word));
        while (taken.contains(entry))
            entry = int(order.indexOf(word, entry + 1));
        taken << entry;
        r << (entry + 0.5) / 18.0;
    }
    for (int g = 0; g < 36; ++g)
        r << (g + 0.5) / 36.0;
    ScriptedRandom random(r);
    CharacterPool pool;
    pool.deal(list, random);
    return pool;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
private slots:
    void dealUsesEveryWordOfAnEighteenWordList();
    void dealShufflesBySwappingWithAnyPosition();
    void dealDrawsRepeatedLinesSeparately();
    void dealNeedsEighteenWords();
    void judge_data();
    void judge();
    void judgeTakesTheLowestFreeEntries();
    void judgeOnAnEmptyPool();
    void clockText_data();
    void clockText();
    void finalTextNeverExceedsTheLimit();
    void decideGame();
    void recognitionRunsOffTheCallersThread();
    void lanesTakeTurns();
};

void TestEngine::dealUsesEveryWordOfAnEighteenWordList()
{
    // Guards the draw: with exactly 18 words each is drawn once.
    SeededRandom random;
    random.seed(42);
    CharacterPool pool;
    pool.deal(listOf(eighteen), random);
    QCOMPARE(pool.size(), 36);
    QStringList dealt = poolCharacters(pool);
    QStringList expected = WordList::characters(eighteen.join(QString()));
    std::sort(dealt.begin(), dealt.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(dealt, expected);
    for (int i = 0; i < 36; ++i)
        QVERIFY(!pool.at(i).used);
}

void TestEngine::dealShufflesBySwappingWithAnyPosition()
{
    // Guards the shuffle's exact rule: entry g swaps with floor(r * 36), also
    // a position before g. With r always near 1, each step swaps with the
    // last entry, which rotates the pool by one.
    QList<double> r;
    for (int i = 0; i < 18; ++i)
        r << (i + 0.5) / 18.0; // draws in list order
    for (int g = 0; g < 36; ++g)
        r << 0.999;
    ScriptedRandom random(r);
    CharacterPool pool;
    pool.deal(listOf(eighteen), random);
    const QStringList inOrder = WordList::characters(listOf(eighteen).words().join(QString()));
    QStringList rotated = inOrder;
    rotated.prepend(rotated.takeLast());
    QCOMPARE(poolCharacters(pool), rotated);
}

void TestEngine::dealDrawsRepeatedLinesSeparately()
{
    // Guards draw flags by index: a word on two lines can be drawn twice,
    // and a doubled character gives two entries.
    QStringList words = eighteen;
    words[1] = "学校";
    words[2] = "日日";
    SeededRandom random;
    random.seed(7);
    CharacterPool pool;
    pool.deal(listOf(words), random);
    const QStringList dealt = poolCharacters(pool);
    QCOMPARE(dealt.count("学"), 2);
    QCOMPARE(dealt.count("日"), 2);
}

void TestEngine::dealNeedsEighteenWords()
{
    // Guards a start with too short a list: nothing is dealt, nothing hangs.
    ScriptedRandom random({0.0});
    CharacterPool pool;
    pool.deal(listOf(eighteen.mid(0, 17)), random);
    QCOMPARE(pool.size(), 0);
    // A generator stuck on one value still deals.
    pool.deal(listOf(eighteen), random);
    QCOMPARE(pool.size(), 36);
}

void TestEngine::judge_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("outcome");
    const QString board = QStringLiteral("学校日本先生電車花火山川天気水道名前自分時間世界言葉動物空気音楽図工体育");
    const QStringList list = {"学校", "日本", "本日", "学生", "空空"};
    QTest::newRow("dealt word") << board << list << "学校" << int(Judgement::Correct);
    QTest::newRow("across two dealt words") << board << list << "学生" << int(Judgement::Correct);
    QTest::newRow("reversed, not listed") << board << list << "校学" << int(Judgement::NoWord);
    QTest::newRow("reversed, listed") << board << list << "本日" << int(Judgement::Correct);
    QTest::newRow("letter case ignored") << QStringLiteral("ab") + board.mid(2) << QStringList{"AB"} << "ab" << int(Judgement::Correct);
    QTest::newRow("character not on board") << board << list << "学級" << int(Judgement::NoCharacter);
    QTest::newRow("first not on board") << board << list << "級学" << int(Judgement::NoCharacter);
    QTest::newRow("doubled, one on board") << board << list << "空空" << int(Judgement::NoCharacter);
    QTest::newRow("doubled, two on board") << board.left(34) + "空x" << list << "空空" << int(Judgement::Correct);
    QTest::newRow("one character") << board << list << "学" << int(Judgement::NoCharacter);
    QTest::newRow("empty answer") << board << list << "" << int(Judgement::NoCharacter);
    QTest::newRow("third character takes part in look-up") << board << list << "学校長" << int(Judgement::NoWord);
    QTest::newRow("supplementary kanji") << QString::fromUtf8("𩸽焼") + board.mid(2) << QStringList{QString::fromUtf8("𩸽焼")}
                                         << QString::fromUtf8("𩸽焼") << int(Judgement::Correct);
}

void TestEngine::judge()
{
    // Guards the three outcomes of an answer.
    QFETCH(QString, board);
    QFETCH(QStringList, words);
    QFETCH(QString, answer);
    QFETCH(int, outcome);
    const CharacterPool pool = boardOf(board);
    QCOMPARE(poolCharacters(pool), WordList::characters(board));
    QCOMPARE(int(::judge(pool, listOf(words), answer).outcome), outcome);
}

void TestEngine::judgeTakesTheLowestFreeEntries()
{
    // Guards which board buttons a correct answer uses: the lowest free
    // entries, two different ones for a doubled character, never used ones.
    CharacterPool pool = boardOf(QStringLiteral("日本日本日日学校学校先生電車花火山川天気水道名前自分時間世界言葉動物空気"));
    const WordList words = listOf({"日本", "日日"});
    Judgement j = ::judge(pool, words, "日本");
    QCOMPARE(j.outcome, Judgement::Correct);
    QCOMPARE(j.first, 0);
    QCOMPARE(j.second, 1);
    pool.markUsed(j.first);
    pool.markUsed(j.second);
    j = ::judge(pool, words, "日日");
    QCOMPARE(j.first, 2);
    QCOMPARE(j.second, 4);
    pool.markUsed(2);
    pool.markUsed(4);
    pool.markUsed(5);
    j = ::judge(pool, words, "日本");
    QCOMPARE(j.outcome, Judgement::NoCharacter);
    QCOMPARE(j.first, 36);
    QCOMPARE(j.second, 3);
}

void TestEngine::judgeOnAnEmptyPool()
{
    // Guards answers after a list was loaded during a game: no board at all.
    const CharacterPool empty;
    QCOMPARE(::judge(empty, listOf({"学校"}), "学校").outcome, Judgement::NoCharacter);
}

void TestEngine::clockText_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<QString>("text");
    QTest::newRow("just dealt") << qint64(5000) << qint64(5000) << "--";
    QTest::newRow("under a second") << qint64(5000) << qint64(5999) << "0";
    QTest::newRow("one second") << qint64(5000) << qint64(6000) << "1";
    QTest::newRow("a minute") << qint64(5000) << qint64(65000) << "60";
    QTest::newRow("ten hours") << qint64(0) << qint64(36000000) << "36000";
    QTest::newRow("clock behind") << qint64(5000) << qint64(4000) << "--";
}

void TestEngine::clockText()
{
    // Guards the display: whole seconds, floor, no midnight wrap.
    QFETCH(qint64, start);
    QFETCH(qint64, now);
    QFETCH(QString, text);
    QCOMPARE(GameClock::elapsedText(start, now), text);
}

void TestEngine::finalTextNeverExceedsTheLimit()
{
    // Guards the final display, also past a 16-bit number of seconds.
    QCOMPARE(GameClock::finalText(59, 60), QStringLiteral("59"));
    QCOMPARE(GameClock::finalText(75, 60), QStringLiteral("60"));
    QCOMPARE(GameClock::finalText(40000, 600), QStringLiteral("600"));
}

void TestEngine::decideGame()
{
    // Guards win, lose and draw, compared as numbers.
    QCOMPARE(::decideGame(3, 2), GameResult::Player1Wins);
    QCOMPARE(::decideGame(2, 10), GameResult::Player2Wins);
    QCOMPARE(::decideGame(0, 0), GameResult::Draw);
}

void TestEngine::recognitionRunsOffTheCallersThread()
{
    // Guards the queue: the recogniser never runs on the window's thread nor
    // twice at once, answers come back in order, and a queue going away with
    // ink still waiting neither hangs nor reads it.
    struct Slow : Recognizer
    {
        mutable std::atomic<int> running{0}, overlaps{0}, calls{0};
        mutable std::atomic<QThread *> thread{nullptr};
        QList<Candidate> classify(const Ink &ink, int) const override
        {
            if (running++ > 0)
                ++overlaps;
            thread = QThread::currentThread();
            QThread::msleep(20);
            ++calls;
            --running;
            return {{QString::number(ink.strokes.size()), 0}};
        }
        bool isAvailable() const override { return true; }
    } slow;
    auto inkOf = [](int strokes) {
        Ink ink;
        for (int i = 0; i < strokes; ++i)
            ink.strokes.append(Stroke{QPointF(i, i)});
        return ink;
    };
    {
        RecognitionQueue queue(slow);
        QList<QFuture<QList<Candidate>>> futures;
        for (int i = 1; i <= 4; ++i)
            futures << queue.submit(inkOf(i), 1);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(futures[i].result().first().text, QString::number(i + 1));
        QVERIFY(slow.thread != QThread::currentThread());
        QCOMPARE(slow.overlaps.load(), 0);
        for (int i = 0; i < 50; ++i)
            queue.submit(inkOf(1), 1);
    }
    QVERIFY(slow.calls < 54);
}

void TestEngine::lanesTakeTurns()
{
    // Guards one caller against another that submits much: the thread takes
    // the lanes' inks in turn, so that an ink of a quiet lane waits for at
    // most one of a busy lane; a cancelled ink is not read; a lane gone
    // drops its inks and leaves the others running.
    struct Gated : Recognizer
    {
        mutable QSemaphore gate;
        mutable QMutex mutex;
        mutable QStringList read;
        QList<Candidate> classify(const Ink &ink, int) const override
        {
            gate.acquire();
            QMutexLocker lock(&mutex);
            read << QString::number(ink.strokes.size());
            return {{read.last(), 0}};
        }
        bool isAvailable() const override { return true; }
        QStringList order() const
        {
            QMutexLocker lock(&mutex);
            return read;
        }
    } gated;
    auto inkOf = [](int strokes) {
        Ink ink;
        for (int i = 0; i < strokes; ++i)
            ink.strokes.append(Stroke{QPointF(i, i)});
        return ink;
    };
    RecognitionQueue queue(gated);
    QList<QFuture<QList<Candidate>>> busy, quiet;
    {
        RecognitionQueue busyLane(queue), quietLane(queue);
        for (int i = 1; i <= 4; ++i)
            busy << busyLane.submit(inkOf(i), 1);
        QFuture<QList<Candidate>> cancelled = quietLane.submit(inkOf(9), 1);
        cancelled.cancel();
        quiet << quietLane.submit(inkOf(10), 1) << quietLane.submit(inkOf(11), 1);
        gated.gate.release(4);
        QTRY_COMPARE(gated.order().size(), 4);
        QCOMPARE(gated.order(), QStringList({"1", "10", "2", "11"}));
        QTRY_VERIFY(quiet[1].isFinished());
    }
    // The busy lane went while its third ink was read: that one is done,
    // the fourth dropped.
    gated.gate.release(10);
    QCOMPARE(queue.submit(inkOf(5), 1).result().first().text, QString("5"));
    QCOMPARE(gated.order(), QStringList({"1", "10", "2", "11", "3", "5"}));
    QVERIFY(busy[3].isCanceled());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
