// SPDX-License-Identifier: GPL-3.0-or-later
#include "fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLoggingCategory>
#include <QStringList>

namespace {

const QStringList minchoFaces = {
    QStringLiteral("IPAMincho"), QStringLiteral("IPAexMincho"), QStringLiteral("IPAPMincho"),
    QStringLiteral("Noto Serif CJK JP"), QStringLiteral("Source Han Serif JP"),
    QStringLiteral("TakaoMincho"), QStringLiteral("Sawarabi Mincho"),
};
const QStringList gothicFaces = {
    QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"), QStringLiteral("IPAPGothic"),
    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Source Han Sans JP"),
    QStringLiteral("TakaoGothic"), QStringLiteral("VL Gothic"),
};

bool looksGothic(const QString &name)
{
    static const QStringList marks = {
        QStringLiteral("ゴシック"), QStringLiteral("ｺﾞｼｯｸ"), QStringLiteral("gothic"),
        QStringLiteral("メイリオ"), QStringLiteral("meiryo"), QStringLiteral("sans"),
    };
    for (const QString &mark : marks) {
        if (name.contains(mark, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QStringList installed(const QStringList &faces)
{
    QStringList found;
    for (const QString &face : faces) {
        if (QFontDatabase::hasFamily(face))
            found << face;
    }
    return found;
}

} // namespace

QString Fonts::mapToInstalled(const QString &name)
{
    if (name.isEmpty() || QFontDatabase::hasFamily(name))
        return name;

    // Prefer the style the name asks for, then the other one, then any face
    // that claims Japanese: a wrong style beats boxes.
    QStringList faces = looksGothic(name) ? installed(gothicFaces) + installed(minchoFaces)
                                          : installed(minchoFaces) + installed(gothicFaces);
    if (faces.isEmpty())
        faces = QFontDatabase::families(QFontDatabase::Japanese);
    if (faces.isEmpty()) {
        qWarning("taruvo: no Japanese font is installed; kanji may show as boxes "
                 "(install fonts-ipafont-mincho)");
        return QFontInfo(QFont(name)).family();
    }
    if (QFont::substitutes(name) != faces)
        QFont::insertSubstitutions(name, faces);
    return faces.first();
}
