// SPDX-License-Identifier: GPL-3.0-or-later
// The handwriting box: one kanji written with pen, finger or mouse, recognised on request.
#pragma once

#include "engine/ink.h"
#include "engine/recognizer.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class RecognitionQueue;

// The player writes one kanji into the box and it recognises the ink on
// request. It keeps its strokes as data and paints from them; pen pressure
// shapes the line. After Recognize it shows the character large over the
// faded ink and the next best candidates along its lower edge; tapping one
// makes it the result. A corner control and Ctrl+Z undo the last stroke.
//
// A stroke that starts on a box showing a result begins a new character:
// the old ink and result go as the pen touches down. Only a tap (the pen
// lifted close to where it touched) on a candidate picks it. From the
// keyboard, Tab or the arrow keys move through the candidates and Enter or
// Space picks one.
//
// Changed is raised when the player starts a stroke and whenever the result
// changes (Recognize, Clear, a candidate picked, a stroke undone).
class RecBoxF_Zu : public QWidget
{
    Q_OBJECT
public:
    explicit RecBoxF_Zu(QWidget *parent = nullptr);

    QString BoxFontName() const { return m_fontName; }
    void setBoxFontName(const QString &name);

    // True: the box takes no ink and no taps.
    bool Locked() const { return m_locked; }
    void setLocked(bool locked);

    bool HasResult() const { return m_hasResult; }
    // One character while HasResult is true, else empty.
    QString ResultText() const { return m_resultText; }

    // Recognises the ink now in the box. Ink that was already recognised
    // keeps its result, including a candidate the player picked.
    void Recognize();
    // Erases the ink and any result.
    void Clear();

    // Strokes in widget coordinates, in writing order.
    const QList<Stroke> &strokes() const { return m_strokes; }
    // The alternatives shown along the edge, best first.
    QStringList candidates() const { return m_candidates; }
    // True once the recogniser turned out to be unavailable.
    bool showsNotice() const { return m_noRecognizer; }

    // Removes the last stroke, and with it a result that no longer fits the ink.
    void undoStroke();
    // Makes candidate `index` the result; the old result joins the candidates.
    void pickCandidate(int index);
    // True when the player picked the result among the candidates.
    bool resultPicked() const { return m_picked; }

    // In a game: the characters still free on the board and the words they
    // make. Ink is read against the context it was read with; a new
    // context makes the next Recognize read the ink again.
    void setReadingContext(const ReadingContext &context) { m_context = context; }
    // Everything the last Recognize read, with the recogniser's scores, the
    // result as read first; empty without a result.
    const QList<Candidate> &reading() const { return m_reading; }
    // Shows `character` of the reading as the result, the others as the
    // candidates (the first of the reading first): how the two boxes show a
    // word they read as a pair. Nothing happens when the player picked the
    // result or the reading does not hold the character.
    void showReading(const QString &character);
    // The candidate the keyboard is on, -1 for none.
    int currentCandidate() const { return m_keyCandidate; }
    void setCurrentCandidate(int index);

    // Where the undo control and candidate `index` are drawn.
    QRectF undoRect() const;
    QRectF candidateRect(int index) const;
    // How far a tap on a candidate may travel and still count as a tap.
    qreal tapTravel() const;

    // Where the ink is read, off the window's thread; without one the box
    // says that it cannot read. The box starts reading at every pen-up, so
    // that Recognize seldom waits.
    void setRecognizer(RecognitionQueue *queue) { m_queue = queue; }

    QSize sizeHint() const override { return {129, 121}; }

    // Candidates shown along the edge, besides the result.
    static constexpr int ShownCandidates = 5;

signals:
    void Changed();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    enum class Device { None, Mouse, Pen, Touch };

    // A press at `pos`: a tap on a control, or the start of a stroke.
    void press(Device device, QPointF pos, qreal pressure);
    void extend(Device device, QPointF pos, qreal pressure);
    void release(Device device, QPointF pos, qreal pressure);
    void beginStroke(Device device, QPointF pos, qreal pressure);
    void forgetInk();
    int candidateAt(QPointF pos) const;
    void setResult(bool has, const QString &text);
    void dropResult();
    void candidatesChanged();
    qreal baseWidth() const;
    QRectF resultRect() const;
    void paintInk(QPainter &p, const QColor &colour) const;

    QString m_fontName;
    void readAhead();
    QFuture<QList<Candidate>> currentRead();

    RecognitionQueue *m_queue = nullptr;
    // The reading of the ink at revision m_readRevision, under way or done.
    QFuture<QList<Candidate>> m_read;
    quint64 m_readRevision = ~quint64(0);
    ReadingContext m_context;
    ReadingContext m_readContext;
    QList<Candidate> m_reading;
    bool m_picked = false;
    bool m_locked = false;
    bool m_hasResult = false;
    bool m_noRecognizer = false;
    Device m_device = Device::None;
    // A press on candidate m_tapCandidate at m_tapStart, a pick if the pen
    // lifts close by, the first point of a new character if it moves on.
    int m_tapCandidate = -1;
    QPointF m_tapStart;
    qreal m_tapPressure = 0;
    int m_keyCandidate = -1;
    QString m_resultText;
    QStringList m_candidates;
    QList<Stroke> m_strokes;
    QList<QList<qreal>> m_pressures; // 0..1 per point, alongside m_strokes
    // Counts changes of the ink, so that Recognize can tell old ink from new.
    quint64 m_inkRevision = 0;
    quint64 m_recognizedRevision = ~quint64(0);
};
