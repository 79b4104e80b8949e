// SPDX-License-Identifier: GPL-3.0-or-later
// A player's seat taken from a browser: a view of the game kept on the console.
#pragma once

#include "common/rules.h"
#include "engine/playerview.h"
#include "seats/seatbox.h"
#include "seats/seatmessage.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <cstdint>

class RecognitionQueue;
class SeatLink;

// One player's seat on a device. To the game it is a view like a player
// window; it keeps everything the seat shows (board, answers, scores,
// result, feedback, lock, both boxes with their ink), so a device that
// comes back sees all of it. The device's commands follow the player
// window's buttons: "にんしき" reads each box on its own and clears a box
// without result, "けす" erases both and resets the feedback, "こたえあわせ"
// answers only when both boxes have a result, and a box change resets the
// feedback. Ink is read off the UI thread; commands that come while it is
// read wait for it, so that they keep their order.
//
// The seat is held by the device that took it with the code, known by a
// token it was given: that device may come back (a reload, a Wi-Fi blip)
// and take the seat over again; others are refused until the operator
// releases it.
class RemoteSeat : public QObject, public PlayerView
{
    Q_OBJECT
public:
    enum class State { Waiting, Connected, Dropped };
    enum class Admission { Joined, Resumed, Taken };

    // recognition: may be null (nothing can be read).
    RemoteSeat(int16_t player, const QString &code, RecognitionQueue *recognition, QObject *parent = nullptr);
    ~RemoteSeat() override;

    int16_t player() const { return m_player; }
    QString code() const { return m_code; }
    State state() const;

    // A device that gave the right code asks for the seat with the token it
    // holds (empty when none). Joined: a new token in *issued; Resumed: its
    // old link, if any, is closed. On either, the device sees the whole seat.
    Admission admit(const QString &token, SeatLink *link, QString *issued);
    // The device's link has gone; the seat stays its device's.
    void linkGone(SeatLink *link);
    // The operator frees the seat for another device.
    void release();
    // Keeps the seat for the device that holds token (32 hex digits), as if
    // that device had taken it already: it joins as coming back, and no
    // other device can take the seat. For a host that knows its devices
    // before their seats exist.
    void reserve(const QString &token);
    // A command of the device holding the seat.
    void handle(const SeatCommand &command);

    // PlayerView
    void AllClear() override;
    void AllLock() override;
    void AllUnLock() override;
    void showBoardCharacter(int place, const QString &character) override;
    void disableBoardPlace(int place) override;
    void showResult(const QString &text) override;
    void showFeedbackItem(int item) override;
    void playFeedback(int item) override;
    void showOwnScore(const QString &score) override;
    void showOpponentScore(const QString &score) override;
    void showAnswer(int slot, const QString &word) override;
    void setReadingContext(const ReadingContext &context) override { m_context = context; }

    // What the seat shows, for the console and for tests.
    const SeatBox &box(int index) const { return m_boxes[index == 1 ? 1 : 0]; }
    bool isLocked() const { return m_locked; }
    // The result is the outcome of a game that has ended.
    bool isOver() const { return m_over; }
    QString boardCharacter(int place) const { return m_board.value(place - 1); }
    bool isBoardPlaceUsed(int place) const { return m_used.value(place - 1); }
    QString result() const { return m_result; }
    int feedbackItem() const { return m_item; }
    QString ownScore() const { return m_own; }
    QString opponentScore() const { return m_opponent; }
    QString answer(int slot) const { return m_answers.value(slot - 1); }
    // True while ink is read for "にんしき".
    bool isReading() const { return m_waiting[0] || m_waiting[1]; }

    // The whole seat as the page reads it, with the strokes of both boxes
    // when withInk. A device is sent this once when it takes the seat; after
    // that only what changed (see flush()).
    QJsonObject stateMessage(bool withInk) const;

    // Which built-in look the page's sparks take (0 or 1).
    void setFeedbackLook(int builtInSeries) { m_look = builtInSeries; }

    // How long a box's ink must rest before it is read ahead of "にんしき";
    // 0 (the default) reads after every stroke. A host with many seats
    // reads a character once, when its writer pauses, rather than once a
    // stroke.
    void setReadAheadDelay(int ms);

    // The review of the game just ended, made for this seat's player as its
    // page reads it; an empty object: none. The seat sends it to its device
    // now and to every device that takes the seat later, until it is
    // replaced or cleared (the page then closes it). A review larger than
    // MaxReviewBytes of compact JSON is refused (false) and the seat holds
    // none: it must not take a device's allowance from its game.
    bool setReview(const QJsonObject &review);
    void clearReview() { setReview(QJsonObject()); }
    bool hasReview() const { return !m_review.isEmpty(); }
    // Counts the reviews held: the page tells a new one from one it was
    // sent again after a reconnection.
    quint64 reviewSerial() const { return m_reviewSerial; }
    static constexpr qsizetype MaxReviewBytes = 64 * 1024;

    // Commands that may wait behind a reading.
    static constexpr int MaxWaiting = 32;
    // Ink is read ahead only while the recogniser has fewer inks than this
    // waiting: when it falls behind, readings somebody waits for go first
    // and readings nobody asked for yet are left out.
    static constexpr int MaxWaitingAhead = 4;

signals:
    // The player answers with the word of the two boxes.
    void answerSubmitted(int16_t playerNumber, const QString &word);
    void stateChanged();

private:
    // own: the command came on the device's present link, so its id is
    // in that link's numbering.
    void run(const SeatCommand &command, bool own);
    void recognize();
    void readAhead(int box);
    void read(int box, int urgency);
    void boxRead(int box);
    void finishReading();
    void readAsPair();
    void eraseAnswer();
    void resetFeedback();
    void boxChanged(bool changed);
    void strokeTaken(int box, qint64 id);
    void strokeUndone(int box);
    void inkCleared(int box);
    void changed();
    void flush();
    void sendRefusal(qint64 id, const QString &why);
    void sendReview();

    int16_t m_player;
    QString m_code;
    RecognitionQueue *m_recognition;
    SeatLink *m_link = nullptr;
    // Counts the links the seat was taken on. A page numbers its commands
    // from 1 on each link, and is acknowledged in those numbers only.
    quint64 m_linkSerial = 0;
    QString m_token;

    SeatBox m_boxes[2];
    bool m_locked = false;
    QStringList m_board = QStringList(Rules::BoardPlaces);
    QList<bool> m_used = QList<bool>(Rules::BoardPlaces, false);
    QStringList m_answers = QStringList(Rules::AnswerSlots);
    QString m_result;
    bool m_over = false;
    int m_item = Rules::Neutral;
    int m_look = 0;
    // Each box's ink as the device has it: the first m_keep strokes of what
    // it was last sent, then its own strokes m_added (by id) that the seat
    // took since. m_resend: the box holds a stroke the device does not
    // have, so it is sent whole.
    int m_sentStrokes[2] = {0, 0};
    int m_keep[2] = {0, 0};
    QList<qint64> m_added[2];
    bool m_resend[2] = {false, false};
    // The seat as the device was last sent it, without ink.
    QJsonObject m_sent;
    QString m_own = QStringLiteral("0");
    QString m_opponent = QStringLiteral("0");

    // Reading: the latest reading of each box's ink, and which boxes
    // "にんしき" waits for.
    QFuture<QList<Candidate>> m_reads[2];
    quint64 m_readRevision[2] = {~quint64(0), ~quint64(0)};
    // The game's context, and the one each reading was made with.
    ReadingContext m_context;
    ReadingContext m_readContext[2];
    QFutureWatcher<QList<Candidate>> m_watchers[2];
    bool m_waiting[2] = {false, false};
    QTimer m_readAhead[2];
    // Counts what the game wrote to the feedback: a reset owed from the
    // moment of "にんしき" must not wipe an outcome shown since.
    quint64 m_feedbackWrites = 0;
    quint64 m_feedbackAtRecognize = 0;
    struct Waiting
    {
        SeatCommand command;
        quint64 link; // m_linkSerial when it came
    };
    QList<Waiting> m_backlog;
    // The "にんしき" acknowledged once its readings are done.
    qint64 m_recognizeId = -1;

    // The review as compact JSON, empty when none; m_reviewOwed: the device
    // has not been sent the latest.
    QByteArray m_review;
    quint64 m_reviewSerial = 0;
    bool m_reviewOwed = false;

    // What the device has not been sent yet.
    QTimer m_flush;
    int m_play = -1;
    qint64 m_ack = -1;
    qint64 m_sentAck = -1;
};
