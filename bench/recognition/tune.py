#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Chooses the fusion weights on the development split of the independent
# ink, then checks the choice on the test split. Each recogniser's scored
# candidates are dumped once per split and condition (cached in
# build-bench/), the fusion is replayed offline for a grid of weights, and
# the best by the mean top-1 over all conditions (rare kanji counted a
# quarter) is printed with its figures on both splits. The constants in
# src/recognition/fusedrecognizer.cpp come from this table.
#   bench/recognition/tune.py --tool build-bench/taruvo-recognize
import argparse
import itertools
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run  # noqa: E402
import tablet  # noqa: E402

ZINNIA_WEIGHTS = [0.0, 0.1, 0.2, 0.3, 0.5, 0.75, 1.0, 1.5]
TEMPLATE_WEIGHTS = [0.0, 0.005, 0.01, 0.02, 0.03, 0.05, 0.08]
OUTSIDE = [1.0, 2.0, 3.0, 4.0, 6.0]
RARE_CONDITIONS = ["clean", "realistic"]
PARTS_ONLY = set("丨丶丿亅乚亠冂冖冫凵勹匚匸卩厂厶囗夂夊宀巛廴廾彐彡彳攴攵疒癶禸罒襾辶")


def is_kanji(c):
    o = ord(c) if len(c) == 1 else 0
    return 0x4E00 <= o <= 0x9FFF or 0x3400 <= o <= 0x4DBF or 0xF900 <= o <= 0xFAFF or 0x20000 <= o <= 0x3FFFF or o == 0x3005


def fuse(m, z, t, classes, wz, wt, outside):
    """As FusedRecognizer ranks, before the word-list preference."""
    md, zd, td = dict(m), dict(z), dict(t)
    mmiss = m[-1][1] - 1.0 if m else 0
    zmiss = z[-1][1] - 0.3 if z else 0
    tmiss = t[-1][1] - 10 if t else 0
    names = []
    for lst in (m, z, t):
        for c, _ in lst:
            if c not in names and c not in PARTS_ONLY:
                names.append(c)
    scored = []
    for c in names:
        if m:
            s = md.get(c, mmiss) if c in classes else m[0][1] - outside
            s += wz * zd.get(c, zmiss) if z else 0
            s += wt * td.get(c, tmiss) if t else 0
        else:
            s = zd.get(c, zmiss) + (0.02 * td.get(c, tmiss) if t else 0)
        scored.append((not is_kanji(c), -s, c))
    scored.sort()
    return [c for _, _, c in scored]


def dumps(tool, cache, split, chars, data, conditions):
    path = os.path.join(cache, "fusion-dump-%s.json" % split)
    out = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as fh:
            out = json.load(fh)
    for cond in conditions:
        if cond in out:
            continue
        lines = run.lines_for("independent", chars, data, cond)
        out[cond] = {e: run.run(tool, lines, e, tablet.BOX, count=30, scores=True)[0]
                     for e in ("model", "zinnia", "templates")}
        print("dumped %s %s" % (split, cond), file=sys.stderr, flush=True)
        with open(path, "w", encoding="utf-8") as fh:
            json.dump(out, fh, ensure_ascii=False)
    return out


def figures(d, chars, classes, w):
    res = {}
    for cond, e in d.items():
        top1 = top5 = 0
        for i, ch in enumerate(chars):
            r = fuse(e["model"][i], e["zinnia"][i], e["templates"][i], classes, *w)
            top1 += r[:1] == [ch]
            top5 += ch in r[:5]
        res[cond] = (top1 / len(chars), top5 / len(chars))
    return res


def objective(joyo, rare):
    return (sum(v[0] for v in joyo.values()) / len(joyo)
            + 0.25 * sum(v[0] for v in rare.values()) / len(rare))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default=os.path.join(run.ROOT, "build-bench/cache"))
    args = ap.parse_args()
    sets, data = run.independent_sets(args.cache)
    classes = run.model_classes()
    conditions = list(tablet.CONDITIONS)
    d = {s: dumps(args.tool, args.cache, s, sets[s], data, conditions) for s in ("dev", "test")}
    r = {s: dumps(args.tool, args.cache, s, sets[s], data, RARE_CONDITIONS) for s in ("rare-dev", "rare-test")}
    print("development split: %d jōyō kanji, %d rare; test split: %d and %d" %
          (len(sets["dev"]), len(sets["rare-dev"]), len(sets["test"]), len(sets["rare-test"])))
    ranked = []
    for w in itertools.product(ZINNIA_WEIGHTS, TEMPLATE_WEIGHTS, OUTSIDE):
        j = figures(d["dev"], sets["dev"], classes, w)
        k = figures(r["rare-dev"], sets["rare-dev"], classes, w)
        ranked.append((objective(j, k), w, j, k))
    ranked.sort(key=lambda x: -x[0])
    print("best on the development split (Zinnia weight, template weight, outside-model gap):")
    for score, w, j, k in ranked[:8]:
        print("  %-18s %.4f  realistic %.3f  rare %.3f" % (w, score, j["realistic"][0], k["clean"][0]))
    best = ranked[0][1]
    alone = (0.0, 0.0, 1e9)
    for label, w in (("model alone", alone), ("chosen %s" % (best,), best)):
        print("%s: top-1 / top-5" % label)
        for split in ("dev", "test"):
            j = figures(d[split], sets[split], classes, w)
            k = figures(r["rare-" + split], sets["rare-" + split], classes, w)
            print("  %-5s %s | rare %s" % (split, "  ".join("%s %.3f/%.3f" % (c, *v) for c, v in j.items()),
                                         "  ".join("%s %.3f/%.3f" % (c, *v) for c, v in k.items())))


if __name__ == "__main__":
    main()
