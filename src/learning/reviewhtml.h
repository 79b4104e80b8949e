// SPDX-License-Identifier: GPL-3.0-or-later
// A game's review as HTML: for the review window, printing, and pages.
#pragma once

#include <QString>

class GameReview;

namespace ReviewHtml {

struct Options
{
    bool meanings = false; // English meanings beside the readings
    int player = 0;        // 1 or 2: that player's part only; 0: both
    QString player1Name = QStringLiteral("Player1");
    QString player2Name = QStringLiteral("Player2");
};

// The whole review: scores and results, the game's words with readings and
// who found each, the words nobody found, other words found, wrong tries.
// Plain HTML that Qt's rich text and browsers both show.
QString review(const GameReview &review, const Options &options);

// The teacher's sheet: the game's words with their readings in large type,
// two columns for one A4 page; scale (at most 1) makes the type smaller where
// a page would not hold them.
QString sheet(const GameReview &review, const QString &title, double scale = 1.0);

} // namespace ReviewHtml
