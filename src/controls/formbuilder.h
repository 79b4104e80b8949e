// SPDX-License-Identifier: GPL-3.0-or-later
// Builds a window from its design table: every control is named after its
// design name, placed in twips and put into the tab order by its tab index.
#pragma once

#include "common/twips.h"

#include <QFont>
#include <QLabel>
#include <QList>
#include <QPointer>

// Left, top, width, height in twips, relative to the client area.
struct DesignRect
{
    int left, top, width, height;
};

// The typeface of the designs at a given size in points.
QFont designFont(double pointSize);

// The twips conversion of the screen that shows (or will show) widget.
Twips twipsFor(const QWidget *widget);

// A label that sizes itself to its caption in its current font.
class AutoSizeLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setText(const QString &text);

protected:
    void changeEvent(QEvent *event) override;
};

class FormBuilder
{
public:
    explicit FormBuilder(QWidget *form) : m_form(form) {}

    enum LabelLook { Plain, WhiteBox };

    // Names, parents and places the control; tabIndex -1 keeps it out of the
    // tab order.
    template <class W>
    W *add(W *control, const char *name, DesignRect place, int tabIndex = -1)
    {
        control->setParent(m_form);
        control->setObjectName(QLatin1String(name));
        m_items.append({control, place, tabIndex});
        control->setGeometry(twipsFor(m_form).rect(place.left, place.top, place.width, place.height));
        return control;
    }

    // A label of the design: white ones have a white background and a
    // single border.
    template <class L = QLabel>
    L *label(const char *name, const QString &caption, DesignRect place, int tabIndex,
             LabelLook look, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
    {
        auto *l = add(new L, name, place, tabIndex);
        styleLabel(l, look, alignment);
        l->setText(caption);
        return l;
    }

    static void styleLabel(QLabel *label, LabelLook look, Qt::Alignment alignment);

    // Chains the controls by their tab index.
    void applyTabOrder();
    // Places every control again, for a screen of another resolution.
    void applyPlaces(const Twips &twips);

private:
    struct Item
    {
        QPointer<QWidget> widget;
        DesignRect place;
        int tabIndex;
    };
    QWidget *m_form;
    QList<Item> m_items;
};
