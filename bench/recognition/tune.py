#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Chooses the fusion weights on the development split of the independent
# ink, then checks the choice on the test split. Each recogniser's scored
# candidates are dumped once per split and condition (cached in
# build-bench/), the fusion is replayed offline for a grid of weights, and
# the best by the mean top-1 over all conditions (kanji beyond the jōyō
# kanji counted a quarter) is printed with its figures on both splits. The
# constants in src/recognition/fusedrecognizer.cpp come from this table.
# Debian's python3, for python3-numpy (bench/recognition/run.sh installs it).
#   bench/recognition/tune.py --tool build-bench/taruvo-recognize
import argparse
import itertools
import json
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import kanjivg  # noqa: E402
import run  # noqa: E402
import tablet  # noqa: E402

ZINNIA_WEIGHTS = [0.0, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0]
TEMPLATE_WEIGHTS = [0.0, 0.01, 0.02, 0.03, 0.05, 0.08, 0.12, 0.16]
OUTSIDE = [1.0, 2.0, 3.0, 4.0, 6.0]
RARE_CONDITIONS = ["clean", "realistic"]
SURE = [0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9]
# The run-together rule (RunTogetherSure, RunTogetherFactor in
# fusedrecognizer.cpp): the models' probability and the factor on the other
# two's weights; chosen on the development split written by three writers.
RULE = (0.7, 0.75)
RUN_TOGETHER_SURE = np.log(RULE[0])
FEWER = [(p, k) for p in (0.35, 0.5, 0.7) for k in (0.25, 0.5, 0.75)]
DEV_SEEDS = (run.INK_SEED, 1208, 1209)
OTHER_SPLITS = ("rare-dev", "rare-test", "beyond-dev", "beyond-test")
# What a character costs for each stroke fewer in the textbook than the ink
# plainly has (ExtraStroke in fusedrecognizer.cpp), and the size below which
# a stroke is a stray touch of the pen (TapSize).
EXTRA_STROKES = [0.3, 0.5, 0.8, 1.2, 1.6, 2.4]
TAP_SIZE = 0.05
PARTS_ONLY = run.PARTS_ONLY


def is_kanji(c):
    o = ord(c) if len(c) == 1 else 0
    return 0x4E00 <= o <= 0x9FFF or 0x3400 <= o <= 0x4DBF or 0xF900 <= o <= 0xFAFF or 0x20000 <= o <= 0x3FFFF or o == 0x3005


def dumps(tool, cache, split, chars, data, conditions, engines=("model", "zinnia", "templates"), seed=run.INK_SEED):
    """{condition: {engine: scored candidates of each character}}, cached:
    delete build-bench/cache/fusion-dump-*.json after changing a recogniser.
    `seed`: the writer of the ink (another seed, another hand)."""
    name = split if seed == run.INK_SEED else "%s-%d" % (split, seed)
    path = os.path.join(cache, "fusion-dump-%s.json" % name)
    out = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as fh:
            out = json.load(fh)
    for cond in conditions:
        lines = None
        for engine in engines:
            if engine in out.get(cond, {}):
                continue
            lines = lines or run.lines_for("independent", chars, data, cond, seed)
            out.setdefault(cond, {})[engine] = run.run(tool, lines, engine, tablet.BOX, count=30, scores=True)[0]
            print("dumped %s %s %s" % (split, cond, engine), file=sys.stderr, flush=True)
            with open(path, "w", encoding="utf-8") as fh:
                json.dump(out, fh, ensure_ascii=False)
    return {c: out[c] for c in conditions}


def template_strokes():
    """Every character's stroke count in the templates' file (as
    TemplateMatcher::strokeCount gives it)."""
    with open(kanjivg.DATA, encoding="utf-8") as fh:
        return {ch: len(v) for group in json.load(fh).values() for ch, v in group.items()}


def ink_strokes(chars, data, cond, seed=run.INK_SEED):
    """How many strokes each character's ink has, as the box receives it,
    and how many it plainly has: strokes whose extent is below TAP_SIZE of
    the ink's not counted."""
    every, written = [], []
    for ln in run.lines_for("independent", chars, data, cond, seed):
        strokes = [[tuple(map(int, p.split(","))) for p in s.split()] for s in ln.split("\t")[-1].split(";") if s.strip()]
        extent = lambda pts: max(max(x for x, _ in pts) - min(x for x, _ in pts), max(y for _, y in pts) - min(y for _, y in pts))
        least = TAP_SIZE * extent([p for s in strokes for p in s]) if strokes else 0
        every.append(len(strokes))
        written.append(sum(1 for s in strokes if extent(s) >= least))
    return every, written


def run_together(m, z, t, ink, counts):
    """FusedRecognizer::runTogether but for the models' certainty: the ink
    has fewer strokes than the models' best has in the textbook, and Zinnia
    and the templates do not agree on another character."""
    if not m or ink >= counts.get(m[0][0], 0):
        return False
    zb = next((c for c, _ in z if c not in PARTS_ONLY), None)
    return zb is None or not t or zb != t[0][0] or zb == m[0][0]


def tables(d, chars, classes, inks, counts, written):
    """Per condition, every sample's candidates as padded arrays, so that a
    weighting is a few array operations: (truth index, model score, outside
    flag, model's best, Zinnia score, template score, presence of Zinnia and
    the templates, non-kanji penalty, whether the ink looks run together).
    `inks`: per condition, each sample's stroke count; `written`: the
    strokes it plainly has, for the candidates' extra strokes."""
    out = {}
    for cond, e in d.items():
        rows = []
        for i, ch in enumerate(chars):
            m, z, t = e["model"][i], e["zinnia"][i], e["templates"][i]
            md, zd, td = dict(m), dict(z), dict(t)
            mmiss = m[-1][1] - 1.0 if m else 0
            zmiss = z[-1][1] - 0.3 if z else 0
            tmiss = t[-1][1] - 10 if t else 0
            names = []
            for lst in (m, z, t):
                for c, _ in lst:
                    if c not in names and c not in PARTS_ONLY:
                        names.append(c)
            n = written[cond][i]
            extra = [max(0, n - counts[c]) if counts.get(c, 0) > 0 else 0 for c in names]
            rows.append((names.index(ch) if ch in names else -1,
                         [md.get(c, mmiss) for c in names], [c not in classes for c in names],
                         m[0][1] if m else 0, [zd.get(c, zmiss) for c in names], [td.get(c, tmiss) for c in names],
                         bool(z), bool(t), [0 if is_kanji(c) else -1e6 for c in names], bool(m), extra))
        k = max(len(r[1]) for r in rows)
        def pad(j, fill):
            return np.array([r[j] + [fill] * (k - len(r[j])) for r in rows], dtype=float)
        out[cond] = dict(truth=np.array([r[0] for r in rows]), m=pad(1, 0), outside=pad(2, 0) > 0,
                         mtop=np.array([r[3] for r in rows])[:, None], z=pad(4, 0), t=pad(5, 0),
                         hz=np.array([r[6] for r in rows], float)[:, None], ht=np.array([r[7] for r in rows], float)[:, None],
                         kanji=pad(8, 0), valid=pad(1, np.nan) == pad(1, np.nan),
                         hm=np.array([r[9] for r in rows]), extra=pad(10, 0),
                         fewer=np.array([run_together(e["model"][i], e["zinnia"][i], e["templates"][i], inks[cond][i], counts)
                                         for i in range(len(chars))]))
    return out


def hits(a, w, rule=None):
    """Per sample: whether the truth is first, and among the first five.
    `rule`: (probability, factor) of the run-together rule, or None."""
    wz, wt, outside = w
    f = 1.0
    if rule:
        f = np.where(a["fewer"] & (a["mtop"][:, 0] >= np.log(rule[0])), rule[1], 1.0)[:, None]
    score = np.where(a["outside"], a["mtop"] - outside, a["m"]) + f * (wz * a["z"] * a["hz"] + wt * a["t"] * a["ht"])
    # Without the model's list (no ink), as the fallback ranks.
    fallback = a["z"] + 0.02 * a["t"] * a["ht"]
    score = np.where(a["hm"][:, None], score, fallback) + a["kanji"]
    score = np.where(a["valid"], score, -np.inf)
    order = np.argsort(-score, axis=1, kind="stable")[:, :5]
    hit = (order == a["truth"][:, None]) & (a["truth"][:, None] >= 0)
    return hit[:, 0], hit.any(axis=1)


def figures(tabs, w, rule=None):
    res = {}
    for cond, a in tabs.items():
        first, five = hits(a, w, rule)
        res[cond] = (first.mean(), five.mean())
    return res


def sure_rows(d, tabs, chars, w):
    """In a game the model alone reads a character it is sure of (SureModel
    in fusedrecognizer.h): per threshold, how much of the ink that is and
    how each condition's top-1 changes against all three always."""
    print("the model alone when sure (development split): probability, share of the ink, top-1 change by condition")
    for p in SURE:
        shares, changes = [], []
        for cond, a in tabs.items():
            fused, _ = hits(a, w, RULE)
            tops = [m[0] if m and m[0][0] not in PARTS_ONLY else ("", -1e9) for m in d[cond]["model"]]
            sure = np.array([t[1] >= np.log(p) for t in tops])
            right = np.where(sure, [t[0] == c for t, c in zip(tops, chars)], fused)
            shares.append(sure.mean())
            changes.append("%s %+.4f" % (cond, right.mean() - fused.mean()))
        print("  %.1f  %.2f-%.2f  %s" % (p, min(shares), max(shares), "  ".join(changes)))


def fewer_rows(tabs, writers, w):
    """Ink with fewer strokes than the models' best has in the textbook is
    mostly strokes run together, where Zinnia and the templates, which count
    strokes, mislead (unless they agree on a character): per probability of
    the models' best and factor on the other two's weights there, the share
    of the ink and each condition's top-1 change on the development split
    written by three writers (mean), names and beyond alike; then the test
    split's figures for the one that reads the jōyō kanji best of those that
    change no condition of any split there for the worse. `writers`: per seed, the development splits' tables."""
    def change(p, k):
        out = {}
        for dev in writers.values():
            for split, label in (("dev", ""), ("rare-dev", "names "), ("beyond-dev", "beyond ")):
                for cond, a in dev[split].items():
                    d = hits(a, w, (p, k))[0].mean() - hits(a, w)[0].mean()
                    out.setdefault(label + cond, []).append(d / len(writers))
        return {c: sum(v) for c, v in out.items()}
    print("the others weighed less on run-together ink (development split, %d writers): "
          "probability, factor, share of the ink, top-1 change by condition" % len(writers))
    ranked = []
    for p, k in FEWER:
        c = change(p, k)
        shares = [(a["fewer"] & (a["mtop"][:, 0] >= np.log(p))).mean() for dev in writers.values() for a in dev["dev"].values()]
        print("  %.2f %.2f  %.2f-%.2f  %s" % (p, k, min(shares), max(shares), "  ".join("%s %+.4f" % x for x in c.items())))
        if min(c.values()) >= 0:
            ranked.append((sum(v for cond, v in c.items() if " " not in cond), p, k))
    if ranked:
        _, p, k = max(ranked)
        print("  test split at %.2f %.2f: %s" % (p, k, "  ".join(
            "%s%s %.3f -> %.3f" % (label, cond, hits(a, w)[0].mean(), hits(a, w, (p, k))[0].mean())
            for split, label in (("test", ""), ("rare-test", "names "), ("beyond-test", "beyond "))
            for cond, a in tabs[split].items())))


# The weights as the models' certainty sets them (ZinniaWeight ... in
# fusedrecognizer.cpp), in this order: Zinnia's weight and how much of it
# the models' best probability p takes away, what run-together ink takes
# away from Zinnia's; the templates' weight and its cut by p; the gap below
# the models' best of a character they do not know and its growth with p;
# what a character Zinnia, or the templates, did not list gets back.
CONFIDENT = ["ZinniaWeight", "ZinniaSureCut", "RunTogetherCut", "TemplateWeight", "TemplateSureCut",
             "OutsideModel", "OutsideSure", "ZinniaUnlisted", "TemplateUnlisted"]
CONFIDENT_STEPS = [0.1, 0.1, 0.1, 0.005, 0.005, 0.1, 0.1, 0.05, 0.1]


def confident_features(a):
    """Per sample and candidate: the terms the confident fusion weighs,
    [model score, outside, Zinnia, templates, run-together x Zinnia, p x
    Zinnia, p x templates, p x outside, Zinnia unlisted, templates unlisted]."""
    p = np.exp(a["mtop"])
    out = a["outside"].astype(float)
    m = np.where(a["outside"], a["mtop"], a["m"])
    z, t = a["z"] * a["hz"], a["t"] * a["ht"]
    rt = (a["fewer"][:, None] & (a["mtop"] >= RUN_TOGETHER_SURE)).astype(float)
    # An unlisted character scores the fill, which lies below every listed one.
    zfill = np.where(a["valid"], a["z"], np.inf).min(1, keepdims=True)
    tfill = np.where(a["valid"], a["t"], np.inf).min(1, keepdims=True)
    zun = (a["z"] <= zfill) * a["hz"]
    tun = (a["t"] <= tfill) * a["ht"]
    f = [m, out, z, t, rt * z, p * z, p * t, p * out, zun, tun]
    x = np.stack([np.broadcast_to(v, m.shape) for v in f], -1)
    return np.where(a["valid"][..., None], x, 0.0)


def confident_vector(q):
    """The constants as weights of confident_features."""
    zw, zs, rc, tw, ts, gap, gs, zu, tu = q
    return np.array([1.0, -gap, zw, tw, -rc, -zs, -ts, -gs, zu, tu])


def confident_first(x, a, v, extra=0.0):
    score = np.where(a["valid"], x @ v - extra * a["extra"] + a["kanji"], -np.inf)
    # Without the model's list (no ink), as the fallback ranks.
    fallback = np.where(a["valid"], a["z"] + 0.02 * a["t"] * a["ht"] + a["kanji"], -np.inf)
    score = np.where(a["hm"][:, None], score, fallback)
    first = np.argmax(score, 1)
    return (first == a["truth"]) & (a["truth"] >= 0)


def confident_rows(tabs, writers, w):
    """Chooses the confident fusion's constants on the development split
    written by three writers: a softmax over each sample's candidates fitted
    to the jōyō kanji (names and beyond a tenth), from the chosen weights with
    the run-together rule, rounded to two digits, then changed a step at a
    time while the mean top-1 of the jōyō conditions rises and no condition
    of any development split falls, for any of the writers, more than 0.05
    points below the chosen weights with the rule. Prints the constants and both splits' figures."""
    data = [(seed, split, cond, confident_features(a), a) for seed, dev in writers.items()
            for split in ("dev", "rare-dev", "beyond-dev") for cond, a in dev[split].items()]
    zw, tw, gap = w
    start = [zw, 0.0, (1 - RULE[1]) * zw, tw, 0.0, gap, 0.0, 0.0, 0.0]
    # RULE cuts the templates' weight too; the start counts Zinnia's cut alone.

    def per_condition(q):
        v = confident_vector(q)
        return {(seed, split, cond): float(confident_first(x, a, v).mean()) for seed, split, cond, x, a in data}
    base = {(seed, split, cond): float(hits(a, w, RULE)[0].mean()) for seed, split, cond, _, a in data}

    def score(q):
        pc = per_condition(q)
        joyo = np.mean([v for (_, split, _), v in pc.items() if split == "dev"])
        fall = sum(max(0.0, base[k] - v - 0.0005) for k, v in pc.items())
        return joyo - 5 * fall

    def means(pc):
        out = {}
        for (_, split, cond), v in pc.items():
            out.setdefault((split, cond), []).append(v)
        return {k: float(np.mean(r)) for k, r in out.items()}

    v = confident_vector(start)
    mom, var = np.zeros_like(v), np.zeros_like(v)
    for it in range(1, 301):
        grad = np.zeros_like(v)
        for _, split, cond, x, a in data:
            ok = (a["truth"] >= 0) & a["hm"]
            s = np.where(a["valid"][ok], x[ok] @ v + a["kanji"][ok], -np.inf)
            s -= s.max(1, keepdims=True)
            pr = np.exp(s)
            pr /= pr.sum(1, keepdims=True)
            xt = x[ok][np.arange(ok.sum()), a["truth"][ok]]
            grad += (1.0 if split == "dev" else 0.1) * ((pr[..., None] * x[ok]).sum(1) - xt).mean(0)
        mom = 0.9 * mom + 0.1 * grad
        var = 0.999 * var + 0.001 * grad * grad
        v -= 0.02 * (mom / (1 - 0.9 ** it)) / (np.sqrt(var / (1 - 0.999 ** it)) + 1e-8)
    q = [float("%.2g" % x) for x in (v[2] / v[0], -v[5] / v[0], -v[4] / v[0], v[3] / v[0], -v[6] / v[0],
                                     -v[1] / v[0], -v[7] / v[0], v[8] / v[0], v[9] / v[0])]
    best = score(q)
    for _ in range(10):
        moved = False
        for j, step in enumerate(CONFIDENT_STEPS):
            for d in (-2, -1, 1, 2):
                r = list(q)
                r[j] = round(q[j] + d * step, 4)
                s = score(r)
                if s > best + 1e-6:
                    best, q, moved = s, r, True
        if not moved:
            break
    print("confident fusion (development split, %d writers): %s" %
          (len(writers), "  ".join("%s %g" % x for x in zip(CONFIDENT, q))))
    pc, mb = means(per_condition(q)), means(base)
    print("  development split: " + "  ".join("%s%s %.3f -> %.3f" % (
        {"dev": "", "rare-dev": "names ", "beyond-dev": "beyond "}[k[0]], k[1], mb[k], pc[k]) for k in mb))
    vq = confident_vector(q)
    print("  test split: " + "  ".join(
        "%s%s %.3f -> %.3f" % (label, cond, hits(a, w, RULE)[0].mean(),
                               confident_first(confident_features(a), a, vq).mean())
        for split, label in (("test", ""), ("rare-test", "names "), ("beyond-test", "beyond "))
        for cond, a in tabs[split].items()))
    return q


def objective(joyo, *others):
    """Mean top-1 over the jōyō conditions, and a quarter of the mean over
    the kanji beyond them (name kanji and the rest alike)."""
    def mean(d):
        return sum(v[0] for v in d.values()) / len(d)
    return mean(joyo) + 0.25 * sum(mean(o) for o in others) / len(others)


def extra_rows(tabs, writers, q):
    """Chooses ExtraStroke at the confident fusion's constants: the weight
    that reads the development split's jōyō kanji best (three writers'
    mean) among those with which no condition of any development split,
    names and the kanji beyond them included, reads more than one character
    worse for any writer. Prints both splits' figures."""
    v = confident_vector(q)
    data = [(seed, split, cond, confident_features(a), a) for seed, dev in writers.items()
            for split in ("dev", "rare-dev", "beyond-dev") for cond, a in dev[split].items()]

    def right(e):
        return {(seed, split, cond): confident_first(x, a, v, e) for seed, split, cond, x, a in data}
    base = right(0.0)
    chosen, best = 0.0, None
    print("extra strokes (development split, %d writers, tap size %.2f): weight, jōyō mean, worst loss in characters" %
          (len(writers), TAP_SIZE))
    for e in EXTRA_STROKES:
        r = right(e)
        joyo = float(np.mean([h.mean() for (_, split, _), h in r.items() if split == "dev"]))
        worst = max(int((base[k] & ~h).sum()) - int((h & ~base[k]).sum()) for k, h in r.items())
        print("  %.1f  %.4f  %d" % (e, joyo, worst))
        if worst <= 1 and (best is None or joyo > best):
            chosen, best = e, joyo
    means = lambda r: {k: float(np.mean([h.mean() for (_, s, c), h in r.items() if (s, c) == k]))
                       for k in dict.fromkeys((s, c) for _, s, c in r)}
    label = {"dev": "", "rare-dev": "names ", "beyond-dev": "beyond ", "test": "", "rare-test": "names ", "beyond-test": "beyond "}
    mb, mc = means(base), means(right(chosen))
    print("chosen %.1f; development split: %s" % (chosen, "  ".join(
        "%s%s %.3f -> %.3f" % (label[k[0]], k[1], mb[k], mc[k]) for k in mb)))
    print("  test split: " + "  ".join(
        "%s%s %.3f -> %.3f" % (label[split], cond, confident_first(confident_features(a), a, v).mean(),
                               confident_first(confident_features(a), a, v, chosen).mean())
        for split in ("test", "rare-test", "beyond-test") for cond, a in tabs[split].items()))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default=os.path.join(run.ROOT, "build-bench/cache"))
    ap.add_argument("--dump-only", help="only dump these engines (comma-separated)")
    args = ap.parse_args()
    sets, data = run.independent_sets(args.cache)
    if args.dump_only:
        engines = args.dump_only.split(",")
        for s in ("dev", "test"):
            dumps(args.tool, args.cache, s, sets[s], data, list(tablet.CONDITIONS), engines)
        for s in OTHER_SPLITS:
            dumps(args.tool, args.cache, s, sets[s], data, RARE_CONDITIONS, engines)
        return
    classes = run.model_classes(args.tool)
    conditions = list(tablet.CONDITIONS)
    counts = template_strokes()

    def tabled(split, seed=run.INK_SEED):
        """The split's dumps, and their tables."""
        conds = conditions if split in ("dev", "test") else RARE_CONDITIONS
        dumped = dumps(args.tool, args.cache, split, sets[split], data, conds, seed=seed)
        counted = {c: ink_strokes(sets[split], data, c, seed) for c in conds}
        inks = {c: n[0] for c, n in counted.items()}
        written = {c: n[1] for c, n in counted.items()}
        return dumped, tables(dumped, sets[split], classes, inks, counts, written)
    d, tabs = {}, {}
    for s in ("dev", "test") + OTHER_SPLITS:
        d[s], tabs[s] = tabled(s)
    print("development split: %d jōyō kanji, %d name kanji, %d beyond; test split: %d, %d and %d" %
          tuple(len(sets[p + s]) for s in ("dev", "test") for p in ("", "rare-", "beyond-")))
    # The weights are chosen without the run-together rule, which is then
    # chosen at them.
    ranked = []
    for w in itertools.product(ZINNIA_WEIGHTS, TEMPLATE_WEIGHTS, OUTSIDE):
        j = figures(tabs["dev"], w)
        k = figures(tabs["rare-dev"], w)
        b = figures(tabs["beyond-dev"], w)
        ranked.append((objective(j, k, b), w, j, k, b))
    ranked.sort(key=lambda x: -x[0])
    print("best on the development split (Zinnia weight, template weight, outside-model gap):")
    for score, w, j, k, b in ranked[:8]:
        print("  %-18s %.4f  realistic %.3f  names %.3f  beyond %.3f" %
              (w, score, j["realistic"][0], k["clean"][0], b["clean"][0]))
    best = ranked[0][1]
    print("each recogniser alone, test split: top-1 / top-5")
    for engine in ("model", "zinnia", "templates"):
        row = []
        for split in ("test", "rare-test", "beyond-test"):
            for cond, e in d[split].items():
                res = [[c for c, _ in x] for x in e[engine]]
                row.append("%s%s %.3f/%.3f" % (split[:-4], cond,
                                               run.accuracy(sets[split], res, 1), run.accuracy(sets[split], res, 5)))
        print("  %-9s %s" % (engine, "  ".join(row)))
    alone = (0.0, 0.0, 1e9)
    for label, w, rule in (("model alone", alone, None), ("chosen %s" % (best,), best, None),
                           ("chosen, run-together rule %s" % (RULE,), best, RULE)):
        print("%s: top-1 / top-5" % label)
        for split in ("dev", "test"):
            j = figures(tabs[split], w, rule)
            k = figures(tabs["rare-" + split], w, rule)
            b = figures(tabs["beyond-" + split], w, rule)
            print("  %-5s %s | names %s | beyond %s" % (
                split, "  ".join("%s %.3f/%.3f" % (c, *v) for c, v in j.items()),
                "  ".join("%s %.3f/%.3f" % (c, *v) for c, v in k.items()),
                "  ".join("%s %.3f/%.3f" % (c, *v) for c, v in b.items())))
    sure_rows(d["dev"], tabs["dev"], sets["dev"], best)
    writers = {seed: tabs if seed == run.INK_SEED else {s: tabled(s, seed)[1] for s in ("dev", "rare-dev", "beyond-dev")}
               for seed in DEV_SEEDS}
    fewer_rows(tabs, writers, best)
    extra_rows(tabs, writers, confident_rows(tabs, writers, best))


if __name__ == "__main__":
    main()
