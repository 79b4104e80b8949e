#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the word-list preference on the independent ink: how often a list
# character's writing is read right with and without it, and how often ink
# that is not a list character (other kanji, random scribbles) comes out as
# one. The rule is replayed offline on taruvo-recognize's fused scores for a
# range of margins and score floors, on the development split to choose and
# on the test split to check; the constants in fusedrecognizer.h come from
# this table.
#   bench/recognition/prefer.py --tool build-bench/taruvo-recognize
import argparse
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run  # noqa: E402
import tablet  # noqa: E402
from tune import is_kanji  # noqa: E402

MARGINS = [None, 0.5, 1.0, 1.5, 2.0]
FLOORS = [None, -16.0, -13.0, -10.0, -8.0]


def scored(tool, lines):
    rows = run.run(tool, lines, "fused", tablet.BOX, count=30, scores=True)[0]
    # The tool lists candidates behind the first by school year; the rule
    # works on the order by score, kanji first.
    return [sorted(r, key=lambda cs: (not is_kanji(cs[0]), -cs[1])) for r in rows]


def top(cands, preferred, margin, floor):
    if not cands:
        return None
    best = cands[0]
    if margin is None or best[0] in preferred:
        return best[0]
    for c, s in cands[1:]:
        if best[1] - s > margin:
            break
        if c in preferred and (floor is None or s >= floor):
            return c
    return best[0]


def scribble(rng):
    strokes = []
    for _ in range(rng.randint(1, 10)):
        pts = [(rng.uniform(20, 280), rng.uniform(20, 280)) for _ in range(rng.randint(2, 3))]
        s = []
        for a, b in zip(pts, pts[1:]):
            n = 10
            s += [(round(a[0] + (b[0] - a[0]) * i / n), round(a[1] + (b[1] - a[1]) * i / n)) for i in range(n)]
        strokes.append(s)
    return tablet.ink_line("", strokes)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default=os.path.join(run.ROOT, "build-bench/cache"))
    ap.add_argument("--words", default=os.path.join(run.ROOT, "data/words/小学1-2年.txt"))
    args = ap.parse_args()
    sets, data = run.independent_sets(args.cache)
    with open(args.words, encoding="utf-8-sig") as fh:
        preferred = {ch for line in fh for ch in line.strip() if len(line.strip()) == 2}
    rng = random.Random(7)
    scribbles = [scribble(rng) for _ in range(500)]
    junk = scored(args.tool, scribbles)
    for split in ("dev", "test"):
        inside = [c for c in sets[split] if c in preferred]
        outside = [c for c in sets[split] if c not in preferred][::2]
        print("%s split, word list %s: %d list characters with ink, %d others" %
              (split, os.path.basename(args.words), len(inside), len(outside)))
        tables = {}
        for cond in ("realistic", "joined", "dropped", "semi-cursive"):
            tables["right " + cond] = ("right", inside, scored(args.tool, run.lines_for("independent", inside, data, cond)))
        tables["other kanji -> list"] = ("list", outside, scored(args.tool, run.lines_for("independent", outside, data, "realistic")))
        tables["scribbles -> list"] = ("list", [None] * len(junk), junk)
        print("%-26s %s" % ("", "  ".join("%-12s" % n[:12] for n in tables)))
        for floor in FLOORS:
            for margin in MARGINS:
                if margin is None and floor is not None:
                    continue
                row = []
                for what, truth, results in tables.values():
                    hits = 0
                    for t, cands in zip(truth, results):
                        got = top(cands, preferred, margin, floor)
                        hits += (got == t) if what == "right" else (got in preferred)
                    row.append(hits / len(truth))
                label = "off" if margin is None else "margin %.2f, floor %s" % (margin, floor)
                print("%-26s %s" % (label, "  ".join("%-12.3f" % v for v in row)))


if __name__ == "__main__":
    main()
