// SPDX-License-Identifier: GPL-3.0-or-later
#include "queuedwrite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cmath>

namespace {

const int ValueCounts[QueuedWrite::Kinds] = {0, 8, 2, 3, 1, 7, 10, 3, 2, 1, 2};
const char *const Names[QueuedWrite::Kinds] = {"a write",
                                               "a new class game",
                                               "the end of a class game",
                                               "a child's name",
                                               "taking a child out",
                                               "the start of a game",
                                               "an answer",
                                               "the end of a game",
                                               "a game interrupted",
                                               "deleting a class game",
                                               "marking the games of the last run interrupted"};

// Ids stay below 2^53, where a JSON number is still exact.
constexpr double MaxWhole = 9007199254740991.0;

QJsonValue toJson(const QVariant &v)
{
    if (v.isNull())
        return QJsonValue::Null;
    if (v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList) {
        QJsonArray a;
        for (const QVariant &item : v.toList())
            a.append(toJson(item));
        return a;
    }
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return double(v.toLongLong());
}

bool fromJson(const QJsonValue &j, QVariant *out, int depth)
{
    switch (j.type()) {
    case QJsonValue::Null:
        *out = QVariant(QMetaType::fromType<QString>());
        return true;
    case QJsonValue::String:
        *out = j.toString();
        return true;
    case QJsonValue::Double: {
        const double d = j.toDouble();
        if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > MaxWhole)
            return false;
        *out = qint64(d);
        return true;
    }
    case QJsonValue::Array: {
        if (depth > 1)
            return false;
        QVariantList list;
        for (const QJsonValue &item : j.toArray()) {
            QVariant v;
            if (!fromJson(item, &v, depth + 1))
                return false;
            list.append(v);
        }
        *out = list;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool QueuedWrite::isWellFormed() const
{
    return kind > 0 && kind < Kinds && values.size() == ValueCounts[kind];
}

const char *QueuedWrite::what() const
{
    return Names[kind > 0 && kind < Kinds ? kind : 0];
}

QByteArray QueuedWrite::encode() const
{
    QJsonArray a;
    for (const QVariant &v : values)
        a.append(toJson(v));
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

bool QueuedWrite::decode(int kind, const QByteArray &data, QueuedWrite *out)
{
    if (data.size() > MaxBytes)
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return false;
    QueuedWrite w;
    w.kind = kind;
    for (const QJsonValue &j : doc.array()) {
        QVariant v;
        if (!fromJson(j, &v, 0))
            return false;
        w.values.append(v);
    }
    if (!w.isWellFormed())
        return false;
    *out = std::move(w);
    return true;
}
