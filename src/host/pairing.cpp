// SPDX-License-Identifier: GPL-3.0-or-later
#include "pairing.h"

#include "engine/random.h"

#include <cmath>

namespace Pairing {

QList<Pair> inOrder(const QList<qint64> &children)
{
    QList<Pair> pairs;
    for (qsizetype i = 0; i < children.size(); i += 2)
        pairs.append({children.at(i), i + 1 < children.size() ? children.at(i + 1) : Pair::NoOne});
    return pairs;
}

QList<Pair> shuffled(QList<qint64> children, UniformRandom &random)
{
    // Fisher-Yates, from the end.
    for (qsizetype i = children.size() - 1; i > 0; --i) {
        const auto j = qsizetype(std::floor(random.next() * double(i + 1)));
        children.swapItemsAt(i, qBound(qsizetype(0), j, i));
    }
    return inOrder(children);
}

void add(QList<Pair> &pairs, qint64 child)
{
    if (!pairs.isEmpty() && pairs.last().alone())
        pairs.last().second = child;
    else
        pairs.append({child, Pair::NoOne});
}

void remove(QList<Pair> &pairs, qint64 child)
{
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        Pair &p = pairs[i];
        if (!p.has(child))
            continue;
        const qint64 partner = p.first == child ? p.second : p.first;
        pairs.removeAt(i);
        if (partner != Pair::NoOne) {
            // The one alone, if any, now has this partner; else the partner
            // is the one alone, at the end.
            if (!pairs.isEmpty() && pairs.last().alone())
                pairs.last().second = partner;
            else
                pairs.append({partner, Pair::NoOne});
        }
        return;
    }
}

bool swap(QList<Pair> &pairs, qint64 a, qint64 b)
{
    if (a == b || a == Pair::NoOne || b == Pair::NoOne)
        return false;
    qint64 *pa = nullptr, *pb = nullptr;
    for (Pair &p : pairs) {
        for (qint64 *slot : {&p.first, &p.second}) {
            if (*slot == a)
                pa = slot;
            else if (*slot == b)
                pb = slot;
        }
    }
    if (!pa || !pb)
        return false;
    std::swap(*pa, *pb);
    return true;
}

QList<qint64> children(const QList<Pair> &pairs)
{
    QList<qint64> out;
    for (const Pair &p : pairs) {
        out.append(p.first);
        if (!p.alone())
            out.append(p.second);
    }
    return out;
}

} // namespace Pairing
