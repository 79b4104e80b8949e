// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessibility.h"

#include "recboxf_zu.h"
#include "resbank.h"
#include "valuelabel.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <array>

namespace {

// One candidate of a handwriting box: a button named after its character.
// It reads the box anew on every question, so it never goes stale; while
// the box shows fewer candidates it is invalid.
class CandidateAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    CandidateAccessible(RecBoxF_Zu *box, int index) : m_box(box), m_index(index) {}

    bool isValid() const override
    {
        return m_box && m_box->HasResult() && m_index < m_box->candidates().size();
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_box ? m_box->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_box ? QAccessible::queryAccessibleInterface(m_box) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        if (t == QAccessible::Name)
            return m_box->candidates().at(m_index);
        if (t == QAccessible::Description)
            return QStringLiteral("こうほ %1").arg(m_index + 1);
        return QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect r = m_box->candidateRect(m_index).toAlignedRect();
        return QRect(m_box->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.focused = m_box->hasFocus() && m_box->currentCandidate() == m_index;
        s.disabled = m_box->Locked();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString &name) override
    {
        if (!isValid())
            return;
        if (name == pressAction()) {
            m_box->pickCandidate(m_index);
        } else if (name == setFocusAction()) {
            m_box->setFocus();
            m_box->setCurrentCandidate(m_index);
        }
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<RecBoxF_Zu> m_box;
    int m_index;
};

// The handwriting box: its value is the recognised character, its children
// the candidates shown.
class RecBoxAccessible : public QAccessibleWidget
{
public:
    explicit RecBoxAccessible(RecBoxF_Zu *box) : QAccessibleWidget(box, QAccessible::Canvas) {}
    ~RecBoxAccessible() override
    {
        for (QAccessible::Id id : m_children) {
            if (id)
                QAccessible::deleteAccessibleInterface(id);
        }
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->ResultText();
        if (t == QAccessible::Description) {
            if (box()->HasResult())
                return box()->ResultText();
            if (box()->showsNotice())
                return QStringLiteral("じしょが ありません");
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return shown(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= shown())
            return nullptr;
        QAccessible::Id &id = m_children[size_t(index)];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new CandidateAccessible(box(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < shown(); ++i) {
            if (m_children[size_t(i)] && QAccessible::accessibleInterface(m_children[size_t(i)]) == child)
                return i;
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPointF local = box()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < shown(); ++i) {
            if (box()->candidateRect(i).contains(local))
                return child(i);
        }
        return nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        if (box()->hasFocus() && box()->currentCandidate() >= 0)
            return child(box()->currentCandidate());
        return QAccessibleWidget::focusChild();
    }

private:
    RecBoxF_Zu *box() const { return static_cast<RecBoxF_Zu *>(widget()); }
    int shown() const
    {
        return box()->HasResult() ? int(qMin<qsizetype>(box()->candidates().size(), RecBoxF_Zu::ShownCandidates)) : 0;
    }

    mutable std::array<QAccessible::Id, RecBoxF_Zu::ShownCandidates> m_children{};
};

// The feedback display: a picture, described by the outcome it stands for.
class ResBankAccessible : public QAccessibleWidget
{
public:
    explicit ResBankAccessible(ResBank *bank) : QAccessibleWidget(bank, QAccessible::Graphic) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || t == QAccessible::Description)
            return static_cast<ResBank *>(widget())->outcomeText();
        return QAccessibleWidget::text(t);
    }
};

// A label with a name of its own: the text is its value and description.
class ValueLabelAccessible : public QAccessibleWidget
{
public:
    explicit ValueLabelAccessible(ValueLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        const auto *label = static_cast<ValueLabel *>(widget());
        switch (t) {
        case QAccessible::Name:
            return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
        case QAccessible::Value:
            return label->text();
        case QAccessible::Description:
            return label->accessibleDescription().isEmpty() ? label->text() : label->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface *customControls(const QString &className, QObject *object)
{
    if (className == QLatin1String("RecBoxF_Zu")) {
        if (auto *box = qobject_cast<RecBoxF_Zu *>(object))
            return new RecBoxAccessible(box);
    } else if (className == QLatin1String("ResBank")) {
        if (auto *bank = qobject_cast<ResBank *>(object))
            return new ResBankAccessible(bank);
    } else if (className == QLatin1String("ValueLabel")) {
        if (auto *label = qobject_cast<ValueLabel *>(object))
            return new ValueLabelAccessible(label);
    }
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(customControls);
    }
}
