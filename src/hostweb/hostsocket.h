// SPDX-License-Identifier: GPL-3.0-or-later
// A class page's or the teacher's WebSocket, with its limits.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <memory>

class QWebSocket;

// A page's WebSocket at the host, other than a seat's (SeatConnection):
// messages of at most maxBytes, at most a rate a second with a burst, a
// deadline to say who it is, pings to see that the device is there. A
// message too large closes it; a flood is dropped with one refusal and,
// kept up, closes it too (misbehaved). Deletes itself once closed.
class HostSocket : public QObject
{
    Q_OBJECT
public:
    static constexpr int DeadlineMs = 10000;
    static constexpr int SilenceMs = 20000;
    static constexpr int MaxRefused = 100;

    HostSocket(std::unique_ptr<QWebSocket> socket, const QHostAddress &peer, int maxBytes, double perSecond,
               double burst, QObject *parent = nullptr);
    ~HostSocket() override;

    // Who is at the other end: the device's address, as the trusted proxy
    // gave it where there is one.
    QHostAddress peer() const { return m_peer; }
    QString header(const QByteArray &name) const;
    // The connection's own ends, as the listening socket knows it.
    QHostAddress socketPeer() const;
    quint16 socketPort() const;

    // It has said who it is: no deadline any more.
    void identified()
    {
        m_deadline.stop();
        m_identified = true;
    }
    bool isOpen() const { return !m_ended; }

    void send(const QJsonObject &message);
    // Tells the page why, then closes. reason: a short word the page knows.
    void refuse(const QString &reason, const QString &why);
    // A refusal of one message, the connection stays.
    void refuseMessage(const QString &why, qint64 id = -1);
    // Tells the page it is over ("closed" with reason), then closes.
    void close(const QString &reason);
    void keepAlive();
    qint64 bytesToWrite() const;

signals:
    void message(const QByteArray &utf8);
    // Flooding or too large a message: one fault before it said who it is,
    // GuardedTcpServer::CutWeight after.
    void misbehaved(int weight);
    void finished();

private:
    bool takeToken();
    void ended();
    void closeSoon();

    std::unique_ptr<QWebSocket> m_socket;
    QHostAddress m_peer;
    double m_perSecond;
    double m_burst;
    double m_tokens;
    QElapsedTimer m_bucketClock;
    QElapsedTimer m_lastHeard;
    QTimer m_deadline;
    int m_refused = 0;
    bool m_toldFlood = false;
    bool m_ended = false;
    bool m_identified = false;
};
