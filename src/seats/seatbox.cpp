// SPDX-License-Identifier: GPL-3.0-or-later
#include "seatbox.h"

namespace {

bool isOneCharacter(const QString &text)
{
    return text.toUcs4().size() == 1;
}

} // namespace

bool SeatBox::setResult(bool has, const QString &text)
{
    if (!has) {
        m_reading.clear();
        m_picked = false;
    }
    if (m_hasResult == has && m_resultText == text)
        return false;
    m_hasResult = has;
    m_resultText = text;
    return true;
}

bool SeatBox::addStroke(const Stroke &stroke)
{
    if (m_locked || stroke.isEmpty() || m_strokes.size() >= MaxStrokes)
        return false;
    m_strokes.append(stroke);
    ++m_revision;
    m_hasResult = false;
    m_resultText.clear();
    m_candidates.clear();
    m_reading.clear();
    m_picked = false;
    // Pen down is always a change, result or not.
    return true;
}

bool SeatBox::undoStroke()
{
    if (m_locked || m_strokes.isEmpty())
        return false;
    m_strokes.removeLast();
    ++m_revision;
    m_candidates.clear();
    return setResult(false, QString());
}

bool SeatBox::pickCandidate(int index)
{
    if (m_locked || !m_hasResult || index < 0 || index >= m_candidates.size())
        return false;
    const QString picked = m_candidates.takeAt(index);
    m_candidates.insert(0, m_resultText);
    m_picked = true;
    return setResult(true, picked);
}

bool SeatBox::showReading(const QString &character)
{
    if (!m_hasResult || m_picked || character == m_resultText)
        return false;
    QStringList texts;
    for (const Candidate &c : m_reading)
        texts << c.text;
    if (!texts.removeOne(character))
        return false;
    m_candidates = texts.mid(0, ShownCandidates);
    return setResult(true, character);
}

bool SeatBox::clear()
{
    m_strokes.clear();
    ++m_revision;
    ++m_epoch;
    m_candidates.clear();
    return setResult(false, QString());
}

bool SeatBox::needsReading() const
{
    return !(m_hasResult && m_recognizedRevision == m_revision) && !m_strokes.isEmpty();
}

bool SeatBox::recognizeNothing(bool recognizerAvailable)
{
    if (m_hasResult && m_recognizedRevision == m_revision)
        return false;
    if (!m_strokes.isEmpty() && !recognizerAvailable)
        m_notice = true;
    m_candidates.clear();
    return setResult(false, QString());
}

bool SeatBox::setRead(quint64 revision, const QList<Candidate> &found)
{
    if (revision != m_revision)
        return false;
    QStringList texts;
    QList<Candidate> reading;
    for (const Candidate &c : found) {
        if (isOneCharacter(c.text) && !texts.contains(c.text)) {
            texts << c.text;
            reading << c;
        }
    }
    m_recognizedRevision = m_revision;
    if (texts.isEmpty()) {
        m_candidates.clear();
        return setResult(false, QString());
    }
    m_candidates = texts.mid(1, ShownCandidates);
    m_reading = reading;
    m_picked = false;
    return setResult(true, texts.first());
}

Ink SeatBox::ink() const
{
    Ink ink;
    ink.strokes = m_strokes;
    ink.canvas = QSizeF(Canvas, Canvas);
    return ink;
}
