// SPDX-License-Identifier: GPL-3.0-or-later
// The way from a seat to the device that holds it.
#pragma once

#include <QByteArray>
#include <QString>

// A device's connection as its seat sees it: messages out, and an end with
// a reason the device is told: "released" (by the operator), "resumed" (the
// device took the seat up again on another connection), "closing" (the
// seats are going away).
class SeatLink
{
public:
    virtual ~SeatLink() = default;
    virtual void send(const QByteArray &message) = 0;
    virtual void close(const QString &reason) = 0;
};
