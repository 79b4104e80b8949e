// SPDX-License-Identifier: GPL-3.0-or-later
// Plays a bank's feedback sounds, one at a time, without ever blocking the caller.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>

class AudioOutput;
class QAudioSink;
class SoundSource;

// One per bank. play() only records the sound and returns; the sound
// starts from the event loop, so a button handler never waits for the
// audio system. A new sound cuts the one before: sounds never pile up, and
// several play() calls before the loop runs start only the last sound.
// Without an audio output, or when it fails, everything stays silent and
// the log gets one line for the whole program (the AudioOutput's).
//
// The output stream, once open, stays open until the bank goes, idle
// between sounds: opening and closing a stream for every answer has crashed
// inside the sound library under a quick series of answers, and a stream
// paused and resumed takes a whole sound at once, so a new one could no
// longer cut it.
class FeedbackPlayer : public QObject
{
    Q_OBJECT
public:
    // audio: the program's output; null plays nothing.
    explicit FeedbackPlayer(AudioOutput *audio, QObject *parent = nullptr);
    ~FeedbackPlayer() override;

    // pcm in FeedbackSound's sample format.
    void play(const QByteArray &pcm);
    void stop();

    // How much sound the output holds ahead: the delay with which a new
    // sound cuts the one before.
    static constexpr int BufferMs = 200;

    // The sound last started, or that would have started with an output.
    const QByteArray &current() const { return m_current; }
    // A sound is waiting for the event loop.
    bool isPending() const { return m_pending; }
    // pcm converted for an output of the given format (any channel count
    // and rate; 8, 16 or 32-bit integer or float samples).
    static QByteArray toFormat(const QByteArray &pcm, const QAudioFormat &format);

private:
    void startPending();
    bool ensureSink();

    AudioOutput *m_audio;
    QAudioSink *m_sink = nullptr;
    SoundSource *m_source = nullptr;
    QAudioFormat m_format;
    QByteArray m_next;
    QByteArray m_current;
    bool m_pending = false;
    bool m_failed = false;
};
