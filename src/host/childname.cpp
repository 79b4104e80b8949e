// SPDX-License-Identifier: GPL-3.0-or-later
#include "childname.h"

#include <QList>

namespace {

// Every space separator (no-break, thin, ideographic ...) is a blank, so
// that none is kept at a name's ends.
bool blank(char32_t c)
{
    return c == U'\t' || QChar::category(c) == QChar::Separator_Space;
}

bool text(char32_t c)
{
    if (c == 0xFFFD || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

} // namespace

namespace ChildName {

QString clean(const QString &typed, QString *why)
{
    auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QString();
    };
    // Far longer input is refused before it is looked at closely.
    if (typed.size() > 8 * MaxLength)
        return refuse(QStringLiteral("a name has at most %1 characters").arg(MaxLength));
    QString out;
    int count = 0;
    bool pendingBlank = false;
    const QList<uint> points = typed.toUcs4();
    for (uint c : points) {
        if (blank(c)) {
            pendingBlank = count > 0;
            continue;
        }
        if (!text(c))
            return refuse(QStringLiteral("a name can only hold letters, digits and signs"));
        if (pendingBlank) {
            out += QLatin1Char(' ');
            ++count;
            pendingBlank = false;
        }
        if (c > 0xFFFF) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        ++count;
    }
    if (count == 0)
        return refuse(QStringLiteral("a name is needed"));
    if (count > MaxLength)
        return refuse(QStringLiteral("a name has at most %1 characters").arg(MaxLength));
    return out;
}

QString identity(const QString &name)
{
    QString folded = name.normalized(QString::NormalizationForm_KC).toCaseFolded();
    folded.removeIf([](QChar c) { return c.isSpace(); });
    return folded;
}

} // namespace ChildName
