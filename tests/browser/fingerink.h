// SPDX-License-Identifier: GPL-3.0-or-later
// Strokes written with the finger through a page's own canvas, as WebDriver
// touch actions: the browser tests write 今 and 日 so.
#pragma once

#include "browser/todayink.h"
#include "browser/webdriver.h"

#include <QLineF>

namespace TodayInk {

// strokes on 256 units into the element box (a CSS selector), each point
// reached in six moves of 16 ms.
inline void writeWithFinger(WebDriver &browser, const QString &box, const QList<Polyline> &strokes)
{
    const QRectF r = browser.rect(box);
    const QString element = browser.element(box);
    QJsonArray actions;
    auto at = [&](QPointF p) {
        return QJsonObject{{"type", "pointerMove"}, {"duration", 0},
                           {"origin", QJsonObject{{WebDriver::ElementKey, element}}},
                           {"x", qRound(p.x() / 256 * r.width() - r.width() / 2)},
                           {"y", qRound(p.y() / 256 * r.height() - r.height() / 2)}};
    };
    for (const Polyline &stroke : strokes) {
        actions.append(at(stroke.first()));
        actions.append(QJsonObject{{"type", "pointerDown"}, {"button", 0}});
        for (int i = 1; i < stroke.size(); ++i) {
            const QLineF line(stroke[i - 1], stroke[i]);
            for (int step = 1; step <= 6; ++step) {
                QJsonObject move = at(line.pointAt(step / 6.0));
                move["duration"] = 16;
                actions.append(move);
            }
        }
        actions.append(QJsonObject{{"type", "pointerUp"}, {"button", 0}});
    }
    browser.session("POST", "/actions", {{"actions", QJsonArray{QJsonObject{
        {"type", "pointer"}, {"id", "finger"}, {"parameters", QJsonObject{{"pointerType", "touch"}}},
        {"actions", actions}}}}});
}

} // namespace TodayInk
