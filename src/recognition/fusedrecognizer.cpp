// SPDX-License-Identifier: GPL-3.0-or-later
// Fusion of the ink model's, Zinnia's and the template matcher's scores.
#include "recognition/fusedrecognizer.h"
#include "engine/boardpreference.h"
#include "recognition/inkmodelrecognizer.h"
#include "recognition/kanjigrades.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <future>

namespace {

// Fused score = model log-probability + Zinnia's weight x Zinnia's score +
// the templates' weight x (minus the template cost). The surer the models
// are of their best (probability p), the less the other two weigh and the
// further below a character the models do not know: ZinniaWeight -
// ZinniaSureCut x p, TemplateWeight - TemplateSureCut x p, OutsideModel +
// OutsideSure x p. The constants were chosen on the development half of
// the benchmark's independent ink written by three writers
// (bench/recognition/tune.py), never on its test half: against fixed
// weights (1.5, 0.03, gap 2.0) no condition there reads worse for any of
// the writers (semi-cursive +2.0 points, dropped +0.7, proportions +0.7,
// the realistic hand +0.6 in the mean).
//
// The sum is then divided by Spread: these weights spread the candidates'
// scores about 1.5 times as far as fixed weights did, and the in-game
// margins and floors, the list preference's floor and SchoolYearMargin are
// in the fixed weights' units. The order is the same either way.
constexpr double Spread = 1.5;
constexpr double ZinniaWeight = 2.6;
constexpr double ZinniaSureCut = 0.9;
constexpr double TemplateWeight = 0.081;
constexpr double TemplateSureCut = 0.04;
constexpr double OutsideModel = 2.5;
constexpr double OutsideSure = 1.3;
// A character an engine knows but did not list: a little below its last,
// then Unlisted added to the fused score. Zinnia's and the templates' lists
// leave out characters of another stroke count, which a fast hand's ink
// often has, so being left out says less than being listed last.
constexpr double ModelMissing = 1.0;
constexpr double ZinniaMissing = 0.3;
constexpr double TemplateMissing = 10;
constexpr double ZinniaUnlisted = 0.48;
constexpr double TemplateUnlisted = 1.1;
// Ink with fewer strokes than the models' best (at least this
// log-probability) has in the textbook is mostly strokes run together or
// one left out, where Zinnia, which counts strokes, favours a wrong
// character of the ink's count: there its weight is RunTogetherCut less,
// unless it and the templates agree on one character.
constexpr double RunTogetherSure = -0.357;
constexpr double RunTogetherCut = 1.0;
// A writer drops strokes or runs them together far more often than adding
// one: a character with fewer strokes in the textbook than the ink plainly
// has costs ExtraStroke for each stroke it lacks. A stroke shorter than
// TapSize of the character is a stray touch of the pen and not counted.
constexpr double ExtraStroke = 0.8;
constexpr double TapSize = 0.05;
// Without the model: Zinnia's score plus this weight x (minus the template cost).
constexpr double FallbackTemplateWeight = 0.02;
// How deep each engine's list is read.
constexpr int Depth = 30;

// Forms that exist only as parts of other characters and are never a word's
// character. Zinnia ranks some of them first for common kanji.
const QString PartsOnly = QStringLiteral(
    "丨丶丿亅乚亠冂冖冫凵勹匚匸卩厂厶囗夂夊宀巛廴廾彐彡彳攴攵疒癶禸罒襾辶");
// Pairs that differ only in size, which normalisation removes: the second,
// which words use, scores at least as well as the first. A 口 written to fill
// the box looks like the enclosure 囗.
const QString SizeTwins = QStringLiteral("囗口");

bool isKanji(const QString &text)
{
    const QList<uint> ucs = text.toUcs4();
    if (ucs.size() != 1)
        return false;
    const uint c = ucs.first();
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0x20000 && c <= 0x3FFFF) || c == 0x3005; // 々 repeats the kanji before it
}

// One engine's list as scores, with the score of what it did not list.
struct Scores
{
    QHash<QString, double> listed;
    double missing = 0;
    bool present = false;

    Scores(const QList<Candidate> &list, double below)
    {
        for (const Candidate &c : list)
            listed.insert(c.text, c.score);
        present = !list.isEmpty();
        missing = present ? list.last().score - below : 0;
    }
    double of(const QString &text) const { return listed.value(text, missing); }
    bool lists(const QString &text) const { return listed.contains(text); }
};

// How many strokes the ink plainly has: stray touches of the pen left out.
int writtenStrokes(const Ink &ink)
{
    const QRectF all = inkBounds(ink);
    const qreal least = TapSize * std::max(all.width(), all.height());
    int count = 0;
    for (const Stroke &stroke : ink.strokes) {
        const QRectF box = inkBounds(Ink{{stroke}, ink.canvas});
        count += std::max(box.width(), box.height()) >= least;
    }
    return count;
}

} // namespace

FusedRecognizer::FusedRecognizer(const InkModelRecognizer &model, const ZinniaRecognizer &zinnia,
                                 const TemplateMatcher &templates)
    : m_model(model)
    , m_zinnia(zinnia)
    , m_templates(templates)
{
}

void FusedRecognizer::setPreferredCharacters(const QSet<QString> &characters)
{
    QMutexLocker lock(&m_preferredLock);
    m_preferred = characters;
}

QSet<QString> FusedRecognizer::preferredCharacters() const
{
    QMutexLocker lock(&m_preferredLock);
    return m_preferred;
}

bool FusedRecognizer::isAvailable() const
{
    // The templates alone were never measured on real handwriting: without
    // the model and Zinnia the game reports recognition missing.
    return m_model.isAvailable() || m_zinnia.isAvailable();
}

bool FusedRecognizer::runTogether(const Ink &ink, const QList<Candidate> &model, const QList<Candidate> &zinnia,
                                  const QList<Candidate> &templates) const
{
    if (model.isEmpty() || model.first().score < RunTogetherSure
        || int(ink.strokes.size()) >= m_templates.strokeCount(model.first().text))
        return false;
    // Zinnia and the templates agreeing on another character is a kanji
    // written in full that the models do not know (a rare kanji of a
    // teacher's list), not strokes run together: they misread those each
    // their own way.
    const auto zinniaBest = std::find_if(zinnia.begin(), zinnia.end(),
                                         [](const Candidate &c) { return !PartsOnly.contains(c.text); });
    return zinniaBest == zinnia.end() || templates.isEmpty() || zinniaBest->text != templates.first().text
        || zinniaBest->text == model.first().text;
}

QList<Candidate> FusedRecognizer::ranked(const Ink &ink, const ReadingContext &context) const
{
    // Bounded once here; each engine's own bounding then finds nothing to do.
    const Ink bounded = boundedInk(ink);
    if (bounded.isEmpty())
        return {};
    // In a game the model reads first: a free board character it is sure of
    // is what was written, and Zinnia and the templates, nine tenths of the
    // work, are spared. A whole class starting at once reads faster so.
    const bool inGame = !context.isEmpty() && m_model.isAvailable();
    QList<Candidate> first;
    if (inGame) {
        first = m_model.classify(bounded, Depth);
        if (!first.isEmpty() && first.first().score >= SureModel && context.isFree(first.first().text)) {
            m_sureReadings.fetch_add(1, std::memory_order_relaxed);
            return first;
        }
    }
    m_fullReadings.fetch_add(1, std::memory_order_relaxed);
    // Zinnia takes longer than the other two together: it runs on a second
    // core meanwhile, which nearly halves the wait after a pen-up.
    auto zinniaResult = std::async(std::launch::async, [this, &bounded] { return m_zinnia.classify(bounded, Depth); });
    const QList<Candidate> m = inGame ? first : m_model.classify(bounded, Depth);
    const QList<Candidate> t = m_templates.classify(bounded, Depth);
    const QList<Candidate> z = zinniaResult.get();
    const Scores model(m, ModelMissing), zinnia(z, ZinniaMissing), templates(t, TemplateMissing);
    const double sure = m.isEmpty() ? 0.0 : std::exp(m.first().score);
    const double zinniaWeight = ZinniaWeight - ZinniaSureCut * sure
        - (runTogether(bounded, m, z, t) ? RunTogetherCut : 0.0);
    const double templateWeight = TemplateWeight - TemplateSureCut * sure;
    const double outside = OutsideModel + OutsideSure * sure;
    const int written = writtenStrokes(bounded);

    QStringList order;
    QSet<QString> seen;
    for (const QList<Candidate> *list : {&m, &z, &t}) {
        for (const Candidate &c : *list) {
            if (!seen.contains(c.text)) {
                seen.insert(c.text);
                order << c.text;
            }
        }
    }
    QList<Candidate> out;
    out.reserve(order.size());
    for (const QString &text : order) {
        double score = 0;
        if (model.present) {
            score = m_model.contains(text) ? model.of(text) : m.first().score - outside;
            if (zinnia.present)
                score += zinniaWeight * zinnia.of(text) + (zinnia.lists(text) ? 0.0 : ZinniaUnlisted);
            if (templates.present)
                score += templateWeight * templates.of(text) + (templates.lists(text) ? 0.0 : TemplateUnlisted);
            if (const int textbook = m_templates.strokeCount(text); textbook > 0 && written > textbook)
                score -= ExtraStroke * (written - textbook);
            score /= Spread;
        } else {
            score = zinnia.of(text) + (templates.present ? FallbackTemplateWeight * templates.of(text) : 0);
        }
        out.append({text, score});
    }
    return out;
}

QList<Candidate> FusedRecognizer::classify(const Ink &ink, int count) const
{
    return ordered(ink, count, {}).mid(0, std::max(0, count));
}

QList<Candidate> FusedRecognizer::classifyInGame(const Ink &ink, int count, const ReadingContext &context) const
{
    return ordered(ink, count, context);
}

ContextMargins FusedRecognizer::contextMargins() const
{
    // The margins are in the fused scores' units: without the model the
    // scores are Zinnia's, and the context moves nothing.
    if (!m_model.isAvailable())
        return {};
    return {BoardMargin, BoardFloor, PairMargin, PairEach, PairFloor};
}

QList<Candidate> FusedRecognizer::ordered(const Ink &ink, int count, const ReadingContext &context) const
{
    if (count <= 0 || !isAvailable())
        return {};
    const QSet<QString> preferred = preferredCharacters();
    QList<Candidate> fused = ranked(ink, context);
    for (int i = 0; i + 1 < SizeTwins.size(); i += 2) {
        const QString part = SizeTwins.mid(i, 1), word = SizeTwins.mid(i + 1, 1);
        const auto from = std::find_if(fused.begin(), fused.end(), [&](const Candidate &c) { return c.text == part; });
        if (from == fused.end())
            continue;
        const double score = from->score;
        auto to = std::find_if(fused.begin(), fused.end(), [&](const Candidate &c) { return c.text == word; });
        if (to == fused.end())
            fused.append({word, score});
        else
            to->score = std::max(to->score, score);
    }
    fused.erase(std::remove_if(fused.begin(), fused.end(), [](const Candidate &c) { return PartsOnly.contains(c.text); }),
                fused.end());
    if (fused.isEmpty())
        return {};
    // Only kanji make words here: kanji before kana and anything else.
    std::stable_sort(fused.begin(), fused.end(), [](const Candidate &a, const Candidate &b) {
        const bool ka = isKanji(a.text), kb = isKanji(b.text);
        return ka != kb ? ka : a.score > b.score;
    });

    // In a game a free board character close behind the best goes first;
    // else a word-list character closer still.
    if (const int board = BoardPreference::boardFirst(fused, context, contextMargins()); board > 0) {
        fused.move(board, 0);
    } else if (!preferred.isEmpty() && !preferred.contains(fused.first().text)) {
        for (int i = 1; i < fused.size(); ++i) {
            if (fused.first().score - fused[i].score > PreferenceMargin)
                break;
            if (preferred.contains(fused[i].text) && fused[i].score >= PreferenceFloor) {
                fused.move(i, 0);
                break;
            }
        }
    }
    // Behind the result, what a child is likely to have meant comes first:
    // the list's characters (the board holds only those), then the kanji of
    // the school years, then the other jōyō kanji. Reordered among the best
    // few only, so that no far-fetched guess rises into view.
    auto rank = [&preferred, &context](const Candidate &c) {
        if (context.isFree(c.text))
            return 0;
        if (preferred.contains(c.text))
            return 1;
        const int year = kanjiSchoolYear(c.text);
        return year >= 1 && year <= 6 ? 2 : year == 7 ? 3 : isKanji(c.text) ? 4 : 5;
    };
    // Characters no school teaches (and no list holds) go behind all the
    // others, however Zinnia or the templates scored them.
    std::stable_partition(fused.begin() + 1, fused.end(), [&](const Candidate &c) { return rank(c) <= 3; });
    const int window = std::min<int>(int(fused.size()), std::max(2 * count, count + 5));
    // The list's characters pass anything; a school-year kanji passes a
    // later jōyō kanji only when it scores within SchoolYearMargin of it, so
    // that a clear later-taught candidate is not buried under look-alikes.
    for (int i = 2; i < window; ++i) {
        for (int j = i; j > 1; --j) {
            const Candidate &ahead = fused[j - 1], &behind = fused[j];
            const bool passes = rank(behind) < rank(ahead)
                && (rank(behind) <= 1 || ahead.score - behind.score <= SchoolYearMargin);
            if (!passes)
                break;
            std::swap(fused[j - 1], fused[j]);
        }
    }
    return fused;
}
