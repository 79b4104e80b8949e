// SPDX-License-Identifier: GPL-3.0-or-later
// A child's device on its seat, writing and answering as a page would,
// with the counting recogniser: one stroke reads 今, two read 日.
#pragma once

#include "fakes/seatfakes.h"
#include "seats/remoteseat.h"
#include "seats/seatmessage.h"

#include <QtTest>

namespace ClassFakes {

inline const QStringList eighteen = {"今日", "学校", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                                     "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

inline SeatCommand command(SeatCommand::Kind kind, int box = -1)
{
    SeatCommand c;
    c.kind = kind;
    c.box = box;
    return c;
}

// Writes strokes0 strokes in the first box and strokes1 in the second,
// reads them and answers: (1, 2) answers 今日, (2, 1) 日今. False when the
// seat did not read both boxes in time.
inline bool answer(RemoteSeat &seat, int strokes0, int strokes1)
{
    seat.handle(command(SeatCommand::Erase));
    for (int box = 0; box < 2; ++box) {
        for (int i = 0; i < (box ? strokes1 : strokes0); ++i) {
            SeatCommand c = command(SeatCommand::Stroke, box);
            c.epoch = seat.box(box).epoch();
            c.points = {QPointF(100, 100 + 50 * i), QPointF(900, 120 + 50 * i)};
            seat.handle(c);
        }
    }
    seat.handle(command(SeatCommand::Recognize));
    if (!QTest::qWaitFor([&seat] { return !seat.isReading(); }, 5000))
        return false;
    if (!seat.box(0).hasResult() || !seat.box(1).hasResult())
        return false;
    seat.handle(command(SeatCommand::Answer));
    return true;
}

} // namespace ClassFakes
