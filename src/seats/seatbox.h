// SPDX-License-Identifier: GPL-3.0-or-later
// A handwriting box of a seat in a browser, as data.
#pragma once

#include "engine/ink.h"
#include "engine/recognizer.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a handwriting box on a device shows, kept on the console: the strokes
// the device sent, the result and the candidates. It follows the local box's
// rules: new ink drops the result; recognising ink already recognised keeps
// its result, a picked candidate included; undo drops a result that no
// longer fits. Coordinates run 0..Canvas on a square.
//
// The operations that the local box reports as a change (what resets the
// seat's feedback) return true.
class SeatBox
{
public:
    static constexpr int Canvas = 1000;
    // A kanji has at most about thirty strokes; more is not writing.
    static constexpr int MaxStrokes = 64;
    static constexpr int MaxPoints = 2000;
    static constexpr int ShownCandidates = 5;

    const QList<Stroke> &strokes() const { return m_strokes; }
    // Counts erasures: a stroke the device wrote before one is dropped.
    quint32 epoch() const { return m_epoch; }
    // Counts changes of the ink.
    quint64 revision() const { return m_revision; }
    bool hasResult() const { return m_hasResult; }
    QString resultText() const { return m_resultText; }
    QStringList candidates() const { return m_candidates; }
    // True once recognition turned out to be unavailable.
    bool showsNotice() const { return m_notice; }
    bool isLocked() const { return m_locked; }
    void setLocked(bool locked) { m_locked = locked; }

    // A stroke written while not locked: ignored when locked or full.
    bool addStroke(const Stroke &stroke);
    bool undoStroke();
    bool pickCandidate(int index);
    // True when the player picked the result among the candidates.
    bool resultPicked() const { return m_picked; }
    // What the last reading found, with scores, the result as read first;
    // empty without a result.
    const QList<Candidate> &reading() const { return m_reading; }
    // Shows `character` of the reading as the result, the others as the
    // candidates: the two boxes read as a pair. Not over a picked result.
    bool showReading(const QString &character);
    // Erases the ink and any result; always starts a new epoch.
    bool clear();

    // What recognising needs: false when the ink keeps the result it has.
    bool needsReading() const;
    // Recognition with an empty box or without a recogniser.
    bool recognizeNothing(bool recognizerAvailable);
    // The candidates read from the ink at `revision`; ignored when the ink
    // has moved on since.
    bool setRead(quint64 revision, const QList<Candidate> &found);

    Ink ink() const;

private:
    bool setResult(bool has, const QString &text);

    QList<Stroke> m_strokes;
    quint32 m_epoch = 0;
    quint64 m_revision = 0;
    quint64 m_recognizedRevision = ~quint64(0);
    bool m_hasResult = false;
    bool m_picked = false;
    bool m_notice = false;
    bool m_locked = false;
    QString m_resultText;
    QStringList m_candidates;
    QList<Candidate> m_reading;
};
