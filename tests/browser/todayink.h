// SPDX-License-Identifier: GPL-3.0-or-later
// A list of eighteen words with 今日 among them, and the strokes of 今 and
// 日 in stroke order on 256 units (where KanjiVG, python3-kanjidraw, starts
// and ends each, with the corners of the hooked ones between): what the
// browser test and the seats' benchmark write through a page.
#pragma once

#include <QList>
#include <QPointF>
#include <QStringList>

namespace TodayInk {

inline const QStringList eighteen = {"今日", "学校", "先生", "電車", "花火", "山川", "天気", "水道", "名前",
                                     "自分", "時間", "世界", "言葉", "動物", "空気", "音楽", "図工", "体育"};

using Polyline = QList<QPointF>;
inline const QList<Polyline> ima = {{{115, 33}, {26, 144}}, {{118, 44}, {227, 136}}, {{91, 117}, {149, 112}},
                                    {{77, 158}, {168, 160}, {123, 221}}};
inline const QList<Polyline> hi = {{{73, 57}, {77, 209}}, {{78, 60}, {182, 58}, {184, 208}}, {{80, 129}, {183, 122}},
                                   {{80, 202}, {182, 197}}};

} // namespace TodayInk
