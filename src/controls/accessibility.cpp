// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessibility.h"

#include "recboxf_zu.h"
#include "resbank.h"

#include <QAccessibleWidget>

namespace {

QAccessibleInterface *customControls(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("RecBoxF_Zu"))
        return new QAccessibleWidget(widget, QAccessible::Canvas);
    if (className == QLatin1String("ResBank"))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
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
