// SPDX-License-Identifier: GPL-3.0-or-later
// What a client may send on a connection, checked byte by byte as it comes.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// Follows the requests on one HTTP connection, however the bytes are split
// on the way: every request must start with "GET " or "HEAD " and end with
// its headers (the server answers nothing else, and such a request has no
// body). Anything else, at the start or on a kept-alive connection after
// other requests, fails the stream for good.
class HttpRequestCheck
{
public:
    // False once the stream has failed.
    bool feed(QByteArrayView bytes);
    bool failed() const { return m_failed; }
    // Requests begun so far, and whole (their head ended).
    int requests() const { return m_requests; }
    int heads() const { return m_heads; }

private:
    bool m_failed = false;
    bool m_inHead = false;
    int m_requests = 0;
    int m_heads = 0;
    // The method as far as it came, while not in the head.
    char m_method[5] = {};
    int m_methodLength = 0;
    // Characters of the current header line, carriage returns aside.
    int m_lineLength = 0;
};

// Follows the frames a client sends on a WebSocket, however the bytes are
// split: a client must mask every frame (RFC 6455, 5.1), and a server must
// close the connection on one that is not masked. The first frame may be
// bound besides: a whole text message of at most so many bytes. The
// payload is skipped, not looked at.
class WebSocketFrameCheck
{
public:
    // The first frame must be a whole text message of at most this many
    // bytes, after nothing but pongs (a browser's answer to the server's
    // ping); call before the first byte.
    void limitFirstFrame(quint64 bytes) { m_firstLimit = bytes; }
    bool feed(QByteArrayView bytes);
    bool failed() const { return m_failed; }
    // Frames whose header was read.
    qint64 frames() const { return m_frames; }

private:
    enum class Part { Header, Length, Mask, Payload };
    bool m_failed = false;
    Part m_part = Part::Header;
    // Bytes of the current part still to come, and the length as read.
    int m_need = 2;
    quint64 m_length = 0;
    quint64 m_payloadLeft = 0;
    bool m_firstSeen = false;
    // The first byte of the frame being read: FIN and opcode.
    unsigned char m_head = 0;
    qint64 m_frames = 0;
    quint64 m_firstLimit = ~quint64(0);
    bool m_firstChecked = false;
    // A control frame's payload is at most this long (RFC 6455, 5.5).
    static constexpr quint64 MaxControlPayload = 125;
};
