// SPDX-License-Identifier: GPL-3.0-or-later
// The stroke-order-free template matcher and its fusion with Zinnia.
#include "engine/boardpreference.h"
#include "engine/wordlist.h"
#include "recognition/fusedrecognizer.h"
#include "recognition/inkmodelrecognizer.h"
#include "recognition/kanjigrades.h"
#include "recognition/sharedrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

Ink inkOf(const char *text)
{
    return parseInkLine(QString::fromLatin1(text), QSizeF(300, 300));
}

QStringList texts(const QList<Candidate> &candidates)
{
    QStringList out;
    for (const Candidate &c : candidates)
        out << c.text;
    return out;
}

// 木 and 田 in the standard order, then the same characters as a child might
// write them.
const char *const Tree = "30,110 270,105;150,30 150,280;145,110 40,240;155,110 265,235";
const char *const Field = "60,60 60,250;60,65 240,65 240,250;150,65 150,245;65,155 235,155;65,245 235,245";

} // namespace

class TestFusion : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void orderAndDirectionDoNotMatter_data();
    void orderAndDirectionDoNotMatter();
    void joinedStrokesStillAmongCandidates_data();
    void joinedStrokesStillAmongCandidates();
    void fusionListsAtLeastWhatZinniaLists_data();
    void fusionListsAtLeastWhatZinniaLists();
    void preferenceOnlyBreaksCloseCalls();
    void boardCharactersGoFirstOnlyWhenClose_data();
    void boardCharactersGoFirstOnlyWhenClose();
    void aSureBoardCharacterSparesTheOtherEngines();
    void pairReadsAsABoardWordOnlyWhenClose_data();
    void pairReadsAsABoardWordOnlyWhenClose();
    void plainWritingKeepsItsMeaning_data();
    void plainWritingKeepsItsMeaning();
    void kanjiComeFirst_data();
    void kanjiComeFirst();
    void candidatesFollowTheSchoolYears_data();
    void candidatesFollowTheSchoolYears();
    void kanjiOutsideTheModelStillRead_data();
    void kanjiOutsideTheModelStillRead();
    void strokesRunTogetherReadAsThemselves_data();
    void strokesRunTogetherReadAsThemselves();
    void templatesLoadOnlyWellFormedStrokes_data();
    void templatesLoadOnlyWellFormedStrokes();
    void templatesReadTheSameInOtherUnits_data();
    void templatesReadTheSameInOtherUnits();

private:
    // The character's textbook chords from the templates' file, each
    // resampled into a stroke; `together` strokes written in one go.
    Ink textbookInk(const QString &kanji, int together = 1) const;

    SharedRecognizer m_shared;
};

Ink TestFusion::textbookInk(const QString &kanji, int together) const
{
    QFile file(m_shared.templates().path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject groups = QJsonDocument::fromJson(file.readAll()).object();
    Ink ink{{}, QSizeF(256, 256)};
    int chords = 0;
    for (const QJsonValue &group : groups) {
        for (const QJsonValue &chord : group.toObject().value(kanji).toArray()) {
            const QJsonArray c = chord.toArray();
            const Stroke s = resampledStroke(Stroke{QPointF(c[0].toDouble(), c[1].toDouble()),
                                                    QPointF(c[2].toDouble(), c[3].toDouble())}, 4);
            if (chords++ % together == 0)
                ink.strokes << s;
            else
                ink.strokes.last() += resampledStroke(Stroke{ink.strokes.last().last(), s.first()}, 4).mid(1) + s.mid(1);
        }
    }
    return ink;
}

void TestFusion::initTestCase()
{
    // Without the real model and templates these tests would prove nothing.
    QVERIFY2(m_shared.zinnia().isAvailable(),
             "the Zinnia model is missing: install tegaki-zinnia-japanese (tools/setup.sh)");
    QVERIFY2(m_shared.templates().isAvailable(),
             "the stroke templates are missing: install python3-kanjidraw (tools/setup.sh)");
    QVERIFY(m_shared.templates().size() > 2000);
}

void TestFusion::orderAndDirectionDoNotMatter_data()
{
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QByteArray>("ink");
    QTest::newRow("木 in order") << "木" << QByteArray(Tree);
    QTest::newRow("木 downstroke first") << "木" << QByteArray("150,30 150,280;30,110 270,105;145,110 40,240;155,110 265,235");
    QTest::newRow("木 sweeps swapped, one reversed")
        << "木" << QByteArray("30,110 270,105;150,30 150,280;265,235 155,110;145,110 40,240");
    QTest::newRow("田 inside first, two reversed")
        << "田" << QByteArray("150,245 150,65;65,155 235,155;60,60 60,250;60,65 240,65 240,250;235,245 65,245");
    QTest::newRow("三 bottom up") << "三" << QByteArray("40,235 260,230;90,150 210,147;70,70 230,65");
}

void TestFusion::orderAndDirectionDoNotMatter()
{
    // Guards against a child's wrong stroke order or direction losing the character.
    QFETCH(QString, kanji);
    QFETCH(QByteArray, ink);
    const QList<Candidate> result = m_shared.classify(inkOf(ink.constData()), 10);
    QVERIFY(!result.isEmpty());
    QCOMPARE(result.first().text, kanji);
}

void TestFusion::joinedStrokesStillAmongCandidates_data()
{
    QTest::addColumn<QString>("kanji");
    QTest::addColumn<QByteArray>("ink");
    // The cross of 木 in one go, and the last two strokes of 田 in one.
    QTest::newRow("木") << "木" << QByteArray("30,110 270,105 150,30 150,280;145,110 40,240;155,110 265,235");
    QTest::newRow("田") << "田"
                       << QByteArray("60,60 60,250;60,65 240,65 240,250;150,65 150,245;65,155 235,155 65,245 235,245");
}

void TestFusion::joinedStrokesStillAmongCandidates()
{
    // Guards a joined stroke throwing the character out of the candidates altogether.
    QFETCH(QString, kanji);
    QFETCH(QByteArray, ink);
    const QStringList result = texts(m_shared.classify(inkOf(ink.constData()), 6));
    QVERIFY2(result.contains(kanji), qPrintable(result.join(QLatin1Char(' '))));
}

void TestFusion::fusionListsAtLeastWhatZinniaLists_data()
{
    QTest::addColumn<QByteArray>("ink");
    QTest::addColumn<int>("count");
    QTest::newRow("木, 10") << QByteArray(Tree) << 10;
    QTest::newRow("田, 1") << QByteArray(Field) << 1;
    QTest::newRow("a dot, 10") << QByteArray("150,150") << 10;
    // More strokes than any template has: the templates have nothing to say.
    QByteArray many;
    for (int i = 0; i < 40; ++i)
        many += QByteArray::number(10 + i * 7) + ",20 " + QByteArray::number(10 + i * 7) + ",280;";
    QTest::newRow("40 strokes, 10") << many << 10;
}

void TestFusion::fusionListsAtLeastWhatZinniaLists()
{
    // Guards the fusion dropping candidates that Zinnia alone would offer.
    QFETCH(QByteArray, ink);
    QFETCH(int, count);
    const Ink in = inkOf(ink.constData());
    const QList<Candidate> zinnia = m_shared.zinnia().classify(in, count);
    const QList<Candidate> fused = m_shared.classify(in, count);
    QVERIFY(fused.size() >= zinnia.size());
    QVERIFY(fused.size() <= count);
    QSet<QString> seen;
    for (const Candidate &c : fused)
        QVERIFY2(!seen.contains(c.text) && (seen.insert(c.text), true), "a candidate listed twice");
}

void TestFusion::preferenceOnlyBreaksCloseCalls()
{
    // Guards the word-list preference overturning a clear winner, or not
    // applying where the measured margin says it should.
    FusedRecognizer fused(m_shared.inkModel(), m_shared.zinnia(), m_shared.templates());
    // Two bars of nearly one length across a stroke: 士 or 土.
    const Ink ink = inkOf("50,120 250,120;150,50 150,250;60,250 240,250");
    const QList<Candidate> plain = fused.classify(ink, 30);
    QVERIFY(plain.size() > 5);
    const Candidate winner = plain.first();
    int close = -1, far = -1;
    for (int i = 1; i < plain.size(); ++i) {
        const double gap = winner.score - plain[i].score;
        if (close < 0 && gap <= FusedRecognizer::PreferenceMargin && plain[i].score >= FusedRecognizer::PreferenceFloor)
            close = i;
        if (far < 0 && gap > FusedRecognizer::PreferenceMargin)
            far = i;
    }
    QVERIFY2(close > 0 && far > 0, "this ink no longer has both a close and a clear second");

    fused.setPreferredCharacters({plain[far].text});
    const QList<Candidate> behind = fused.classify(ink, 30);
    QCOMPARE(behind.first().text, winner.text);
    // Behind a clear winner the list's character leads the other candidates.
    QCOMPARE(behind.at(1).text, plain[far].text);
    QCOMPARE(behind.size(), plain.size());
    fused.setPreferredCharacters({plain[close].text});
    const QList<Candidate> preferred = fused.classify(ink, 30);
    QCOMPARE(preferred.first().text, plain[close].text);
    QCOMPARE(preferred.size(), plain.size());
    QCOMPARE(preferred.at(1).text, winner.text);
    // The winner in the list too: nothing moves.
    fused.setPreferredCharacters({plain[close].text, winner.text});
    QCOMPARE(fused.classify(ink, 30).first().text, winner.text);
    fused.setPreferredCharacters({});
    QCOMPARE(texts(fused.classify(ink, 30)), texts(plain));
}

void TestFusion::boardCharactersGoFirstOnlyWhenClose_data()
{
    QTest::addColumn<QByteArray>("ink");
    QTest::newRow("士 or 土") << QByteArray("50,120 250,120;150,50 150,250;60,250 240,250");
    QTest::newRow("木") << QByteArray(Tree);
    QTest::newRow("田") << QByteArray(Field);
    QTest::newRow("口 filling the box") << QByteArray("70,70 75,240;75,75 230,70 225,240;78,230 222,230");
    QTest::newRow("二 narrow") << QByteArray("110,100 190,100;100,200 200,200");
}

void TestFusion::boardCharactersGoFirstOnlyWhenClose()
{
    // Guards a character on the board not read first although it scores
    // within the margin, or one read from beyond it: each of the best
    // candidates in turn is the only other character on the board.
    QFETCH(QByteArray, ink);
    const Ink in = inkOf(ink.constData());
    const ContextMargins margins = m_shared.contextMargins();
    QVERIFY(margins.board >= 0);
    const QList<Candidate> plain = m_shared.classify(in, 10);
    QVERIFY(plain.size() >= 6);
    double best = plain.first().score;
    for (const Candidate &c : m_shared.classify(in, 1000))
        best = std::max(best, c.score);
    const WordList none;
    for (int i = 1; i < plain.size(); ++i) {
        const Candidate &c = plain[i];
        const QList<Candidate> inGame = m_shared.classifyInGame(in, 10, ReadingContext({c.text, "鬱"}, none));
        const bool close = best - c.score <= margins.board && c.score >= margins.floor;
        QVERIFY2(inGame.first().text == (close ? c.text : plain.first().text),
                 qPrintable(QStringLiteral("%1 at %2 of %3").arg(c.text).arg(c.score).arg(best)));
        // The single best stays among what the box shows.
        QVERIFY(texts(inGame.mid(0, 6)).contains(plain.first().text));
        // Everything scored follows, for the pair reading.
        QVERIFY(inGame.size() >= plain.size());
    }
    // The result on the board already: nothing moves.
    QCOMPARE(m_shared.classifyInGame(in, 10, ReadingContext({plain.first().text, plain[1].text}, none)).first().text,
             plain.first().text);
}

void TestFusion::aSureBoardCharacterSparesTheOtherEngines()
{
    // Guards the model-alone reading in a game: taken exactly when the model
    // is sure of a free board character, with the full reading's result;
    // a character off the board is always read by all three.
    const auto *fused = dynamic_cast<const FusedRecognizer *>(&m_shared.recognizer());
    QVERIFY(fused);
    const WordList none;
    int sure = 0, unsure = 0;
    for (const char *ink : {Tree, Field, "50,120 250,120;150,50 150,250;60,250 240,250",
                            "70,70 75,240;75,75 230,70 225,240;78,230 222,230", "110,100 190,100;100,200 200,200",
                            "40,40 260,260;260,40 40,260;150,20 150,280"}) {
        const Ink in = inkOf(ink);
        const QList<Candidate> plain = m_shared.classify(in, 10);
        const QList<Candidate> model = m_shared.inkModel().classify(in, 1);
        QVERIFY(!plain.isEmpty() && !model.isEmpty());
        const bool isSure = model.first().score >= FusedRecognizer::SureModel;
        const quint64 sureBefore = fused->sureReadings(), fullBefore = fused->fullReadings();
        const QList<Candidate> onBoard =
            m_shared.classifyInGame(in, 10, ReadingContext({model.first().text, plain.first().text}, none));
        QCOMPARE(fused->sureReadings() - sureBefore, quint64(isSure));
        QCOMPARE(fused->fullReadings() - fullBefore, quint64(!isSure));
        QCOMPARE(onBoard.first().text, plain.first().text);
        QVERIFY(onBoard.size() >= 5);
        const quint64 offBefore = fused->fullReadings();
        QVERIFY(!m_shared.classifyInGame(in, 10, ReadingContext({"鬱"}, none)).isEmpty());
        QCOMPARE(fused->fullReadings() - offBefore, quint64(1));
        ++(isSure ? sure : unsure);
    }
    QVERIFY2(sure > 0 && unsure > 0, qPrintable(QStringLiteral("sure %1, unsure %2").arg(sure).arg(unsure)));
}

void TestFusion::pairReadsAsABoardWordOnlyWhenClose_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("士 or 土, then 木") << QByteArray("50,120 250,120;150,50 150,250;60,250 240,250") << QByteArray(Tree);
    QTest::newRow("士 or 土, then 田") << QByteArray("50,120 250,120;150,50 150,250;60,250 240,250") << QByteArray(Field);
}

void TestFusion::pairReadsAsABoardWordOnlyWhenClose()
{
    // Guards the pair reading through the real recogniser: a board word made
    // of the first box's k-th candidate and the second box's result is read
    // exactly when the k-th trails within the margins, and never from
    // further behind.
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const Ink a = inkOf(first.constData()), b = inkOf(second.constData());
    const ContextMargins margins = m_shared.contextMargins();
    QVERIFY(margins.pair >= 0);
    const QList<Candidate> plainA = m_shared.classify(a, 10), plainB = m_shared.classify(b, 10);
    QVERIFY(plainA.size() >= 6 && !plainB.isEmpty());
    const QString y = plainB.first().text;
    int read = 0, kept = 0;
    for (int k = 1; k < plainA.size(); ++k) {
        const QString x = plainA[k].text;
        WordList list;
        list.load({x + y});
        const ReadingContext context({x, y, plainA.first().text}, list);
        const QList<Candidate> readA = m_shared.classifyInGame(a, 10, context);
        const QList<Candidate> readB = m_shared.classifyInGame(b, 10, context);
        // The first box's own result is on the board: only the pair can move it.
        QCOMPARE(readA.first().text, plainA.first().text);
        const BoardPreference::PairReading pair = BoardPreference::pair(readA, readB, context, margins);
        double bestA = plainA.first().score;
        for (const Candidate &c : readA)
            bestA = std::max(bestA, c.score);
        double bestB = readB.first().score;
        for (const Candidate &c : readB)
            bestB = std::max(bestB, c.score);
        // The margins apply to the scores of the reading in the game, which
        // is the models' alone when they are sure.
        double scoreX = -1e9;
        for (const Candidate &c : readA)
            if (c.text == x)
                scoreX = c.score;
        const double dx = bestA - scoreX, dy = bestB - readB.first().score;
        const bool close = dx <= margins.each && dy <= margins.each && dx + dy <= margins.pair
            && scoreX >= margins.pairFloor && readB.first().score >= margins.pairFloor;
        QVERIFY2(pair.isValid() == close, qPrintable(x + y + QStringLiteral(" trailing %1").arg(dx)));
        if (close)
            QCOMPARE(pair.first + pair.second, x + y);
        (close ? read : kept) += 1;
    }
    // The ink has candidates on both sides of the margins.
    QVERIFY2(read > 0 && kept > 0, qPrintable(QStringLiteral("read %1, kept %2").arg(read).arg(kept)));
}

void TestFusion::plainWritingKeepsItsMeaning_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("reading");
    // 木 and 田 plainly written: their look-alikes make the board's words.
    QTest::newRow("a non-word of two board characters: 単語がない")
        << QByteArray(Tree) << QByteArray(Field) << "木田本由末甲" << "本由 末甲 本田 木由 田木" << "木田";
    QTest::newRow("a character not on the board: 文字がない")
        << QByteArray(Tree) << QByteArray(Field) << "本田末由休申" << "本田 末由 休申 本由" << "木田";
    QTest::newRow("neither on the board")
        << QByteArray(Tree) << QByteArray(Field) << "本由末甲休申" << "本由 末甲 休申" << "木田";
    QTest::newRow("a board word plainly written") << QByteArray(Tree) << QByteArray(Field) << "木田本由"
                                                   << "木田 本由" << "木田";
}

void TestFusion::plainWritingKeepsItsMeaning()
{
    // Guards "never at any price": plainly written characters read as
    // themselves whatever the board offers, so that the judge can still say
    // 文字がない or 単語がない.
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, board);
    QFETCH(QString, words);
    QFETCH(QString, reading);
    WordList list;
    list.load(words.split(QLatin1Char(' ')));
    const ReadingContext context(WordList::characters(board), list);
    const QList<Candidate> a = m_shared.classifyInGame(inkOf(first.constData()), 10, context);
    const QList<Candidate> b = m_shared.classifyInGame(inkOf(second.constData()), 10, context);
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    const BoardPreference::PairReading pair = BoardPreference::pair(a, b, context, m_shared.contextMargins());
    QCOMPARE(pair.isValid() ? pair.first + pair.second : a.first().text + b.first().text, reading);
}

void TestFusion::kanjiComeFirst_data()
{
    QTest::addColumn<QByteArray>("ink");
    QTest::addColumn<QString>("first");
    // Zinnia lists the enclosure 囗 first for the first, and kana (え, エ, へ)
    // among the best for the others.
    QTest::newRow("口 filling the box") << QByteArray("70,70 75,240;75,75 230,70 225,240;78,230 222,230") << "口";
    QTest::newRow("二 narrow") << QByteArray("110,100 190,100;100,200 200,200") << "二";
    QTest::newRow("一 short") << QByteArray("100,150 200,150") << "一";
}

void TestFusion::kanjiComeFirst()
{
    // Guards kana and part-only forms being offered ahead of kanji, which
    // alone make words in this game.
    QFETCH(QByteArray, ink);
    QFETCH(QString, first);
    const QList<Candidate> fused = m_shared.classify(inkOf(ink.constData()), 30);
    QVERIFY(!fused.isEmpty());
    QCOMPARE(fused.first().text, first);
    // What the box shows: the result and five candidates, all kanji.
    QVERIFY(fused.size() >= 6);
    for (int i = 0; i < 6; ++i) {
        const char32_t u = fused[i].text.toUcs4().value(0);
        QVERIFY2(u >= 0x4E00 && u <= 0x9FFF && fused[i].text != QStringLiteral("囗"), qPrintable(fused[i].text));
    }
}

void TestFusion::candidatesFollowTheSchoolYears_data()
{
    QTest::addColumn<QByteArray>("ink");
    QTest::addColumn<QString>("preferred");
    // A hurried 見 and 事 once offered 皃 兌 吭 and 亊 亘 莨 棣 behind the result.
    const QByteArray see("90,40 90,190;90,45 210,45 210,190;95,90 205,90;95,140 205,140;95,185 205,185;"
                         "130,190 60,280;170,190 170,270 260,270 260,240");
    const QByteArray thing("40,60 260,60;80,90 80,140;80,90 220,90 220,140;85,135 215,135;"
                           "30,180 270,180;90,210 230,210 230,250;85,250 230,250;150,20 150,290 120,270");
    QTest::newRow("見") << see << "";
    QTest::newRow("見, a list") << see << "貝目具";
    QTest::newRow("事") << thing << "";
    QTest::newRow("木, a list") << QByteArray(Tree) << "本休林";
    QTest::newRow("田") << QByteArray(Field) << "";
}

void TestFusion::candidatesFollowTheSchoolYears()
{
    // Guards the strip behind the result offering rare characters no child
    // learns ahead of school kanji, parts that are no character, or the
    // reordering changing the result itself.
    QFETCH(QByteArray, ink);
    QFETCH(QString, preferred);
    FusedRecognizer fused(m_shared.inkModel(), m_shared.zinnia(), m_shared.templates());
    QSet<QString> list;
    for (uint c : preferred.toUcs4())
        list.insert(QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1));
    fused.setPreferredCharacters(list);
    const Ink in = inkOf(ink.constData());
    const QList<Candidate> shown = fused.classify(in, 6);
    QCOMPARE(shown.size(), 6);
    QCOMPARE(fused.classify(in, 1).first().text, shown.first().text);
    auto rank = [&](const QString &text) {
        const int year = kanjiSchoolYear(text);
        return list.contains(text) ? 0 : year >= 1 && year <= 6 ? 1 : year == 7 ? 2 : 3;
    };
    for (int i = 1; i < shown.size(); ++i) {
        QVERIFY2(!QStringLiteral("丨丶丿亅乚亠冂冖冫凵勹匚匸卩厂厶囗夂夊宀巛廴廾彐彡彳攴攵疒癶禸罒襾辶").contains(shown[i].text),
                 qPrintable(shown[i].text));
        // A later-taught kanji stays before a school one only by a clear lead.
        const bool clearLead = rank(shown[i - 1].text) == 2 && rank(shown[i].text) == 1
            && shown[i - 1].score - shown[i].score > FusedRecognizer::SchoolYearMargin;
        if (i > 1)
            QVERIFY2(rank(shown[i - 1].text) <= rank(shown[i].text) || clearLead,
                     qPrintable(texts(shown).join(QLatin1Char(' '))));
    }
    // A hurried child's kanji are found among those of the school years.
    QVERIFY2(rank(shown[1].text) <= 1, qPrintable(texts(shown).join(QLatin1Char(' '))));
}

void TestFusion::kanjiOutsideTheModelStillRead_data()
{
    QTest::addColumn<QString>("kanji");
    // Kanji beyond the name kanji a teacher's list may hold; no ink model
    // knows them.
    QTest::newRow("兇") << "兇";
    QTest::newRow("佇") << "佇";
    QTest::newRow("顛") << "顛";
}

void TestFusion::kanjiOutsideTheModelStillRead()
{
    // Guards the fusion letting the ink model, which cannot name them, bury
    // characters that Zinnia and the templates read.
    QFETCH(QString, kanji);
    QVERIFY(!m_shared.inkModel().contains(kanji));
    const Ink ink = textbookInk(kanji);
    QVERIFY(!ink.strokes.isEmpty());
    FusedRecognizer fused(m_shared.inkModel(), m_shared.zinnia(), m_shared.templates());
    QVERIFY2(texts(fused.classify(ink, 6)).contains(kanji), qPrintable(texts(fused.classify(ink, 6)).join(QLatin1Char(' '))));
    fused.setPreferredCharacters({kanji});
    QCOMPARE(fused.classify(ink, 6).first().text, kanji);
}

void TestFusion::strokesRunTogetherReadAsThemselves_data()
{
    QTest::addColumn<QString>("kanji");
    // Written two strokes at a time without lifting the pen, these read as
    // rare characters of the ink's stroke count (彑, 乢, 弖, 尓, 呷) when
    // Zinnia and the templates, which count strokes, weigh fully.
    for (const char *k : {"立", "林", "会", "里", "家", "進"})
        QTest::newRow(k) << QString::fromUtf8(k);
}

void TestFusion::strokesRunTogetherReadAsThemselves()
{
    // Guards the stroke counters outvoting sure ink models on a fast hand.
    QFETCH(QString, kanji);
    const Ink ink = textbookInk(kanji, 2);
    QVERIFY(ink.strokes.size() < m_shared.templates().strokeCount(kanji));
    const QStringList result = texts(m_shared.classify(ink, 5));
    QVERIFY(!result.isEmpty());
    QVERIFY2(result.first() == kanji, qPrintable(result.join(QLatin1Char(' '))));
}

void TestFusion::templatesLoadOnlyWellFormedStrokes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("loaded");
    QTest::newRow("not JSON") << QByteArray("{\"1\": {\"一\": [[") << 0;
    QTest::newRow("an array") << QByteArray("[1, 2]") << 0;
    QTest::newRow("empty") << QByteArray("{}") << 0;
    QTest::newRow("short stroke skipped")
        << QByteArray("{\"1\": {\"一\": [[1, 2, 3]], \"丨\": [[0, 0, 0, 100]]}}") << 1;
    QTest::newRow("strings and nulls skipped")
        << QByteArray("{\"1\": {\"一\": [\"a\", null, 7], \"丨\": [[0, 0, 0, 100]]}, \"x\": 5}") << 1;
    QTest::newRow("duplicates once") << QByteArray("{\"1\": {\"丨\": [[0, 0, 0, 100]]}, \"2\": {\"丨\": [[0, 0, 0, 1]]}}") << 1;
}

void TestFusion::templatesLoadOnlyWellFormedStrokes()
{
    // Guards start-up against a damaged template file.
    QFETCH(QByteArray, json);
    QFETCH(int, loaded);
    TemplateMatcher matcher;
    QCOMPARE(matcher.load(json), loaded > 0);
    QCOMPARE(matcher.size(), loaded);
    QCOMPARE(matcher.isAvailable(), loaded > 0);
    // Whatever was loaded classifies without trouble.
    QCOMPARE(matcher.classify(inkOf("150,20 150,280"), 5).isEmpty(), loaded == 0);
}

void TestFusion::templatesReadTheSameInOtherUnits_data()
{
    QTest::addColumn<double>("scale");
    // Debian's file holds whole numbers from 0 to 255, kept in a byte each;
    // others are kept as they are. Scaling by a power of two changes no
    // result of the fit.
    QTest::newRow("past 255") << 4.0;
    QTest::newRow("halves") << 0.5;
}

void TestFusion::templatesReadTheSameInOtherUnits()
{
    // Guards the two ways the templates are kept giving different results.
    QFETCH(double, scale);
    QFile file(m_shared.templates().path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonObject groups = QJsonDocument::fromJson(file.readAll()).object();
    for (auto g = groups.begin(); g != groups.end(); ++g) {
        QJsonObject chars = g.value().toObject();
        for (auto c = chars.begin(); c != chars.end(); ++c) {
            QJsonArray chords;
            for (const QJsonValue &chord : c.value().toArray()) {
                QJsonArray scaled;
                for (const QJsonValue &v : chord.toArray())
                    scaled.append(v.toDouble() * scale);
                chords.append(scaled);
            }
            c.value() = chords;
        }
        g.value() = chars;
    }
    TemplateMatcher other;
    QVERIFY(other.load(QJsonDocument(groups).toJson(QJsonDocument::Compact)));
    QCOMPARE(other.size(), m_shared.templates().size());
    for (const char *ink : {Tree, Field, "150,20 150,280", "40,150 260,150;150,40 150,260"}) {
        const QList<Candidate> a = m_shared.templates().classify(inkOf(ink), 20);
        const QList<Candidate> b = other.classify(inkOf(ink), 20);
        QCOMPARE(texts(b), texts(a));
        for (int i = 0; i < a.size(); ++i)
            QCOMPARE(b[i].score, a[i].score);
    }
}

QTEST_GUILESS_MAIN(TestFusion)
#include "tst_fusion.moc"
