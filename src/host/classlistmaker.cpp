// SPDX-License-Identifier: GPL-3.0-or-later
#include "classlistmaker.h"

#include "learning/worddictionary.h"

#include <QPromise>
#include <memory>

ClassListMaker::ClassListMaker(const WordDictionary *dictionary, std::function<int(char32_t)> yearOf,
                               std::function<bool(char32_t)> readable)
    : m_dictionary(dictionary)
    , m_yearOf(std::move(yearOf))
    , m_readable(std::move(readable))
{
    m_pool.setMaxThreadCount(1);
}

ClassListMaker::~ClassListMaker()
{
    m_pool.waitForDone();
}

ClassListMaker::Made ClassListMaker::make(const QSet<int> &grades, const QString &pasted) const
{
    Made out;
    if (pasted.size() > MaxPastedCharacters) {
        out.error = QStringLiteral("paste at most %1 characters").arg(MaxPastedCharacters);
        return out;
    }
    const QList<char32_t> pastedKanji = kanjiOfText(pasted);
    if (grades.isEmpty() && pastedKanji.isEmpty()) {
        out.error = pasted.trimmed().isEmpty()
                        ? QStringLiteral("choose school grades or paste the kanji the class has learned")
                        : QStringLiteral("the text pasted holds no kanji");
        return out;
    }
    for (int g : grades) {
        if (g < 1 || g > Grades) {
            out.error = QStringLiteral("school grades are 1 to 6, and 7 for the jōyō kanji taught later");
            return out;
        }
    }
    if (!m_dictionary || m_dictionary->isEmpty()) {
        out.error = QStringLiteral("the host has no dictionary of words to make lists from");
        return out;
    }
    ListBuilder builder(*m_dictionary);
    if (m_readable)
        builder.setReadable(m_readable);
    QSet<char32_t> allowed;
    if (!grades.isEmpty() && m_yearOf)
        allowed = builder.kanjiOfYears(grades, m_yearOf);
    for (char32_t c : pastedKanji) {
        if (m_readable && !m_readable(c))
            out.unreadable += QString::fromUcs4(&c, 1);
        else
            allowed.insert(c);
    }
    const BuiltList built = builder.build(allowed, MaxWords, Rules::WordsPerGame);
    out.ok = true;
    out.kanji = int(allowed.size());
    out.words = built.words;
    out.suggestions = built.suggestions;
    return out;
}

QFuture<ClassListMaker::Made> ClassListMaker::makeLater(const QSet<int> &grades, const QString &pasted)
{
    auto promise = std::make_shared<QPromise<Made>>();
    QFuture<Made> future = promise->future();
    promise->start();
    m_pool.start([this, promise, grades, pasted] {
        promise->addResult(make(grades, pasted));
        promise->finish();
    });
    return future;
}
