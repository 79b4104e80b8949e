// SPDX-License-Identifier: GPL-3.0-or-later
// What the teachers' pages may do with the class games of a host.
#pragma once

#include "engine/wordlistfile.h"
#include "hostweb/teachermessage.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class ClassGame;
class ClassHost;
class ClassListMaker;
class ClassWordLists;
class HostSocket;

// Runs the commands of teachers' pages that gave the key (the server sees
// to that): creating class games, pairing, starting, ending, releasing,
// closing, results and their deletion, and making word lists from the
// kanji a class has learned, kept for the class game form. Every page is told what it asked
// ("done" or "error" with the command's id) and, a moment after anything
// moves, the dashboard of every open class game.
class TeacherDesk : public QObject
{
    Q_OBJECT
public:
    // Dashboards go out at most this often.
    static constexpr int PushMs = 250;
    // Uploads held at once, in all.
    static constexpr int MaxUploads = 8;
    // Word lists being made at once, in all; more wait for a moment.
    static constexpr int MaxMaking = 4;
    // Words of a list made that the page is shown.
    static constexpr int ShownWords = 120;

    TeacherDesk(ClassHost &host, ClassWordLists &lists, QObject *parent = nullptr);

    // A teacher's page that gave the key: it is greeted with the lists, the
    // limits, any problem of the store, and the dashboards.
    void add(HostSocket *socket);
    void handle(HostSocket *socket, const TeacherCommand &command);
    int count() const { return int(m_sockets.size()); }
    // Where lists are made from grades and kanji; null: they are not.
    void setListMaker(ClassListMaker *maker) { m_maker = maker; }

    // A line every teacher's page shows at its top (e.g. results not kept),
    // and a warning that codes are being guessed; empty for none.
    // waits: the results are kept on the host and wait for the database.
    void setProblem(const QString &problem, bool waits = false);
    void setAlert(const QString &alert);
    // The class games changed elsewhere (another host): every page's list again.
    void refreshPast();

private:
    void create(HostSocket *socket, const TeacherCommand &command);
    void created(QPointer<HostSocket> socket, qint64 id, ClassSettings settings, const WordListFile &file);
    void upload(HostSocket *socket, const TeacherCommand &command);
    void sendPast(QPointer<HostSocket> socket);
    void sendResults(QPointer<HostSocket> socket, qint64 id, qint64 gameId);
    void makeList(HostSocket *socket, const TeacherCommand &command);
    void deleteList(HostSocket *socket, const TeacherCommand &command);
    QJsonObject listsMessage() const;
    void done(HostSocket *socket, qint64 id, const QJsonObject &extra = QJsonObject());
    void error(HostSocket *socket, qint64 id, const QString &why);
    void watch(ClassGame *game);
    void pushSoon();
    void push();
    QJsonObject greeting() const;

    struct Upload
    {
        QString name;
        QByteArray bytes;
        int next = 0;
        bool complete = false;
    };

    ClassHost &m_host;
    ClassWordLists &m_lists;
    ClassListMaker *m_maker = nullptr;
    int m_making = 0;
    QList<HostSocket *> m_sockets;
    QHash<HostSocket *, Upload> m_uploads;
    QString m_problem;
    bool m_problemWaits = false;
    QString m_alert;
    QTimer m_push;
};
