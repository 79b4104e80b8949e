// SPDX-License-Identifier: GPL-3.0-or-later
// What the pages are told of class games, as JSON.
#pragma once

#include <QJsonObject>
#include <QList>

class ClassGame;
struct ClassGameRecord;
struct ClassResults;

namespace ClassView {

// The teacher's view of an open class game: settings, children, pairs and
// the games of the round with their scores, time left and state. Never a
// child's ink.
QJsonObject dashboard(const ClassGame &game);

// A child's view of the lobby: the phase, its partner, whether it has a
// seat in the round.
QJsonObject lobby(const ClassGame &game, qint64 childId);

// ownRoute: this host's; a class game open on a host of another route is
// linked there.
QJsonObject pastGames(const QList<ClassGameRecord> &games, const QList<qint64> &open, int ownRoute = 0);
QJsonObject results(const ClassResults &results);

QString phaseName(int phase);

} // namespace ClassView
