// SPDX-License-Identifier: GPL-3.0-or-later
#include "classview.h"

#include "host/classgame.h"
#include "host/classmatch.h"
#include "host/classroute.h"
#include "host/resultscsv.h"
#include "host/resultsstore.h"
#include "seats/remoteseat.h"

#include <QJsonArray>

namespace ClassView {

QString phaseName(int phase)
{
    switch (ClassGame::Phase(phase)) {
    case ClassGame::Phase::Lobby:
        return QStringLiteral("lobby");
    case ClassGame::Phase::Playing:
        return QStringLiteral("playing");
    case ClassGame::Phase::RoundOver:
        return QStringLiteral("over");
    case ClassGame::Phase::Closed:
        return QStringLiteral("closed");
    }
    return {};
}

namespace {

QString linkName(const RemoteSeat *seat)
{
    switch (seat->state()) {
    case RemoteSeat::State::Connected:
        return QStringLiteral("connected");
    case RemoteSeat::State::Dropped:
        return QStringLiteral("dropped");
    case RemoteSeat::State::Waiting:
        return QStringLiteral("waiting");
    }
    return {};
}

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

} // namespace

QJsonObject dashboard(const ClassGame &game)
{
    const ClassSettings &s = game.settings();
    QJsonArray children;
    for (const ClassGame::Child &c : game.children()) {
        const RemoteSeat *seat = game.seatOf(c.id);
        children.append(QJsonObject{{QStringLiteral("id"), double(c.id)},
                                    {QStringLiteral("name"), c.name},
                                    {QStringLiteral("where"), seat ? QStringLiteral("playing") : QStringLiteral("lobby")},
                                    {QStringLiteral("online"), seat ? seat->state() == RemoteSeat::State::Connected
                                                                    : c.lobbyLinks > 0}});
    }
    QJsonArray pairs;
    for (const Pair &p : game.pairs()) {
        QJsonArray pair{double(p.first)};
        if (!p.alone())
            pair.append(double(p.second));
        pairs.append(pair);
    }
    QJsonArray matches;
    for (const ClassMatch *m : game.matches()) {
        QJsonArray players;
        for (int player = 1; player <= m->playerCount(); ++player) {
            const ClassGame::Child *c = game.child(m->childId(player));
            players.append(QJsonObject{{QStringLiteral("child"), double(m->childId(player))},
                                       {QStringLiteral("name"), c ? c->name : QString()},
                                       {QStringLiteral("score"), m->score(player)},
                                       {QStringLiteral("wrong"), m->wrongTries(player)},
                                       {QStringLiteral("words"), QJsonArray::fromStringList(m->wordsFound(player))},
                                       {QStringLiteral("outcome"), m->outcome(player)},
                                       {QStringLiteral("link"), linkName(m->seat(player))}});
        }
        matches.append(QJsonObject{{QStringLiteral("id"), double(m->id())},
                                   {QStringLiteral("state"), m->isOver() ? QStringLiteral("over") : QStringLiteral("running")},
                                   {QStringLiteral("left"), m->secondsLeft()},
                                   {QStringLiteral("players"), players}});
    }
    return {{QStringLiteral("id"), double(game.id())},
            {QStringLiteral("name"), s.name},
            {QStringLiteral("code"), game.code()},
            {QStringLiteral("list"), s.listName},
            {QStringLiteral("words"), double(game.words().size())},
            {QStringLiteral("timeOn"), s.timeLimitOn},
            {QStringLiteral("time"), s.timeLimitSeconds},
            {QStringLiteral("answersOn"), s.answerLimitOn},
            {QStringLiteral("answers"), s.answerLimit},
            {QStringLiteral("phase"), phaseName(int(game.phase()))},
            {QStringLiteral("round"), game.round()},
            {QStringLiteral("children"), children},
            {QStringLiteral("pairs"), pairs},
            {QStringLiteral("matches"), matches}};
}

QJsonObject lobby(const ClassGame &game, qint64 childId)
{
    QString partner;
    bool alone = false;
    for (const Pair &p : game.pairs()) {
        if (!p.has(childId))
            continue;
        alone = p.alone();
        if (const ClassGame::Child *c = game.child(p.first == childId ? p.second : p.first))
            partner = c->name;
    }
    const ClassMatch *m = game.matchOf(childId);
    if (m) {
        alone = m->alone();
        partner.clear();
        if (!alone) {
            const int other = 3 - m->playerOf(childId);
            if (const ClassGame::Child *c = game.child(m->childId(other)))
                partner = c->name;
        }
    }
    return {{QStringLiteral("t"), QStringLiteral("lobby")},
            {QStringLiteral("phase"), phaseName(int(game.phase()))},
            {QStringLiteral("round"), game.round()},
            {QStringLiteral("partner"), partner},
            {QStringLiteral("alone"), alone},
            {QStringLiteral("seated"), m != nullptr},
            {QStringLiteral("children"), int(game.children().size())}};
}

QJsonObject pastGames(const QList<ClassGameRecord> &games, const QList<qint64> &open, int ownRoute)
{
    QJsonArray list;
    for (const ClassGameRecord &g : games) {
        // Open on another host behind the same proxy: the page links there.
        const bool elsewhere = !open.contains(g.id) && !g.closed.isValid() && g.route > 0 && g.route != ownRoute;
        list.append(QJsonObject{{QStringLiteral("id"), double(g.id)},
                                {QStringLiteral("elsewhere"), elsewhere ? ClassRoute::text(g.route) : QString()},
                                {QStringLiteral("name"), g.name},
                                {QStringLiteral("list"), g.listName},
                                {QStringLiteral("created"), timeText(g.created)},
                                {QStringLiteral("closed"), timeText(g.closed)},
                                {QStringLiteral("open"), open.contains(g.id)},
                                {QStringLiteral("children"), g.children},
                                {QStringLiteral("games"), g.games}});
    }
    return {{QStringLiteral("t"), QStringLiteral("past")}, {QStringLiteral("games"), list}};
}

QJsonObject results(const ClassResults &r)
{
    QJsonArray rows;
    for (const ChildResult &c : r.rows) {
        rows.append(QJsonObject{{QStringLiteral("game"), double(c.gameId)},
                                {QStringLiteral("child"), double(c.childId)},
                                {QStringLiteral("round"), c.round},
                                {QStringLiteral("name"), c.name},
                                {QStringLiteral("partner"), c.partner},
                                {QStringLiteral("words"), QJsonArray::fromStringList(c.wordsFound)},
                                {QStringLiteral("wrong"), c.wrongTries},
                                {QStringLiteral("score"), c.score},
                                {QStringLiteral("outcome"), c.outcome},
                                {QStringLiteral("outcomeText"), ResultsCsv::outcomeText(c.outcome)},
                                {QStringLiteral("state"), c.state},
                                {QStringLiteral("stateText"), ResultsCsv::stateText(c.state)}});
    }
    return {{QStringLiteral("t"), QStringLiteral("results")},
            {QStringLiteral("found"), r.found},
            {QStringLiteral("game"), QJsonObject{{QStringLiteral("id"), double(r.game.id)},
                                                 {QStringLiteral("name"), r.game.name},
                                                 {QStringLiteral("list"), r.game.listName},
                                                 {QStringLiteral("time"), r.game.timeLimitSeconds},
                                                 {QStringLiteral("answers"), r.game.answerLimit},
                                                 {QStringLiteral("created"), timeText(r.game.created)},
                                                 {QStringLiteral("closed"), timeText(r.game.closed)}}},
            {QStringLiteral("children"), QJsonArray::fromStringList(r.children)},
            {QStringLiteral("rows"), rows}};
}

} // namespace ClassView
