// SPDX-License-Identifier: GPL-3.0-or-later
// The review of a class game's game as the results keep it.
#pragma once

#include "learning/gamereview.h"

#include <QString>

struct GameRecord;
class WordDictionary;

// A kept game reviewed as the children saw it at its end: the same
// GameReview and the same HTML as the console's review, with the
// children's names. dictionary may be null (no readings).
namespace ClassReview {

PlayedGame played(const GameRecord &game);
GameReview of(const GameRecord &game, const WordDictionary *dictionary);

// One child's part, to print; empty when the child did not play the game.
QString childPage(const GameRecord &game, qint64 childId, const WordDictionary *dictionary);
// The teacher's A4 sheet of the game's words with their readings; empty
// when the game's words were not kept.
QString sheetPage(const GameRecord &game, const WordDictionary *dictionary);
QString sheetTitle(const GameRecord &game);

} // namespace ClassReview
