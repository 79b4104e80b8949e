// SPDX-License-Identifier: GPL-3.0-or-later
// Whole games through the engine alone: deal, answers of both players, each
// outcome, the limits, the draw, play after the end, a list chosen mid-game.
#include "engine/game.h"
#include "engine/playerview.h"
#include "fakes/fakes.h"

#include <QSignalSpy>
#include <QtTest>
#include <algorithm>

namespace {

const QStringList eighteen = {"学校", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

struct Limits : GameLimits
{
    bool timeOn = false;
    int seconds = 60;
    bool answersOn = true;
    int answers = 5;
    bool timeLimitOn() const override { return timeOn; }
    int timeLimitSeconds() const override { return seconds; }
    bool answerLimitOn() const override { return answersOn; }
    int answerLimit() const override { return answers; }
};

// What a seat shows, kept the way a window keeps it, and every call in order.
struct View : PlayerView
{
    QString name;
    QStringList calls;
    QStringList board = QStringList(Rules::BoardPlaces + 1);
    QList<bool> usable = QList<bool>(Rules::BoardPlaces + 1, true);
    QStringList answers = QStringList(Rules::AnswerSlots + 1);
    QString own = "0", opponent = "0", result;
    int item = 2;
    bool locked = false;
    QList<int> performed;

    explicit View(const QString &name) : name(name) {}
    void log(const QString &call) { calls << name + ':' + call; }
    void erase() { item = 2; result.clear(); }
    void AllClear() override
    {
        log("AllClear");
        erase();
        answers = QStringList(Rules::AnswerSlots + 1);
        board = QStringList(Rules::BoardPlaces + 1);
        usable.fill(true);
        own = opponent = "0";
    }
    void AllLock() override { log("AllLock"); locked = true; }
    void AllUnLock() override { log("AllUnLock"); erase(); locked = false; }
    void showBoardCharacter(int place, const QString &c) override { board[place] = c; }
    void disableBoardPlace(int place) override { log(QString("disable %1").arg(place)); usable[place] = false; }
    void showResult(const QString &text) override { log("result " + text); result = text; }
    void showFeedbackItem(int i) override { log(QString("item %1").arg(i)); item = i; }
    void playFeedback(int i) override { log(QString("play %1").arg(i)); performed << i; }
    void showOwnScore(const QString &s) override { log("own " + s); own = s; }
    void showOpponentScore(const QString &s) override { log("opponent " + s); opponent = s; }
    void showAnswer(int slot, const QString &w) override { log(QString("answer %1 %2").arg(slot).arg(w)); answers[slot] = w; }
    void setReadingContext(const ReadingContext &c) override { context = c; }
    ReadingContext context;
    QString boardText() const { return board.join(QString()); }
};

struct Played
{
    Limits limits;
    std::shared_ptr<ManualClock::Time> time = std::make_shared<ManualClock::Time>();
    Game game{limits};
    View one{"1"}, two{"2"};

    explicit Played(const QStringList &words = eighteen)
    {
        game.setClock(std::make_unique<ManualClock>(time));
        auto random = std::make_unique<SeededRandom>();
        random->seed(2026);
        game.setRandom(std::move(random));
        game.addView(1, &one);
        game.addView(2, &two);
        WordList list;
        list.load(words);
        game.setWords(std::move(list));
        game.lockAndClearPlayers();
    }
    void tickAfter(qint64 ms)
    {
        time->ms += ms;
        game.tick();
    }
    View &view(int player) { return player == 1 ? one : two; }
};

QStringList sortedCharacters(const QString &text)
{
    QStringList chars = WordList::characters(text);
    std::sort(chars.begin(), chars.end());
    return chars;
}

} // namespace

class TestGame : public QObject
{
    Q_OBJECT
private slots:
    void dealShowsTheListsCharactersToBothPlayers();
    void tooFewWordsChangeNothing();
    void answers_data();
    void answers();
    void correctAnswerUpdatesBothPlayersInOrder();
    void answerLimitEndsWithinTheAnswer();
    void loweredAnswerLimitEndsAtTheNextAnswer();
    void timeLimit_data();
    void timeLimit();
    void drawPerformsOnlyPlayerOne();
    void startDuringAGameResetsEverything();
    void listChosenMidGameThenTimeOut();
    void duringALoad_data();
    void duringALoad();
    void playAfterUnlockCannotEndAgain();
    void lateViewSeesTheSeat();
    void viewBeforeAnyDealIsLocked();
    void readingContextFollowsTheBoard();
};

void TestGame::dealShowsTheListsCharactersToBothPlayers()
{
    // Guards the deal: exactly the list's 36 characters, the same board for
    // both, both players free to answer, the clock from 0.
    Played p;
    QSignalSpy clock(&p.game, &Game::clockChanged);
    QSignalSpy running(&p.game, &Game::clockRunningChanged);
    p.game.start();
    QCOMPARE(sortedCharacters(p.one.boardText()), sortedCharacters(eighteen.join(QString())));
    QCOMPARE(p.one.boardText(), p.two.boardText());
    QVERIFY(!p.one.locked && !p.two.locked);
    QCOMPARE(clock.takeLast().at(0).toString(), QStringLiteral("0"));
    QCOMPARE(running.takeLast().at(0).toBool(), true);
    QVERIFY(!p.game.isOver());
    // Lock and clear both before the deal, unlock both after it.
    QCOMPARE(p.one.calls.mid(p.one.calls.size() - 3),
             QStringList({"1:AllLock", "1:AllClear", "1:AllUnLock"}));
}

void TestGame::tooFewWordsChangeNothing()
{
    // Guards the start with 17 words: not even the players are touched.
    Played p(eighteen.mid(0, 17));
    p.one.calls.clear();
    p.game.start();
    QVERIFY(p.one.calls.isEmpty());
    QVERIFY(!p.game.isClockRunning());
    QCOMPARE(p.game.pool().size(), 0);
}

void TestGame::answers_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("results");
    // Each answer by player 1 in turn; the scores follow from the results.
    QTest::newRow("listed word") << eighteen << QStringList{"学校"} << QStringList{"正解！！"};
    QTest::newRow("reversed pair") << eighteen << QStringList{"校学"} << QStringList{"単語がない！！"};
    QTest::newRow("character not dealt") << eighteen << QStringList{"学級"} << QStringList{"文字がない！"};
    QTest::newRow("used characters") << eighteen << QStringList{"学校", "学校"}
                                     << QStringList{"正解！！", "文字がない！"};
    QTest::newRow("pair across two dealt words")
        << (QStringList(eighteen.mid(0, 17)) << "学生") << QStringList{"学生", "先生"}
        << QStringList{"正解！！", "正解！！"};
    QTest::newRow("doubled character needs two entries")
        << (QStringList(eighteen.mid(0, 17)) << "人人") << QStringList{"人人", "人人"}
        << QStringList{"正解！！", "文字がない！"};
    QTest::newRow("one character") << eighteen << QStringList{"学"} << QStringList{"文字がない！"};
    QTest::newRow("more than two characters") << eighteen << QStringList{"学校長"} << QStringList{"単語がない！！"};
}

void TestGame::answers()
{
    // Guards each outcome's text and feedback, and that a wrong answer
    // changes nothing but the answering player's result.
    QFETCH(QStringList, words);
    QFETCH(QStringList, given);
    QFETCH(QStringList, results);
    Played p(words);
    p.game.start();
    int score = 0;
    for (int i = 0; i < given.size(); ++i) {
        const QStringList before = p.two.calls;
        p.game.SeigoHantei(1, given[i]);
        const bool right = results[i] == QStringLiteral("正解！！");
        score += right ? 1 : 0;
        QCOMPARE(p.one.result, results[i]);
        QCOMPARE(p.one.item, right ? 0 : 1);
        QCOMPARE(p.one.performed.last(), right ? 0 : 1);
        QCOMPARE(p.game.score(1), score);
        QCOMPARE(p.two.opponent, QString::number(score));
        if (!right)
            QCOMPARE(p.two.calls, before);
    }
    QCOMPARE(p.two.result, QString());
    QCOMPARE(p.game.score(2), 0);
}

void TestGame::correctAnswerUpdatesBothPlayersInOrder()
{
    // Guards where and in which order a correct answer of player 2 is shown:
    // the lowest free places disabled for both, then the answering player's
    // result, item, performance, score, the other's opponent score, the slot.
    QStringList words = eighteen;
    words[17] = "学生"; // 学 and 生 also stand in 学校 and 先生
    words << "体育";
    Played p(words);
    p.game.start();
    const QString board = p.one.boardText();
    const int first = board.indexOf("学") + 1;
    const int second = board.indexOf("生") + 1;
    p.one.calls.clear();
    p.two.calls.clear();
    QSignalSpy pool(&p.game, &Game::poolChanged);
    p.game.SeigoHantei(2, "学生");
    QCOMPARE(pool.count(), 1);
    QCOMPARE(p.one.calls, QStringList({QString("1:disable %1").arg(first), QString("1:disable %1").arg(second),
                                       "1:opponent 1"}));
    QCOMPARE(p.two.calls, QStringList({QString("2:disable %1").arg(first), QString("2:disable %1").arg(second),
                                       "2:result 正解！！", "2:item 0", "2:play 0", "2:own 1", "2:answer 1 学生"}));
    QVERIFY(p.game.pool().at(first - 1).used && p.game.pool().at(second - 1).used);
    QCOMPARE(p.game.answers(2).first(), QStringLiteral("学生"));
    QVERIFY(p.game.answers(1).first().isEmpty());
}

void TestGame::answerLimitEndsWithinTheAnswer()
{
    // Guards the answer limit: the answer that reaches it is scored in full,
    // then the result replaces "正解！！" within the same call.
    Played p;
    p.limits.answers = 2;
    p.game.start();
    p.game.SeigoHantei(1, "学校");
    QVERIFY(p.game.isClockRunning());
    p.game.SeigoHantei(1, "日本");
    QCOMPARE(p.one.own, QStringLiteral("2"));
    QCOMPARE(p.one.answers[2], QStringLiteral("日本"));
    QCOMPARE(p.one.result, QStringLiteral("かち！！"));
    QCOMPARE(p.two.result, QStringLiteral("まけ！！"));
    QCOMPARE(p.one.item, 0);
    QCOMPARE(p.two.item, 1);
    QVERIFY(p.one.locked && p.two.locked);
    QVERIFY(!p.game.isClockRunning());
    QVERIFY(p.game.isOver());
}

void TestGame::loweredAnswerLimitEndsAtTheNextAnswer()
{
    // Guards a limit lowered below a score: not at once, at the next answer,
    // right or wrong; and not at all while the limit is off.
    Played p;
    p.game.start();
    p.game.SeigoHantei(2, "学校");
    p.game.SeigoHantei(2, "日本");
    p.limits.answersOn = false;
    p.limits.answers = 1;
    p.game.SeigoHantei(2, "先生");
    QVERIFY(!p.game.isOver());
    p.limits.answersOn = true;
    QVERIFY(!p.game.isOver());
    p.game.SeigoHantei(1, "校学");
    QVERIFY(p.game.isOver());
    QCOMPARE(p.two.result, QStringLiteral("かち！！"));
}

void TestGame::timeLimit_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<qint64>("switchOnAfterMs"); // -1: on from the start
    QTest::addColumn<QList<qint64>>("ticks");    // ms since the deal
    QTest::addColumn<QString>("finalClock");
    QTest::newRow("ends at the first tick reaching 60") << 60 << qint64(-1)
                                                       << QList<qint64>{999, 59999, 60400} << "60";
    QTest::newRow("switched on late shows the limit") << 30 << qint64(40000LL * 1000)
                                                      << QList<qint64>{40000LL * 1000, 40001LL * 1000} << "30";
    QTest::newRow("a limit of one second") << 1 << qint64(-1) << QList<qint64>{999, 1000} << "1";
}

void TestGame::timeLimit()
{
    // Guards the time-out: not a tick early, the final display never above
    // the limit, also past 16 bits of seconds.
    QFETCH(int, limit);
    QFETCH(qint64, switchOnAfterMs);
    QFETCH(QList<qint64>, ticks);
    QFETCH(QString, finalClock);
    Played p;
    p.limits.seconds = limit;
    p.limits.timeOn = switchOnAfterMs < 0;
    const qint64 start = p.time->ms;
    p.game.start();
    for (int i = 0; i < ticks.size(); ++i) {
        QVERIFY2(!p.game.isOver(), qPrintable(QString("over before tick %1").arg(i)));
        if (switchOnAfterMs >= 0 && ticks[i] > switchOnAfterMs)
            p.limits.timeOn = true;
        p.time->ms = start + ticks[i];
        p.game.tick();
    }
    QVERIFY(p.game.isOver());
    QCOMPARE(p.game.clockText(), finalClock);
}

void TestGame::drawPerformsOnlyPlayerOne()
{
    // Guards the draw: both show it with the neutral item, and only player
    // 1's display performs, with the item of a win.
    Played p;
    p.limits.timeOn = true;
    p.limits.seconds = 1;
    p.game.start();
    p.one.performed.clear();
    p.tickAfter(1000);
    for (View *v : {&p.one, &p.two}) {
        QCOMPARE(v->result, QStringLiteral("ひきわけ！！"));
        QCOMPARE(v->item, 2);
    }
    QCOMPARE(p.one.performed, QList<int>{0});
    QVERIFY(p.two.performed.isEmpty());
    // A later end changes nothing.
    p.one.calls.clear();
    p.game.EndGame();
    QVERIFY(p.one.calls.isEmpty());
}

void TestGame::startDuringAGameResetsEverything()
{
    // Guards a second "スタート": a fresh game, no question asked.
    Played p;
    p.game.start();
    p.game.SeigoHantei(1, "学校");
    p.tickAfter(5000);
    p.game.start();
    QCOMPARE(p.game.score(1), 0);
    QCOMPARE(p.one.own, QStringLiteral("0"));
    QCOMPARE(p.two.opponent, QStringLiteral("0"));
    QVERIFY(p.one.answers[1].isEmpty());
    QCOMPARE(p.game.clockText(), QStringLiteral("0"));
    QVERIFY(!p.one.usable.contains(false));
    p.tickAfter(2000);
    QCOMPARE(p.game.clockText(), QStringLiteral("2"));
}

void TestGame::listChosenMidGameThenTimeOut()
{
    // Guards a list chosen mid-game: the clock runs on, the time-out is a
    // draw at 0 to 0, and answers on the empty board find no character.
    Played p;
    p.limits.timeOn = true;
    p.game.start();
    p.game.SeigoHantei(1, "学校");
    p.game.clearWords();
    WordList list;
    list.load(eighteen);
    p.game.setWords(std::move(list));
    p.game.lockAndClearPlayers();
    QVERIFY(p.game.isClockRunning());
    QVERIFY(p.one.locked && p.two.locked);
    QCOMPARE(p.game.pool().size(), 0);
    p.tickAfter(60000);
    QCOMPARE(p.one.result, QStringLiteral("ひきわけ！！"));
    p.game.unlockPlayers();
    p.game.SeigoHantei(1, "学校");
    QCOMPARE(p.one.result, QStringLiteral("文字がない！"));
}

void TestGame::duringALoad_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("timeOut");
    QTest::newRow("an answer") << "answer" << false;
    QTest::newRow("a tick past the limit") << "tick" << true;
    QTest::newRow("a start") << "start" << false;
}

void TestGame::duringALoad()
{
    // Guards a list read off the windows' thread: while it loads nothing is
    // judged or dealt, and a tick of the clock waits for the load's end
    // (the windows once froze for the load, so everything came after it).
    QFETCH(QString, during);
    QFETCH(bool, timeOut);
    Played p;
    p.limits.timeOn = true;
    p.game.start();
    p.game.beginLoading();
    QVERIFY(p.game.isLoading());
    QVERIFY(p.one.locked && p.two.locked);
    QVERIFY(!p.game.canStart());
    QCOMPARE(p.game.words().size(), 0);
    p.one.calls.clear();
    QSignalSpy clock(&p.game, &Game::clockChanged);
    if (during == QLatin1String("answer")) {
        p.game.SeigoHantei(1, "学校");
    } else if (during == QLatin1String("tick")) {
        p.tickAfter(61000);
    } else {
        p.game.start();
    }
    QVERIFY(p.one.calls.isEmpty());
    QCOMPARE(clock.count(), 0);
    QCOMPARE(p.game.score(1), 0);

    WordList list;
    list.load(eighteen);
    p.game.setWords(std::move(list));
    p.game.finishLoading();
    QVERIFY(!p.game.isLoading());
    QVERIFY(p.game.canStart());
    // The load ends as it always did: both players locked and cleared;
    // then comes the tick that fell in the load.
    QCOMPARE(p.one.calls.mid(0, 2), (QStringList{"1:AllLock", "1:AllClear"}));
    QCOMPARE(p.game.isOver(), timeOut);
    QCOMPARE(p.one.result, timeOut ? QStringLiteral("ひきわけ！！") : QString());
    QCOMPARE(p.game.isClockRunning(), !timeOut);
}

void TestGame::playAfterUnlockCannotEndAgain()
{
    // Guards play after the operator's unlock: scored, no second end.
    Played p;
    p.limits.answers = 1;
    p.game.start();
    p.game.SeigoHantei(2, "学校");
    QCOMPARE(p.two.result, QStringLiteral("かち！！"));
    p.game.unlockPlayers();
    QVERIFY(!p.one.locked && !p.two.locked);
    QVERIFY(p.one.result.isEmpty());
    p.game.SeigoHantei(1, "日本");
    QCOMPARE(p.one.result, QStringLiteral("正解！！"));
    QCOMPARE(p.one.own, QStringLiteral("1"));
    QVERIFY(!p.one.locked);
    QCOMPARE(p.two.result, QString());
}

void TestGame::lateViewSeesTheSeat()
{
    // Guards a view that joins mid-game (a device that reconnects): it sees
    // the board with its used places, the answers, the scores, the lock and
    // the last result of its player's seat.
    Played p;
    p.limits.answers = 2;
    p.game.start();
    p.game.SeigoHantei(2, "学校");
    p.game.SeigoHantei(1, "日本");
    p.game.SeigoHantei(2, "先生");
    View late("late");
    p.game.present(2, &late);
    QCOMPARE(late.boardText(), p.two.boardText());
    QCOMPARE(late.usable, p.two.usable);
    QCOMPARE(late.answers, p.two.answers);
    QCOMPARE(late.own, QStringLiteral("2"));
    QCOMPARE(late.opponent, QStringLiteral("1"));
    QVERIFY(late.locked);
    QCOMPARE(late.result, QStringLiteral("かち！！"));
    QCOMPARE(late.item, 0);
    QVERIFY(late.performed.isEmpty());
}

void TestGame::viewBeforeAnyDealIsLocked()
{
    // Guards a device that takes its seat before the operator has chosen a
    // list: it must not be able to write while the windows are locked.
    Limits limits;
    Game game(limits);
    View early("early");
    game.present(2, &early);
    QVERIFY(early.locked);
    QVERIFY(game.isLocked(1) && game.isLocked(2));
}

void TestGame::readingContextFollowsTheBoard()
{
    // Guards the boxes reading against a stale board: a used character still
    // preferred (read, then refused as 文字がない), a new deal's characters
    // not preferred, a returning device without the context, or a context
    // left from the old list while a new one loads.
    Played p;
    QVERIFY(p.one.context.isEmpty() && p.game.readingContext(1).isEmpty());
    p.game.start();
    const QStringList dealt = sortedCharacters(eighteen.join(QString()));
    const QSet<QString> distinct(dealt.cbegin(), dealt.cend());
    for (View *v : {&p.one, &p.two}) {
        QVERIFY(v->context == p.game.readingContext(1));
        QCOMPARE(v->context.freeCharacters(), distinct);
        for (const QString &word : eighteen)
            QVERIFY2(v->context.isBoardWord(word.left(1), word.mid(1)), qPrintable(word));
    }
    QVERIFY(!p.one.context.isBoardWord("校", "学"));
    p.game.SeigoHantei(2, "学校");
    for (View *v : {&p.one, &p.two}) {
        QVERIFY(!v->context.isFree("学") && !v->context.isFree("校"));
        QVERIFY(!v->context.isBoardWord("学", "校"));
        QVERIFY(v->context.isBoardWord("日", "本"));
        QCOMPARE(v->context.freeCharacters().size(), distinct.size() - 2);
    }
    // A wrong answer changes nothing.
    const ReadingContext before = p.one.context;
    p.game.SeigoHantei(1, "本日");
    QVERIFY(p.one.context == before);
    View late("late");
    p.game.present(1, &late);
    QVERIFY(late.context == before);
    p.game.beginLoading();
    QVERIFY(p.one.context.isEmpty() && p.two.context.isEmpty());
}

QTEST_GUILESS_MAIN(TestGame)
#include "tst_game.moc"
