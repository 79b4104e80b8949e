// SPDX-License-Identifier: GPL-3.0-or-later
// The web server of a class host: the pages, the children, the teachers.
#pragma once

#include "host/teacherkey.h"
#include "seats/joinguard.h"
#include "seats/seatfiles.h"
#include "seats/seatmessage.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>

class ClassGame;
class ClassHost;
class ClassWordLists;
class GuardedTcpServer;
class HostSocket;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QUrl;
class SeatConnection;
class TeacherDesk;
struct LobbyCommand;
struct TeacherCommand;

// Serves, for GET and HEAD only: the children's class page at /, the seat
// page at /seat/, the teacher's page at /teacher/, and with the teacher's
// session a class game's results as CSV, a child's review of a game and a
// game's sheet to print; and three WebSockets,
// each only from the pages' own origin:
//  - /class/ws: a child enters a class game with its code and a name (or
//    comes back with its device's token) and is told where it stands: in
//    the lobby, or seated for a round, when its page turns to the seat.
//  - /ws: a seat's page (the console's seat page) joins its child's seat
//    with the seat's code and the device's token; nothing else.
//  - /teacher/ws: only a page that brings the teacher's session cookie
//    may do anything but give the key; giving it right yields a ticket that
//    /teacher/session turns into the cookie (HttpOnly, SameSite=Strict).
// /health answers 200 while the host serves and 503 once it is stopping,
// for a proxy's checks. Behind a proxy every address of a class carries
// its host's route as ?h=NN: a malformed one is refused, and a class code
// of another route is not counted as a guess (its host is away).
// Guessing is limited as at the seats' server (JoinGuard): typed class
// codes and keys per address, per network and in all; a seat's join, which
// needs the device's token, by its address's faults only, so that stale
// pages cannot hold up the class codes. The listening socket's checks,
// slots and byte allowances are the seats' (GuardedTcpServer): a class
// page that has entered, a seat that has joined and a teacher with the
// session keep their slots. Behind a trusted reverse proxy the device's
// address is the one the proxy gives.
class HostServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 1500;
    static constexpr int MaxPerAddress = 32;
    static constexpr int KeepAliveMs = 5000;
    // Wrong class codes of one address, and of everybody, in a minute
    // before typed codes wait; faults before an address is not accepted.
    // A class types its code at once, typos and all: more room in all than
    // a console's two seats.
    static constexpr int MaxWrongCodes = 5;
    static constexpr int MaxWrongCodesOverall = 30;
    static constexpr int MaxFaults = 3 * MaxWrongCodes;
    static constexpr int MaxWrongKeysOverall = 20;
    static constexpr const char *CookieName = "taruvo_teacher";

    HostServer(ClassHost &host, TeacherKey &key, ClassWordLists &lists, QObject *parent = nullptr);
    ~HostServer() override;

    // Requests from these addresses are a reverse proxy's: the device is
    // the last address of X-Forwarded-For, and the scheme X-Forwarded-Proto.
    void setTrustedProxies(const QList<QHostAddress> &proxies) { m_proxies = proxies; }

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QString errorString() const { return m_error; }

    TeacherSessions &sessions() { return m_sessions; }
    // Wall-clock milliseconds, as signed sessions carry them.
    static qint64 now();
    TeacherDesk &desk() { return *m_desk; }
    GuardedTcpServer *tcpServer() const { return m_tcp; }
    // Who may try class codes and join seats; who may give the key.
    JoinGuard &joinGuard() { return m_guard; }
    JoinGuard &keyGuard() { return m_keys; }
    int lobbyCount() const { return int(m_lobbies.size()); }
    int seatConnectionCount() const { return int(m_seatSockets.size()); }

    // Where the pages' feedback pictures and sounds are added (/seat/fb/...).
    SeatFiles &files() { return m_files; }

signals:
    // A signed teacher's session was ended here: the other hosts are to know.
    void sessionEnded(const QString &id, qint64 untilMs);

private:
    struct LobbyPlace
    {
        qint64 classId = 0;
        qint64 childId = 0;
        QJsonObject told; // what the page was told last
    };
    struct Request;
    class Standing;

    void serve(const QHttpServerRequest &request, QHttpServerResponder &responder);
    void respond(QHttpServerResponder &responder, int status, const QByteArray &mime, const QByteArray &body,
                 const QList<std::pair<QByteArray, QByteArray>> &extra, const QByteArray &host, bool head,
                 bool inlineStyles = false);
    void printable(QHttpServerResponder &responder, const QString &path, bool teacher, const QByteArray &host,
                   bool head);
    void takeWebSockets();
    void seatJoin(SeatConnection *connection, const SeatCommand &command);
    void lobbyCommand(HostSocket *socket, const LobbyCommand &command);
    void teacherCommand(HostSocket *socket, const TeacherCommand &command);
    void seatLobby(HostSocket *socket, ClassGame *game, qint64 childId, bool entered);
    void updateLobbies(ClassGame *game);
    void watch(ClassGame *game);
    bool teacherCookie(const QByteArray &cookieHeader) const;
    QHostAddress client(const QHostAddress &peer, const QByteArray &forwardedFor) const;
    bool proxied(const QHostAddress &peer) const;
    void updateAlert();
    // Whether the ?h= of a request is absent or well formed.
    static bool routeReadable(const QUrl &url);
    void endSession(const QByteArray &cookieHeader);

    ClassHost &m_host;
    TeacherKey &m_key;
    ClassWordLists &m_lists;
    TeacherSessions m_sessions;
    TeacherDesk *m_desk;
    SeatFiles m_files;
    QHttpServer *m_http = nullptr;
    GuardedTcpServer *m_tcp = nullptr;
    QString m_error;
    QList<QHostAddress> m_proxies;
    // Class codes, seats and every fault; the key's wrong tries.
    JoinGuard m_guard;
    JoinGuard m_keys;
    std::unique_ptr<Standing> m_standing;
    QList<SeatConnection *> m_seatSockets;
    QHash<HostSocket *, LobbyPlace> m_lobbies;
    QHash<HostSocket *, bool> m_teachers; // true once it brought the session
    QSet<const ClassGame *> m_watched;
    // Class games whose lobbies are to be told, a moment after a change.
    QSet<qint64> m_lobbiesDue;
    QTimer m_lobbyTimer;
    QTimer m_keepAlive;
};
