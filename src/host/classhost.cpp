// SPDX-License-Identifier: GPL-3.0-or-later
#include "classhost.h"

#include "host/classroute.h"
#include "host/resultsstore.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

constexpr quint32 codeSpace()
{
    quint32 n = 1;
    for (int i = 0; i < ClassHost::ClassCodeDigits; ++i)
        n *= 10;
    return n;
}
constexpr quint32 CodeSpace = codeSpace();

bool sameCode(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    ushort diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a.at(i).unicode() ^ b.at(i).unicode();
    return diff == 0;
}

} // namespace

ClassHost::ClassHost(ResultsStore *store, const QList<RecognitionQueue *> &recognition, const HostLimits &limits,
                     QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_recognition(recognition)
    , m_limits(limits)
{
    m_limits.classes = std::clamp(m_limits.classes, 1, HostLimits::MaxClasses);
    m_tick.setInterval(Rules::ClockTickMs);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        const QList<ClassGame *> open = m_classes;
        for (ClassGame *g : open)
            g->tick();
    });
    m_tick.start();
}

ClassHost::~ClassHost()
{
    shutdown();
}

void ClassHost::shutdown()
{
    m_tick.stop();
    const QList<ClassGame *> open = m_classes;
    m_classes.clear();
    for (ClassGame *g : open) {
        g->disconnect(this);
        g->abandon();
        delete g;
    }
}

void ClassHost::setRoute(int route)
{
    m_route = route >= ClassRoute::Lowest && route <= ClassRoute::Highest ? route : 0;
}

int ClassHost::codeDigits() const
{
    return ClassCodeDigits + (m_route ? ClassRoute::Digits : 0);
}

QString ClassHost::newClassCode() const
{
    // The route is no secret: the random digits stay as many as without it.
    for (;;) {
        const quint32 n = QRandomGenerator::system()->bounded(CodeSpace);
        const QString code = ClassRoute::text(m_route) + QStringLiteral("%1").arg(n, ClassCodeDigits, 10, QLatin1Char('0'));
        if (!byCode(code))
            return code;
    }
}

ClassGame *ClassHost::create(const ClassSettings &settings, WordList words, QString *why)
{
    if (!settings.check(why))
        return nullptr;
    if (words.size() < Rules::WordsPerGame) {
        if (why)
            *why = QStringLiteral("%1: %2 words; a game needs %3").arg(settings.listName).arg(words.size()).arg(Rules::WordsPerGame);
        return nullptr;
    }
    if (m_stopping) {
        if (why)
            *why = QStringLiteral("this host is stopping; open the teacher's page again to be served by another");
        return nullptr;
    }
    if (m_classes.size() >= m_limits.classes) {
        if (why)
            *why = QStringLiteral("this host runs %1 class games at most; close one first").arg(m_limits.classes);
        return nullptr;
    }
    ClassSettings s = settings;
    s.name = s.name.trimmed();
    const qint64 id = m_store ? m_store->newId(ResultsStore::Kind::ClassGame) : m_nextId++;
    if (m_store) {
        ClassGameRecord r;
        r.id = id;
        r.name = s.name;
        r.listName = s.listName;
        r.timeLimitSeconds = s.timeLimitOn ? s.timeLimitSeconds : 0;
        r.answerLimit = s.answerLimitOn ? s.answerLimit : 0;
        r.created = QDateTime::currentDateTimeUtc();
        m_store->addClassGame(r);
    }
    auto *game = new ClassGame(id, newClassCode(), s, std::move(words), m_store, &m_recognition,
                               m_limits.childrenPerClass, this);
    game->setDictionary(m_dictionary);
    m_classes.append(game);
    updatePreferred();
    emit classesChanged();
    return game;
}

void ClassHost::close(qint64 id)
{
    ClassGame *game = byId(id);
    if (!game)
        return;
    m_classes.removeAll(game);
    game->close();
    game->disconnect(this);
    game->deleteLater();
    updatePreferred();
    emit classesChanged();
}

ClassGame *ClassHost::byId(qint64 id) const
{
    for (ClassGame *g : m_classes) {
        if (g->id() == id)
            return g;
    }
    return nullptr;
}

ClassGame *ClassHost::byCode(const QString &code) const
{
    ClassGame *found = nullptr;
    for (ClassGame *g : m_classes) {
        if (sameCode(g->code(), code))
            found = g;
    }
    return found;
}

ClassGame *ClassHost::byToken(const QString &token) const
{
    for (ClassGame *g : m_classes) {
        if (g->childByToken(token))
            return g;
    }
    return nullptr;
}

ClassGame *ClassHost::bySeatCode(const QString &seatCode) const
{
    for (ClassGame *g : m_classes) {
        if (g->childBySeatCode(seatCode))
            return g;
    }
    return nullptr;
}

ClassGame::Entry ClassHost::join(ClassGame *game, const QString &typedName, qint64 *childId, QString *why)
{
    if (childCount() >= m_limits.children) {
        if (why)
            *why = QStringLiteral("this host has %1 children already; no more can join").arg(m_limits.children);
        return ClassGame::Entry::Full;
    }
    return game->join(typedName, childId, why);
}

int ClassHost::childCount() const
{
    int n = 0;
    for (ClassGame *g : m_classes)
        n += int(g->children().size());
    return n;
}

void ClassHost::updatePreferred()
{
    QSet<QString> characters;
    for (ClassGame *g : std::as_const(m_classes))
        characters.unite(g->words().distinctCharacters());
    if (characters == m_preferred)
        return;
    m_preferred = characters;
    emit preferredCharactersChanged(m_preferred);
}
