// SPDX-License-Identifier: GPL-3.0-or-later
#include "teacherdesk.h"

#include "host/classgame.h"
#include "host/classhost.h"
#include "host/classlistmaker.h"
#include "host/classwordlists.h"
#include "host/resultsstore.h"
#include "hostweb/classview.h"
#include "hostweb/hostsocket.h"

#include <QJsonArray>

TeacherDesk::TeacherDesk(ClassHost &host, ClassWordLists &lists, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_lists(lists)
{
    m_push.setSingleShot(true);
    m_push.setInterval(PushMs);
    connect(&m_push, &QTimer::timeout, this, &TeacherDesk::push);
    connect(&m_host, &ClassHost::classesChanged, this, [this] {
        for (ClassGame *g : m_host.classes())
            watch(g);
        pushSoon();
    });
    for (ClassGame *g : m_host.classes())
        watch(g);
}

void TeacherDesk::watch(ClassGame *game)
{
    // Connected once per class game.
    connect(game, &ClassGame::changed, this, &TeacherDesk::pushSoon, Qt::UniqueConnection);
}

QJsonObject TeacherDesk::greeting() const
{
    const HostLimits &l = m_host.limits();
    return {{QStringLiteral("t"), QStringLiteral("hello")},
            {QStringLiteral("lists"), QJsonArray::fromStringList(m_lists.bundled())},
            {QStringLiteral("saved"), QJsonArray::fromStringList(m_lists.saved())},
            {QStringLiteral("listMaker"), m_maker != nullptr && !m_lists.savedFolder().isEmpty()},
            {QStringLiteral("limits"), QJsonObject{{QStringLiteral("childrenPerClass"), l.childrenPerClass},
                                                   {QStringLiteral("children"), l.children},
                                                   {QStringLiteral("classes"), l.classes},
                                                   {QStringLiteral("timeMin"), Rules::TimeLimitMin},
                                                   {QStringLiteral("timeMax"), Rules::TimeLimitMax},
                                                   {QStringLiteral("timeStart"), Rules::TimeLimitStart},
                                                   {QStringLiteral("answersMin"), Rules::AnswerLimitMin},
                                                   {QStringLiteral("answersMax"), Rules::AnswerLimitMax},
                                                   {QStringLiteral("answersStart"), Rules::AnswerLimitStart},
                                                   {QStringLiteral("uploadBytes"), ClassWordLists::MaxUploadBytes},
                                                   {QStringLiteral("uploadPart"), TeacherMessage::MaxPartBytes},
                                                   {QStringLiteral("wordsPerGame"), Rules::WordsPerGame},
                                                   {QStringLiteral("savedLists"), ClassWordLists::MaxSaved},
                                                   {QStringLiteral("listName"), ClassWordLists::MaxNameLength},
                                                   {QStringLiteral("kanji"), ClassListMaker::MaxPastedCharacters}}},
            {QStringLiteral("problem"), m_problem},
            {QStringLiteral("waits"), m_problemWaits},
            {QStringLiteral("notice"), m_host.store() ? m_host.store()->openingNotice() : QString()}};
}

void TeacherDesk::add(HostSocket *socket)
{
    m_sockets.append(socket);
    connect(socket, &HostSocket::finished, this, [this, socket] {
        m_sockets.removeAll(socket);
        m_uploads.remove(socket);
    });
    socket->send(greeting());
    pushSoon();
}

void TeacherDesk::setProblem(const QString &problem, bool waits)
{
    if (problem == m_problem && waits == m_problemWaits)
        return;
    m_problem = problem;
    m_problemWaits = waits;
    for (HostSocket *s : std::as_const(m_sockets))
        s->send({{QStringLiteral("t"), QStringLiteral("problem")}, {QStringLiteral("problem"), m_problem},
                 {QStringLiteral("waits"), m_problemWaits}});
}

void TeacherDesk::setAlert(const QString &alert)
{
    if (alert == m_alert)
        return;
    m_alert = alert;
    pushSoon();
}

void TeacherDesk::pushSoon()
{
    if (!m_sockets.isEmpty() && !m_push.isActive())
        m_push.start();
}

void TeacherDesk::push()
{
    QJsonArray classes;
    for (const ClassGame *g : m_host.classes())
        classes.append(ClassView::dashboard(*g));
    const QJsonObject message{{QStringLiteral("t"), QStringLiteral("classes")},
                              {QStringLiteral("classes"), classes},
                              {QStringLiteral("children"), m_host.childCount()},
                              {QStringLiteral("alert"), m_alert}};
    for (HostSocket *s : std::as_const(m_sockets))
        s->send(message);
}

void TeacherDesk::done(HostSocket *socket, qint64 id, const QJsonObject &extra)
{
    QJsonObject o = extra;
    o.insert(QStringLiteral("t"), QStringLiteral("done"));
    if (id >= 0)
        o.insert(QStringLiteral("id"), double(id));
    socket->send(o);
}

void TeacherDesk::error(HostSocket *socket, qint64 id, const QString &why)
{
    QJsonObject o{{QStringLiteral("t"), QStringLiteral("error")}, {QStringLiteral("why"), why}};
    if (id >= 0)
        o.insert(QStringLiteral("id"), double(id));
    socket->send(o);
}

void TeacherDesk::handle(HostSocket *socket, const TeacherCommand &c)
{
    QString why;
    ClassGame *game = c.classId >= 0 ? m_host.byId(c.classId) : nullptr;
    const bool needsGame = c.kind == TeacherCommand::Pair || c.kind == TeacherCommand::Swap
                           || c.kind == TeacherCommand::Remove || c.kind == TeacherCommand::Start
                           || c.kind == TeacherCommand::End || c.kind == TeacherCommand::Release
                           || c.kind == TeacherCommand::Close;
    if (needsGame && !game) {
        error(socket, c.id, QStringLiteral("no such open class game"));
        return;
    }
    bool ok = true;
    switch (c.kind) {
    case TeacherCommand::Upload:
        upload(socket, c);
        return;
    case TeacherCommand::Create:
        create(socket, c);
        return;
    case TeacherCommand::Pair:
        ok = game->makePairs(c.shuffle, &why);
        break;
    case TeacherCommand::Swap:
        ok = game->swap(c.a, c.b, &why);
        break;
    case TeacherCommand::Remove:
        ok = game->remove(c.child, &why);
        break;
    case TeacherCommand::Start:
        ok = game->startAll(c.oneDeal, &why);
        break;
    case TeacherCommand::End:
        ok = game->endAll(&why);
        break;
    case TeacherCommand::Release:
        ok = game->release(&why);
        break;
    case TeacherCommand::Close:
        m_host.close(game->id());
        break;
    case TeacherCommand::Past:
        sendPast(socket);
        return;
    case TeacherCommand::Results:
        sendResults(socket, c.id, c.gameId);
        return;
    case TeacherCommand::Delete:
        if (m_host.byId(c.gameId)) {
            error(socket, c.id, QStringLiteral("close the class game before deleting it"));
            return;
        }
        if (!m_host.store() || !m_host.store()->isWritable()) {
            error(socket, c.id, QStringLiteral("the results cannot be changed: ") +
                                    (m_host.store() ? m_host.store()->problem() : QStringLiteral("no database")));
            return;
        }
        m_host.store()->deleteClassGame(c.gameId);
        done(socket, c.id);
        for (HostSocket *s : std::as_const(m_sockets))
            sendPast(s);
        return;
    case TeacherCommand::MakeList:
    case TeacherCommand::SaveList:
        makeList(socket, c);
        return;
    case TeacherCommand::DeleteList:
        deleteList(socket, c);
        return;
    case TeacherCommand::Invalid:
    case TeacherCommand::Login:
    case TeacherCommand::Logout:
    case TeacherCommand::Ping:
        return;
    }
    if (ok)
        done(socket, c.id);
    else
        error(socket, c.id, why);
    pushSoon();
}

void TeacherDesk::upload(HostSocket *socket, const TeacherCommand &c)
{
    if (c.part == 0) {
        if (!m_uploads.contains(socket) && m_uploads.size() >= MaxUploads) {
            error(socket, c.id, QStringLiteral("too many uploads at once; try again in a moment"));
            return;
        }
        m_uploads[socket] = Upload{c.fileName, QByteArray(), 0, false};
    }
    auto it = m_uploads.find(socket);
    if (it == m_uploads.end() || it->complete || c.part != it->next || c.fileName != it->name) {
        m_uploads.remove(socket);
        error(socket, c.id, QStringLiteral("the upload's parts came out of order; send the file again"));
        return;
    }
    if (it->bytes.size() + c.bytes.size() > ClassWordLists::MaxUploadBytes) {
        m_uploads.remove(socket);
        error(socket, c.id, QStringLiteral("a word list file may have at most %1 kB").arg(ClassWordLists::MaxUploadBytes / 1024));
        return;
    }
    it->bytes += c.bytes;
    ++it->next;
    it->complete = c.last;
    done(socket, c.id);
}

void TeacherDesk::create(HostSocket *socket, const TeacherCommand &c)
{
    ClassSettings settings = c.settings;
    if (c.upload) {
        const auto it = m_uploads.constFind(socket);
        if (it == m_uploads.constEnd() || !it->complete) {
            error(socket, c.id, QStringLiteral("no word list file was sent"));
            return;
        }
        settings.listName = it->name;
        const WordListFile file = ClassWordLists::readUpload(it->bytes);
        m_uploads.remove(socket);
        created(socket, c.id, settings, file);
        return;
    }
    QString why;
    // Checked before the list is read, which may take a moment.
    if (!settings.check(&why)) {
        error(socket, c.id, why);
        return;
    }
    QPointer<HostSocket> guarded(socket);
    const qint64 id = c.id;
    (c.saved ? m_lists.readSaved(settings.listName) : m_lists.readBundled(settings.listName))
        .then(this, [this, guarded, id, settings](const WordListFile &file) { created(guarded, id, settings, file); });
}

void TeacherDesk::created(QPointer<HostSocket> socket, qint64 id, ClassSettings settings, const WordListFile &file)
{
    QString why;
    ClassGame *game = nullptr;
    if (!file.ok)
        why = QStringLiteral("%1: %2").arg(settings.listName, file.error);
    else
        game = m_host.create(settings, file.words, &why);
    if (!socket)
        return;
    if (!game) {
        error(socket, id, why);
        return;
    }
    watch(game);
    done(socket, id, {{QStringLiteral("class"), double(game->id())}});
    pushSoon();
}

void TeacherDesk::refreshPast()
{
    for (HostSocket *s : std::as_const(m_sockets))
        sendPast(s);
}

void TeacherDesk::sendPast(QPointer<HostSocket> socket)
{
    if (!m_host.store()) {
        if (socket)
            socket->send(ClassView::pastGames({}, {}));
        return;
    }
    m_host.store()->classGames().then(this, [this, socket](const QList<ClassGameRecord> &games) {
        QList<qint64> open;
        for (const ClassGame *g : m_host.classes())
            open.append(g->id());
        if (socket)
            socket->send(ClassView::pastGames(games, open, m_host.route()));
    });
}

void TeacherDesk::sendResults(QPointer<HostSocket> socket, qint64 id, qint64 gameId)
{
    if (!m_host.store()) {
        error(socket, id, QStringLiteral("no results are kept"));
        return;
    }
    m_host.store()->results(gameId).then(this, [this, socket, id](const ClassResults &r) {
        if (!socket)
            return;
        if (!r.found) {
            error(socket, id, QStringLiteral("no such class game"));
            return;
        }
        QJsonObject o = ClassView::results(r);
        if (id >= 0)
            o.insert(QStringLiteral("id"), double(id));
        socket->send(o);
    });
}

QJsonObject TeacherDesk::listsMessage() const
{
    return {{QStringLiteral("t"), QStringLiteral("lists")},
            {QStringLiteral("lists"), QJsonArray::fromStringList(m_lists.bundled())},
            {QStringLiteral("saved"), QJsonArray::fromStringList(m_lists.saved())}};
}

void TeacherDesk::makeList(HostSocket *socket, const TeacherCommand &c)
{
    if (!m_maker || (c.kind == TeacherCommand::SaveList && m_lists.savedFolder().isEmpty())) {
        error(socket, c.id, QStringLiteral("this host makes no word lists"));
        return;
    }
    QString why;
    if (c.kind == TeacherCommand::SaveList && ClassWordLists::checkName(c.listName, &why).isEmpty()) {
        error(socket, c.id, why);
        return;
    }
    if (m_making >= MaxMaking) {
        error(socket, c.id, QStringLiteral("lists are being made; try again in a moment"));
        return;
    }
    ++m_making;
    QPointer<HostSocket> guarded(socket);
    // What is saved is made again here from the grades and kanji, never
    // taken from the page.
    m_maker->makeLater(c.grades, c.kanji).then(this, [this, guarded, c](const ClassListMaker::Made &made) {
        --m_making;
        if (!guarded)
            return;
        if (!made.ok) {
            error(guarded, c.id, made.error);
            return;
        }
        if (c.kind == TeacherCommand::MakeList) {
            QJsonArray suggestions;
            for (const BuiltList::Suggestion &s : made.suggestions) {
                suggestions.append(QJsonObject{{QStringLiteral("kanji"), s.kanji},
                                               {QStringLiteral("adds"), s.addedWords},
                                               {QStringLiteral("examples"), QJsonArray::fromStringList(s.examples)}});
            }
            QJsonObject o{{QStringLiteral("t"), QStringLiteral("madelist")},
                          {QStringLiteral("kanji"), made.kanji},
                          {QStringLiteral("count"), int(made.words.size())},
                          {QStringLiteral("most"), made.words.size() >= ClassListMaker::MaxWords},
                          {QStringLiteral("words"), QJsonArray::fromStringList(made.words.mid(0, ShownWords))},
                          {QStringLiteral("suggestions"), suggestions},
                          {QStringLiteral("unreadable"), made.unreadable}};
            if (c.id >= 0)
                o.insert(QStringLiteral("id"), double(c.id));
            guarded->send(o);
            return;
        }
        if (!made.enough()) {
            error(guarded, c.id,
                  QStringLiteral("%1 words; a game needs %2").arg(made.words.size()).arg(Rules::WordsPerGame));
            return;
        }
        QString why;
        if (!m_lists.save(c.listName, made.words, c.replace, &why)) {
            error(guarded, c.id, why);
            return;
        }
        done(guarded, c.id, {{QStringLiteral("list"), ClassWordLists::checkName(c.listName, nullptr)},
                             {QStringLiteral("count"), int(made.words.size())}});
        for (HostSocket *s : std::as_const(m_sockets))
            s->send(listsMessage());
    });
}

void TeacherDesk::deleteList(HostSocket *socket, const TeacherCommand &c)
{
    QString why;
    if (!m_lists.remove(c.listName, &why)) {
        error(socket, c.id, why);
        return;
    }
    done(socket, c.id);
    for (HostSocket *s : std::as_const(m_sockets))
        s->send(listsMessage());
}
