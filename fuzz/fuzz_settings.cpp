// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the settings file: decoded and looked up the profile way,
// with the invariants the console relies on (a value is one line, names
// ignore letter case, the first occurrence of a key wins).
#include "common/textdecode.h"
#include "common/wapiset.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>

namespace {

void check(const QString &text, const QString &section, const QString &key)
{
    const QString value = profileLookup(text, section, key);
    if (!value.isNull() && (value.contains(u'\n') || value.contains(u'\r')))
        std::abort();
    if (profileLookup(text, section.toUpper(), key.toLower()) != value)
        std::abort();
    // A later section of the same name does not override what came first.
    const QString later = text + QStringLiteral("\n[") + section + QStringLiteral("]\n") + key + QStringLiteral("=later\n");
    if (profileLookup(later, section, key) != (value.isNull() ? QStringLiteral("later") : value))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = decodeText(bytes);
    check(text, QStringLiteral("Taruvo"), QStringLiteral("DataPath"));
    check(text, QStringLiteral("Taruvo"), QStringLiteral("FontName"));
    check(text, QStringLiteral("Taruvo"), QStringLiteral("NetSeatPort"));
    return 0;
}
