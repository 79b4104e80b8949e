// SPDX-License-Identifier: GPL-3.0-or-later
// A WebSocket client on a plain TCP socket, for what QWebSocket cannot do:
// connect from a chosen loopback address (many devices on one machine),
// send any headers (a cookie, X-Forwarded-For). Text frames only.
#pragma once

#include <QCryptographicHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <functional>

class RawWebSocket : public QObject
{
public:
    // Called for every text message, parsed.
    std::function<void(const QJsonObject &)> onMessage;

    // Connects from `from` (any loopback address) to the port on 127.0.0.1
    // and asks to upgrade at path with the given extra header lines.
    void open(const QHostAddress &from, quint16 port, const QByteArray &path, const QByteArray &headers = {})
    {
        m_socket.bind(from);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&m_socket, &QTcpSocket::connected, this, [this, path, headers] {
            m_socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                           + headers + "\r\n");
        });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, this, [this] { read(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, this, [this] { m_closed = true; });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { m_closed = true; });
    }

    bool isOpen() const { return m_upgraded && !m_closed; }
    bool isClosed() const { return m_closed; }
    bool wasUpgraded() const { return m_upgraded; }
    // How it closed: by the server's closing frame (its code), or the
    // connection's own error.
    int closeCode() const { return m_closeCode; }
    QString errorText() const { return m_socket.errorString(); }
    const QList<QJsonObject> &received() const { return m_received; }
    QJsonObject last(const QString &kind) const
    {
        for (auto it = m_received.crbegin(); it != m_received.crend(); ++it) {
            if (it->value(QStringLiteral("t")).toString() == kind)
                return *it;
        }
        return {};
    }
    qint64 bytesToWrite() const { return m_socket.bytesToWrite(); }

    void send(const QJsonObject &message) { sendText(QJsonDocument(message).toJson(QJsonDocument::Compact)); }
    void sendText(const QByteArray &payload)
    {
        QByteArray frame;
        frame.append(char(0x81));
        if (payload.size() < 126) {
            frame.append(char(0x80 | payload.size()));
        } else if (payload.size() < 65536) {
            frame.append(char(0x80 | 126));
            frame.append(char(payload.size() >> 8));
            frame.append(char(payload.size() & 0xFF));
        } else {
            frame.append(char(0x80 | 127));
            for (int shift = 56; shift >= 0; shift -= 8)
                frame.append(char((quint64(payload.size()) >> shift) & 0xFF));
        }
        const quint32 mask = QRandomGenerator::global()->generate();
        char key[4] = {char(mask >> 24), char(mask >> 16), char(mask >> 8), char(mask)};
        frame.append(key, 4);
        for (qsizetype i = 0; i < payload.size(); ++i)
            frame.append(char(payload.at(i) ^ key[i % 4]));
        m_socket.write(frame);
    }
    // Bytes as they are, frames made by hand.
    void sendRaw(const QByteArray &bytes) { m_socket.write(bytes); }
    void abort() { m_socket.abort(); }

private:
    void read()
    {
        m_buffer += m_socket.readAll();
        if (!m_upgraded) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            m_upgraded = m_buffer.startsWith("HTTP/1.1 101");
            m_buffer.remove(0, end + 4);
            if (!m_upgraded) {
                m_socket.abort();
                m_closed = true;
                return;
            }
        }
        for (;;) {
            if (m_buffer.size() < 2)
                return;
            const int opcode = uchar(m_buffer.at(0)) & 0x0F;
            quint64 length = uchar(m_buffer.at(1)) & 0x7F;
            qsizetype at = 2;
            if (length == 126) {
                if (m_buffer.size() < 4)
                    return;
                length = quint64(uchar(m_buffer.at(2))) << 8 | uchar(m_buffer.at(3));
                at = 4;
            } else if (length == 127) {
                if (m_buffer.size() < 10)
                    return;
                length = 0;
                for (int i = 0; i < 8; ++i)
                    length = length << 8 | uchar(m_buffer.at(2 + i));
                at = 10;
            }
            if (quint64(m_buffer.size() - at) < length)
                return;
            const QByteArray payload = m_buffer.mid(at, qsizetype(length));
            m_buffer.remove(0, at + qsizetype(length));
            if (opcode == 0x1) {
                const QJsonObject o = QJsonDocument::fromJson(payload).object();
                m_received.append(o);
                if (onMessage)
                    onMessage(o);
            } else if (opcode == 0x8) {
                m_closeCode = payload.size() >= 2 ? (uchar(payload.at(0)) << 8 | uchar(payload.at(1))) : 1005;
                m_closed = true;
                m_socket.disconnectFromHost();
                return;
            } else if (opcode == 0x9) {
                // A ping is answered with a pong of the same payload.
                QByteArray pong;
                pong.append(char(0x8A));
                pong.append(char(0x80 | payload.size()));
                pong.append(QByteArray(4, '\0'));
                pong.append(payload);
                m_socket.write(pong);
            }
        }
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QList<QJsonObject> m_received;
    bool m_upgraded = false;
    bool m_closed = false;
    int m_closeCode = 0;
};
