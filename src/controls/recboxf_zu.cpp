// SPDX-License-Identifier: GPL-3.0-or-later
#include "recboxf_zu.h"

#include <QMouseEvent>
#include <QPainter>

RecBoxF_Zu::RecBoxF_Zu(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("手書き欄"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    if (locked)
        m_penDown = false;
    update();
}

void RecBoxF_Zu::Recognize()
{
    // No recogniser yet: whatever the ink, nothing usable comes out.
    setResult(false, QString());
}

void RecBoxF_Zu::Clear()
{
    m_penDown = false;
    const bool hadInk = !m_strokes.isEmpty();
    m_strokes.clear();
    setResult(false, QString());
    if (hadInk)
        update();
}

void RecBoxF_Zu::setResult(bool has, const QString &text)
{
    if (m_hasResult == has && m_resultText == text)
        return;
    m_hasResult = has;
    m_resultText = text;
    update();
    emit Changed();
}

void RecBoxF_Zu::mousePressEvent(QMouseEvent *event)
{
    if (m_locked || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_penDown = true;
    m_strokes.append(QPolygonF{event->position()});
    update();
    emit Changed();
}

void RecBoxF_Zu::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_penDown || m_locked || m_strokes.isEmpty())
        return;
    m_strokes.last().append(event->position());
    update();
}

void RecBoxF_Zu::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_penDown)
        return;
    m_penDown = false;
    if (!m_locked && !m_strokes.isEmpty())
        m_strokes.last().append(event->position());
    update();
}

void RecBoxF_Zu::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), m_locked ? QColor(244, 244, 236) : QColor(255, 255, 192));
    p.setPen(QPen(QColor(0, 0, 255), 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    // A light cross guide helps children place the character.
    QPen guide(QColor(0, 170, 0, 90), 1, Qt::DashLine);
    p.setPen(guide);
    p.drawLine(QPointF(width() / 2.0, 0), QPointF(width() / 2.0, height()));
    p.drawLine(QPointF(0, height() / 2.0), QPointF(width(), height() / 2.0));

    const qreal side = qMin(width(), height());
    QPen ink(QColor(20, 20, 20), qMax<qreal>(2.0, side / 40.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    for (const QPolygonF &stroke : m_strokes) {
        if (stroke.size() == 1)
            p.drawPoint(stroke.first());
        else
            p.drawPolyline(stroke);
    }
}
