// SPDX-License-Identifier: GPL-3.0-or-later
#include "listmaker.h"

#include "common/regularfile.h"
#include "common/rules.h"
#include "common/textdecode.h"
#include "common/wapiset.h"
#include "learning/listbuilder.h"
#include "learning/worddictionary.h"
#include "recognition/kanjigrades.h"
#include "recognition/modelcharacters.h"
#include "recognition/sharedrecognizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

namespace {

constexpr qint64 MaxKanjiFileBytes = 1 << 20;

// "1-3", "1,2,5" or "2": school years 1 to 6, and 7 for the jōyō kanji taught
// later. Empty on a mistake.
QSet<int> parseYears(const QString &text)
{
    QSet<int> years;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = part.trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        const int from = range.value(0).toInt(&ok1);
        const int to = range.size() == 2 ? range.value(1).toInt(&ok2) : from;
        if (!ok1 || (range.size() == 2 && !ok2) || range.size() > 2 || from < 1 || to > 7 || from > to)
            return {};
        for (int y = from; y <= to; ++y)
            years.insert(y);
    }
    return years;
}

// The data folder of the game, as the console finds it: DataPath of the
// Taruvo.ini beside the program, or beside the installed game.
QString dataFolder()
{
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &folder : {here.path(), QDir::cleanPath(here.filePath(QStringLiteral(TARUVO_GAME_FROM_TOOL)))}) {
        if (!QFileInfo(QDir(folder).filePath(QStringLiteral("Taruvo.ini"))).isFile())
            continue;
        WAPISET settings;
        settings.setAppFolder(folder);
        settings.setIniPath(settings.AppFolder() + QStringLiteral("Taruvo.ini"));
        settings.ReadSetting(QStringLiteral("Taruvo"), QStringLiteral("DataPath"), QString());
        return settings.AppFolder() + settings.SettingValue();
    }
    return QDir::currentPath();
}

QString kanjiText(const QList<char32_t> &kanji)
{
    QStringList out;
    for (char32_t c : kanji)
        out << QString::fromUcs4(&c, 1);
    return out.join(QLatin1Char(' '));
}

} // namespace

int makeWordList(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QString name, grades, pasted;
    bool replace = false;
    int maxWords = 0;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (a == QLatin1String("--grades") && hasValue) {
            grades = arguments.at(++i);
        } else if (a == QLatin1String("--kanji") && hasValue) {
            pasted += arguments.at(++i);
        } else if (a == QLatin1String("--kanji-file") && hasValue) {
            const QString path = arguments.at(++i);
            const FileContents file = readRegularFile(path, MaxKanjiFileBytes);
            if (!file.ok) {
                err << "taruvo-wordlist: cannot read " << path << ": "
                    << (file.tooLarge ? QStringLiteral("larger than 1 MB") : file.error) << '\n';
                return 2;
            }
            pasted += decodeText(file.bytes);
        } else if (a == QLatin1String("--max") && hasValue) {
            bool ok = false;
            maxWords = arguments.at(++i).toInt(&ok);
            if (!ok || maxWords < Rules::WordsPerGame) {
                err << "taruvo-wordlist: --max needs a number of at least " << Rules::WordsPerGame << '\n';
                return 2;
            }
        } else if (a == QLatin1String("--replace")) {
            replace = true;
        } else if (name.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            name = a;
        } else {
            err << "taruvo-wordlist: unknown or incomplete option " << a << '\n';
            return 2;
        }
    }
    const QSet<int> years = grades.isEmpty() ? QSet<int>() : parseYears(grades);
    if (name.isEmpty() || (grades.isEmpty() && pasted.isEmpty()) || (!grades.isEmpty() && years.isEmpty())) {
        err << "usage: taruvo-wordlist --make NAME.txt [--grades 1-3] [--kanji TEXT] [--kanji-file FILE]"
               " [--max N] [--replace]\n"
               "  grades are school years 1 to 6, and 7 for the jōyō kanji taught later\n";
        return 2;
    }
    if (!name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        name += QStringLiteral(".txt");
    const QString path = name.contains(QLatin1Char('/')) ? name : QDir(dataFolder()).filePath(name);

    QString found, error;
    QElapsedTimer timer;
    timer.start();
    const WordDictionary dictionary = WordDictionary::readFirst(WordDictionary::paths(), &found, &error);
    if (dictionary.isEmpty()) {
        err << "taruvo-wordlist: no dictionary of words (" << error << ")\n";
        return 2;
    }
    out << "dictionary: " << QDir::toNativeSeparators(found) << ", " << dictionary.size() << " words\n";

    ListBuilder builder(dictionary);
    QSet<QString> known;
    for (const QString &model : SharedRecognizer::modelPaths()) {
        bool opened = false;
        known = modelCharacters(model, &opened);
        if (opened)
            break;
    }
    if (known.isEmpty())
        err << "taruvo-wordlist: no handwriting model found: words are not checked for what the boxes read\n";
    else
        builder.setReadable([&known](char32_t c) { return known.contains(QString::fromUcs4(&c, 1)); });

    QSet<char32_t> allowed;
    if (!years.isEmpty()) {
        allowed = builder.kanjiOfYears(years, [](char32_t c) { return kanjiSchoolYear(QString::fromUcs4(&c, 1)); });
        out << "kanji of grades " << grades << ": " << allowed.size() << '\n';
    }
    const QList<char32_t> fromText = kanjiOfText(pasted);
    if (!pasted.isEmpty())
        out << "kanji pasted: " << fromText.size() << '\n';
    QList<char32_t> unreadable;
    for (char32_t c : fromText) {
        allowed.insert(c);
        if (!known.isEmpty() && !known.contains(QString::fromUcs4(&c, 1)))
            unreadable << c;
    }
    if (!unreadable.isEmpty())
        out << "not recognisable by handwriting, left out: " << kanjiText(unreadable) << '\n';

    const BuiltList list = builder.build(allowed, maxWords, Rules::WordsPerGame);
    const qint64 ms = timer.elapsed();
    out << "words found: " << list.words.size();
    if (list.words.size() < Rules::WordsPerGame) {
        out << " (a game needs " << Rules::WordsPerGame << ")";
        if (!list.words.isEmpty())
            out << ": " << list.words.join(QLatin1Char(' '));
        out << '\n';
        if (!list.suggestions.isEmpty()) {
            out << "kanji that would add the most words:\n";
            for (const BuiltList::Suggestion &s : list.suggestions)
                out << "  " << s.kanji << "  +" << s.addedWords << " (" << s.examples.join(QStringLiteral(", "))
                    << (s.addedWords > s.examples.size() ? QStringLiteral(", …") : QString()) << ")\n";
        }
        out << "no list written\n";
        return 1;
    }
    out << '\n';
    if (!writeWordListFile(path, list.words, replace, &error)) {
        err << "taruvo-wordlist: cannot write " << QDir::toNativeSeparators(path) << ": " << error << '\n';
        return 2;
    }
    out << "written: " << QDir::toNativeSeparators(path) << " (the most common words first; " << ms << " ms)\n";
    return 0;
}
