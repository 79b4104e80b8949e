#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# What a box costs in a game and outside one: the board words of 32 deals
# (8 on each bundled list, from the context benchmark's test split) written
# with the independent ink, each box read as the player window reads it in a
# game (the board and the list known) and as it reads outside one; median and
# 99th percentile per box, and how much of the ink the models read alone.
#   bench/recognition/gamelatency.py --tool build-bench/taruvo-recognize
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import context  # noqa: E402
import run  # noqa: E402
import tablet  # noqa: E402

DEALS_PER_LIST = 8
CONDITIONS = ("realistic", "clean", "semi-cursive")


def percentile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


def timed(tool, extra, lines):
    p = subprocess.run([tool, "--size", "%d,%d" % (tablet.BOX, tablet.BOX), "--timing"] + extra,
                       input="\n".join(lines) + "\n", capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("taruvo-recognize failed: " + p.stderr.strip())
    times, alone, full = [], 0, 0
    for ln in p.stderr.splitlines():
        f = ln.split()
        if f and f[0].isdigit() and all(x.isdigit() for x in f):
            times.append(int(f[0]) / 1000.0)
        elif ln.startswith("inks read by the ink model alone"):
            alone, full = [int(x.strip(",")) for x in f if x.strip(",").isdigit()]
    return times, alone, full


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default=os.path.join(run.ROOT, "build-bench/cache"))
    args = ap.parse_args()
    sets, data = run.independent_sets(args.cache)
    deals = context.games(sets["test"], run.ROOT)
    for cond in CONDITIONS:
        game, outside, words, used, alone, full = [], [], 0, 0, 0, 0
        for name in context.LISTS:
            path = os.path.join(run.ROOT, "data/words", name)
            listed = {c for w in context.read_list(path) for c in w}
            todo = [g for g in deals if g["listed"] == listed][:DEALS_PER_LIST]
            used += len(todo)
            boxes, plain = [], []
            for g in todo:
                for word in g["written"]:
                    words += 1
                    for c in word:
                        ink = tablet.write(c, data[c], cond, run.INK_SEED).split("\t", 1)[1]
                        boxes.append("".join(g["entries"]) + "\t" + ink + "\t")  # the other box empty
                        plain.append(ink)
            t, a, f = timed(args.tool, ["--words", path, "--pairs"], boxes)
            game += t
            alone += a
            full += f
            outside += timed(args.tool, [], plain)[0]
        print("%-13s %d board words of %d deals: in a game %.1f / %.1f ms, outside %.1f / %.1f ms, "
              "read by the models alone in the game %.0f %%" % (
                  cond, words, used, statistics.median(game), percentile(game, 0.99), statistics.median(outside),
                  percentile(outside, 0.99), 100.0 * alone / max(1, alone + full)), flush=True)


if __name__ == "__main__":
    main()
