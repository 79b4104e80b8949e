// SPDX-License-Identifier: GPL-3.0-or-later
// The console's web server for seats in browsers.
#pragma once

#include "seats/joinguard.h"
#include "seats/seatfiles.h"
#include "seats/seatmessage.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

class Game;
class GuardedTcpServer;
class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class RecognitionQueue;
class RemoteSeat;
class SeatConnection;

// Serves the seat page and takes the seats' WebSockets while it exists:
// made, it adds a seat for each player named to the game, each with a join
// code of its own (new codes every time); gone, it has stopped listening and
// the seats have left the game.
//
// Each seat has two codes: six digits to type, and a link code (the typed
// one and ten digits more) that the QR code carries. It serves nothing but
// the page's files, for GET and HEAD only. A WebSocket must come to /ws
// from the page's own origin and join with a seat's code within seconds.
// Guessing is limited (JoinGuard): an address that gives wrong codes
// several times is made to wait, and one that keeps misbehaving is not
// even accepted for a while; typed codes also wait while the whole server
// has had several wrong codes within a minute. A right code for a seat
// that another device holds is answered as a wrong one. The device that
// holds a seat comes back with its token whatever others do. Connections
// are limited in number, in what they send and in how fast
// (GuardedTcpServer, SeatConnection).
class SeatServer : public QObject
{
    Q_OBJECT
public:
    // Wrong codes from one address before it must wait, and for how long.
    static constexpr int MaxWrongCodes = 5;
    static constexpr int WrongCodeWindowMs = 60000;
    // Faults (wrong codes, tries while waiting, connections that never
    // join, messages too large, floods, cuts) after which an address is not
    // even accepted until the wait is over.
    static constexpr int MaxFaults = 3 * MaxWrongCodes;
    // Wrong codes of everybody within the window before typed codes wait:
    // about 225 guesses in a 45-minute lesson, one chance in 2,000 to hit
    // one of two seats' codes.
    static constexpr int MaxWrongCodesOverall = 5;
    // The link code: the typed code and ten digits more.
    static constexpr int LinkCodeLength = 16;
    static constexpr int KeepAliveMs = 5000;

    // recognition: may be null; each seat reads in a lane of its own, so
    // that one seat's ink cannot hold up the others' for long. game must
    // outlive the server, or be destroyed with the server's seats out of it
    // first.
    SeatServer(Game &game, RecognitionQueue *recognition, const QList<int16_t> &players,
               QObject *parent = nullptr);
    ~SeatServer() override;

    // Listens on the first free port of firstPort and the 31 after it, or
    // on any free port; false, with errorString(), when none opens.
    bool listen(const QHostAddress &address, quint16 firstPort);
    bool isListening() const;
    quint16 port() const;
    QHostAddress address() const { return m_address; }
    QString errorString() const { return m_error; }

    QList<RemoteSeat *> seats() const { return m_seats; }
    RemoteSeat *seat(int player) const;
    // The code the QR code carries for a seat (the typed code is the
    // seat's own code()); empty for a player without a seat.
    QString linkCode(int player) const { return m_linkCodes.value(player); }
    // The operator frees a seat: its device is sent away, the code stays.
    void release(int player);

    // Where the page's feedback pictures and sounds are added.
    SeatFiles &files() { return m_files; }

    // The listening socket with its limits; null until listening.
    GuardedTcpServer *tcpServer() const { return m_tcp; }
    // Who may try codes, and the wrong codes so far.
    JoinGuard &joinGuard() { return m_guard; }
    const JoinGuard &joinGuard() const { return m_guard; }

    // Connections open now (HTTP and WebSocket), WebSockets among them.
    int connectionCount() const;
    int webSocketCount() const { return int(m_connections.size()); }

    static constexpr quint16 PortsTried = 32;

signals:
    void seatStateChanged(int player);
    // A wrong code came, or a join was told to wait.
    void codesTried();

private:
    void takeWebSockets();
    void join(SeatConnection *connection, const SeatCommand &command);
    void refuseLikeWrongCode(SeatConnection *connection, JoinGuard::Offer offer);
    void serve(const QHttpServerRequest &request, QHttpServerResponder &responder);

    QPointer<Game> m_game;
    QList<RemoteSeat *> m_seats;
    SeatFiles m_files;
    QHttpServer *m_http = nullptr;
    GuardedTcpServer *m_tcp = nullptr;
    QHostAddress m_address;
    QString m_error;
    QList<SeatConnection *> m_connections;
    QTimer m_keepAlive;
    QHash<int, QString> m_linkCodes;
    JoinGuard m_guard;
    // Each seat reads its ink in a lane of its own, in turn with the others.
    std::vector<std::unique_ptr<RecognitionQueue>> m_lanes;
};
