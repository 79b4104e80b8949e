// SPDX-License-Identifier: GPL-3.0-or-later
// taruvo-wordlist: checks word-list files the way the game reads them, so a
// teacher can see what a list gives before a lesson.
//   taruvo-wordlist FILE...
//   taruvo-wordlist --make NAME.txt [--grades 1-3] [--kanji TEXT] ...  (see listmaker.h)
// Exit status: 0 when every file can start a game, 1 when one cannot,
// 2 when a file cannot be read.
#include "common/textfile.h"
#include "common/rules.h"
#include "engine/wordlist.h"
#include "listmaker.h"
#include "recognition/modelcharacters.h"
#include "recognition/sharedrecognizer.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

QString reason(WordList::Line verdict)
{
    switch (verdict) {
    case WordList::Line::TooShort: return QStringLiteral("too short");
    case WordList::Line::TooLong: return QStringLiteral("too long");
    case WordList::Line::SpaceInside: return QStringLiteral("space inside");
    case WordList::Line::InvalidCharacter: return QStringLiteral("invalid character");
    default: return QString();
    }
}

// A line as it can be shown on one terminal line.
QString shown(const QString &line)
{
    QString out;
    for (QChar c : line)
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                                          : QString(c);
    return out.size() > 80 ? out.left(80) + QStringLiteral("…") : out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList files = app.arguments().mid(1);
    if (!files.isEmpty() && files.first() == QLatin1String("--make"))
        return makeWordList(files.mid(1), out, err);
    if (files.isEmpty() || files.first() == QLatin1String("--help")) {
        err << "usage: taruvo-wordlist FILE...\n"
               "       taruvo-wordlist --make NAME.txt [--grades 1-3] [--kanji TEXT] [--kanji-file FILE]"
               " [--max N] [--replace]\n";
        return 2;
    }

    QSet<QString> known;
    QString modelPath;
    for (const QString &path : SharedRecognizer::modelPaths()) {
        bool opened = false;
        known = modelCharacters(path, &opened);
        if (opened) {
            modelPath = path;
            break;
        }
    }
    if (modelPath.isEmpty())
        err << "taruvo-wordlist: no handwriting model found (tried "
            << SharedRecognizer::modelPaths().join(QStringLiteral(", ")) << ")\n";

    int status = 0;
    for (const QString &file : files) {
        out << file << '\n';
        const TextLines read = readTextLines(file);
        if (!read.ok) {
            out << "  cannot read: " << read.error << '\n';
            status = 2;
            continue;
        }
        out << "  encoding: " << encodingName(read.encoding) << '\n';
        WordList list;
        list.load(read.lines);
        out << "  words: " << list.size() << '\n';
        int number = 0;
        for (const QString &line : read.lines) {
            ++number;
            const WordList::Line verdict = WordList::classify(line);
            if (verdict != WordList::Line::Word && verdict != WordList::Line::Empty)
                out << "  line " << number << ": " << reason(verdict) << ": " << shown(line) << '\n';
        }
        if (!modelPath.isEmpty()) {
            QStringList unknown;
            QSet<QString> seen;
            for (const QString &word : list.words()) {
                for (const QString &c : WordList::characters(word)) {
                    if (!known.contains(c) && !seen.contains(c)) {
                        seen.insert(c);
                        unknown << c;
                    }
                }
            }
            if (!unknown.isEmpty())
                out << "  not recognisable by handwriting: " << unknown.join(QLatin1Char(' ')) << '\n';
        }
        const bool usable = list.size() >= Rules::WordsPerGame;
        out << "  can start a game: ";
        if (usable)
            out << "yes\n";
        else
            out << "no (needs " << Rules::WordsPerGame << " words)\n";
        if (!usable && status == 0)
            status = 1;
    }
    return status;
}
