// SPDX-License-Identifier: GPL-3.0-or-later
// A class game without a network: children joining by name, pairs with odd
// numbers and swaps, rounds started, ended and released, every pair's
// game driven through its children's seats, and what reaches the results.
#include "engine/recognitionqueue.h"
#include "fakes/classfakes.h"
#include "fakes/fakes.h"
#include "host/childname.h"
#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classmatch.h"
#include "host/pairing.h"
#include "host/resultsstore.h"
#include "learning/worddictionary.h"
#include "seats/remoteseat.h"

#include <QJsonArray>

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace ClassFakes;

namespace {

WordList words(const QStringList &list = eighteen)
{
    WordList w;
    w.load(list);
    return w;
}

ClassSettings settings(int answerLimit = 2)
{
    ClassSettings s;
    s.name = "3年1組";
    s.listName = "list.txt";
    s.timeLimitOn = true;
    s.timeLimitSeconds = 60;
    s.answerLimitOn = true;
    s.answerLimit = answerLimit;
    return s;
}

QString board(const ClassMatch &m)
{
    QString b;
    for (int i = 0; i < m.game().pool().size(); ++i)
        b += m.game().pool().at(i).character;
    return b;
}

// A class game with its store in a folder of its own.
struct Classroom
{
    QTemporaryDir dir;
    CountingRecognizer recognizer;
    RecognitionQueue queue{recognizer};
    std::unique_ptr<ResultsStore> store = std::make_unique<ResultsStore>(dir.filePath("results.db"));
    ClassHost host;
    ClassGame *game = nullptr;

    explicit Classroom(int answerLimit = 2, HostLimits limits = HostLimits{})
        : host(store.get(), {&queue}, limits)
    {
        QString why;
        game = host.create(settings(answerLimit), words(), &why);
        if (!game)
            qFatal("no class game: %s", qPrintable(why));
    }
    qint64 join(const QString &name)
    {
        qint64 id = 0;
        QString why;
        if (host.join(game, name, &id, &why) != ClassGame::Entry::Joined)
            qFatal("%s cannot join: %s", qPrintable(name), qPrintable(why));
        return id;
    }
    ClassResults results()
    {
        store->flush();
        return store->results(game->id()).result();
    }
};

} // namespace

class TestClassGame : public QObject
{
    Q_OBJECT
private slots:
    void namesAreCleanedOrRefused_data();
    void namesAreCleanedOrRefused();
    void aNameIsOnceInAClass_data();
    void aNameIsOnceInAClass();
    void classAndHostLimitsRefuseWithAReason();
    void classCodesOpenAtOnceAreBounded();
    void pairsCoverEveryChildWithOneAloneAtMost_data();
    void pairsCoverEveryChildWithOneAloneAtMost();
    void swapExchangesTwoChildren();
    void shuffledPairsKeepEveryChild();
    void startAllGivesEachPairItsSeats();
    void oneDealForTheClassOrOneEach();
    void anOddChildPlaysAloneAgainstTheClock();
    void endAllEndsEveryGameAndReleaseReturnsToTheLobby();
    void theRoundsRulesAreKept_data();
    void theRoundsRulesAreKept();
    void judgedAnswersReachTheResults();
    void eachChildSeesItsOwnReviewAtTheEnd_data();
    void eachChildSeesItsOwnReviewAtTheEnd();
    void aChildTakenOutIsForgottenUnlessItPlayed();
    void closingEndsTheRoundAndTheClass();
    void hostStoppingMarksGamesInterrupted();
    void aWaitedReadingGoesBeforeReadingsAhead();
};

void TestClassGame::namesAreCleanedOrRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept"); // empty: refused
    QTest::newRow("plain") << "たろう" << "たろう";
    QTest::newRow("blanks at the ends and inside") << "\u3000 はな  こ \t" << "はな こ";
    QTest::newRow("other spaces at the ends and inside") << "\u205Fはな\u00A0こ\u2009" << "はな こ";
    QTest::newRow("sixteen characters") << QString(16, QChar(u'あ')) << QString(16, QChar(u'あ'));
    QTest::newRow("seventeen characters") << QString(17, QChar(u'あ')) << "";
    QTest::newRow("a kanji beyond the BMP counts once") << QString::fromUcs4(U"𠮷田") << QString::fromUcs4(U"𠮷田");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("only blanks") << " \u3000 " << "";
    QTest::newRow("a line break") << "た\nろう" << "";
    QTest::newRow("a control") << QString("た\x07ろう") << "";
    QTest::newRow("right-to-left override") << "た\u202Eろう" << "";
    QTest::newRow("zero-width space") << "た\u200Bろう" << "";
    QTest::newRow("markup stays text") << "<b>x</b>" << "<b>x</b>";
    QTest::newRow("an unpaired surrogate") << QString(QChar(0xD800)) + "a" << "";
}

void TestClassGame::namesAreCleanedOrRefused()
{
    // Names go to every page and into the results: no invisible or
    // layout-breaking characters, and a bound on their length.
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QString why;
    QCOMPARE(ChildName::clean(typed, &why), kept);
    QCOMPARE(why.isEmpty(), !kept.isEmpty());
}

void TestClassGame::aNameIsOnceInAClass_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("refused");
    QTest::newRow("same") << "たろう" << "たろう" << true;
    QTest::newRow("full-width letters") << "ＴＡＲＯ" << "taro" << true;
    QTest::newRow("case") << "Taro" << "TARO" << true;
    QTest::newRow("blanks") << "ta ro" << "taro" << true;
    QTest::newRow("half-width kana") << "ﾀﾛｳ" << "タロウ" << true;
    QTest::newRow("different") << "たろう" << "じろう" << false;
}

void TestClassGame::aNameIsOnceInAClass()
{
    // Two children under one name could not tell their results apart.
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, refused);
    Classroom room;
    room.join(first);
    qint64 id = 0;
    QString why;
    const ClassGame::Entry e = room.host.join(room.game, second, &id, &why);
    QCOMPARE(e == ClassGame::Entry::NameTaken, refused);
    QCOMPARE(room.game->children().size(), refused ? 1 : 2);
}

void TestClassGame::classCodesOpenAtOnceAreBounded()
{
    // Each open code is one more for a guesser to hit: however many class
    // games the host is told to allow, no more are open than the guard's
    // budget was worked out for, each with a code of its own.
    Classroom room(2, HostLimits{40, 400, 1000});
    QSet<QString> codes{room.game->code()};
    const QRegularExpression digits(QStringLiteral("^[0-9]{%1}$").arg(ClassHost::ClassCodeDigits));
    QString why;
    while (ClassGame *g = room.host.create(settings(), words(), &why)) {
        QVERIFY2(digits.match(g->code()).hasMatch(), qPrintable(g->code()));
        codes.insert(g->code());
        QVERIFY(room.host.classes().size() <= HostLimits::MaxClasses);
    }
    QCOMPARE(room.host.classes().size(), HostLimits::MaxClasses);
    QCOMPARE(codes.size(), HostLimits::MaxClasses);
    QVERIFY2(why.contains(QString::number(HostLimits::MaxClasses)), qPrintable(why));
}

void TestClassGame::classAndHostLimitsRefuseWithAReason()
{
    // 4 a class, 6 on the host, 2 class games.
    Classroom room(2, HostLimits{4, 6, 2});
    for (const char *name : {"a", "b", "c", "d"})
        room.join(name);
    qint64 id = 0;
    QString why;
    QCOMPARE(room.host.join(room.game, "e", &id, &why), ClassGame::Entry::Full);
    QVERIFY(why.contains("4"));
    ClassGame *second = room.host.create(settings(), words(), &why);
    QVERIFY(second);
    QVERIFY(second->code() != room.game->code());
    QCOMPARE(room.host.join(second, "e", &id, &why), ClassGame::Entry::Joined);
    QCOMPARE(room.host.join(second, "f", &id, &why), ClassGame::Entry::Joined);
    QCOMPARE(room.host.join(second, "g", &id, &why), ClassGame::Entry::Full);
    QVERIFY(why.contains("6"));
    QVERIFY(!room.host.create(settings(), words(), &why));
    QVERIFY(why.contains("2"));
    // A list too short for a deal is refused before anything is made.
    room.host.close(second->id());
    QVERIFY(!room.host.create(settings(), words(eighteen.mid(1)), &why));
    QVERIFY2(why.contains("17 words"), qPrintable(why));
}

void TestClassGame::pairsCoverEveryChildWithOneAloneAtMost_data()
{
    QTest::addColumn<QList<qint64>>("joined");
    QTest::addColumn<QList<qint64>>("leaving");
    QTest::addColumn<QString>("pairs");
    QTest::newRow("one") << QList<qint64>{1} << QList<qint64>{} << "1";
    QTest::newRow("two") << QList<qint64>{1, 2} << QList<qint64>{} << "1-2";
    QTest::newRow("five: the last alone") << QList<qint64>{1, 2, 3, 4, 5} << QList<qint64>{} << "1-2 3-4 5";
    QTest::newRow("a first child leaves") << QList<qint64>{1, 2, 3, 4} << QList<qint64>{1} << "3-4 2";
    QTest::newRow("the partner of the one alone") << QList<qint64>{1, 2, 3, 4, 5} << QList<qint64>{2} << "3-4 5-1";
    QTest::newRow("the one alone leaves") << QList<qint64>{1, 2, 3} << QList<qint64>{3} << "1-2";
    QTest::newRow("two leave from two pairs") << QList<qint64>{1, 2, 3, 4} << QList<qint64>{1, 4} << "2-3";
    QTest::newRow("everybody leaves") << QList<qint64>{1, 2} << QList<qint64>{1, 2} << "";
}

void TestClassGame::pairsCoverEveryChildWithOneAloneAtMost()
{
    // A child left without a pair, or two children alone, would sit idle.
    QFETCH(QList<qint64>, joined);
    QFETCH(QList<qint64>, leaving);
    QFETCH(QString, pairs);
    QList<Pair> p;
    for (qint64 c : joined)
        Pairing::add(p, c);
    for (qint64 c : leaving)
        Pairing::remove(p, c);
    QStringList shown;
    for (const Pair &pair : p)
        shown << (pair.alone() ? QString::number(pair.first) : QStringLiteral("%1-%2").arg(pair.first).arg(pair.second));
    QCOMPARE(shown.join(' '), pairs);
}

void TestClassGame::swapExchangesTwoChildren()
{
    QList<Pair> p = Pairing::inOrder({1, 2, 3, 4, 5});
    QVERIFY(Pairing::swap(p, 2, 5));
    QCOMPARE(p, (QList<Pair>{{1, 5}, {3, 4}, {2, Pair::NoOne}}));
    QVERIFY(!Pairing::swap(p, 1, 1));
    QVERIFY(!Pairing::swap(p, 1, 9));
    QCOMPARE(p, (QList<Pair>{{1, 5}, {3, 4}, {2, Pair::NoOne}}));
}

void TestClassGame::shuffledPairsKeepEveryChild()
{
    ScriptedRandom random({0.99, 0.0, 0.5, 0.31, 0.77, 0.12});
    const QList<qint64> children{1, 2, 3, 4, 5, 6, 7};
    const QList<Pair> p = Pairing::shuffled(children, random);
    QList<qint64> all = Pairing::children(p);
    QVERIFY(all != children); // a shuffle, not the join order
    std::sort(all.begin(), all.end());
    QCOMPARE(all, children);
    QCOMPARE(p.size(), 4);
    QVERIFY(p.last().alone());
}

void TestClassGame::startAllGivesEachPairItsSeats()
{
    Classroom room;
    const qint64 a = room.join("a"), b = room.join("b"), c = room.join("c");
    QSignalSpy places(room.game, &ClassGame::placesChanged);
    QString why;
    QVERIFY2(room.game->startAll(false, &why), qPrintable(why));
    QCOMPARE(room.game->phase(), ClassGame::Phase::Playing);
    QCOMPARE(places.size(), 1);
    QCOMPARE(room.game->matches().size(), 2);
    // Each seat is kept for its own child's device only.
    for (qint64 id : {a, b, c}) {
        RemoteSeat *seat = room.game->seatOf(id);
        QVERIFY(seat);
        QCOMPARE(seat->code(), room.game->child(id)->seatCode);
        RecordingLink stranger, own;
        QCOMPARE(seat->admit(QString(), &stranger, nullptr), RemoteSeat::Admission::Taken);
        QCOMPARE(seat->admit(room.game->child(a == id ? b : a)->token, &stranger, nullptr), RemoteSeat::Admission::Taken);
        QCOMPARE(seat->admit(room.game->child(id)->token, &own, nullptr), RemoteSeat::Admission::Resumed);
        QVERIFY(!seat->isLocked());
        seat->linkGone(&own);
    }
    QVERIFY(room.game->seatOf(a) != room.game->seatOf(b));
    QCOMPARE(room.game->matchOf(a), room.game->matchOf(b));
    QVERIFY(!room.game->startAll(false, &why));
}

void TestClassGame::oneDealForTheClassOrOneEach()
{
    // "One deal for the class" gives every pair the same board; otherwise
    // boards differ (18 words give the same characters, shuffled apart).
    for (bool one : {true, false}) {
        Classroom room;
        for (const char *name : {"a", "b", "c", "d", "e", "f"})
            room.join(name);
        QVERIFY(room.game->startAll(one, nullptr));
        const QList<ClassMatch *> m = room.game->matches();
        QCOMPARE(m.size(), 3);
        const bool same = board(*m[0]) == board(*m[1]) && board(*m[1]) == board(*m[2]);
        QCOMPARE(same, one);
        QCOMPARE(m[0]->seat(1)->boardCharacter(1), m[0]->game().pool().at(0).character);
    }
}

void TestClassGame::anOddChildPlaysAloneAgainstTheClock()
{
    Classroom room;
    const qint64 a = room.join("a");
    QVERIFY(room.game->startAll(false, nullptr));
    ClassMatch *m = room.game->matchOf(a);
    QVERIFY(m->alone());
    QCOMPARE(m->playerCount(), 1);
    QCOMPARE(m->secondsLeft(), 60);
    QVERIFY(answer(*room.game->seatOf(a), 1, 2));
    QCOMPARE(m->score(1), 1);
    room.game->endAll(nullptr);
    QVERIFY(m->isOver());
    QCOMPARE(m->outcome(1), QString("alone"));
    QCOMPARE(room.game->phase(), ClassGame::Phase::RoundOver);
    const ClassResults r = room.results();
    QCOMPARE(r.rows.size(), 1);
    QCOMPARE(r.rows[0].partner, QString());
    QCOMPARE(r.rows[0].outcome, QString("alone"));
}

void TestClassGame::endAllEndsEveryGameAndReleaseReturnsToTheLobby()
{
    Classroom room;
    const qint64 a = room.join("a");
    room.join("b");
    room.join("c");
    QString why;
    QVERIFY(!room.game->release(&why));
    QVERIFY(room.game->startAll(false, nullptr));
    QVERIFY(!room.game->release(&why));
    RecordingLink device;
    RemoteSeat *seat = room.game->seatOf(a);
    seat->admit(room.game->child(a)->token, &device, nullptr);
    QVERIFY(room.game->endAll(&why));
    for (ClassMatch *m : room.game->matches())
        QVERIFY(m->isOver());
    QCOMPARE(room.game->phase(), ClassGame::Phase::RoundOver);
    QVERIFY(seat->isLocked());
    QSignalSpy places(room.game, &ClassGame::placesChanged);
    QVERIFY(room.game->release(&why));
    QCOMPARE(room.game->phase(), ClassGame::Phase::Lobby);
    QCOMPARE(places.size(), 1);
    QVERIFY(room.game->matches().isEmpty());
    QVERIFY(!room.game->seatOf(a));
    // The page on the seat was told, so it goes back to the lobby.
    QCOMPARE(device.closedWith, QString("released"));
    // The next round is round 2, with new seats.
    QVERIFY(room.game->startAll(true, nullptr));
    QCOMPARE(room.game->round(), 2);
}

void TestClassGame::theRoundsRulesAreKept_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("refusedStep");
    QTest::newRow("start with nobody") << "" << "start";
    QTest::newRow("pairs while playing") << "join start" << "pair";
    QTest::newRow("swap while playing") << "join join start" << "swap";
    QTest::newRow("remove while playing") << "join start" << "remove";
    QTest::newRow("end twice") << "join start end" << "end";
    QTest::newRow("start after close") << "join close" << "start";
}

void TestClassGame::theRoundsRulesAreKept()
{
    // A command out of turn is refused with a reason, and changes nothing.
    QFETCH(QString, steps);
    QFETCH(QString, refusedStep);
    Classroom room;
    QList<qint64> ids;
    QString why;
    auto run = [&](const QString &step) {
        if (step == "join") {
            ids << room.join(QStringLiteral("child%1").arg(ids.size()));
            return true;
        }
        if (step == "start")
            return room.game->startAll(false, &why);
        if (step == "pair")
            return room.game->makePairs(true, &why);
        if (step == "swap")
            return room.game->swap(ids.value(0), ids.value(1), &why);
        if (step == "remove")
            return room.game->remove(ids.value(0), &why);
        if (step == "end")
            return room.game->endAll(&why);
        if (step == "close") {
            room.game->close();
            return true;
        }
        return false;
    };
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts))
        QVERIFY2(run(step), qPrintable(step + ": " + why));
    const ClassGame::Phase before = room.game->phase();
    const QList<Pair> pairs = room.game->pairs();
    why.clear();
    QVERIFY(!run(refusedStep));
    QVERIFY(!why.isEmpty());
    QCOMPARE(room.game->phase(), before);
    QCOMPARE(room.game->pairs(), pairs);
}

void TestClassGame::judgedAnswersReachTheResults()
{
    Classroom room(2);
    const qint64 a = room.join("a"), b = room.join("b");
    QVERIFY(room.game->startAll(false, nullptr));
    ClassMatch *m = room.game->matchOf(a);
    QSignalSpy finished(m, &ClassMatch::finished);
    QVERIFY(answer(*room.game->seatOf(a), 1, 2)); // 今日: right
    QVERIFY(answer(*room.game->seatOf(b), 2, 1)); // 日今: no such word
    QVERIFY(answer(*room.game->seatOf(b), 1, 2)); // 今日 again: used up
    QCOMPARE(m->score(1), 1);
    QCOMPARE(m->wrongTries(2), 2);
    QCOMPARE(m->wordsFound(1), QStringList{"今日"});
    room.game->endAll(nullptr);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m->outcome(1), QString("win"));
    QCOMPARE(m->outcome(2), QString("lose"));

    const ClassResults r = room.results();
    QVERIFY(r.found);
    QCOMPARE(r.game.name, QString("3年1組"));
    QCOMPARE(r.children, (QStringList{"a", "b"}));
    QCOMPARE(r.rows.size(), 2);
    QCOMPARE(r.rows[0].name, QString("a"));
    QCOMPARE(r.rows[0].partner, QString("b"));
    QCOMPARE(r.rows[0].wordsFound, QStringList{"今日"});
    QCOMPARE(r.rows[0].score, 1);
    QCOMPARE(r.rows[0].wrongTries, 0);
    QCOMPARE(r.rows[0].outcome, QString("win"));
    QCOMPARE(r.rows[0].state, QString("finished"));
    QCOMPARE(r.rows[1].wrongTries, 2);
    QCOMPARE(r.rows[1].score, 0);
    QCOMPARE(r.rows[1].outcome, QString("lose"));
    QCOMPARE(r.rows[1].round, 1);
}

void TestClassGame::eachChildSeesItsOwnReviewAtTheEnd_data()
{
    QTest::addColumn<int>("children");
    QTest::addColumn<bool>("byLimit"); // the answer limit ends it, not the teacher
    QTest::newRow("a pair, ended by the teacher") << 2 << false;
    QTest::newRow("a pair, ended by the answer limit") << 2 << true;
    QTest::newRow("a child alone") << 1 << false;
}

void TestClassGame::eachChildSeesItsOwnReviewAtTheEnd()
{
    QFETCH(int, children);
    QFETCH(bool, byLimit);
    const WordDictionary dictionary = WordDictionary::parse("今日\tきょう,こんにち\ttoday\n学校\tがっこう\tschool\n");
    Classroom room(1);
    room.game->setDictionary(&dictionary);
    const qint64 a = room.join("a");
    const qint64 b = children == 2 ? room.join("b") : 0;
    QVERIFY(room.game->startAll(false, nullptr));
    ClassMatch *m = room.game->matchOf(a);
    // The page of a's device, on its seat through the game.
    RecordingLink device;
    RemoteSeat *seat = room.game->seatOf(a);
    seat->admit(room.game->child(a)->token, &device, nullptr);
    if (b)
        QVERIFY(answer(*room.game->seatOf(b), 2, 1)); // 日今: no such word
    QVERIFY(answer(*seat, 2, 1));
    QVERIFY(!seat->hasReview());
    QVERIFY(m->review().isEmpty());
    if (byLimit)
        QVERIFY(answer(*seat, 1, 2)); // 今日: the one answer the limit allows
    else
        room.game->endAll(nullptr);
    QVERIFY(m->isOver());

    // The seat holds a's part and sends it as the console's seats do.
    QVERIFY(seat->hasReview());
    QTRY_VERIFY(!device.last("review").isEmpty());
    const QJsonObject told = device.last("review").value("review").toObject();
    QCOMPARE(told, m->seatReview(1));
    QCOMPARE(told.value("player").toInt(), 1);
    const QJsonArray words = told.value("words").toArray();
    QCOMPARE(words.size(), Rules::WordsPerGame);
    for (const QJsonValue &w : words) {
        const QString word = w.toObject().value("word").toString();
        QVERIFY(eighteen.contains(word));
        QCOMPARE(w.toObject().value("foundBy").toInt(), byLimit && word == "今日" ? 1 : 0);
        if (word == "今日")
            QCOMPARE(w.toObject().value("readings").toArray(), (QJsonArray{"きょう", "こんにち"}));
    }
    const QJsonArray players = told.value("players").toArray();
    QCOMPARE(players.size(), children);
    const QJsonObject own = players.at(0).toObject();
    QCOMPARE(own.value("score").toInt(), byLimit ? 1 : 0);
    QCOMPARE(own.value("wrongTryCount").toInt(), 1);
    QCOMPARE(own.value("wrongTries").toArray().at(0).toObject().value("answer").toString(), QString("日今"));
    QCOMPARE(own.value("wrongTries").toArray().at(0).toObject().value("reason").toString(), QString("noWord"));
    if (b) {
        // b's mistakes are b's: a's page is told only how many.
        QVERIFY(players.at(1).toObject().value("wrongTries").toArray().isEmpty());
        const QJsonObject theirs = room.game->seatOf(b)->hasReview() ? m->seatReview(2) : QJsonObject();
        QCOMPARE(theirs.value("player").toInt(), 2);
        QCOMPARE(theirs.value("players").toArray().at(1).toObject().value("wrongTries").toArray().size(), 1);
    }
    // Released, the seats and their reviews go; the next round starts clean.
    QVERIFY(room.game->release(nullptr));
    QVERIFY(room.game->startAll(false, nullptr));
    QVERIFY(!room.game->seatOf(a)->hasReview());
}

void TestClassGame::aChildTakenOutIsForgottenUnlessItPlayed()
{
    Classroom room;
    const qint64 a = room.join("a"), b = room.join("b");
    room.join("c");
    QVERIFY(room.game->startAll(false, nullptr));
    room.game->endAll(nullptr);
    room.game->release(nullptr);
    const qint64 late = room.join("late");
    QString why;
    QVERIFY(room.game->remove(a, &why));
    QVERIFY(room.game->remove(late, &why));
    QVERIFY(!room.game->child(a));
    QVERIFY(!room.game->childByToken(QString()));
    // a played, so stays in the results; late never did.
    QCOMPARE(room.results().children, (QStringList{"a", "b", "c"}));
    QVERIFY(Pairing::children(room.game->pairs()).contains(b));
    QVERIFY(!Pairing::children(room.game->pairs()).contains(a));
}

void TestClassGame::closingEndsTheRoundAndTheClass()
{
    Classroom room;
    const qint64 a = room.join("a");
    room.join("b");
    QVERIFY(room.game->startAll(false, nullptr));
    QVERIFY(answer(*room.game->seatOf(a), 1, 2));
    const qint64 id = room.game->id();
    QSignalSpy closed(room.game, &ClassGame::closed);
    room.host.close(id);
    QCOMPARE(closed.size(), 1);
    QVERIFY(!room.host.byId(id));
    room.store->flush();
    const ClassResults r = room.store->results(id).result();
    QVERIFY(r.game.closed.isValid());
    QCOMPARE(r.rows[0].state, QString("finished"));
    QCOMPARE(r.rows[0].score, 1);
}

void TestClassGame::hostStoppingMarksGamesInterrupted()
{
    Classroom room;
    const qint64 a = room.join("a");
    room.join("b");
    QVERIFY(room.game->startAll(false, nullptr));
    QVERIFY(answer(*room.game->seatOf(a), 1, 2));
    const qint64 id = room.game->id();
    room.host.shutdown();
    room.store->flush();
    const ClassResults r = room.store->results(id).result();
    QCOMPARE(r.rows[0].state, QString("interrupted"));
    QCOMPARE(r.rows[0].score, 1);
    QCOMPARE(r.rows[0].outcome, QString());
}

void TestClassGame::aWaitedReadingGoesBeforeReadingsAhead()
{
    // With a whole school writing, the recogniser falls behind: a child who
    // pressed にんしき must not wait behind everybody's ink read ahead, and
    // ink nobody asked for yet is not queued without end.
    GatedRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    // Whatever happens, the gate opens before the queue goes.
    const auto open = qScopeGuard([&recognizer] { recognizer.gate.release(100); });
    std::vector<std::unique_ptr<RemoteSeat>> seats;
    auto seat = [&] {
        seats.push_back(std::make_unique<RemoteSeat>(1, "1", &queue));
        seats.back()->AllUnLock();
        SeatCommand c = command(SeatCommand::Stroke, 0);
        c.epoch = seats.back()->box(0).epoch();
        c.points = {QPointF(100, 100), QPointF(900, 120)};
        seats.back()->handle(c);
        return seats.back().get();
    };
    seat(); // being read, held at the gate
    QTRY_COMPARE(queue.waiting(), 0);
    for (int i = 0; i < RemoteSeat::MaxWaitingAhead + 2; ++i)
        seat();
    QCOMPARE(queue.waiting(), RemoteSeat::MaxWaitingAhead);
    RemoteSeat *waited = seat();
    waited->handle(command(SeatCommand::Recognize));
    QVERIFY(waited->isReading());
    // The reading held at the gate, then the one waited for.
    recognizer.gate.release(2);
    QTRY_VERIFY(!waited->isReading());
    QCOMPARE(waited->box(0).resultText(), QString("今"));
    // The first reading ahead has begun (at the gate); the others wait.
    QTRY_COMPARE(queue.waiting(), RemoteSeat::MaxWaitingAhead - 1);
    recognizer.gate.release(RemoteSeat::MaxWaitingAhead);
    QTRY_COMPARE(queue.waiting(), 0);
}

QTEST_GUILESS_MAIN(TestClassGame)
#include "tst_classgame.moc"
