// SPDX-License-Identifier: GPL-3.0-or-later
// Fusion of Zinnia's and the template matcher's scores.
#include "recognition/fusedrecognizer.h"
#include "recognition/templatematcher.h"
#include "recognition/zinniarecognizer.h"

#include <QHash>
#include <algorithm>

namespace {

// Fused score = Zinnia's score - TemplateWeight x template cost. The
// templates come from the same data as the benchmark, so its figures flatter
// them: the weight is kept near the smallest that meets every perturbed-ink
// target (0.015, bench/recognition/tune.py); 0.02 leaves about ten points to
// spare on each, for hands further from the templates than the benchmark's.
constexpr double TemplateWeight = 0.02;
// A character one engine did not list scores a little below that engine's last.
constexpr double ZinniaMissing = 0.3;
constexpr double TemplateMissing = 10;
// How deep each engine's list is read.
constexpr int Depth = 30;

// Forms that exist only as parts of other characters and are never a word's
// character. Zinnia ranks some of them first for common kanji, so they go
// last, after anything that is not a kanji at all (words here are kanji).
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

// 0 for a kanji, 1 for any other character, 2 for a part-only form.
int tier(const QString &text)
{
    if (PartsOnly.contains(text))
        return 2;
    return isKanji(text) ? 0 : 1;
}

// Every character either engine listed, scored by both; unsorted.
QList<Candidate> combined(const QList<Candidate> &z, const QList<Candidate> &t)
{
    QHash<QString, double> zinniaScore, templateScore;
    QStringList order;
    for (const Candidate &c : z) {
        zinniaScore.insert(c.text, c.score);
        order << c.text;
    }
    for (const Candidate &c : t) {
        templateScore.insert(c.text, c.score); // minus the cost
        if (!zinniaScore.contains(c.text))
            order << c.text;
    }
    const double zFloor = z.isEmpty() ? 0 : z.last().score - ZinniaMissing;
    const double tFloor = t.last().score - TemplateMissing;
    QList<Candidate> out;
    out.reserve(order.size());
    for (const QString &text : order)
        out.append({text, zinniaScore.value(text, zFloor) + TemplateWeight * templateScore.value(text, tFloor)});
    return out;
}

} // namespace

FusedRecognizer::FusedRecognizer(const ZinniaRecognizer &zinnia, const TemplateMatcher &templates)
    : m_zinnia(zinnia)
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
    // Without Zinnia the game reports the model missing rather than fall back
    // on a matcher that was never measured alone on real handwriting.
    return m_zinnia.isAvailable();
}

QList<Candidate> FusedRecognizer::classify(const Ink &ink, int count) const
{
    if (count <= 0 || !isAvailable())
        return {};
    const QSet<QString> preferred = preferredCharacters();
    const int depth = std::max(count, Depth);
    const QList<Candidate> z = m_zinnia.classify(ink, depth);
    const QList<Candidate> t = m_templates.classify(ink, depth);
    QList<Candidate> fused = z;
    if (!t.isEmpty())
        fused = combined(z, t);
    if (fused.isEmpty())
        return {};
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
    std::stable_sort(fused.begin(), fused.end(), [](const Candidate &a, const Candidate &b) {
        const int ta = tier(a.text), tb = tier(b.text);
        return ta != tb ? ta < tb : a.score > b.score;
    });

    // A word-list character close behind the best goes first.
    if (!preferred.isEmpty() && !preferred.contains(fused.first().text)) {
        for (int i = 1; i < fused.size(); ++i) {
            if (fused.first().score - fused[i].score > PreferenceMargin)
                break;
            if (preferred.contains(fused[i].text) && fused[i].score >= PreferenceFloor) {
                fused.move(i, 0);
                break;
            }
        }
    }
    // Behind the result, the list's characters come first: the board holds
    // only those, and a look-alike such as 曰 beside 日 only misleads.
    QList<Candidate> shown = fused.mid(0, count);
    if (!preferred.isEmpty() && shown.size() > 2) {
        std::stable_partition(shown.begin() + 1, shown.end(),
                              [&preferred](const Candidate &c) { return preferred.contains(c.text); });
    }
    return shown;
}
