#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Recognition benchmark: writes ink through taruvo-recognize, each
# recogniser alone and fused (the box's path), and reports top-1 / top-5
# and the time per character.
#
# The main table is independent ink (tablet.py: Make Me a Hanzi medians,
# never used for training, templates or anything else), split by character
# into a development half, on which the fusion weights are chosen
# (tune.py), and a test half, which the figures report. --source kanjivg
# gives the secondary table on the KanjiVG strokes the model and the
# templates come from.
import argparse
import json
import math
import os
import random
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "../.."))
sys.path.insert(0, HERE)
import kanjivg  # noqa: E402
import tablet  # noqa: E402

ENGINES = ["model", "zinnia", "templates", "fused"]
SPLIT_SEED = 20261207
INK_SEED = 1207
# Forms that are only parts of kanji, which the box never offers.
PARTS_ONLY = set("丨丶丿亅乚亠冂冖冫凵勹匚匸卩厂厶囗夂夊宀巛廴廾彐彡彳攴攵疒癶禸罒襾辶")


def model_files(tool, ending):
    """The ink models' files the tool reads (".onnx" or ".json"): those
    beside it (as the program looks there first), else the committed ones."""
    folder = os.path.dirname(os.path.abspath(tool)) if tool else ""
    if not folder or not os.path.exists(os.path.join(folder, "ink-ja.onnx")):
        folder = os.path.join(ROOT, "data/inkmodel")
    paths = [os.path.join(folder, name + ending) for name in ("ink-ja", "ink-ja-longhand")]
    return [p for p in paths if os.path.exists(p)]


def model_classes(tool=None):
    """The classes the ink models the tool reads know together."""
    out = set()
    for path in model_files(tool, ".json"):
        with open(path, encoding="utf-8") as fh:
            out |= set(json.load(fh)["classes"])
    return out


def independent_sets(cache):
    """{'dev': [...], 'test': [...], 'rare-dev': [...], ...} and the ink data.
    The jōyō kanji the independent data has, split one third for development
    and two thirds for test; 'rare' are the name kanji (KANJIDIC grades 9
    and 10) the data has, which a model of the jōyō kanji alone does not know;
    'beyond' are the kanji KANJIDIC lists without a grade (neither jōyō nor
    name kanji), which no model here knows."""
    g = kanjivg.grades()
    folder = tablet.fetch(cache)
    joyo = sorted(c for c, v in g.items() if v <= 8)
    rare = sorted(c for c, v in g.items() if v >= 9)
    beyond = sorted(kanjivg.kanjidic_chars() - set(g) - PARTS_ONLY)
    data = tablet.load(folder, joyo + rare + beyond)
    sets = {}
    for name, chars in (("", joyo), ("rare-", rare), ("beyond-", beyond)):
        chars = [c for c in chars if c in data]
        random.Random(SPLIT_SEED).shuffle(chars)
        cut = len(chars) // 3
        sets[name + "dev"] = sorted(chars[:cut])
        sets[name + "test"] = sorted(chars[cut:])
    return sets, data


def lines_for(source, chars, data, condition, seed=INK_SEED):
    if source == "kanjivg":
        return [kanjivg.write(c, data[c], condition, seed) for c in chars]
    return [tablet.write(c, data[c], condition, seed) for c in chars]


def run(tool, lines, engine, size, count=10, scores=False, extra=()):
    cmd = [tool, "--size", "%d,%d" % (size, size), "-n", str(count), "--timing", "--engine", engine]
    if scores:
        cmd.append("--scores")
    p = subprocess.run(cmd + list(extra), input="\n".join(lines) + "\n", capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("taruvo-recognize failed: " + p.stderr.strip())
    out = p.stdout.split("\n")[:len(lines)]
    times = [int(t) / 1000.0 for t in p.stderr.split()[-len(lines):]]
    rows = [o.split(" ") if o else [] for o in out]
    if scores:
        rows = [[(c.rsplit(":", 1)[0], float(c.rsplit(":", 1)[1])) for c in r] for r in rows]
    return rows, times


def accuracy(chars, results, k):
    return sum(1 for c, r in zip(chars, results) if c in r[:k]) / max(1, len(chars))


def p99(times):
    t = sorted(times)
    return t[min(len(t) - 1, int(math.ceil(0.99 * len(t))) - 1)]


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", default=os.path.join(ROOT, "build-bench/taruvo-recognize"))
    ap.add_argument("--source", choices=["independent", "kanjivg"], default="independent")
    ap.add_argument("--split", default="test", help="test, dev, rare-test, rare-dev, beyond-test or beyond-dev (independent ink)")
    ap.add_argument("--conditions", help="comma-separated; default all of the source")
    ap.add_argument("--engines", default=",".join(ENGINES))
    ap.add_argument("--limit", type=int, default=0, help="only every k-th character, for quick runs")
    ap.add_argument("--cache", default=os.path.join(ROOT, "build-bench/cache"))
    ap.add_argument("extra", nargs="*", help="further arguments for taruvo-recognize")
    args = ap.parse_args()
    if args.source == "kanjivg":
        data = kanjivg.load_strokes()
        chars = list(data)
        conditions = list(kanjivg.CONDITIONS)
        size = kanjivg.GRID
        print("%d jōyō kanji, KanjiVG strokes (the ink model's training source)" % len(chars))
    else:
        sets, data = independent_sets(args.cache)
        chars = sets[args.split]
        conditions = list(tablet.CONDITIONS)
        size = tablet.BOX
        print("%d kanji of the %s split, independent ink (%s %s)" % (len(chars), args.split, tablet.PACKAGE, tablet.VERSION))
    if args.conditions:
        conditions = args.conditions.split(",")
    if args.limit > 1:
        chars = chars[::args.limit]
    engines = args.engines.split(",")
    print("%-13s %s  %s" % ("condition", "  ".join("%-13s" % e for e in engines), "fused median / p99"))
    timing = {e: [] for e in engines}
    for cond in conditions:
        lines = lines_for(args.source, chars, data, cond)
        cells, fused_times = [], []
        for engine in engines:
            results, times = run(args.tool, lines, engine, size, extra=args.extra)
            timing[engine] += times
            cells.append("%.3f / %.3f" % (accuracy(chars, results, 1), accuracy(chars, results, 5)))
            if engine == "fused":
                fused_times = times
        tail = "%.1f / %.1f ms" % (statistics.median(fused_times), p99(fused_times)) if fused_times else ""
        print("%-13s %s  %s" % (cond, "  ".join("%-13s" % c for c in cells), tail), flush=True)
    print("time per character over all conditions, median / p99:")
    for engine in engines:
        print("  %-10s %.1f / %.1f ms" % (engine, statistics.median(timing[engine]), p99(timing[engine])))


if __name__ == "__main__":
    main()
