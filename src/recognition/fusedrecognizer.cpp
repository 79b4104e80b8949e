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
// character. Zinnia ranks some of them first for common kanji (囗 for a
// large 口, since size is normalised away), so they go last.
const QString PartsOnly = QStringLiteral(
    "丨丶丿亅乚亠冂冖冫凵勹匚匸卩厂厶囗夂夊宀巛廴廾彐彡彳攴攵疒癶禸罒襾辶");

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
    const int depth = std::max(count, Depth);
    const QList<Candidate> z = m_zinnia.classify(ink, depth);
    const QList<Candidate> t = m_templates.classify(ink, depth);
    QList<Candidate> fused = z;
    if (!t.isEmpty())
        fused = combined(z, t);
    if (fused.isEmpty())
        return {};
    std::stable_sort(fused.begin(), fused.end(),
                     [](const Candidate &a, const Candidate &b) { return a.score > b.score; });
    std::stable_partition(fused.begin(), fused.end(),
                          [](const Candidate &c) { return !PartsOnly.contains(c.text); });

    // A word-list character close behind the best goes first.
    if (!m_preferred.isEmpty() && !m_preferred.contains(fused.first().text)) {
        for (int i = 1; i < fused.size(); ++i) {
            if (fused.first().score - fused[i].score > PreferenceMargin)
                break;
            if (m_preferred.contains(fused[i].text) && fused[i].score >= PreferenceFloor) {
                fused.move(i, 0);
                break;
            }
        }
    }
    return fused.mid(0, count);
}
