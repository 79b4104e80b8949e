#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the word-list preference: how often writing of a list character is
# read right with and without it, and how often ink that is not a list
# character (other kanji, random scribbles) comes out as one. The preference
# rule is applied offline to taruvo-recognize's fused scores, for a range of
# margins and score floors; the constants in fusedrecognizer.cpp are chosen
# from this table.
import argparse, os, random, subprocess, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402

MARGINS = [0.1, 0.2, 0.3, 0.5, 0.75, 1.0]
FLOORS = [None, -2.5, -2.0, -1.6]


def scored(tool, lines):
    cmd = [tool, "--size", "256,256", "-n", "30", "--scores"]
    p = subprocess.run(cmd, input="\n".join(lines) + "\n", capture_output=True, text=True, check=True)
    return [[(c.rsplit(":", 1)[0], float(c.rsplit(":", 1)[1])) for c in row.split(" ") if c]
            for row in p.stdout.split("\n")[:len(lines)]]


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
        pts = [(rng.uniform(20, 236), rng.uniform(20, 236)) for _ in range(rng.randint(2, 3))]
        s = []
        for a, b in zip(pts, pts[1:]):
            s += run.interpolate(a, b)
        strokes.append(s)
    return strokes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--words", default=os.path.join(os.path.dirname(__file__), "../../data/words/小学1-2年.txt"))
    args = ap.parse_args()
    data = run.load_strokes()
    with open(args.words, encoding="utf-8-sig") as fh:
        preferred = {ch for line in fh for ch in line.strip() if len(line.strip()) == 2}
    inside = [c for c in data if c in preferred]
    outside = [c for c in data if c not in preferred]
    print("word list %s: %d characters, %d with strokes" % (os.path.basename(args.words), len(preferred), len(inside)))
    rng = random.Random(7)
    sets = {}
    for cond in ["distorted", "skew+shaky", "joined"]:
        make = run.CONDITIONS[cond]
        sets["right " + cond] = ("right", inside, scored(args.tool, [run.line(c, make(data[c], rng)) for c in inside]))
    others = outside[::3]
    sets["list: other kanji"] = ("list", others, scored(args.tool, [run.line(c, run.distorted(data[c], rng)) for c in others]))
    scribbles = [scribble(rng) for _ in range(1000)]
    sets["list: scribbles"] = ("list", [None] * len(scribbles), scored(args.tool, [run.line("", s) for s in scribbles]))
    print("%-44s %s" % ("", "  ".join("%-10s" % n[:10] for n in sets)))
    for floor in FLOORS:
        for margin in ([None] if floor is FLOORS[0] else []) + MARGINS:
            row = []
            for name, (what, truth, results) in sets.items():
                hits = 0
                for t, cands in zip(truth, results):
                    got = top(cands, preferred, margin, floor)
                    hits += (got == t) if what == "right" else (got in preferred)
                row.append(hits / len(truth))
            label = "off" if margin is None else "margin %.2f, floor %s" % (margin, floor)
            print("%-44s %s" % (label, "  ".join("%-10.3f" % r for r in row)))

if __name__ == "__main__":
    main()
