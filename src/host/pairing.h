// SPDX-License-Identifier: GPL-3.0-or-later
// Who plays whom in a round of a class.
#pragma once

#include <QList>

class UniformRandom;

// Two children by id, or one alone (second == NoOne) who plays against the
// clock.
struct Pair
{
    static constexpr qint64 NoOne = -1;
    qint64 first = NoOne;
    qint64 second = NoOne;

    bool alone() const { return second == NoOne; }
    bool has(qint64 child) const { return child != NoOne && (first == child || second == child); }
    friend bool operator==(const Pair &a, const Pair &b) { return a.first == b.first && a.second == b.second; }
};

// The pairs of a class: every child present in exactly one pair, at most
// one child alone and that one last.
namespace Pairing {

// Neighbours in the given order: 1-2, 3-4 ...; with an odd number the last
// child is alone.
QList<Pair> inOrder(const QList<qint64> &children);
// The same after shuffling the order (every order equally likely).
QList<Pair> shuffled(QList<qint64> children, UniformRandom &random);

// A child who joins after the pairs were made: partner of the one alone,
// or alone at the end.
void add(QList<Pair> &pairs, qint64 child);
// A child who leaves: its partner takes the place of the one alone (who
// then has a partner again) or becomes the one alone.
void remove(QList<Pair> &pairs, qint64 child);
// Two children change places; false when either is in no pair or they are
// the same.
bool swap(QList<Pair> &pairs, qint64 a, qint64 b);

// The children in pair order.
QList<qint64> children(const QList<Pair> &pairs);

} // namespace Pairing
