// SPDX-License-Identifier: GPL-3.0-or-later
#include "classgame.h"

#include "engine/random.h"
#include "host/childname.h"
#include "host/classmatch.h"
#include "host/recognitionqueues.h"
#include "host/resultsstore.h"
#include "seats/remoteseat.h"

#include <QRandomGenerator>
#include <cmath>

namespace {

// Digits of a seat's code: typed by nobody, so long enough that guessing
// one is hopeless; the seat takes only its child's device anyway.
constexpr int SeatCodeDigits = 16;

bool refuse(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

ClassGame::ClassGame(qint64 id, const QString &code, const ClassSettings &settings, WordList words,
                     ResultsStore *store, RecognitionQueues *recognition, int maxChildren, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_code(code)
    , m_settings(settings)
    , m_words(std::move(words))
    , m_store(store)
    , m_recognition(recognition)
    , m_maxChildren(maxChildren)
{
    auto random = std::make_unique<SeededRandom>();
    random->seed(QRandomGenerator::system()->generate64());
    m_random = std::move(random);
}

ClassGame::~ClassGame()
{
    clearMatches();
}

void ClassGame::setRandom(std::unique_ptr<UniformRandom> random)
{
    m_random = std::move(random);
}

const ClassGame::Child *ClassGame::child(qint64 id) const
{
    for (const Child &c : m_children) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

const ClassGame::Child *ClassGame::childByToken(const QString &token) const
{
    if (token.isEmpty())
        return nullptr;
    for (const Child &c : m_children) {
        if (c.token == token)
            return &c;
    }
    return nullptr;
}

const ClassGame::Child *ClassGame::childBySeatCode(const QString &seatCode) const
{
    if (seatCode.isEmpty())
        return nullptr;
    for (const Child &c : m_children) {
        if (c.seatCode == seatCode)
            return &c;
    }
    return nullptr;
}

ClassMatch *ClassGame::matchOf(qint64 childId) const
{
    for (ClassMatch *m : m_matches) {
        if (m->playerOf(childId))
            return m;
    }
    return nullptr;
}

RemoteSeat *ClassGame::seatOf(qint64 childId) const
{
    ClassMatch *m = matchOf(childId);
    return m ? m->seat(m->playerOf(childId)) : nullptr;
}

QString ClassGame::newToken() const
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
}

QString ClassGame::newSeatCode() const
{
    QString code;
    for (int i = 0; i < SeatCodeDigits; ++i)
        code += QChar(u'0' + QRandomGenerator::system()->bounded(10));
    return code;
}

ClassGame::Entry ClassGame::join(const QString &typedName, qint64 *childId, QString *why)
{
    if (m_phase == Phase::Closed) {
        refuse(why, QStringLiteral("this class game has ended"));
        return Entry::Closed;
    }
    const QString name = ChildName::clean(typedName, why);
    if (name.isEmpty())
        return Entry::BadName;
    const QString identity = ChildName::identity(name);
    for (const Child &c : std::as_const(m_children)) {
        if (ChildName::identity(c.name) == identity) {
            refuse(why, QStringLiteral("someone in the class has this name already"));
            return Entry::NameTaken;
        }
    }
    if (m_children.size() >= m_maxChildren) {
        refuse(why, QStringLiteral("the class is full (%1 children)").arg(m_maxChildren));
        return Entry::Full;
    }
    Child c;
    c.id = m_store ? m_store->newId(ResultsStore::Kind::Child) : (m_children.isEmpty() ? 1 : m_children.last().id + 1);
    c.name = name;
    c.token = newToken();
    c.seatCode = newSeatCode();
    m_children.append(c);
    Pairing::add(m_pairs, c.id);
    if (m_store)
        m_store->addChild(m_id, c.id, name);
    if (childId)
        *childId = c.id;
    emit changed();
    return Entry::Joined;
}

bool ClassGame::remove(qint64 childId, QString *why)
{
    if (m_phase != Phase::Lobby)
        return refuse(why, QStringLiteral("children can be taken out in the lobby only"));
    for (qsizetype i = 0; i < m_children.size(); ++i) {
        if (m_children.at(i).id != childId)
            continue;
        m_children.removeAt(i);
        Pairing::remove(m_pairs, childId);
        if (m_store)
            m_store->forgetChild(childId);
        emit changed();
        emit placesChanged();
        return true;
    }
    return refuse(why, QStringLiteral("no such child in the class"));
}

void ClassGame::lobbyLinked(qint64 childId, int delta)
{
    for (Child &c : m_children) {
        if (c.id == childId) {
            c.lobbyLinks = qMax(0, c.lobbyLinks + delta);
            emit changed();
            return;
        }
    }
}

bool ClassGame::makePairs(bool shuffle, QString *why)
{
    if (m_phase != Phase::Lobby)
        return refuse(why, QStringLiteral("pairs are made in the lobby"));
    QList<qint64> ids;
    for (const Child &c : std::as_const(m_children))
        ids.append(c.id);
    m_pairs = shuffle ? Pairing::shuffled(ids, *m_random) : Pairing::inOrder(ids);
    emit changed();
    return true;
}

bool ClassGame::swap(qint64 a, qint64 b, QString *why)
{
    if (m_phase != Phase::Lobby)
        return refuse(why, QStringLiteral("pairs are changed in the lobby"));
    if (!Pairing::swap(m_pairs, a, b))
        return refuse(why, QStringLiteral("choose two different children of the class"));
    emit changed();
    return true;
}

bool ClassGame::startAll(bool oneDeal, QString *why)
{
    if (m_phase != Phase::Lobby)
        return refuse(why, m_phase == Phase::Closed ? QStringLiteral("this class game has ended")
                                                    : QStringLiteral("release the players of the last round first"));
    if (m_pairs.isEmpty())
        return refuse(why, QStringLiteral("nobody has joined yet"));
    if (m_words.size() < Rules::WordsPerGame)
        return refuse(why, QStringLiteral("the word list has fewer than %1 words").arg(Rules::WordsPerGame));
    ++m_round;
    auto seed = [this] { return quint64(std::ldexp(m_random->next(), 53)) ^ QRandomGenerator::system()->generate64(); };
    const quint64 shared = seed();
    for (const Pair &p : std::as_const(m_pairs)) {
        QList<ClassMatch::Player> players;
        for (qint64 id : {p.first, p.second}) {
            if (const Child *c = child(id))
                players.append({c->id, c->token, c->seatCode});
        }
        if (players.isEmpty())
            continue;
        const qint64 matchId = m_store ? m_store->newId(ResultsStore::Kind::Game) : qint64(m_matches.size() + 1);
        auto *match = new ClassMatch(matchId, m_settings, m_words, m_recognition ? m_recognition->next() : nullptr,
                                     players, m_dictionary, this);
        m_matches.append(match);
        connect(match, &ClassMatch::answerJudged, this,
                [this, match](int player, const QString &word, Judgement::Outcome outcome) {
                    if (m_store)
                        m_store->recordAnswer(match->id(), player, match->childId(player), word, outcome,
                                              match->score(player), match->wrongTries(player));
                });
        connect(match, &ClassMatch::finished, this, [this, match] { matchFinished(match); });
        connect(match, &ClassMatch::changed, this, &ClassGame::changed);
    }
    m_phase = Phase::Playing;
    // Deals for all first, then every clock starts within the same moment.
    for (ClassMatch *m : std::as_const(m_matches))
        m->start(oneDeal ? shared : seed());
    // Each game's children and its words, kept for its review.
    for (ClassMatch *m : std::as_const(m_matches)) {
        if (!m_store)
            break;
        QList<qint64> ids;
        for (int player = 1; player <= m->playerCount(); ++player)
            ids.append(m->childId(player));
        m_store->startGame(m->id(), m_id, m_round, ids, m->game().pool().dealtWords());
    }
    emit placesChanged();
    emit changed();
    return true;
}

void ClassGame::matchFinished(ClassMatch *match)
{
    if (m_store) {
        QList<ResultsStore::PlayerEnd> ends;
        for (int player = 1; player <= match->playerCount(); ++player)
            ends.append({match->score(player), match->wrongTries(player), match->outcome(player)});
        m_store->finishGame(match->id(), ends);
    }
    if (m_phase == Phase::Playing) {
        bool allOver = true;
        for (ClassMatch *m : std::as_const(m_matches))
            allOver = allOver && m->isOver();
        if (allOver)
            m_phase = Phase::RoundOver;
    }
    emit changed();
}

bool ClassGame::endAll(QString *why)
{
    if (m_phase != Phase::Playing)
        return refuse(why, QStringLiteral("no round is being played"));
    const QList<ClassMatch *> running = m_matches;
    for (ClassMatch *m : running)
        m->end();
    return true;
}

bool ClassGame::release(QString *why)
{
    if (m_phase != Phase::RoundOver)
        return refuse(why, m_phase == Phase::Playing ? QStringLiteral("end the round first")
                                                     : QStringLiteral("no round to release"));
    clearMatches();
    m_phase = Phase::Lobby;
    emit placesChanged();
    emit changed();
    return true;
}

void ClassGame::clearMatches()
{
    const QList<ClassMatch *> matches = m_matches;
    m_matches.clear();
    for (ClassMatch *m : matches) {
        m->disconnect(this);
        delete m;
    }
}

void ClassGame::close()
{
    if (m_phase == Phase::Closed)
        return;
    if (m_phase == Phase::Playing)
        endAll(nullptr);
    clearMatches();
    m_phase = Phase::Closed;
    if (m_store)
        m_store->closeClassGame(m_id);
    emit placesChanged();
    emit changed();
    emit closed();
}

void ClassGame::abandon()
{
    for (ClassMatch *m : std::as_const(m_matches)) {
        if (m_store && m->isRunning())
            m_store->interruptGame(m->id());
    }
    clearMatches();
    // Closed now, not when this host starts again: another host's teacher
    // would be sent to a class game nobody serves.
    if (m_store && m_phase != Phase::Closed)
        m_store->closeClassGame(m_id);
    m_phase = Phase::Closed;
}

void ClassGame::tick()
{
    const QList<ClassMatch *> matches = m_matches;
    for (ClassMatch *m : matches)
        m->tick();
}
