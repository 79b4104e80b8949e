// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed quantities of the game, each written once.
#pragma once

namespace Rules {

// Characters on the board: pool entries 0..35, board places 1..36.
constexpr int BoardPlaces = 36;
// Words drawn for a deal, and so the fewest a list needs to start a game.
constexpr int WordsPerGame = BoardPlaces / 2;
// A player's answer list: one slot per possible correct answer of a deal.
constexpr int AnswerSlots = BoardPlaces / 2;
constexpr int Players = 2;

// The console's clock ticks a little faster than once a second.
constexpr int ClockTickMs = 999;

// The settings panel's ranges and start values.
constexpr int TimeLimitMin = 1;
constexpr int TimeLimitMax = 600;
constexpr int TimeLimitStart = 60;
constexpr int AnswerLimitMin = 1;
constexpr int AnswerLimitMax = AnswerSlots;
constexpr int AnswerLimitStart = 5;

// Feedback items of a player's display.
enum FeedbackItem { Correct = 0, Wrong = 1, Neutral = 2 };

} // namespace Rules
