// SPDX-License-Identifier: GPL-3.0-or-later
// A recogniser that reads by stroke count, one that waits to be let go, and
// a link that records what a seat sends.
#pragma once

#include "engine/recognizer.h"
#include "seats/seatlink.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <atomic>

// One stroke reads 今, two read 日, three nothing at all.
class CountingRecognizer : public Recognizer
{
public:
    QList<Candidate> classify(const Ink &ink, int count) const override
    {
        QStringList texts;
        switch (ink.strokes.size()) {
        case 1:
            texts = {"今", "令", "会", "合", "全", "金"};
            break;
        case 2:
            texts = {"日", "曰", "目"};
            break;
        default:
            break;
        }
        QList<Candidate> out;
        for (int i = 0; i < texts.size() && i < count; ++i)
            out.append({texts[i], -double(i)});
        return out;
    }
    bool isAvailable() const override { return true; }
};

// Reads like CountingRecognizer once let go, one ink per release.
class GatedRecognizer : public CountingRecognizer
{
public:
    QList<Candidate> classify(const Ink &ink, int count) const override
    {
        gate.acquire();
        return CountingRecognizer::classify(ink, count);
    }
    mutable QSemaphore gate;
};

// Reads like CountingRecognizer and lets the game's context read the two
// boxes as a pair: a board word within 3 of the two best, 2 in either box.
class PairingRecognizer : public CountingRecognizer
{
public:
    QList<Candidate> classifyInGame(const Ink &ink, int, const ReadingContext &) const override
    {
        ++inGame;
        return classify(ink, 100);
    }
    ContextMargins contextMargins() const override { return {-1, 0, 3, 2, -100}; }
    mutable std::atomic<int> inGame{0};
};

class NoRecognizer : public Recognizer
{
public:
    QList<Candidate> classify(const Ink &, int) const override { return {}; }
    bool isAvailable() const override { return false; }
};

struct RecordingLink : SeatLink
{
    QList<QJsonObject> sent;
    QString closedWith;
    void send(const QByteArray &message) override { sent.append(QJsonDocument::fromJson(message).object()); }
    void close(const QString &reason) override { closedWith = reason; }
    // The last message of a kind, empty when none.
    QJsonObject last(const QString &kind) const
    {
        for (auto it = sent.crbegin(); it != sent.crend(); ++it) {
            if (it->value("t").toString() == kind)
                return *it;
        }
        return {};
    }
};
