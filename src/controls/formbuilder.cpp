// SPDX-License-Identifier: GPL-3.0-or-later
#include "formbuilder.h"

#include "fonts.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

QFont designFont(double pointSize)
{
    QFont font(Fonts::DesignFace);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

Twips twipsFor(const QWidget *widget)
{
    const QScreen *screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()};
}

void AutoSizeLabel::setText(const QString &text)
{
    QLabel::setText(text);
    adjustSize();
}

void AutoSizeLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        adjustSize();
}

void FormBuilder::styleLabel(QLabel *label, LabelLook look, Qt::Alignment alignment)
{
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    if (look == WhiteBox) {
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::white);
        label->setPalette(palette);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
}

void FormBuilder::applyTabOrder()
{
    QList<Item> ordered;
    for (const Item &item : m_items) {
        if (item.tabIndex >= 0 && item.widget)
            ordered.append(item);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Item &a, const Item &b) { return a.tabIndex < b.tabIndex; });
    for (int i = 1; i < ordered.size(); ++i)
        QWidget::setTabOrder(ordered.at(i - 1).widget, ordered.at(i).widget);
}

void FormBuilder::applyPlaces(const Twips &twips)
{
    for (const Item &item : m_items) {
        if (item.widget) {
            const DesignRect &r = item.place;
            item.widget->setGeometry(twips.rect(r.left, r.top, r.width, r.height));
        }
    }
}
