// SPDX-License-Identifier: GPL-3.0-or-later
// Ink capture, drawing and recognition of the handwriting box.
#include "recboxf_zu.h"

#include "controls/fonts.h"
#include "engine/recognitionqueue.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabletEvent>
#include <QTouchEvent>

namespace {

// Mouse and finger carry no pressure: they draw as a pen pressed halfway.
constexpr qreal DefaultPressure = 0.5;
constexpr int RecognizedCount = 1 + RecBoxF_Zu::ShownCandidates;

bool isOneCharacter(const QString &text)
{
    return text.toUcs4().size() == 1;
}

} // namespace

RecBoxF_Zu::RecBoxF_Zu(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("手書き欄"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AcceptTouchEvents);
}

void RecBoxF_Zu::setBoxFontName(const QString &name)
{
    m_fontName = name;
    update();
}

void RecBoxF_Zu::setLocked(bool locked)
{
    if (m_locked == locked)
        return;
    m_locked = locked;
    if (locked) {
        m_device = Device::None;
        m_tapCandidate = -1;
    }
    update();
}

void RecBoxF_Zu::Recognize()
{
    // A stroke still being written ends here.
    m_device = Device::None;
    m_tapCandidate = -1;
    if (m_hasResult && m_recognizedRevision == m_inkRevision)
        return;
    if (m_strokes.isEmpty()) {
        dropResult();
        return;
    }
    if (!m_queue || !m_queue->isAvailable()) {
        m_noRecognizer = true;
        dropResult();
        update();
        return;
    }
    QStringList texts;
    QFuture<QList<Candidate>> read = currentRead();
    read.waitForFinished();
    const QList<Candidate> found = read.resultCount() > 0 ? read.result() : QList<Candidate>();
    QList<Candidate> reading;
    for (const Candidate &c : found) {
        if (isOneCharacter(c.text) && !texts.contains(c.text)) {
            texts << c.text;
            reading << c;
        }
    }
    m_recognizedRevision = m_inkRevision;
    if (texts.isEmpty()) {
        dropResult();
        return;
    }
    m_reading = reading;
    m_picked = false;
    m_candidates = texts.mid(1, ShownCandidates);
    m_keyCandidate = -1;
    candidatesChanged();
    setResult(true, texts.first());
    update();
}

QFuture<QList<Candidate>> RecBoxF_Zu::currentRead()
{
    if (m_readRevision != m_inkRevision || !m_read.isValid() || m_readContext != m_context)
        readAhead();
    return m_read;
}

void RecBoxF_Zu::showReading(const QString &character)
{
    if (!m_hasResult || m_picked || character == m_resultText)
        return;
    QStringList texts;
    for (const Candidate &c : m_reading)
        texts << c.text;
    if (!texts.removeOne(character))
        return;
    m_candidates = texts.mid(0, ShownCandidates);
    m_keyCandidate = -1;
    candidatesChanged();
    setResult(true, character);
}

void RecBoxF_Zu::readAhead()
{
    if (!m_queue || m_strokes.isEmpty())
        return;
    Ink ink;
    ink.strokes = m_strokes;
    ink.canvas = QSizeF(qMax(1, width()), qMax(1, height()));
    m_read = m_queue->submit(ink, RecognizedCount + 4, m_context);
    m_readRevision = m_inkRevision;
    m_readContext = m_context;
}

void RecBoxF_Zu::Clear()
{
    m_device = Device::None;
    m_tapCandidate = -1;
    const bool hadInk = !m_strokes.isEmpty();
    forgetInk();
    if (hadInk)
        update();
}

void RecBoxF_Zu::forgetInk()
{
    m_strokes.clear();
    m_pressures.clear();
    ++m_inkRevision;
    dropResult();
}

void RecBoxF_Zu::undoStroke()
{
    if (m_locked || m_strokes.isEmpty())
        return;
    m_device = Device::None;
    m_tapCandidate = -1;
    m_strokes.removeLast();
    m_pressures.removeLast();
    ++m_inkRevision;
    dropResult();
    update();
}

void RecBoxF_Zu::pickCandidate(int index)
{
    if (m_locked || !m_hasResult || index < 0 || index >= m_candidates.size())
        return;
    const QString picked = m_candidates.takeAt(index);
    m_candidates.insert(0, m_resultText);
    m_picked = true;
    candidatesChanged();
    setResult(true, picked);
}

void RecBoxF_Zu::setCurrentCandidate(int index)
{
    const int current = m_hasResult && index >= 0 && index < m_candidates.size() ? index : -1;
    if (current == m_keyCandidate)
        return;
    m_keyCandidate = current;
    update();
    if (current >= 0 && hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(current);
        QAccessible::updateAccessibility(&focus);
    }
}

void RecBoxF_Zu::setResult(bool has, const QString &text)
{
    if (m_hasResult == has && m_resultText == text)
        return;
    m_hasResult = has;
    m_resultText = text;
    if (!has)
        m_keyCandidate = -1;
    update();
    // Screen readers read the result as the box's value.
    QAccessibleValueChangeEvent value(this, text);
    QAccessible::updateAccessibility(&value);
    emit Changed();
}

void RecBoxF_Zu::dropResult()
{
    m_reading.clear();
    m_picked = false;
    m_candidates.clear();
    candidatesChanged();
    setResult(false, QString());
}

void RecBoxF_Zu::candidatesChanged()
{
    if (m_keyCandidate >= m_candidates.size())
        m_keyCandidate = -1;
    // The candidates are the box's accessible children.
    QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&reorder);
}

qreal RecBoxF_Zu::baseWidth() const
{
    return qMax<qreal>(2.0, qMin(width(), height()) / 28.0);
}

QRectF RecBoxF_Zu::undoRect() const
{
    const qreal side = qBound<qreal>(14, qMin(width(), height()) / 6.0, 44);
    return QRectF(width() - side - 2, 2, side, side);
}

QRectF RecBoxF_Zu::candidateRect(int index) const
{
    const qreal cell = width() / qreal(ShownCandidates);
    const qreal strip = qBound<qreal>(14, qMin(width(), height()) / 5.0, 80);
    return QRectF(index * cell, height() - strip, cell, strip);
}

QRectF RecBoxF_Zu::resultRect() const
{
    return QRectF(0, 0, width(), candidateRect(0).top());
}

qreal RecBoxF_Zu::tapTravel() const
{
    const QRectF tile = candidateRect(0);
    return qMax<qreal>(4, qMin(tile.width(), tile.height()) / 3);
}

int RecBoxF_Zu::candidateAt(QPointF pos) const
{
    if (!m_hasResult)
        return -1;
    for (int i = 0; i < m_candidates.size(); ++i) {
        if (candidateRect(i).contains(pos))
            return i;
    }
    return -1;
}

// Input from the three devices meets here.

void RecBoxF_Zu::press(Device device, QPointF pos, qreal pressure)
{
    if (m_locked || m_device != Device::None)
        return;
    if (!m_strokes.isEmpty() && undoRect().contains(pos)) {
        undoStroke();
        return;
    }
    // On a candidate, wait: lifted close by it is a pick, moved on it writes.
    if (const int tile = candidateAt(pos); tile >= 0) {
        m_device = device;
        m_tapCandidate = tile;
        m_tapStart = pos;
        m_tapPressure = pressure;
        update(candidateRect(tile).toAlignedRect());
        return;
    }
    beginStroke(device, pos, pressure);
}

void RecBoxF_Zu::beginStroke(Device device, QPointF pos, qreal pressure)
{
    // Ink on a result is a new character, never more strokes of the old
    // one, which the result hides: the old ink and result go first.
    if (m_hasResult) {
        m_strokes.clear();
        m_pressures.clear();
    }
    m_device = device;
    m_strokes.append(Stroke{pos});
    m_pressures.append(QList<qreal>{pressure});
    ++m_inkRevision;
    // New ink makes an old result stale; one Changed covers both.
    const bool hadResult = m_hasResult;
    m_hasResult = false;
    m_resultText.clear();
    m_keyCandidate = -1;
    m_candidates.clear();
    m_reading.clear();
    m_picked = false;
    if (hadResult) {
        candidatesChanged();
        QAccessibleValueChangeEvent value(this, QString());
        QAccessible::updateAccessibility(&value);
    }
    update();
    emit Changed();
}

void RecBoxF_Zu::extend(Device device, QPointF pos, qreal pressure)
{
    if (m_device != device || m_locked)
        return;
    if (m_tapCandidate >= 0) {
        if (QLineF(m_tapStart, pos).length() <= tapTravel())
            return;
        // The pen moved on from the candidate: it writes a new character.
        update(candidateRect(m_tapCandidate).toAlignedRect());
        m_tapCandidate = -1;
        beginStroke(device, m_tapStart, m_tapPressure);
    }
    if (m_strokes.isEmpty())
        return;
    if (m_strokes.last().last() == pos)
        return;
    const QPointF previous = m_strokes.last().last();
    m_strokes.last().append(pos);
    m_pressures.last().append(pressure);
    ++m_inkRevision;
    const qreal margin = baseWidth() * 2 + 2;
    update(QRectF(previous, pos).normalized().adjusted(-margin, -margin, margin, margin).toAlignedRect());
}

void RecBoxF_Zu::release(Device device, QPointF pos, qreal pressure)
{
    if (m_device != device)
        return;
    if (m_tapCandidate >= 0 && QLineF(m_tapStart, pos).length() <= tapTravel()) {
        const int tile = m_tapCandidate;
        m_tapCandidate = -1;
        m_device = Device::None;
        pickCandidate(tile);
        return;
    }
    extend(device, pos, pressure);
    m_device = Device::None;
    readAhead();
}

void RecBoxF_Zu::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    press(Device::Mouse, event->position(), DefaultPressure);
}

void RecBoxF_Zu::mouseMoveEvent(QMouseEvent *event)
{
    extend(Device::Mouse, event->position(), DefaultPressure);
}

void RecBoxF_Zu::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        release(Device::Mouse, event->position(), DefaultPressure);
}

void RecBoxF_Zu::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A quick second click arrives as this event instead of a press: it is
    // a press like any other (children tap fast).
    mousePressEvent(event);
}

void RecBoxF_Zu::tabletEvent(QTabletEvent *event)
{
    // Accepted, so that no mouse event is made up from the pen as well.
    event->accept();
    const qreal pressure = qBound<qreal>(0, event->pressure(), 1);
    switch (event->type()) {
    case QEvent::TabletPress:
        press(Device::Pen, event->position(), pressure);
        break;
    case QEvent::TabletMove:
        extend(Device::Pen, event->position(), pressure);
        break;
    case QEvent::TabletRelease:
        release(Device::Pen, event->position(), pressure);
        break;
    default:
        break;
    }
}

bool RecBoxF_Zu::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        auto *touch = static_cast<QTouchEvent *>(event);
        event->accept();
        // A cancelled touch picks nothing.
        if (touch->points().isEmpty() || (event->type() == QEvent::TouchCancel && m_tapCandidate >= 0)) {
            if (m_device == Device::Touch) {
                m_device = Device::None;
                m_tapCandidate = -1;
                update();
            }
            return true;
        }
        // One finger writes; a second one resting on the glass is ignored.
        const QPointF pos = touch->points().first().position();
        if (event->type() == QEvent::TouchBegin)
            press(Device::Touch, pos, DefaultPressure);
        else if (event->type() == QEvent::TouchUpdate)
            extend(Device::Touch, pos, DefaultPressure);
        else
            release(Device::Touch, pos, DefaultPressure);
        return true;
    }
    default:
        return QWidget::event(event);
    }
}

void RecBoxF_Zu::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        undoStroke();
        event->accept();
        return;
    }
    if (!m_locked && m_hasResult && !m_candidates.isEmpty() && event->modifiers() == Qt::NoModifier) {
        const int last = int(m_candidates.size()) - 1;
        switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
            setCurrentCandidate(qMin(m_keyCandidate + 1, last));
            return;
        case Qt::Key_Left:
        case Qt::Key_Up:
            setCurrentCandidate(qMax(m_keyCandidate - 1, 0));
            return;
        case Qt::Key_Home:
            setCurrentCandidate(0);
            return;
        case Qt::Key_End:
            setCurrentCandidate(last);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (m_keyCandidate >= 0) {
                pickCandidate(m_keyCandidate);
                return;
            }
            break;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

bool RecBoxF_Zu::focusNextPrevChild(bool next)
{
    // Tab goes through the candidates before it leaves the box.
    if (!m_locked && m_hasResult && !m_candidates.isEmpty()) {
        if (next && m_keyCandidate < m_candidates.size() - 1) {
            setCurrentCandidate(m_keyCandidate + 1);
            return true;
        }
        if (!next && m_keyCandidate >= 0) {
            setCurrentCandidate(m_keyCandidate - 1);
            return true;
        }
    }
    setCurrentCandidate(-1);
    return QWidget::focusNextPrevChild(next);
}

void RecBoxF_Zu::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void RecBoxF_Zu::resizeEvent(QResizeEvent *event)
{
    // The ink stays where it was written relative to the box.
    const QSize old = event->oldSize();
    if (old.width() > 0 && old.height() > 0 && !m_strokes.isEmpty()) {
        const qreal sx = qreal(width()) / old.width();
        const qreal sy = qreal(height()) / old.height();
        for (Stroke &s : m_strokes) {
            for (QPointF &p : s)
                p = QPointF(p.x() * sx, p.y() * sy);
        }
    }
    QWidget::resizeEvent(event);
}

// Drawing.

void RecBoxF_Zu::paintInk(QPainter &p, const QColor &colour) const
{
    const qreal base = baseWidth();
    for (int s = 0; s < m_strokes.size(); ++s) {
        const Stroke &stroke = m_strokes[s];
        const QList<qreal> &pressure = m_pressures[s];
        auto widthAt = [&](int i) { return base * (0.45 + 1.1 * pressure.value(i, DefaultPressure)); };
        if (stroke.size() == 1) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            const qreal r = widthAt(0) / 2;
            p.drawEllipse(stroke.first(), r, r);
            continue;
        }
        for (int i = 1; i < stroke.size(); ++i) {
            p.setPen(QPen(colour, (widthAt(i - 1) + widthAt(i)) / 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawLine(stroke[i - 1], stroke[i]);
        }
    }
}

void RecBoxF_Zu::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), m_locked ? QColor(244, 244, 236) : QColor(255, 255, 236));

    // A light grid: the centre cross and the quarter lines help children
    // place and size the character.
    const qreal w = width(), h = height();
    p.setPen(QPen(QColor(0, 150, 0, 70), 1, Qt::DashLine));
    p.drawLine(QPointF(w / 2, 0), QPointF(w / 2, h));
    p.drawLine(QPointF(0, h / 2), QPointF(w, h / 2));
    p.setPen(QPen(QColor(0, 150, 0, 35), 1, Qt::DotLine));
    for (qreal f : {0.25, 0.75}) {
        p.drawLine(QPointF(w * f, 0), QPointF(w * f, h));
        p.drawLine(QPointF(0, h * f), QPointF(w, h * f));
    }
    p.setPen(QPen(QColor(0, 0, 255), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));

    // Faded behind a result: a light opaque grey, since overlapping
    // translucent segments would show beads at every joint.
    paintInk(p, m_hasResult ? QColor(200, 200, 200) : QColor(20, 20, 20));

    QFont font(m_fontName.isEmpty() ? Fonts::DesignFace : m_fontName);
    if (m_hasResult) {
        const QRectF area = resultRect();
        font.setPixelSize(qMax(8, int(qMin(area.width(), area.height()) * 0.8)));
        p.setFont(font);
        p.setPen(QColor(0, 0, 120));
        p.drawText(area, Qt::AlignCenter, m_resultText);

        font.setPixelSize(qMax(7, int(candidateRect(0).height() * 0.7)));
        p.setFont(font);
        for (int i = 0; i < m_candidates.size(); ++i) {
            const QRectF cell = candidateRect(i).adjusted(1, 1, -1, -1);
            const bool keyed = i == m_keyCandidate && hasFocus();
            p.setPen(keyed ? QPen(QColor(0, 0, 200), 2.5) : QPen(QColor(0, 0, 255, 90), 1));
            p.setBrush(i == m_tapCandidate ? QColor(190, 205, 255) : QColor(230, 238, 255));
            p.drawRoundedRect(cell, 3, 3);
            p.setPen(QColor(30, 30, 30));
            p.drawText(cell, Qt::AlignCenter, m_candidates[i]);
        }
    } else if (m_noRecognizer) {
        font.setPixelSize(qMax(7, int(candidateRect(0).height() * 0.5)));
        p.setFont(font);
        p.setPen(QColor(160, 0, 0));
        p.drawText(candidateRect(0).united(candidateRect(ShownCandidates - 1)), Qt::AlignCenter,
                   QStringLiteral("じしょが ありません"));
    }

    if (!m_strokes.isEmpty() && !m_locked) {
        // The undo control: a small hooked arrow in the corner.
        const QRectF r = undoRect().adjusted(2, 2, -2, -2);
        p.setPen(QPen(QColor(0, 0, 160, 150), qMax<qreal>(1.5, r.width() / 10), Qt::SolidLine, Qt::RoundCap));
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(r);
        QPainterPath arrow;
        const QRectF arc = r.adjusted(r.width() * 0.25, r.height() * 0.28, -r.width() * 0.25, -r.height() * 0.22);
        arrow.arcMoveTo(arc, 160);
        arrow.arcTo(arc, 160, -250);
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        QPointF tip;
        {
            QPainterPath start;
            start.arcMoveTo(arc, 160);
            tip = start.currentPosition();
        }
        const qreal a = r.width() * 0.16;
        p.drawLine(tip, tip + QPointF(a, -a * 0.2));
        p.drawLine(tip, tip + QPointF(a * 0.1, -a));
    }
}
