// SPDX-License-Identifier: GPL-3.0-or-later
// A seat in a browser as the game and its device see it: the buttons'
// rules, reading off the UI thread, the device that holds the seat and comes
// back, and the page's messages checked.
#include "engine/game.h"
#include "engine/recognitionqueue.h"
#include "fakes/fakes.h"
#include "fakes/seatfakes.h"
#include "seats/remoteseat.h"
#include "seats/seatmessage.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList eighteen = {"今日", "日本", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                              "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

struct Limits : GameLimits
{
    bool timeLimitOn() const override { return false; }
    int timeLimitSeconds() const override { return 60; }
    bool answerLimitOn() const override { return false; }
    int answerLimit() const override { return 5; }
};

SeatCommand command(SeatCommand::Kind kind, int box = -1, qint64 id = -1)
{
    SeatCommand c;
    c.kind = kind;
    c.box = box;
    c.id = id;
    return c;
}

SeatCommand stroke(int box, quint32 epoch, qint64 id = -1)
{
    SeatCommand c = command(SeatCommand::Stroke, box, id);
    c.epoch = epoch;
    c.points = {QPointF(100, 100), QPointF(900, 120)};
    return c;
}

// A seat unlocked and showing a wrong answer, so that resets show.
struct Seated
{
    Seated() : Seated(counting) {}
    explicit Seated(const Recognizer &recognizer) : queue(recognizer)
    {
        seat.AllUnLock();
        shownOutcome("単語がない！！");
        QObject::connect(&seat, &RemoteSeat::answerSubmitted, [this](int16_t, const QString &w) { submitted << w; });
    }
    void shownOutcome(const QString &text)
    {
        seat.showResult(text);
        seat.showFeedbackItem(1);
    }
    void waitForReading() { QTRY_VERIFY_WITH_TIMEOUT(!seat.isReading(), 5000); }
    void run(const QString &script)
    {
        for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
            const int box = step.size() > 1 ? step.at(1).digitValue() : -1;
            switch (step.at(0).unicode()) {
            case 's': seat.handle(stroke(box, seat.box(box).epoch())); break;
            case 'x': seat.handle(stroke(box, seat.box(box).epoch() - 1)); break;
            case 'u': seat.handle(command(SeatCommand::Undo, box)); break;
            case 'p': {
                SeatCommand c = command(SeatCommand::Pick, box);
                c.index = step.section(':', 1).toInt();
                seat.handle(c);
                break;
            }
            case 'r': seat.handle(command(SeatCommand::Recognize)); break;
            case 'e': seat.handle(command(SeatCommand::Erase)); break;
            case 'a': seat.handle(command(SeatCommand::Answer)); break;
            case 'w': waitForReading(); break;
            case 'F': shownOutcome("文字がない！"); break;
            case 'L': seat.AllLock(); break;
            case 'U': seat.AllUnLock(); break;
            default: qFatal("unknown step %s", qPrintable(step));
            }
        }
        waitForReading();
    }

    CountingRecognizer counting;
    RecognitionQueue queue;
    RemoteSeat seat{2, "123456", &queue};
    QStringList submitted;
};

QJsonArray strokeJson(const Stroke &stroke)
{
    QJsonArray pts;
    for (QPointF p : stroke)
        pts << p.x() << p.y();
    return pts;
}

// A page's side of the ink, kept by the page's rules: what the console
// holds, and its own strokes sent and not yet answered; both in step with
// the console through its messages alone.
struct PageInk
{
    // token: the seat's, to come back to it.
    explicit PageInk(RemoteSeat &s, const QString &token = QString()) : seat(s) { seat.admit(token, &link, &issued); }
    ~PageInk() { seat.linkGone(&link); }

    void stroke(int b)
    {
        SeatCommand c = command(SeatCommand::Stroke, b, nextId++);
        c.epoch = epoch[b];
        // Each stroke its own, so that order and identity show.
        c.points = {QPointF(c.id, b), QPointF(500, 500 + c.id)};
        pending[b].append({c.id, strokeJson(c.points)});
        seat.handle(c);
    }
    void send(SeatCommand::Kind kind, int b = -1) { seat.handle(command(kind, b, nextId++)); }
    // Lets the seat answer, and reads what it sent.
    void receive()
    {
        QCoreApplication::processEvents();
        for (; read < link.sent.size(); ++read)
            take(link.sent.at(read));
    }
    void take(const QJsonObject &m)
    {
        bytes += QJsonDocument(m).toJson(QJsonDocument::Compact).size();
        const QString t = m.value("t").toString();
        if (t != "state" && t != "ack")
            return;
        ack = qMax(ack, qint64(m.value("ack").toDouble(-1)));
        if (m.contains("boxes"))
            boxes = m.value("boxes").toArray();
        for (int b = 0; b < 2; ++b) {
            const quint32 e = quint32(boxes.at(b).toObject().value("e").toDouble());
            if (e != epoch[b]) {
                epoch[b] = e;
                ink[b] = {};
                pending[b].clear();
            }
            const QJsonValue whole = m.value("ink").toArray().at(b);
            const QJsonObject change = m.value("change").toArray().at(b).toObject();
            if (whole.isArray()) {
                ink[b] = whole.toArray();
            } else if (!change.isEmpty()) {
                while (ink[b].size() > change.value("keep").toInt())
                    ink[b].removeLast();
                for (const QJsonValue id : change.value("add").toArray()) {
                    for (qsizetype k = 0; k < pending[b].size(); ++k) {
                        if (pending[b][k].first == qint64(id.toDouble(-1))) {
                            ink[b].append(pending[b].takeAt(k).second);
                            break;
                        }
                    }
                }
            }
            pending[b].removeIf([this](const auto &s) { return s.first <= ack; });
        }
    }
    QJsonArray consoleInk(int b) const
    {
        QJsonArray strokes;
        for (const Stroke &s : seat.box(b).strokes())
            strokes.append(strokeJson(s));
        return strokes;
    }

    RemoteSeat &seat;
    RecordingLink link;
    QString issued;
    qsizetype read = 0;
    qint64 bytes = 0;
    qint64 nextId = 1;
    qint64 ack = -1;
    QJsonArray boxes;
    quint32 epoch[2] = {0, 0};
    QJsonArray ink[2];
    QList<std::pair<qint64, QJsonArray>> pending[2];
};

// A stroke at the limits: the most points, each coordinate as long as it gets.
QByteArray strokeAtTheLimits(int box, quint32 epoch)
{
    QByteArray m = R"({"t":"stroke","box":)" + QByteArray::number(box) + R"(,"e":)" + QByteArray::number(epoch)
                   + R"(,"id":1,"pts":[)";
    for (int i = 0; i < SeatBox::MaxPoints; ++i)
        m += QByteArray::number(900 + i % 99) + ".5," + QByteArray::number(901 + i % 97) + ".5,";
    m.chop(1);
    return m + "]}";
}

} // namespace

class TestRemoteSeat : public QObject
{
    Q_OBJECT
private slots:
    void buttonsFollowThePlayerWindow_data();
    void buttonsFollowThePlayerWindow();
    void boxesReadAsAPair_data();
    void boxesReadAsAPair();
    void withoutRecognizerTheBoxSaysSo();
    void waitingCommandsAreBounded();
    void aWaitedReadingOutlivesTheReadingAhead();
    void answersGoThroughTheGame();
    void seatIsHeldByItsDevice();
    void returningDeviceSeesTheWholeSeat();
    void changesCarryTheAcknowledgement();
    void aNewConnectionNumbersAfresh();
    void pageInkKeepsInStep_data();
    void pageInkKeepsInStep();
    void hostileInkCostsLittleToAnswer_data();
    void hostileInkCostsLittleToAnswer();
    void messagesAreChecked_data();
    void messagesAreChecked();
    void reviewReachesTheDeviceAndComesBack();
    void reviewIsBounded_data();
    void reviewIsBounded();
};

void TestRemoteSeat::buttonsFollowThePlayerWindow_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("first");  // result text, strokes: "今 1", " 0"
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("submitted");

    const QString wrong = "単語がない！！", none = "文字がない！";
    // Each guards one rule of the window's buttons and boxes.
    QTest::newRow("recognise, then answer") << "s0 s1 s1 r w a" << "今 1" << "日 2" << "" << 2 << "今日";
    QTest::newRow("answer sent before the reading ends waits for it") << "s0 s1 s1 r a" << "今 1" << "日 2" << "" << 2 << "今日";
    QTest::newRow("answer without results does nothing") << "s0 s1 s1 a" << " 1" << " 2" << "" << 2 << "";
    QTest::newRow("one box without result does nothing") << "s0 r w a" << "今 1" << " 0" << "" << 2 << "";
    QTest::newRow("recognising empty boxes keeps the feedback") << "r" << " 0" << " 0" << wrong << 1 << "";
    QTest::newRow("ink that reads as nothing is cleared") << "s0 s0 s0 r" << " 0" << " 0" << "" << 2 << "";
    QTest::newRow("recognising again keeps a picked candidate") << "s0 r w p0:1 r" << "会 1" << " 0" << "" << 2 << "";
    QTest::newRow("picking resets the feedback") << "s0 r w F p0:0" << "令 1" << " 0" << "" << 2 << "";
    QTest::newRow("a candidate that is not shown is not picked") << "s1 s1 r w F p1:3" << " 0" << "日 2" << none << 1 << "";
    QTest::newRow("undo drops a result") << "s0 r w u0" << " 0" << " 0" << "" << 2 << "";
    QTest::newRow("undo without a result keeps the feedback") << "s0 s0 F u0" << " 1" << " 0" << none << 1 << "";
    QTest::newRow("new ink drops the result") << "s0 r w F s0" << " 2" << " 0" << "" << 2 << "";
    QTest::newRow("erase empties both boxes and resets") << "s0 s1 F e" << " 0" << " 0" << "" << 2 << "";
    QTest::newRow("a locked seat takes nothing") << "L s0 r e a" << " 0" << " 0" << wrong << 1 << "";
    QTest::newRow("a stroke written before an erasure is dropped") << "s0 e x0" << " 0" << " 0" << "" << 2 << "";
    QTest::newRow("an outcome shown while reading stays") << "s0 s1 s1 r F w" << "今 1" << "日 2" << none << 1 << "";
    QTest::newRow("unlocking while reading drops the readings") << "s0 s1 s1 r U" << " 0" << " 0" << "" << 2 << "";
}

void TestRemoteSeat::buttonsFollowThePlayerWindow()
{
    QFETCH(QString, script);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, result);
    QFETCH(int, item);
    QFETCH(QString, submitted);
    Seated s;
    s.run(script);
    auto shown = [&s](int b) {
        const SeatBox &box = s.seat.box(b);
        return (box.hasResult() ? box.resultText() : QString()) + ' ' + QString::number(box.strokes().size());
    };
    QCOMPARE(shown(0), first);
    QCOMPARE(shown(1), second);
    QCOMPARE(s.seat.result(), result);
    QCOMPARE(s.seat.feedbackItem(), item);
    QCOMPARE(s.submitted.join(','), submitted);
}

void TestRemoteSeat::boxesReadAsAPair_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("submitted");
    // One stroke reads 今 令 会 合 全 金 (scores 0, -1, ...), two 日 曰 目.
    const QStringList words = {"令目", "会曰"};
    QTest::newRow("a board word close to both") << "令目" << words << "s0 s1 s1 r w a" << "令目";
    QTest::newRow("the word that trails least, ties in order") << "令目会曰" << words << "s0 s1 s1 r w a" << "令目";
    QTest::newRow("not a word of the list") << "今日" << QStringList{"日今"} << "s0 s1 s1 r w a" << "今日";
    QTest::newRow("a board word too far behind") << "金目" << QStringList{"金目"} << "s0 s1 s1 r w a" << "今日";
    QTest::newRow("no game") << "" << words << "s0 s1 s1 r w a" << "今日";
    QTest::newRow("a picked candidate is certain")
        << "令目会曰" << words << "s0 s1 s1 r w p0:1 r w a" << "会曰";
    QTest::newRow("a picked result undoes the pair") << "令目" << words << "s0 s1 s1 r w p1:0 r w a" << "今日";
    QTest::newRow("new ink in one box: each reads as itself again")
        << "令目会曰" << words << "s0 s1 s1 r w u1 r w a" << "今今";
    QTest::newRow("read again, read the same") << "令目" << words << "s0 s1 s1 r w r w a" << "令目";
}

void TestRemoteSeat::boxesReadAsAPair()
{
    // Guards the seat reading differently from the player window: a board
    // word close behind not taken, a non-word pair or a far word turned
    // into one, or a candidate the player picked overruled.
    QFETCH(QString, board);
    QFETCH(QStringList, words);
    QFETCH(QString, script);
    QFETCH(QString, submitted);
    PairingRecognizer pairing;
    Seated s{pairing};
    WordList list;
    list.load(words);
    s.seat.setReadingContext(ReadingContext(WordList::characters(board), list));
    s.run(script);
    QCOMPARE(s.submitted.join(','), submitted);
    QCOMPARE(pairing.inGame > 0, !board.isEmpty());
    // The single best stays among the candidates of a box that reads as the pair.
    for (int b = 0; b < 2; ++b) {
        const SeatBox &box = s.seat.box(b);
        if (!box.resultPicked() && !box.reading().isEmpty() && box.resultText() != box.reading().first().text)
            QCOMPARE(box.candidates().value(0), box.reading().first().text);
    }
}

void TestRemoteSeat::withoutRecognizerTheBoxSaysSo()
{
    // Guards a console without a handwriting model: the box says so and
    // is emptied, as the window's box does.
    NoRecognizer none;
    Seated s{none};
    s.run("s0 r");
    QVERIFY(s.seat.box(0).showsNotice());
    QVERIFY(!s.seat.box(0).hasResult());
    QCOMPARE(s.seat.box(0).strokes().size(), 0);
    QVERIFY(!s.seat.box(1).showsNotice());
}

void TestRemoteSeat::waitingCommandsAreBounded()
{
    // Guards memory and order while ink is read: commands wait in order, up
    // to a bound; beyond it the device is told, never queued without end.
    GatedRecognizer gated;
    RecordingLink link; // outlives the seat, which closes it
    Seated s{gated};
    s.seat.admit(QString(), &link, nullptr);
    s.seat.handle(stroke(0, s.seat.box(0).epoch()));
    s.seat.handle(command(SeatCommand::Recognize));
    QVERIFY(s.seat.isReading());
    for (int i = 0; i < RemoteSeat::MaxWaiting; ++i)
        s.seat.handle(command(SeatCommand::Undo, 1, 100 + i));
    s.seat.handle(command(SeatCommand::Erase, -1, 999));
    const QJsonObject refusal = link.last("refused");
    QCOMPARE(refusal.value("id").toInt(), 999);
    QVERIFY(refusal.value("why").toString().contains("busy"));
    gated.gate.release(10);
    s.waitForReading();
    QCOMPARE(s.seat.box(0).resultText(), QString("今"));
    // The refused erase did not run.
    QCOMPARE(s.seat.box(0).strokes().size(), 1);
    QTRY_COMPARE(link.last("state").value("ack").toInt(), 100 + RemoteSeat::MaxWaiting - 1);
}

void TestRemoteSeat::aWaitedReadingOutlivesTheReadingAhead()
{
    // にんしき pressed straight after the last stroke, on a host slower than
    // the pause before reading ahead: when the pause runs out, the reading
    // waited for is neither cancelled nor replaced, and the ink is kept.
    GatedRecognizer gated;
    Seated s{gated};
    // Whatever happens, the gate opens before the seat's queue goes.
    const auto open = qScopeGuard([&gated] { gated.gate.release(10); });
    s.seat.setReadAheadDelay(20);
    s.seat.handle(stroke(0, s.seat.box(0).epoch()));
    s.seat.handle(command(SeatCommand::Recognize));
    QVERIFY(s.seat.isReading());
    QTest::qWait(100);
    gated.gate.release(1);
    s.waitForReading();
    QCOMPARE(s.seat.box(0).strokes().size(), 1);
    QCOMPARE(s.seat.box(0).resultText(), QString("今"));
}

void TestRemoteSeat::answersGoThroughTheGame()
{
    // Guards the seat as a view of the game: its answer is judged, and it
    // shows the outcome, the answer, the scores and the used places as a
    // window would; the other player's view sees the score.
    Limits limits;
    Game game(limits);
    auto random = std::make_unique<SeededRandom>();
    random->seed(7);
    game.setRandom(std::move(random));
    WordList words;
    words.load(eighteen);
    game.setWords(std::move(words));
    CountingRecognizer recognizer;
    RecognitionQueue queue(recognizer);
    RemoteSeat seat(2, "000001", &queue);
    RemoteSeat other(1, "000002", &queue);
    game.addView(2, &seat);
    game.addView(1, &other);
    QObject::connect(&seat, &RemoteSeat::answerSubmitted, &game, &Game::SeigoHantei);
    game.present(2, &seat);
    QVERIFY(seat.isLocked());
    game.start();
    QVERIFY(!seat.isLocked());
    QString board;
    for (int n = 1; n <= Rules::BoardPlaces; ++n)
        board += seat.boardCharacter(n);
    QCOMPARE(board.size(), Rules::BoardPlaces);

    seat.handle(stroke(0, seat.box(0).epoch()));
    seat.handle(stroke(1, seat.box(1).epoch()));
    seat.handle(stroke(1, seat.box(1).epoch()));
    seat.handle(command(SeatCommand::Recognize));
    seat.handle(command(SeatCommand::Answer));
    QTRY_COMPARE(seat.result(), QString("正解！！"));
    QCOMPARE(seat.feedbackItem(), 0);
    QCOMPARE(seat.answer(1), QString("今日"));
    QCOMPARE(seat.ownScore(), QString("1"));
    QCOMPARE(other.opponentScore(), QString("1"));
    int used = 0;
    for (int n = 1; n <= Rules::BoardPlaces; ++n) {
        QCOMPARE(seat.isBoardPlaceUsed(n), other.isBoardPlaceUsed(n));
        used += seat.isBoardPlaceUsed(n);
    }
    QCOMPARE(used, 2);

    // The page tells the game's end from a seat locked for a new list: only
    // the end's result in a locked seat is the game's outcome.
    QVERIFY(!seat.isOver());
    game.beginLoading();
    QVERIFY(seat.isLocked() && !seat.isOver());
    QCOMPARE(seat.result(), QString("正解！！"));
    WordList again;
    again.load(eighteen);
    game.setWords(std::move(again));
    game.finishLoading();
    game.start();
    QVERIFY(!seat.isLocked());
    game.EndGame();
    QVERIFY(seat.isOver() && other.isOver());
    QCOMPARE(seat.result(), QString("ひきわけ！！"));
    game.start();
    QVERIFY(!seat.isOver() && !other.isOver());
    game.removeView(&seat);
    game.removeView(&other);
}

void TestRemoteSeat::seatIsHeldByItsDevice()
{
    // Guards who may hold the seat: the first device with the code; then
    // only it (by its token), also after a drop; anyone once released.
    RecordingLink first, second, again, other;
    Seated s;
    QSignalSpy states(&s.seat, &RemoteSeat::stateChanged);
    QCOMPARE(s.seat.state(), RemoteSeat::State::Waiting);
    QString token;
    QCOMPARE(s.seat.admit(QString(), &first, &token), RemoteSeat::Admission::Joined);
    QCOMPARE(token.size(), SeatMessage::TokenLength);
    QCOMPARE(first.last("joined").value("token").toString(), token);
    QCOMPARE(s.seat.state(), RemoteSeat::State::Connected);

    QCOMPARE(s.seat.admit(QString(), &second, nullptr), RemoteSeat::Admission::Taken);
    QCOMPARE(s.seat.admit(QString(32, 'a'), &second, nullptr), RemoteSeat::Admission::Taken);
    QVERIFY(second.sent.isEmpty());

    // Taken over by the same device on a new connection: the old one is told.
    QCOMPARE(s.seat.admit(token, &again, nullptr), RemoteSeat::Admission::Resumed);
    QCOMPARE(first.closedWith, QString("resumed"));
    s.seat.linkGone(&first); // late: changes nothing
    QCOMPARE(s.seat.state(), RemoteSeat::State::Connected);
    s.seat.linkGone(&again);
    QCOMPARE(s.seat.state(), RemoteSeat::State::Dropped);
    QCOMPARE(s.seat.admit(QString(), &other, nullptr), RemoteSeat::Admission::Taken);

    QCOMPARE(s.seat.admit(token, &again, nullptr), RemoteSeat::Admission::Resumed);
    s.seat.release();
    QCOMPARE(again.closedWith, QString("released"));
    QCOMPARE(s.seat.state(), RemoteSeat::State::Waiting);
    QString newToken;
    QCOMPARE(s.seat.admit(QString(), &other, &newToken), RemoteSeat::Admission::Joined);
    QVERIFY(newToken != token);
    QVERIFY(states.size() >= 6);
}

void TestRemoteSeat::returningDeviceSeesTheWholeSeat()
{
    // Guards a reload or a Wi-Fi blip: nothing of the seat is lost, the
    // ink included, and nothing is performed again.
    RecordingLink first, back;
    Seated s;
    QString token;
    s.seat.admit(QString(), &first, &token);
    s.seat.showBoardCharacter(3, "今");
    s.seat.disableBoardPlace(3);
    s.seat.showAnswer(1, "日本");
    s.seat.showOwnScore("1");
    s.seat.showOpponentScore("2");
    s.seat.playFeedback(0);
    SeatCommand c = stroke(1, s.seat.box(1).epoch());
    c.points = {QPointF(10.25, 20), QPointF(30, 40), QPointF(50, 60)};
    s.seat.handle(c);
    s.seat.linkGone(&first);
    s.seat.showOpponentScore("3");

    QCOMPARE(s.seat.admit(token, &back, nullptr), RemoteSeat::Admission::Resumed);
    const QJsonObject state = back.last("state");
    QCOMPARE(state.value("board").toArray().at(2).toString(), QString("今"));
    QVERIFY(state.value("used").toArray().at(2).toBool());
    QCOMPARE(state.value("answers").toArray().at(0).toString(), QString("日本"));
    QCOMPARE(state.value("own").toString(), QString("1"));
    QCOMPARE(state.value("opp").toString(), QString("3"));
    QVERIFY(!state.contains("play"));
    const QJsonArray ink = state.value("ink").toArray();
    QCOMPARE(ink.at(0).toArray().size(), 0);
    QCOMPARE(ink.at(1).toArray().at(0).toArray(),
             QJsonArray({10.3, 20, 30, 40, 50, 60}));
}

void TestRemoteSeat::changesCarryTheAcknowledgement()
{
    // Guards the page's bookkeeping: after the whole seat only what changed
    // is sent; a stroke taken is named by its id, not sent back; a stroke
    // not taken changes nothing but the acknowledgement; an undo says how
    // many strokes the page keeps.
    RecordingLink link;
    Seated s;
    s.seat.admit(QString(), &link, nullptr);
    QCOMPARE(link.last("state").value("ink").toArray().size(), 2);
    link.sent.clear();
    s.seat.handle(stroke(0, s.seat.box(0).epoch(), 7));
    QTRY_COMPARE(link.sent.size(), 1);
    QJsonObject state = link.last("state");
    QCOMPARE(state.value("ack").toInt(), 7);
    QCOMPARE(state.value("boxes").toArray().at(0).toObject().value("n").toInt(), 1);
    QVERIFY(!state.contains("ink"));
    QVERIFY(!state.contains("board"));
    QCOMPARE(state.value("change").toArray().at(0).toObject(), QJsonObject({{"keep", 0}, {"add", QJsonArray{7}}}));
    QVERIFY(state.value("change").toArray().at(1).isNull());

    s.seat.handle(stroke(0, s.seat.box(0).epoch() + 5, 8));
    QTRY_COMPARE(link.sent.size(), 2);
    QCOMPARE(link.sent.last(), QJsonObject({{"t", "ack"}, {"ack", 8}}));

    s.seat.handle(command(SeatCommand::Undo, 0, 9));
    QTRY_COMPARE(link.sent.size(), 3);
    state = link.last("state");
    QCOMPARE(state.value("change").toArray().at(0).toObject(), QJsonObject({{"keep", 0}, {"add", QJsonArray()}}));
    QCOMPARE(state.value("boxes").toArray().at(0).toObject().value("n").toInt(), 0);

    s.seat.handle(command(SeatCommand::Ping, -1, 10));
    QCOMPARE(link.sent.last().value("t").toString(), QString("pong"));
    s.seat.handle(command(SeatCommand::Recognize, -1, 11));
    QTRY_COMPARE(link.sent.last().value("ack").toInt(), 11);
}

void TestRemoteSeat::aNewConnectionNumbersAfresh()
{
    // Guards a reload: the new page numbers from 1 and is acknowledged in
    // its own numbers, never in the earlier page's; what the earlier page
    // sent that was still waiting behind a reading reaches the new page
    // as ink, and no number of the earlier page is acknowledged to it.
    GatedRecognizer gated;
    Seated s{gated};
    auto before = std::make_unique<PageInk>(s.seat);
    before->receive();
    before->nextId = 500;
    before->stroke(0);
    before->send(SeatCommand::Recognize);
    before->stroke(0);
    before->stroke(0);
    before->receive();
    QCOMPARE(before->ack, 500);
    QVERIFY(s.seat.isReading());

    PageInk after(s.seat, before->issued);
    QCOMPARE(before->link.closedWith, QString("resumed"));
    after.receive();
    QCOMPARE(after.ack, 0);
    QCOMPARE(after.ink[0].size(), 1);
    gated.gate.release(10);
    s.waitForReading();
    after.receive();
    QCOMPARE(after.ack, 0);
    QCOMPARE(after.ink[0], after.consoleInk(0));
    QCOMPARE(after.ink[0].size(), 3);

    after.stroke(0);
    after.receive();
    QCOMPARE(after.ack, 1);
    QCOMPARE(after.ink[0], after.consoleInk(0));
    QCOMPARE(after.ink[0].size(), 4);
    QVERIFY(after.pending[0].isEmpty());
    before.reset();
}

void TestRemoteSeat::pageInkKeepsInStep_data()
{
    QTest::addColumn<QString>("script");
    // s0: the page writes in box 0 in the epoch it knows; u0: undo; e: erase;
    // r: recognise; F0: box 0 filled to the limit; L, U: lock, unlock;
    // '|': the page reads what the console sent.
    QTest::newRow("strokes taken") << "s0 s1 s1 | s0 |";
    QTest::newRow("undo of held strokes") << "s0 s0 s0 | u0 | u0 u0 u0 |";
    QTest::newRow("undo, then a new stroke, before the page reads") << "s0 | s0 u0 s0 |";
    QTest::newRow("undo of a stroke not yet answered") << "s0 | s0 u0 |";
    QTest::newRow("undo below what was sent, then new strokes") << "s0 s0 s0 | u0 u0 s0 u0 u0 s0 s0 |";
    QTest::newRow("a stroke into a full box is dropped") << "F0 | s0 | u0 s0 |";
    QTest::newRow("a stroke written before an erasure is dropped") << "s0 | e s0 s1 | s0 |";
    QTest::newRow("a locked seat takes no stroke") << "s0 | L s0 u0 | U s0 |";
    QTest::newRow("ink read as nothing is cleared") << "s0 s0 s0 | r s0 | s0 |";
    QTest::newRow("strokes wait behind a reading") << "s0 s1 s1 r s0 s1 u1 |";
}

void TestRemoteSeat::pageInkKeepsInStep()
{
    QFETCH(QString, script);
    Seated s;
    PageInk page(s.seat);
    page.receive();
    for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
        const int box = step.size() > 1 ? step.at(1).digitValue() : -1;
        switch (step.at(0).unicode()) {
        case 's': page.stroke(box); break;
        case 'u': page.send(SeatCommand::Undo, box); break;
        case 'e': page.send(SeatCommand::Erase); break;
        case 'r': page.send(SeatCommand::Recognize); break;
        case 'F':
            for (int k = 0; k < SeatBox::MaxStrokes; ++k)
                page.stroke(box);
            break;
        case 'L': s.seat.AllLock(); break;
        case 'U': s.seat.AllUnLock(); break;
        case '|':
            s.waitForReading();
            page.receive();
            for (int b = 0; b < 2; ++b) {
                QCOMPARE(page.ink[b], page.consoleInk(b));
                QVERIFY(page.pending[b].isEmpty());
            }
            break;
        default: qFatal("unknown step %s", qPrintable(step));
        }
    }
}

void TestRemoteSeat::hostileInkCostsLittleToAnswer_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<double>("perMessage"); // most bytes sent back per message

    // Both boxes hold 64 strokes of 2000 points (about 1.5 MB each); then
    // again and again:
    QTest::newRow("undo, and a stroke at the limits") << "u s" << 600.0;
    QTest::newRow("undo alone") << "u" << 400.0;
    QTest::newRow("a small stroke into the full box") << "t" << 40.0;
}

void TestRemoteSeat::hostileInkCostsLittleToAnswer()
{
    // Guards the console's outgoing traffic against a hostile seat: what it
    // sends back stays in proportion to what changed, never the whole ink.
    QFETCH(QString, what);
    QFETCH(double, perMessage);
    Seated s;
    PageInk page(s.seat);
    page.receive();
    qint64 in = 0, messages = 0;
    auto feed = [&](const QByteArray &m) {
        in += m.size();
        ++messages;
        s.seat.handle(SeatMessage::parse(m));
        page.receive();
    };
    for (int b = 0; b < 2; ++b) {
        const QByteArray big = strokeAtTheLimits(b, s.seat.box(b).epoch());
        QVERIFY(big.size() > 24000 && big.size() <= SeatMessage::MaxBytes);
        for (int k = 0; k < SeatBox::MaxStrokes; ++k)
            feed(big);
        QCOMPARE(s.seat.box(b).strokes().size(), SeatBox::MaxStrokes);
    }
    QVERIFY(page.bytes < in / 20);
    in = messages = page.bytes = 0;
    const QByteArray big = strokeAtTheLimits(0, s.seat.box(0).epoch());
    const QByteArray tiny = R"({"t":"stroke","box":0,"e":)" + QByteArray::number(s.seat.box(0).epoch()) + R"(,"pts":[1,1],"id":2})";
    for (int k = 0; k < 100; ++k) {
        for (const QString &step : what.split(' ')) {
            if (step == "u")
                feed(R"({"t":"undo","box":0,"id":3})");
            else if (step == "s")
                feed(big);
            else
                feed(tiny);
        }
    }
    qInfo("%lld messages, %lld bytes in, %lld bytes out", messages, in, page.bytes);
    QVERIFY2(page.bytes <= perMessage * messages, qPrintable(QString::number(double(page.bytes) / messages)));
}

void TestRemoteSeat::messagesAreChecked_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("refusal"); // part of the reason

    const int bad = SeatCommand::Invalid;
    QTest::newRow("join") << QByteArray(R"({"t":"join","code":"012345"})") << int(SeatCommand::Join) << "";
    QTest::newRow("join with token") << QByteArray(R"({"t":"join","code":"1","token":"0123456789abcdef0123456789abcdef"})")
                                     << int(SeatCommand::Join) << "";
    QTest::newRow("stroke") << QByteArray(R"({"t":"stroke","box":1,"e":0,"pts":[0,0,1000,1000],"id":3})")
                            << int(SeatCommand::Stroke) << "";
    QTest::newRow("one point is a dot") << QByteArray(R"({"t":"stroke","box":0,"e":4294967295,"pts":[5.5,6]})")
                                        << int(SeatCommand::Stroke) << "";
    QTest::newRow("pick") << QByteArray(R"({"t":"pick","box":0,"i":4})") << int(SeatCommand::Pick) << "";
    QTest::newRow("unknown fields are ignored") << QByteArray(R"({"t":"answer","x":[1,2]})") << int(SeatCommand::Answer) << "";

    QTest::newRow("not JSON") << QByteArray("{\"t\":") << bad << "not JSON";
    QTest::newRow("empty") << QByteArray() << bad << "not JSON";
    QTest::newRow("an array") << QByteArray("[1,2]") << bad << "JSON object";
    QTest::newRow("no command") << QByteArray(R"({"type":"join"})") << bad << "\"t\"";
    QTest::newRow("command not a string") << QByteArray(R"({"t":5})") << bad << "\"t\"";
    QTest::newRow("unknown command") << QByteArray(R"({"t":"delete\u0000all"})") << bad << "unknown command \"delete?all\"";
    QTest::newRow("id negative") << QByteArray(R"({"t":"ping","id":-1})") << bad << "\"id\"";
    QTest::newRow("id fractional") << QByteArray(R"({"t":"ping","id":1.5})") << bad << "\"id\"";
    QTest::newRow("id huge") << QByteArray(R"({"t":"ping","id":1e300})") << bad << "\"id\"";
    QTest::newRow("code as number") << QByteArray(R"({"t":"join","code":123456})") << bad << "\"code\"";
    QTest::newRow("code not digits") << QByteArray(R"({"t":"join","code":"12 456"})") << bad << "\"code\"";
    QTest::newRow("code too long") << QByteArray(R"({"t":"join","code":"12345678901234567"})") << bad << "\"code\"";
    QTest::newRow("token upper case") << QByteArray(R"({"t":"join","code":"1","token":"0123456789ABCDEF0123456789abcdef"})") << bad << "\"token\"";
    QTest::newRow("box 2") << QByteArray(R"({"t":"undo","box":2})") << bad << "\"box\"";
    QTest::newRow("box as string") << QByteArray(R"({"t":"undo","box":"0"})") << bad << "\"box\"";
    QTest::newRow("box missing") << QByteArray(R"({"t":"stroke","e":0,"pts":[1,1]})") << bad << "\"box\"";
    QTest::newRow("epoch negative") << QByteArray(R"({"t":"stroke","box":0,"e":-1,"pts":[1,1]})") << bad << "\"e\"";
    QTest::newRow("points not an array") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":"1,1"})") << bad << "\"pts\"";
    QTest::newRow("no points") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[]})") << bad << "pairs";
    QTest::newRow("odd number of coordinates") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[1,2,3]})") << bad << "pairs";
    QTest::newRow("coordinate not a number") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[1,null]})") << bad << "numbers";
    QTest::newRow("coordinate beyond the box") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[1,1000.5]})") << bad << "coordinates";
    QTest::newRow("coordinate negative") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[-0.1,1]})") << bad << "coordinates";
    QTest::newRow("coordinate absurd") << QByteArray(R"({"t":"stroke","box":0,"e":0,"pts":[1e308,1]})") << bad << "coordinates";
    QByteArray many = R"({"t":"stroke","box":0,"e":0,"pts":[)";
    for (int i = 0; i <= 2000; ++i)
        many += "1,1,";
    many.chop(1);
    many += "]}";
    QTest::newRow("too many points") << many << bad << "too many points";
    QTest::newRow("candidate 5") << QByteArray(R"({"t":"pick","box":0,"i":5})") << bad << "\"i\"";
    QTest::newRow("too large") << QByteArray(SeatMessage::MaxBytes + 1, ' ') << bad << "too large";
    QTest::newRow("deeply nested") << QByteArray(5000, '[') << bad << "not JSON";
    QTest::newRow("invalid UTF-8") << QByteArray("{\"t\":\"\xff\"}") << bad << "";
}

void TestRemoteSeat::messagesAreChecked()
{
    QFETCH(QByteArray, message);
    QFETCH(int, kind);
    QFETCH(QString, refusal);
    const SeatCommand c = SeatMessage::parse(message);
    QCOMPARE(int(c.kind), kind);
    if (kind == SeatCommand::Invalid) {
        QVERIFY(!c.refusal.isEmpty());
        QVERIFY2(c.refusal.contains(refusal), qPrintable(c.refusal));
    } else {
        QVERIFY(c.refusal.isEmpty());
    }
}

namespace {

// A review of the given compact size: {"pad":"xx…"}.
QJsonObject reviewOfSize(qsizetype bytes)
{
    return QJsonObject{{"pad", QString(bytes - 10, 'x')}};
}

int countOf(const RecordingLink &link, const QString &kind)
{
    return int(std::count_if(link.sent.cbegin(), link.sent.cend(),
                             [&](const QJsonObject &m) { return m.value("t").toString() == kind; }));
}

} // namespace

void TestRemoteSeat::reviewReachesTheDeviceAndComesBack()
{
    // Guards the review's way to the page: sent after the game's end is,
    // once; again to a device coming back (numbered as before, so that a
    // page that closed it keeps it closed); never to a device while the
    // seat holds none; cleared, the page is told.
    const QJsonObject review{{"player", 2}, {"words", QJsonArray{QJsonObject{{"word", "今日"}}}}};
    RecordingLink first, back, third, fourth;
    Seated s;
    QString token;
    s.seat.admit(QString(), &first, &token);
    QCOMPARE(countOf(first, "review"), 0);
    first.sent.clear();
    s.seat.AllLock();
    s.seat.showResult("かち！！");
    QVERIFY(s.seat.setReview(review));
    QVERIFY(s.seat.hasReview());
    QTRY_COMPARE(countOf(first, "review"), 1);
    QCOMPARE(first.sent.size(), 2);
    QVERIFY(first.sent.at(0).value("over").toBool());
    const QJsonObject sent = first.sent.at(1);
    QCOMPARE(sent.value("review").toObject(), review);
    const qint64 serial = sent.value("n").toInteger();
    QCOMPARE(quint64(serial), s.seat.reviewSerial());
    // The same review again is nothing new.
    QVERIFY(s.seat.setReview(review));
    QCoreApplication::processEvents();
    QCOMPARE(countOf(first, "review"), 1);
    QCOMPARE(s.seat.reviewSerial(), quint64(serial));

    // A reload at the end: the whole seat, then the review.
    s.seat.linkGone(&first);
    QCOMPARE(s.seat.admit(token, &back, nullptr), RemoteSeat::Admission::Resumed);
    QCOMPARE(back.sent.size(), 3);
    QCOMPARE(back.sent.at(1).value("t").toString(), QString("state"));
    QCOMPARE(back.sent.at(2), sent);
    QCoreApplication::processEvents();
    QCOMPARE(countOf(back, "review"), 1);

    // The next deal: the page is told there is none, and a device that
    // comes later is not told of one.
    s.seat.clearReview();
    QVERIFY(!s.seat.hasReview());
    QTRY_COMPARE(countOf(back, "review"), 2);
    QVERIFY(back.last("review").value("review").isNull());
    QVERIFY(back.last("review").value("n").toInteger() > serial);
    s.seat.release();
    s.seat.admit(QString(), &third, nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(countOf(third, "review"), 0);

    // Made while the seat has no device: held for the next.
    s.seat.release();
    QVERIFY(s.seat.setReview(review));
    QCoreApplication::processEvents();
    s.seat.admit(QString(), &fourth, nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(countOf(fourth, "review"), 1);
    QCOMPARE(fourth.last("review").value("review").toObject(), review);
    s.seat.linkGone(&fourth);
}

void TestRemoteSeat::reviewIsBounded_data()
{
    QTest::addColumn<qsizetype>("bytes");
    QTest::addColumn<bool>("held");
    QTest::newRow("small") << qsizetype(100) << true;
    QTest::newRow("at the limit") << RemoteSeat::MaxReviewBytes << true;
    QTest::newRow("a byte over") << RemoteSeat::MaxReviewBytes + 1 << false;
    QTest::newRow("a megabyte") << qsizetype(1 << 20) << false;
}

void TestRemoteSeat::reviewIsBounded()
{
    // Guards a device's allowance: a review too large is refused, and takes
    // the place of the one held, so that the page shows no stale review.
    QFETCH(qsizetype, bytes);
    QFETCH(bool, held);
    RecordingLink link;
    Seated s;
    s.seat.admit(QString(), &link, nullptr);
    QVERIFY(s.seat.setReview(reviewOfSize(100)));
    QTRY_COMPARE(countOf(link, "review"), 1);
    const QJsonObject review = reviewOfSize(bytes);
    QCOMPARE(QJsonDocument(review).toJson(QJsonDocument::Compact).size(), bytes);
    if (!held)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("review is \\d+ bytes"));
    QCOMPARE(s.seat.setReview(review), held);
    QCOMPARE(s.seat.hasReview(), held);
    QTRY_COMPARE(countOf(link, "review"), bytes == 100 ? 1 : 2);
    QCOMPARE(link.last("review").value("review").isNull(), !held);
    qsizetype largest = 0;
    for (const QJsonObject &m : std::as_const(link.sent))
        largest = qMax(largest, QJsonDocument(m).toJson(QJsonDocument::Compact).size());
    QVERIFY(largest <= RemoteSeat::MaxReviewBytes + 64);
    s.seat.linkGone(&link);
}

QTEST_GUILESS_MAIN(TestRemoteSeat)
#include "tst_remoteseat.moc"
