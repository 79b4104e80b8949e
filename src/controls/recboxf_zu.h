// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPolygonF>
#include <QString>
#include <QWidget>

// The handwriting box: the player writes one kanji into it and it recognises
// the ink on request. It keeps its strokes as data and paints from them.
// Changed is raised when the player starts a stroke and whenever the result
// changes.
//
// Not yet complete: ink comes from the mouse only, and Recognize has no
// recogniser behind it yet, so it never yields a result.
class RecBoxF_Zu : public QWidget
{
    Q_OBJECT
public:
    explicit RecBoxF_Zu(QWidget *parent = nullptr);

    QString BoxFontName() const { return m_fontName; }
    void setBoxFontName(const QString &name);

    // True: the box takes no ink.
    bool Locked() const { return m_locked; }
    void setLocked(bool locked);

    bool HasResult() const { return m_hasResult; }
    QString ResultText() const { return m_resultText; }

    // Recognises the ink now in the box.
    void Recognize();
    // Erases the ink and any result.
    void Clear();

    const QList<QPolygonF> &strokes() const { return m_strokes; }

    QSize sizeHint() const override { return {129, 121}; }

signals:
    void Changed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setResult(bool has, const QString &text);

    QString m_fontName;
    bool m_locked = false;
    bool m_hasResult = false;
    bool m_penDown = false;
    QString m_resultText;
    QList<QPolygonF> m_strokes;
};
