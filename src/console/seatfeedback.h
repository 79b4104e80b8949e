// SPDX-License-Identifier: GPL-3.0-or-later
// A player's feedback series as files for the seat page.
#pragma once

#include <cstdint>

class FeedbackLibrary;
class SeatFiles;

// Adds /fb/<player>/<item>.png and .wav (items 0, 1 and 2) to the page's
// files: the pictures as the player window draws them, the sounds as it
// plays them. Returns the built-in series the sparks of a right answer take.
int addSeatFeedback(SeatFiles &files, int player, FeedbackLibrary &library, int32_t series);
