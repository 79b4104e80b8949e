// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the stroke templates, a file the program reads at start:
// loaded, then asked what the box asks of it, with the invariants the
// fusion relies on (finite scores, best first, only loaded characters).
#include "engine/ink.h"
#include "recognition/templatematcher.h"

#include <QByteArray>
#include <cmath>
#include <cstdlib>

namespace {

Ink inkOf(std::initializer_list<std::initializer_list<QPointF>> strokes)
{
    Ink ink;
    for (const auto &s : strokes)
        ink.strokes << Stroke(s);
    return ink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TemplateMatcher matcher;
    const bool loaded = matcher.load(bytes);
    if (loaded != matcher.isAvailable() || loaded != (matcher.size() > 0))
        std::abort();
    if (!loaded)
        return 0;
    // A tree, one dot, and a flat line beside a tall one: ink of every
    // shape the fit treats apart.
    const Ink inks[] = {
        inkOf({{{30, 110}, {270, 105}}, {{150, 30}, {150, 280}}, {{145, 110}, {40, 240}}, {{155, 110}, {265, 235}}}),
        inkOf({{{120, 120}}}),
        inkOf({{{20, 200}, {220, 200}}, {{120, 20}, {121, 280}}, {{60, 60}, {70, 70}, {60, 60}}}),
    };
    for (const Ink &ink : inks) {
        const QList<Candidate> got = matcher.classify(ink, 8);
        if (got.size() > 8)
            std::abort();
        for (qsizetype i = 0; i < got.size(); ++i) {
            const Candidate &c = got[i];
            if (!std::isfinite(c.score) || !matcher.contains(c.text) || matcher.strokeCount(c.text) < 1)
                std::abort();
            if (i > 0 && got[i - 1].score < c.score)
                std::abort();
        }
    }
    return 0;
}
