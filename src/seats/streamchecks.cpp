// SPDX-License-Identifier: GPL-3.0-or-later
#include "streamchecks.h"

bool HttpRequestCheck::feed(QByteArrayView bytes)
{
    static constexpr char Get[] = "GET ";
    static constexpr char Head[] = "HEAD ";
    for (char c : bytes) {
        if (m_failed)
            return false;
        if (m_inHead) {
            if (c == '\n') {
                // An empty line ends the head; the next byte starts a request.
                if (m_lineLength == 0) {
                    m_inHead = false;
                    m_methodLength = 0;
                    ++m_heads;
                }
                m_lineLength = 0;
            } else if (c != '\r') {
                ++m_lineLength;
            }
            continue;
        }
        // Line ends between requests are tolerated, as HTTP allows.
        if (m_methodLength == 0 && (c == '\r' || c == '\n'))
            continue;
        m_method[m_methodLength++] = c;
        const bool get = m_methodLength <= 4 && qstrncmp(m_method, Get, size_t(m_methodLength)) == 0;
        const bool head = qstrncmp(m_method, Head, size_t(m_methodLength)) == 0;
        if (!get && !head) {
            m_failed = true;
            return false;
        }
        if ((get && m_methodLength == 4) || (head && m_methodLength == 5)) {
            m_inHead = true;
            m_lineLength = m_methodLength;
            ++m_requests;
        }
    }
    return !m_failed;
}

bool WebSocketFrameCheck::feed(QByteArrayView bytes)
{
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n && !m_failed) {
        if (m_part == Part::Payload) {
            const quint64 take = qMin<quint64>(m_payloadLeft, quint64(n - i));
            m_payloadLeft -= take;
            i += qsizetype(take);
            if (m_payloadLeft == 0) {
                m_part = Part::Header;
                m_need = 2;
                m_firstSeen = false;
            }
            continue;
        }
        const unsigned char c = uchar(bytes[i++]);
        --m_need;
        switch (m_part) {
        case Part::Header:
            if (!m_firstSeen) {
                m_firstSeen = true;
                m_head = c;
                break;
            }
            ++m_frames;
            if (!(c & 0x80)) {
                m_failed = true;
                break;
            }
            m_length = c & 0x7f;
            if (m_length >= 126) {
                m_need = m_length == 126 ? 2 : 8;
                m_length = 0;
                m_part = Part::Length;
            } else {
                m_need = 4;
                m_part = Part::Mask;
            }
            break;
        case Part::Length:
            m_length = (m_length << 8) | c;
            if (m_need == 0) {
                m_need = 4;
                m_part = Part::Mask;
            }
            break;
        case Part::Mask:
            if (m_need == 0) {
                m_payloadLeft = m_length;
                m_part = Part::Payload;
                if (m_payloadLeft == 0) {
                    m_part = Part::Header;
                    m_need = 2;
                    m_firstSeen = false;
                }
            }
            break;
        case Part::Payload:
            break;
        }
        // The first message's length is known: a whole text message, and
        // small? A browser answers the server's keep-alive ping on its own,
        // even before its page has sent anything: a pong is no message.
        if (m_part == Part::Mask && m_need == 4 && !m_firstChecked && m_firstLimit != ~quint64(0)
            && !(m_head == 0x8A && m_length <= MaxControlPayload)) {
            m_firstChecked = true;
            m_failed = m_head != 0x81 || m_length > m_firstLimit;
        }
    }
    return !m_failed;
}
