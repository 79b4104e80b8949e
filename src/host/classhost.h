// SPDX-License-Identifier: GPL-3.0-or-later
// Every class game a host runs at once.
#pragma once

#include "host/classgame.h"
#include "host/classsettings.h"
#include "host/recognitionqueues.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

class RecognitionQueue;
class ResultsStore;
class WordDictionary;

// The open class games of one host, each independent with a class code of
// its own, within the host's limits (class games, children in all). It
// ticks the clocks of every game and tells which characters the open word
// lists hold, so that recognition can prefer them.
//
// Signals: classesChanged when a class game opens or closes;
// preferredCharactersChanged after it, when the characters differ.
class ClassHost : public QObject
{
    Q_OBJECT
public:
    // Typed by a whole class at once, so the host allows more wrong codes
    // than a console does; the longer code makes up for it, within the
    // class games a host may open (HostLimits::MaxClasses).
    static constexpr int ClassCodeDigits = 8;

    // store may be null; recognition may be empty (nothing is read).
    ClassHost(ResultsStore *store, const QList<RecognitionQueue *> &recognition, const HostLimits &limits,
              QObject *parent = nullptr);
    // Games under way are marked interrupted.
    ~ClassHost() override;

    const HostLimits &limits() const { return m_limits; }
    // The readings of the games' reviews, for class games created after;
    // null: none. It must outlive the host.
    void setDictionary(const WordDictionary *dictionary) { m_dictionary = dictionary; }
    const WordDictionary *dictionary() const { return m_dictionary; }
    ResultsStore *store() const { return m_store; }

    // Behind a proxy: the host's route (1 to 99) begins every class code
    // made after, so that the code tells which host holds it; 0: none.
    void setRoute(int route);
    int route() const { return m_route; }
    // The digits of this host's class codes: the random ones, and the route's.
    int codeDigits() const;
    // A host that is stopping opens no more class games: the proxy sends
    // the next to another host. The games open go on until it stops.
    void setStopping(bool stopping) { m_stopping = stopping; }
    bool isStopping() const { return m_stopping; }

    // A new class game, open for joining; null with *why when the settings
    // are wrong, the list too short or the host full.
    ClassGame *create(const ClassSettings &settings, WordList words, QString *why);
    // Ends a class game and forgets it here; its results stay in the store.
    void close(qint64 id);

    const QList<ClassGame *> &classes() const { return m_classes; }
    ClassGame *byId(qint64 id) const;
    // Compared without stopping at the first difference.
    ClassGame *byCode(const QString &code) const;
    // The class game of a child known by its device's token or its seat's
    // code; null when none.
    ClassGame *byToken(const QString &token) const;
    ClassGame *bySeatCode(const QString &seatCode) const;

    // Joins a class game within the host's limit on children in all.
    ClassGame::Entry join(ClassGame *game, const QString &typedName, qint64 *childId, QString *why);
    int childCount() const;

    QSet<QString> preferredCharacters() const { return m_preferred; }

    // The host stops: every game under way is marked interrupted.
    void shutdown();

signals:
    void classesChanged();
    void preferredCharactersChanged(const QSet<QString> &characters);

private:
    QString newClassCode() const;
    void updatePreferred();

    ResultsStore *m_store;
    const WordDictionary *m_dictionary = nullptr;
    RecognitionQueues m_recognition;
    HostLimits m_limits;
    QList<ClassGame *> m_classes;
    QSet<QString> m_preferred;
    QTimer m_tick;
    qint64 m_nextId = 1; // without a store
    int m_route = 0;
    bool m_stopping = false;
};
