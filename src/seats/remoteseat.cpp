// SPDX-License-Identifier: GPL-3.0-or-later
#include "remoteseat.h"

#include "engine/boardpreference.h"
#include "engine/recognitionqueue.h"
#include "seats/seatlink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <cmath>

namespace {

// Candidates asked of the recogniser: the result, the shown ones and a few
// more, since non-characters are dropped.
constexpr int ReadCount = 1 + SeatBox::ShownCandidates + 4;

QString newToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
}

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonArray inkArray(const SeatBox &box)
{
    QJsonArray strokes;
    for (const Stroke &s : box.strokes()) {
        QJsonArray pts;
        for (QPointF p : s) {
            pts.append(std::round(p.x() * 10) / 10);
            pts.append(std::round(p.y() * 10) / 10);
        }
        strokes.append(pts);
    }
    return strokes;
}

} // namespace

RemoteSeat::RemoteSeat(int16_t player, const QString &code, RecognitionQueue *recognition, QObject *parent)
    : QObject(parent)
    , m_player(player)
    , m_code(code)
    , m_recognition(recognition)
{
    m_flush.setSingleShot(true);
    m_flush.setInterval(0);
    connect(&m_flush, &QTimer::timeout, this, &RemoteSeat::flush);
    for (int b = 0; b < 2; ++b) {
        connect(&m_watchers[b], &QFutureWatcherBase::finished, this, [this, b] { boxRead(b); });
        m_readAhead[b].setSingleShot(true);
        m_readAhead[b].setInterval(0);
        connect(&m_readAhead[b], &QTimer::timeout, this, [this, b] { readAhead(b); });
    }
}

void RemoteSeat::setReadAheadDelay(int ms)
{
    for (QTimer &timer : m_readAhead)
        timer.setInterval(qMax(0, ms));
}

RemoteSeat::~RemoteSeat()
{
    for (auto &read : m_reads)
        read.cancel();
    if (m_link)
        m_link->close(QStringLiteral("closing"));
}

RemoteSeat::State RemoteSeat::state() const
{
    if (m_link)
        return State::Connected;
    return m_token.isEmpty() ? State::Waiting : State::Dropped;
}

RemoteSeat::Admission RemoteSeat::admit(const QString &token, SeatLink *link, QString *issued)
{
    Admission admission;
    if (m_token.isEmpty()) {
        m_token = newToken();
        admission = Admission::Joined;
    } else if (!token.isEmpty() && token == m_token) {
        admission = Admission::Resumed;
    } else {
        return Admission::Taken;
    }
    if (issued)
        *issued = m_token;
    if (m_link && m_link != link) {
        SeatLink *old = m_link;
        m_link = nullptr;
        old->close(QStringLiteral("resumed"));
    }
    m_link = link;
    // A new page, or the same on a new connection: its numbering starts
    // again, and what the earlier link sent is not acknowledged to it.
    ++m_linkSerial;
    m_ack = 0;
    m_recognizeId = -1;
    QJsonObject joined{{QStringLiteral("t"), QStringLiteral("joined")},
                       {QStringLiteral("player"), int(m_player)},
                       {QStringLiteral("look"), m_look},
                       {QStringLiteral("token"), m_token}};
    link->send(compact(joined));
    QJsonObject whole = stateMessage(true);
    whole.insert(QStringLiteral("ack"), double(m_ack));
    link->send(compact(whole));
    whole.remove(QStringLiteral("ink"));
    whole.remove(QStringLiteral("ack"));
    m_sent = whole;
    m_sentAck = m_ack;
    for (int b = 0; b < 2; ++b) {
        m_sentStrokes[b] = m_keep[b] = int(m_boxes[b].strokes().size());
        m_added[b].clear();
        m_resend[b] = false;
    }
    m_play = -1;
    // A page starts without a review: it is told only of one held.
    if (hasReview())
        sendReview();
    m_reviewOwed = false;
    emit stateChanged();
    return admission;
}

void RemoteSeat::linkGone(SeatLink *link)
{
    if (link != m_link)
        return;
    m_link = nullptr;
    emit stateChanged();
}

void RemoteSeat::reserve(const QString &token)
{
    m_token = token;
    emit stateChanged();
}

void RemoteSeat::release()
{
    m_token.clear();
    if (SeatLink *old = m_link) {
        m_link = nullptr;
        old->close(QStringLiteral("released"));
    }
    emit stateChanged();
}

// Commands of the device.

void RemoteSeat::handle(const SeatCommand &command)
{
    if (command.kind == SeatCommand::Ping) {
        if (m_link)
            m_link->send(QByteArrayLiteral("{\"t\":\"pong\"}"));
        return;
    }
    if (isReading() || !m_backlog.isEmpty()) {
        if (m_backlog.size() >= MaxWaiting) {
            sendRefusal(command.id, QStringLiteral("busy: too many commands waiting"));
            return;
        }
        m_backlog.append({command, m_linkSerial});
        return;
    }
    run(command, true);
}

void RemoteSeat::run(const SeatCommand &c, bool own)
{
    switch (c.kind) {
    case SeatCommand::Stroke: {
        SeatBox &box = m_boxes[c.box];
        // Written before an erasure the device had not seen yet, or into a
        // locked or full box: dropped, and the device corrected by the state.
        // The device learns of it from the acknowledgement that passes the
        // stroke's id without listing it as taken.
        if (c.epoch == box.epoch() && box.addStroke(c.points)) {
            // A stroke of an earlier link is one the present page lacks.
            if (own)
                strokeTaken(c.box, c.id);
            else
                m_resend[c.box] = true;
            boxChanged(true);
            if (m_readAhead[c.box].interval() == 0)
                readAhead(c.box);
            else
                m_readAhead[c.box].start();
        }
        changed();
        break;
    }
    case SeatCommand::Undo: {
        const qsizetype before = m_boxes[c.box].strokes().size();
        boxChanged(m_boxes[c.box].undoStroke());
        if (m_boxes[c.box].strokes().size() != before)
            strokeUndone(c.box);
        changed();
        break;
    }
    case SeatCommand::Pick:
        boxChanged(m_boxes[c.box].pickCandidate(c.index));
        changed();
        break;
    case SeatCommand::Recognize:
        if (!m_locked)
            recognize();
        if (isReading()) {
            if (own)
                m_recognizeId = c.id;
            return;
        }
        break;
    case SeatCommand::Erase:
        if (!m_locked)
            eraseAnswer();
        changed();
        break;
    case SeatCommand::Answer:
        if (!m_locked && m_boxes[1].hasResult() && m_boxes[0].hasResult()) {
            // The game shows the outcome in this seat, and may lock it.
            emit answerSubmitted(m_player, m_boxes[0].resultText() + m_boxes[1].resultText());
        }
        break;
    case SeatCommand::Join:
    case SeatCommand::Ping:
    case SeatCommand::Invalid:
        break;
    }
    if (own && c.id >= 0)
        m_ack = c.id;
    changed();
}

void RemoteSeat::readAhead(int b)
{
    m_readAhead[b].stop();
    // A reading waited for (にんしき pressed before the pause after the last
    // stroke ran out) must not be cancelled by this one, nor ink already
    // read be read again.
    if (m_waiting[b] || !m_boxes[b].needsReading())
        return;
    if (m_recognition && m_recognition->waiting() < MaxWaitingAhead)
        read(b, int(RecognitionQueue::Urgency::Ahead));
}

void RemoteSeat::read(int b, int urgency)
{
    if (!m_recognition || !m_recognition->isAvailable() || m_boxes[b].strokes().isEmpty())
        return;
    // A reading not yet started is not needed any more: the ink has grown.
    m_reads[b].cancel();
    m_reads[b] = m_recognition->submit(m_boxes[b].ink(), ReadCount, m_context, RecognitionQueue::Urgency(urgency));
    m_readRevision[b] = m_boxes[b].revision();
    m_readContext[b] = m_context;
}

void RemoteSeat::recognize()
{
    const bool available = m_recognition && m_recognition->isAvailable();
    m_feedbackAtRecognize = m_feedbackWrites;
    for (int b = 0; b < 2; ++b) {
        SeatBox &box = m_boxes[b];
        if (available && box.needsReading()) {
            // The reading ahead of this ink, if it has not begun, gives
            // way to one that is waited for.
            if (m_readRevision[b] != box.revision() || !m_reads[b].isValid() || m_reads[b].isCanceled()
                || m_readContext[b] != m_context || !RecognitionQueue::hasBegun(m_reads[b]))
                read(b, int(RecognitionQueue::Urgency::Waited));
            m_waiting[b] = true;
            m_watchers[b].setFuture(m_reads[b]);
            continue;
        }
        bool c = box.recognizeNothing(available);
        if (!box.hasResult()) {
            c = box.clear() || c;
            inkCleared(b);
        }
        boxChanged(c);
    }
    if (!isReading())
        readAsPair();
    changed();
}

void RemoteSeat::boxRead(int b)
{
    if (!m_waiting[b])
        return;
    m_waiting[b] = false;
    SeatBox &box = m_boxes[b];
    // The reading this box waited for, whatever was submitted since.
    const QFuture<QList<Candidate>> read = m_watchers[b].future();
    const QList<Candidate> found =
        read.isValid() && !read.isCanceled() && read.resultCount() > 0 ? read.result() : QList<Candidate>();
    if (m_readRevision[b] == box.revision()) {
        bool c = box.setRead(m_readRevision[b], found);
        if (!box.hasResult()) {
            c = box.clear() || c;
            inkCleared(b);
        }
        // The reset belongs to the moment of "にんしき": an outcome the game
        // showed since then stays.
        if (c && m_feedbackWrites == m_feedbackAtRecognize)
            resetFeedback();
    }
    if (!isReading())
        readAsPair();
    changed();
    if (!isReading())
        finishReading();
}

void RemoteSeat::readAsPair()
{
    // As the player window does: the boxes read as a board word where it
    // scores close, else each as itself; a picked candidate is certain.
    SeatBox &first = m_boxes[0], &second = m_boxes[1];
    if (!m_recognition || !first.hasResult() || !second.hasResult())
        return;
    const auto readingOf = [](const SeatBox &box) {
        return box.resultPicked() ? QList<Candidate>{{box.resultText(), 0}} : box.reading();
    };
    const QList<Candidate> a = readingOf(first), b = readingOf(second);
    if (a.isEmpty() || b.isEmpty())
        return;
    const BoardPreference::PairReading pair = BoardPreference::pair(a, b, m_context, m_recognition->contextMargins());
    const bool changedFirst = first.showReading(pair.isValid() ? pair.first : a.first().text);
    const bool changedSecond = second.showReading(pair.isValid() ? pair.second : b.first().text);
    // Like a box's own reading: the reset belongs to the moment of "にんしき".
    if ((changedFirst || changedSecond) && m_feedbackWrites == m_feedbackAtRecognize)
        resetFeedback();
}

void RemoteSeat::finishReading()
{
    if (m_recognizeId >= 0) {
        m_ack = m_recognizeId;
        m_recognizeId = -1;
    }
    while (!m_backlog.isEmpty() && !isReading()) {
        const Waiting next = m_backlog.takeFirst();
        run(next.command, next.link == m_linkSerial);
    }
}

void RemoteSeat::eraseAnswer()
{
    for (int b = 0; b < 2; ++b) {
        m_boxes[b].clear();
        inkCleared(b);
    }
    resetFeedback();
}

void RemoteSeat::resetFeedback()
{
    m_item = Rules::Neutral;
    m_result.clear();
    changed();
}

void RemoteSeat::boxChanged(bool changedBox)
{
    if (changedBox)
        resetFeedback();
}

void RemoteSeat::strokeTaken(int b, qint64 id)
{
    m_added[b].append(id);
}

void RemoteSeat::strokeUndone(int b)
{
    if (!m_added[b].isEmpty())
        m_added[b].removeLast();
    else
        m_keep[b] = qMin(m_keep[b], int(m_boxes[b].strokes().size()));
}

void RemoteSeat::inkCleared(int b)
{
    // The new epoch tells the device to empty the box.
    m_keep[b] = 0;
    m_added[b].clear();
    m_resend[b] = false;
}

// The game's calls.

void RemoteSeat::AllClear()
{
    ++m_feedbackWrites;
    m_over = false;
    eraseAnswer();
    for (QString &a : m_answers)
        a.clear();
    for (int n = 0; n < Rules::BoardPlaces; ++n) {
        m_board[n].clear();
        m_used[n] = false;
    }
    m_own = m_opponent = QStringLiteral("0");
    changed();
}

void RemoteSeat::AllLock()
{
    m_locked = true;
    m_boxes[0].setLocked(true);
    m_boxes[1].setLocked(true);
    changed();
}

void RemoteSeat::AllUnLock()
{
    ++m_feedbackWrites;
    eraseAnswer();
    m_locked = false;
    m_over = false;
    m_boxes[0].setLocked(false);
    m_boxes[1].setLocked(false);
    changed();
}

void RemoteSeat::showBoardCharacter(int place, const QString &character)
{
    if (place >= 1 && place <= Rules::BoardPlaces) {
        m_board[place - 1] = character;
        changed();
    }
}

void RemoteSeat::disableBoardPlace(int place)
{
    if (place >= 1 && place <= Rules::BoardPlaces) {
        m_used[place - 1] = true;
        changed();
    }
}

void RemoteSeat::showResult(const QString &text)
{
    ++m_feedbackWrites;
    // Only the game's end shows a result in a locked seat: the page shows
    // it as the outcome of the game.
    m_over = m_locked && !text.isEmpty();
    m_result = text;
    changed();
}

void RemoteSeat::showFeedbackItem(int item)
{
    ++m_feedbackWrites;
    // As the window's display stores it: a 16-bit item number.
    m_item = int16_t(item);
    changed();
}

void RemoteSeat::playFeedback(int item)
{
    m_play = item;
    changed();
}

void RemoteSeat::showOwnScore(const QString &score)
{
    m_own = score;
    changed();
}

void RemoteSeat::showOpponentScore(const QString &score)
{
    m_opponent = score;
    changed();
}

void RemoteSeat::showAnswer(int slot, const QString &word)
{
    if (slot >= 1 && slot <= Rules::AnswerSlots) {
        m_answers[slot - 1] = word;
        changed();
    }
}

// To the device.

QJsonObject RemoteSeat::stateMessage(bool withInk) const
{
    QJsonArray used;
    for (bool u : m_used)
        used.append(u);
    QJsonArray boxes;
    for (const SeatBox &box : m_boxes) {
        boxes.append(QJsonObject{{QStringLiteral("e"), double(box.epoch())},
                                 {QStringLiteral("n"), int(box.strokes().size())},
                                 {QStringLiteral("has"), box.hasResult()},
                                 {QStringLiteral("text"), box.resultText()},
                                 {QStringLiteral("cands"), QJsonArray::fromStringList(box.candidates())},
                                 {QStringLiteral("notice"), box.showsNotice()}});
    }
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("state")},
                  {QStringLiteral("player"), int(m_player)},
                  {QStringLiteral("board"), QJsonArray::fromStringList(m_board)},
                  {QStringLiteral("used"), used},
                  {QStringLiteral("answers"), QJsonArray::fromStringList(m_answers)},
                  {QStringLiteral("own"), m_own},
                  {QStringLiteral("opp"), m_opponent},
                  {QStringLiteral("result"), m_result},
                  {QStringLiteral("item"), m_item},
                  {QStringLiteral("locked"), m_locked},
                  {QStringLiteral("over"), m_over},
                  {QStringLiteral("reading"), isReading()},
                  {QStringLiteral("boxes"), boxes}};
    if (withInk)
        o.insert(QStringLiteral("ink"), QJsonArray{inkArray(m_boxes[0]), inkArray(m_boxes[1])});
    return o;
}

bool RemoteSeat::setReview(const QJsonObject &review)
{
    QByteArray json = review.isEmpty() ? QByteArray() : compact(review);
    const bool fits = json.size() <= MaxReviewBytes;
    if (!fits) {
        qWarning("taruvo: network seats: player %d's review is %lld bytes, more than a seat sends (%lld); none shown",
                 int(m_player), qlonglong(json.size()), qlonglong(MaxReviewBytes));
        json.clear();
    }
    if (json == m_review)
        return fits;
    m_review = json;
    ++m_reviewSerial;
    m_reviewOwed = true;
    changed();
    return fits;
}

void RemoteSeat::sendReview()
{
    // Put together as it is held: the review is not parsed again.
    m_link->send("{\"t\":\"review\",\"n\":" + QByteArray::number(m_reviewSerial) + ",\"review\":"
                 + (m_review.isEmpty() ? QByteArrayLiteral("null") : m_review) + '}');
}

void RemoteSeat::changed()
{
    if (m_link && !m_flush.isActive())
        m_flush.start();
}

// What changed since the device was last sent the seat: the fields that
// differ, and each box's ink as a change of what the device has (strokes
// kept, its own strokes taken, by id), so that what is sent stays in
// proportion to what changed however large the ink is.
void RemoteSeat::flush()
{
    if (!m_link) {
        m_play = -1;
        m_reviewOwed = false;
        return;
    }
    const QJsonObject now = stateMessage(false);
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("state")}};
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (m_sent.value(it.key()) != it.value())
            o.insert(it.key(), it.value());
    }
    QJsonArray whole, change;
    bool anyWhole = false, anyChange = false;
    for (int b = 0; b < 2; ++b) {
        if (m_resend[b]) {
            whole.append(inkArray(m_boxes[b]));
            change.append(QJsonValue::Null);
            anyWhole = true;
        } else if (m_keep[b] < m_sentStrokes[b] || !m_added[b].isEmpty()) {
            QJsonArray added;
            for (qint64 id : std::as_const(m_added[b]))
                added.append(id >= 0 ? QJsonValue(double(id)) : QJsonValue());
            whole.append(QJsonValue::Null);
            change.append(QJsonObject{{QStringLiteral("keep"), m_keep[b]}, {QStringLiteral("add"), added}});
            anyChange = true;
        } else {
            whole.append(QJsonValue::Null);
            change.append(QJsonValue::Null);
        }
        m_sentStrokes[b] = m_keep[b] = int(m_boxes[b].strokes().size());
        m_added[b].clear();
        m_resend[b] = false;
    }
    if (anyWhole)
        o.insert(QStringLiteral("ink"), whole);
    if (anyChange)
        o.insert(QStringLiteral("change"), change);
    if (m_play >= 0)
        o.insert(QStringLiteral("play"), m_play);
    if (o.size() > 1) {
        o.insert(QStringLiteral("ack"), double(m_ack));
        m_link->send(compact(o));
    } else if (m_ack != m_sentAck) {
        m_link->send(compact(QJsonObject{{QStringLiteral("t"), QStringLiteral("ack")},
                                         {QStringLiteral("ack"), double(m_ack)}}));
    }
    m_sent = now;
    m_play = -1;
    m_sentAck = m_ack;
    // After the state: the page shows a review over a seat that has ended.
    if (m_reviewOwed) {
        m_reviewOwed = false;
        sendReview();
    }
}

void RemoteSeat::sendRefusal(qint64 id, const QString &why)
{
    if (!m_link)
        return;
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("refused")}, {QStringLiteral("why"), why}};
    if (id >= 0)
        o.insert(QStringLiteral("id"), double(id));
    m_link->send(compact(o));
}
