// SPDX-License-Identifier: GPL-3.0-or-later
#include "recognition/zinniamodel.h"

#include <QtEndian>
#include <cstring>

bool isZinniaModelLayout(QByteArrayView bytes)
{
    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    constexpr qint64 Header = 12, Name = 16, Bias = 4, Feature = 8;
    if (size < Header)
        return false;
    const qint64 entries = qFromLittleEndian<quint32>(data + 8);
    qint64 at = Header;
    for (qint64 i = 0; i < entries; ++i) {
        if (size - at < Name + Bias + Feature || !memchr(data + at, 0, Name))
            return false;
        at += Name + Bias;
        for (;;) {
            if (size - at < Feature)
                return false;
            const qint32 index = qFromLittleEndian<qint32>(data + at);
            at += Feature;
            if (index == -1)
                break;
        }
    }
    return at == size;
}

FileBytes readZinniaModel(const QString &path, QString *why)
{
    FileView file = viewRegularFile(path, MaxZinniaModelBytes);
    if (!file.ok) {
        *why = file.error;
        return {};
    }
    if (!isZinniaModelLayout(QByteArrayView(file.bytes.data(), file.bytes.size()))) {
        *why = QStringLiteral("not a Zinnia model");
        return {};
    }
    return std::move(file.bytes);
}
