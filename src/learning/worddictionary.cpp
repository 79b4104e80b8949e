// SPDX-License-Identifier: GPL-3.0-or-later
#include "worddictionary.h"

#include "common/regularfile.h"
#include "common/textdecode.h"

#include <QCoreApplication>
#include <QDir>

bool WordDictionary::isKanji(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0x20000 && c <= 0x3FFFF) || c == 0x3005;
}

bool WordDictionary::isKana(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        // Hiragana, katakana and the long-vowel mark; no middle dot.
        const char16_t u = c.unicode();
        if (u < 0x3041 || u > 0x30FF || u == 0x30FB || u == 0x30A0)
            return false;
    }
    return true;
}

QString WordDictionary::fileName()
{
    return QStringLiteral("words-ja.tsv");
}

QStringList WordDictionary::paths()
{
    QStringList out;
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!program.isEmpty()) {
        out << QDir(program).filePath(fileName());
        out << QDir::cleanPath(QDir(program).filePath(QStringLiteral(TARUVO_DATA_FROM_PROGRAM "/") + fileName()));
    }
    out << QStringLiteral(TARUVO_DATA_DIR "/") + fileName();
    out.removeDuplicates();
    return out;
}

WordDictionary WordDictionary::read(const QString &path, QString *error)
{
    const FileContents file = readRegularFile(path, MaxFileBytes);
    if (!file.ok) {
        if (error)
            *error = file.tooLarge ? QStringLiteral("larger than %1 MB").arg(MaxFileBytes >> 20) : file.error;
        return {};
    }
    WordDictionary out = parse(decodeText(file.bytes));
    if (error)
        *error = out.isEmpty() ? QStringLiteral("no words in it") : QString();
    return out;
}

WordDictionary WordDictionary::readFirst(const QStringList &paths, QString *found, QString *error)
{
    QStringList why;
    for (const QString &path : paths) {
        QString problem;
        WordDictionary d = read(path, &problem);
        if (!d.isEmpty()) {
            if (found)
                *found = path;
            if (error)
                error->clear();
            return d;
        }
        why << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), problem);
    }
    if (error)
        *error = why.join(QStringLiteral("; "));
    return {};
}

WordDictionary WordDictionary::parse(const QString &text)
{
    WordDictionary d;
    QStringView rest(text);
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != QLatin1Char('\n') && rest[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = rest.left(end);
        rest = rest.mid(end);
        if (rest.startsWith(u"\r\n"))
            rest = rest.mid(2);
        else if (!rest.isEmpty())
            rest = rest.mid(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!d.addLine(line))
            ++d.m_skipped;
    }
    return d;
}

bool WordDictionary::addLine(QStringView line)
{
    const qsizetype tab1 = line.indexOf(QLatin1Char('\t'));
    const qsizetype tab2 = tab1 < 0 ? -1 : line.indexOf(QLatin1Char('\t'), tab1 + 1);
    if (tab2 < 0 || line.indexOf(QLatin1Char('\t'), tab2 + 1) >= 0)
        return false;
    const QStringView word = line.left(tab1);
    const QStringView readings = line.mid(tab1 + 1, tab2 - tab1 - 1);
    const QStringView meaning = line.mid(tab2 + 1);

    const QList<uint> codes = word.toUcs4();
    if (codes.size() != 2 || !isKanji(codes[0]) || !isKanji(codes[1]))
        return false;
    DictionaryEntry entry;
    entry.word = word.toString();
    const QList<QStringView> parts = readings.split(QLatin1Char(','));
    if (parts.size() > MaxReadings)
        return false;
    for (QStringView r : parts) {
        if (r.size() > MaxReadingLength || !isKana(r))
            return false;
        entry.readings << r.toString();
    }
    if (meaning.size() > MaxMeaningLength)
        return false;
    for (QChar c : meaning) {
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter || c.isSurrogate())
            return false;
    }
    entry.meaning = meaning.trimmed().toString();
    if (m_index.contains(entry.word))
        return true; // the first line of a word counts
    m_index.insert(entry.word, int(m_entries.size()));
    m_entries.append(std::move(entry));
    return true;
}

const DictionaryEntry *WordDictionary::find(const QString &word) const
{
    const auto it = m_index.constFind(word);
    return it == m_index.constEnd() ? nullptr : &m_entries.at(*it);
}
