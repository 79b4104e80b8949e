// SPDX-License-Identifier: GPL-3.0-or-later
// taruvo-recognize: the box's recognition path on lines of ink from stdin.
#include "engine/boardpreference.h"
#include "engine/wordlistfile.h"
#include "recognition/inkmodelrecognizer.h"
#include "recognition/sharedrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

int usage(const char *message)
{
    std::fprintf(stderr, "taruvo-recognize: %s\n"
                         "usage: taruvo-recognize [--size W,H] [-n N] [--engine fused|model|zinnia|templates]\n"
                         "                        [--prefer CHARACTERS] [--scores] [--timing] < ink\n"
                         "       taruvo-recognize --words LIST --pairs [--size W,H] [--timing] < boards and inks\n"
                         "       taruvo-recognize --model-cost\n"
                         "  each input line: [label<TAB>]x,y x,y ...;x,y ...  (strokes split by ';')\n"
                         "  --pairs    each line: BOARD<TAB>ink<TAB>ink, BOARD the free board places'\n"
                         "             characters; prints the two boxes' results read in that game\n"
                         "             (- for none), as the player window reads them; --timing\n"
                         "             writes the microseconds of both and the nanoseconds of the pair rule\n"
                         "  --prefer   characters of a word list, put first when they score close\n"
                         "  --scores   prints each candidate as character:score\n"
                         "  --timing   also writes the microseconds of each line to stderr\n"
                         "  --model-cost  loads the ink model alone, prints the time and memory it took\n",
                 message);
    return 2;
}

// Resident memory of this process in kB, from /proc.
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

int modelCost()
{
    const long before = residentKb();
    QElapsedTimer clock;
    clock.start();
    const InkModelRecognizer model(SharedRecognizer::inkModels());
    const qint64 micros = clock.nsecsElapsed() / 1000;
    if (!model.isAvailable()) {
        std::fprintf(stderr, "no usable ink model: %s\n", qPrintable(model.pathsTried().join(QLatin1String(", "))));
        return 1;
    }
    std::printf("%s: %d classes, head in %s, loaded in %.1f ms, %.1f MB resident\n",
                qPrintable(model.modelPaths().join(QLatin1String(" + "))),
                model.size(), model.isEightBit() ? "eight bits" : "float", micros / 1000.0,
                (residentKb() - before) / 1024.0);
    return 0;
}

// The two boxes of a player window in a game: each read in the context,
// then the pair. Prints the two results.
int readPairs(const SharedRecognizer &shared, const WordList &words, QSizeF canvas, int count, bool timing)
{
    std::string raw;
    QElapsedTimer clock;
    while (std::getline(std::cin, raw)) {
        QString line = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != 3)
            return usage("--pairs needs lines of BOARD<TAB>ink<TAB>ink");
        clock.start();
        const ReadingContext context(WordList::characters(fields[0]), words);
        const QList<Candidate> a = shared.classifyInGame(parseInkLine(fields[1], canvas), count, context);
        const QList<Candidate> b = shared.classifyInGame(parseInkLine(fields[2], canvas), count, context);
        const qint64 read = clock.nsecsElapsed();
        const BoardPreference::PairReading pair = BoardPreference::pair(a, b, context, shared.contextMargins());
        const qint64 micros = clock.nsecsElapsed() / 1000;
        const qint64 pairNanos = clock.nsecsElapsed() - read;
        const QString first = pair.isValid() ? pair.first : a.isEmpty() ? QStringLiteral("-") : a.first().text;
        const QString second = pair.isValid() ? pair.second : b.isEmpty() ? QStringLiteral("-") : b.first().text;
        std::cout << (first + QLatin1Char(' ') + second).toStdString() << '\n';
        if (timing)
            std::cerr << micros << ' ' << pairNanos << '\n';
    }
    std::cout.flush();
    if (timing)
        std::cerr << "inks read by the ink model alone: " << shared.sureReadings() << ", by all three: "
                  << shared.fullReadings() << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QSizeF canvas(300, 300);
    int count = 10;
    bool timing = false;
    bool scores = false;
    QString engine = QStringLiteral("fused");
    QSet<QString> preferred;
    QString wordsPath;
    bool pairs = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(QLatin1Char(','));
            bool okW = false, okH = false;
            const double w = wh.value(0).toDouble(&okW);
            const double h = wh.size() == 2 ? wh[1].toDouble(&okH) : 0;
            if (!okW || !okH || !(w > 0) || !(h > 0) || w > 1e6 || h > 1e6)
                return usage("--size needs two positive numbers, as in --size 300,300");
            canvas = QSizeF(w, h);
        } else if (arg == QLatin1String("-n") && i + 1 < args.size()) {
            bool ok = false;
            count = args[++i].toInt(&ok);
            if (!ok || count < 1 || count > 1000)
                return usage("-n needs a number from 1 to 1000");
        } else if (arg == QLatin1String("--model-cost") && args.size() == 2) {
            return modelCost();
        } else if (arg == QLatin1String("--timing")) {
            timing = true;
        } else if (arg == QLatin1String("--scores")) {
            scores = true;
        } else if (arg == QLatin1String("--engine") && i + 1 < args.size()) {
            engine = args[++i];
            if (engine != QLatin1String("fused") && engine != QLatin1String("model")
                && engine != QLatin1String("zinnia") && engine != QLatin1String("templates"))
                return usage("--engine is fused, model, zinnia or templates");
        } else if (arg == QLatin1String("--words") && i + 1 < args.size()) {
            wordsPath = args[++i];
        } else if (arg == QLatin1String("--pairs")) {
            pairs = true;
        } else if (arg == QLatin1String("--prefer") && i + 1 < args.size()) {
            for (uint c : args[++i].toUcs4())
                preferred.insert(QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1));
        } else {
            return usage(qPrintable(QStringLiteral("unknown argument ") + arg));
        }
    }

    if (pairs != !wordsPath.isEmpty())
        return usage("--pairs and --words go together");
    WordListFile list;
    if (pairs) {
        list = readWordListFile(wordsPath);
        if (!list.ok) {
            std::fprintf(stderr, "taruvo-recognize: %s: %s\n", qPrintable(wordsPath), qPrintable(list.error));
            return 1;
        }
        // The console prefers the loaded list's characters.
        preferred = list.characters;
    }
    SharedRecognizer shared;
    shared.setPreferredCharacters(preferred);
    if (pairs) {
        if (!shared.isAvailable())
            return 1;
        std::ios::sync_with_stdio(false);
        return readPairs(shared, list.words, canvas, count, timing);
    }
    const Recognizer &recognizer = engine == QLatin1String("zinnia") ? shared.zinnia()
        : engine == QLatin1String("templates")                      ? shared.templates()
        : engine == QLatin1String("model")                          ? shared.inkModel()
                                                                    : shared.recognizer();
    if (!recognizer.isAvailable())
        return 1; // the shared recogniser has said why in the log
    std::ios::sync_with_stdio(false);
    std::string raw;
    QElapsedTimer clock;
    while (std::getline(std::cin, raw)) {
        QString line = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        clock.start();
        const QList<Candidate> candidates = recognizer.classify(parseInkLine(line, canvas), count);
        const qint64 micros = clock.nsecsElapsed() / 1000;
        QStringList texts;
        for (const Candidate &c : candidates)
            texts << (scores ? c.text + QLatin1Char(':') + QString::number(c.score, 'g', 5) : c.text);
        std::cout << texts.join(QLatin1Char(' ')).toStdString() << '\n';
        if (timing)
            std::cerr << micros << '\n';
    }
    std::cout.flush();
    return 0;
}
