// SPDX-License-Identifier: GPL-3.0-or-later
#include "classsettings.h"

#include <QList>

bool ClassSettings::check(QString *why) const
{
    auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return refuse(QStringLiteral("the class game needs a name"));
    if (trimmed.toUcs4().size() > MaxNameLength)
        return refuse(QStringLiteral("a class game's name has at most %1 characters").arg(MaxNameLength));
    for (QChar c : trimmed) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            return refuse(QStringLiteral("a class game's name is one line of text"));
    }
    if (listName.isEmpty() || listName.size() > 100)
        return refuse(QStringLiteral("the word list needs a name of at most 100 characters"));
    if (timeLimitSeconds < Rules::TimeLimitMin || timeLimitSeconds > Rules::TimeLimitMax)
        return refuse(QStringLiteral("the time limit is %1 to %2 seconds").arg(Rules::TimeLimitMin).arg(Rules::TimeLimitMax));
    if (answerLimit < Rules::AnswerLimitMin || answerLimit > Rules::AnswerLimitMax)
        return refuse(QStringLiteral("the answer limit is %1 to %2").arg(Rules::AnswerLimitMin).arg(Rules::AnswerLimitMax));
    return true;
}
