#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures and chooses the margins of reading in the game's context: a free
# board character goes first when it scores close to the best (board margin,
# floor), and the two boxes read as a board word when its characters trail
# the two best readings by little (pair margin, and at most "each" in one
# box). Games are simulated on the bundled word lists: boards of 18 random
# words; the independent ink of the board words' characters is written as
# pairs, and so are pairs that are no board word (two board characters that
# make no word of the list, a board character beside another kanji), and
# other kanji and random scribbles alone.
#
# Each character's fused candidates (every one, with scores) are dumped once
# per split, condition and ink seed, cached under build-bench/cache by the
# checksums of the model and the recognition sources; the rules are replayed offline for a
# grid of margins on the development split, the choice is the best reading
# of board words by the realistic hand whose false snaps stay within the
# allowance over the rules off, and it is checked on the test split.
# In a game the model reads first, and a free board character it is sure of
# (SureModel in fusedrecognizer.h) is read by the model alone: the model's
# candidates are dumped too and the replay does the same; "rules off" is the
# box outside a game, which always reads with all three.
# --check runs the program's own path (taruvo-recognize --words --pairs)
# on the test split with the committed margins, which must agree with the
# replay.
#   bench/recognition/context.py --tool build-bench/taruvo-recognize
import argparse
import hashlib
import itertools
import json
import os
import random
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run  # noqa: E402
import tablet  # noqa: E402

LISTS = ["小学1-2年.txt", "小学3-4年.txt", "小学5-6年.txt", "中学以上.txt"]
CONDITIONS = ["realistic", "clean", "joined", "proportions", "semi-cursive", "dropped"]
# The realistic hand is the target: three writers of it, the others one.
SEEDS = {"realistic": [run.INK_SEED, run.INK_SEED + 1, run.INK_SEED + 2]}
BOARDS_PER_LIST = 60
GAME_SEED = 31
# The word-list preference as fusedrecognizer.h has it (margin, floor).
LIST_MARGIN, LIST_FLOOR = 1.0, -8.0
OFF = -1.0
BOARD_MARGINS = [OFF, 0.5, 1.0, 2.0, 3.0]
FLOORS = [-6.0, -8.0, -10.0]
PAIR_MARGINS = [OFF, 2.0, 3.0, 4.0, 5.0, 6.0, 8.0]
EACH = [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
NO_FLOOR = -1e9
PAIR_FLOORS = [NO_FLOOR, -13.0, -10.0, -8.0]
# How much more often than with the rules off a character or pair that is
# not on the board may come out as one: the choice keeps every false snap
# (another kanji alone, a non-word pair, a pair with another kanji) within
# this of the rules off, on the development split; scribbles, alone or
# beside a board character, within SCRIBBLE_ALLOWANCE.
ALLOWANCE = 0.01
SCRIBBLE_ALLOWANCE = 0.03
# The choice for other allowances, to show the trade.
OTHER_ALLOWANCES = [0.0025, 0.005, 0.02]
SNAPS = ("alone", "nonword", "mixed", "junk", "junkpair")


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as fh:
        for block in iter(lambda: fh.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()[:16]


def cache_key(tool):
    """The models the tool reads and the recognition code: what the dumped
    scores depend on (the headers hold the margins, which the dumps do not
    use)."""
    h = hashlib.sha256()
    files = run.model_files(tool, ".onnx") + [os.path.join(run.ROOT, "src/engine/ink.cpp")]
    folder = os.path.join(run.ROOT, "src/recognition")
    # The tool's own source only reads and prints.
    files += sorted(os.path.join(folder, f) for f in os.listdir(folder)
                    if f.endswith(".cpp") and f != "recognizetool.cpp")
    for path in files:
        h.update(os.path.basename(path).encode() + b"\0" + sha(path).encode())
    return h.hexdigest()[:16]


def read_list(path):
    with open(path, encoding="utf-8-sig") as fh:
        return [w for w in (line.strip(" \t\u3000\r\n") for line in fh) if len(w) == 2]


def dump(tool, cache, key, name, lines, engine="fused"):
    """Every candidate of each line, with scores, in the program's order for
    a box (-n 200 lists them all): fused, or the model's alone."""
    path = os.path.join(cache, "context-%s-%s%s.json" % (key, "" if engine == "fused" else engine + "-", name))
    if os.path.exists(path):
        with open(path, encoding="utf-8") as fh:
            return json.load(fh)
    rows = run.run(tool, lines, engine, tablet.BOX, count=200, scores=True)[0]
    os.makedirs(cache, exist_ok=True)
    with open(path, "w", encoding="utf-8") as fh:
        json.dump(rows, fh, ensure_ascii=False)
    print("dumped %s" % name, file=sys.stderr, flush=True)
    return rows


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


def is_kanji(c):
    o = ord(c) if len(c) == 1 else 0
    return 0x4E00 <= o <= 0x9FFF or 0x3400 <= o <= 0x4DBF or 0xF900 <= o <= 0xFAFF or 0x20000 <= o <= 0x3FFFF or o == 0x3005


# --- the rules, as src/engine/boardpreference.cpp and fusedrecognizer.cpp have them

class Reading:
    """One box's fused candidates: the order before any preference (kanji
    first, then by score), scores by character, the best score."""
    __slots__ = ("order", "score", "best")

    def __init__(self, row):
        self.order = sorted(row, key=lambda cs: (not is_kanji(cs[0]), -cs[1]))
        self.score = {}
        for c, s in self.order:
            self.score.setdefault(c, s)
        self.best = max(s for _, s in row) if row else 0.0


def single(r, free, listed, m):
    """The box's result: a free board character within the board margin of
    the best and at or above the floor goes first; else a list character
    within the list margin of the first."""
    if not r.order:
        return None
    first = r.order[0][0]
    if first in free:
        return first
    if m[0] >= 0:
        pick, top = None, None
        for c, s in r.order:
            if c in free and r.best - s <= m[0] and s >= m[1] and (top is None or s > top):
                pick, top = c, s
        if pick is not None:
            return pick
    if first in listed:
        return first
    lead = r.order[0][1]
    for c, s in r.order[1:]:
        if lead - s > LIST_MARGIN:
            break
        if c in listed and s >= LIST_FLOOR:
            return c
    return first


def pair(ra, rb, a, b, words, m):
    """The pair's reading: (a, b) unless a board word's characters trail
    the two best by at most the pair margin together and `each` apiece."""
    if a is None or b is None or m[2] < 0 or (a, b) in words:
        return a, b
    pick, cost = None, None
    for x, y in words:
        sx, sy = ra.score.get(x), rb.score.get(y)
        if sx is None or sy is None or sx < m[4] or sy < m[4]:
            continue
        dx, dy = ra.best - sx, rb.best - sy
        if dx > m[3] or dy > m[3] or dx + dy > m[2]:
            continue
        if cost is None or dx + dy < cost:
            pick, cost = (x, y), dx + dy
    return pick or (a, b)


# --- simulated games ----------------------------------------------------------

def board_words(entries, listed_words):
    """Ordered pairs of two different places whose characters make a word."""
    out = set()
    for i, x in enumerate(entries):
        for j, y in enumerate(entries):
            if i != j and x + y in listed_words:
                out.add((x, y))
    return sorted(out)


def games(split_chars, root):
    """Per list: (board entries, board words, written board words, non-word
    pairs, pairs with another kanji, other kanji alone) for each deal."""
    have = set(split_chars)
    rng = random.Random(GAME_SEED)
    out = []
    for name in LISTS:
        words = read_list(os.path.join(root, "data/words", name))
        word_set = set(words)
        listed = {c for w in words for c in w}
        others = sorted(have - listed)
        for _ in range(BOARDS_PER_LIST):
            dealt = rng.sample(range(len(words)), 18)
            entries = [c for k in dealt for c in words[k]]
            bw = board_words(entries, word_set)
            free = set(entries)
            written = [tuple(words[k]) for k in dealt if all(c in have for c in words[k])]
            inks = sorted(c for c in free if c in have)
            nonword = []
            for _ in range(12):
                if len(inks) < 2:
                    break
                x, y = rng.sample(inks, 2)
                if x + y not in word_set:
                    nonword.append((x, y))
            pool = others + sorted(c for c in have if c in listed and c not in free)
            mixed = [(rng.choice(inks), rng.choice(pool)) if rng.random() < 0.5 else (rng.choice(pool), rng.choice(inks))
                     for _ in range(12)] if inks and pool else []
            alone = rng.sample(pool, min(12, len(pool)))
            out.append(dict(free=free, listed=listed, words=bw, written=written, nonword=nonword,
                            mixed=mixed, alone=alone, entries=entries))
    return out


def sure_model(root):
    """SureModel in src/recognition/fusedrecognizer.h."""
    import re
    text = open(os.path.join(root, "src/recognition/fusedrecognizer.h"), encoding="utf-8").read()
    return float(re.search(r"SureModel = (-?[0-9.]+)", text).group(1))


SURE = sure_model(run.ROOT)


def in_game(fused, model, free):
    """The reading a box gets in a game: the model's alone when it is sure
    of a free board character."""
    if model is not None and model.order and model.order[0][1] >= SURE and model.order[0][0] in free:
        return model
    return fused


class Box:
    """One box's reading in one deal, ready for any margins: its first,
    what the list preference makes of it, and the free board characters it
    scored, best first, with how far each trails the best."""
    __slots__ = ("reading", "first", "free_first", "listed", "board")

    def __init__(self, r, free, listed):
        self.reading = r
        self.first = r.order[0][0] if r.order else None
        self.free_first = self.first in free
        self.listed = single(r, free, listed, (OFF, 0.0, OFF, 0.0, 0.0))
        self.board = sorted(((r.best - s, s, c) for c, s in r.score.items() if c in free), key=lambda x: -x[1])

    def result(self, m):
        if self.first is None or self.free_first or m[0] < 0:
            return self.listed
        for d, s, c in self.board:
            if d <= m[0] and s >= m[1]:
                return c
        return self.listed


class Pair:
    """Two boxes in one deal and the board words both scored, least
    trailing first (ties in the words' order)."""
    __slots__ = ("a", "b", "words", "candidates")

    def __init__(self, a, b, words):
        self.a, self.b, self.words = a, b, words
        ra, rb = a.reading, b.reading
        out = []
        for x, y in sorted(words):
            sx, sy = ra.score.get(x), rb.score.get(y)
            if sx is None or sy is None:
                continue
            dx, dy = ra.best - sx, rb.best - sy
            out.append((dx + dy, max(dx, dy), min(sx, sy), (x, y)))
        out.sort(key=lambda e: e[0])
        self.candidates = out

    def result(self, m):
        a, b = self.a.result(m), self.b.result(m)
        if a is None or b is None or m[2] < 0 or (a, b) in self.words:
            return a, b
        for cost, worst, low, word in self.candidates:
            if cost > m[2]:
                break
            if worst <= m[3] and low >= m[4]:
                return word
        return a, b


def prepare(deals, readings, junk, models=None, junk_models=None):
    """Each deal's samples as Boxes and Pairs; with the model's readings,
    as a game reads them."""
    out = dict(written=[], nonword=[], mixed=[], alone=[], junk=[], junkpair=[])
    k = 0
    for g in deals:
        free, listed, words = g["free"], g["listed"], set(g["words"])
        boxes = {}

        def box(c):
            if c not in boxes:
                boxes[c] = Box(in_game(readings[c], models[c] if models else None, free), free, listed)
            return boxes[c]

        def junk_box(i):
            i %= len(junk)
            return Box(in_game(junk[i], junk_models[i] if junk_models else None, free), free, listed)
        out["written"] += [(Pair(box(x), box(y), words), (x, y)) for x, y in g["written"]]
        out["nonword"] += [Pair(box(x), box(y), words) for x, y in g["nonword"]]
        out["mixed"] += [Pair(box(x), box(y), words) for x, y in g["mixed"]]
        out["alone"] += [(box(z), free) for z in g["alone"]]
        out["junk"] += [(junk_box(k + i), free) for i in range(20)]
        k += 20
        # A scribble beside a board character, either way round.
        inked = [c for c in sorted(free) if c in readings]
        for i in range(min(10, len(inked))):
            j = junk_box(k + i)
            c = box(inked[(k + 7 * i) % len(inked)])
            out["junkpair"].append(Pair(j, c, words) if i % 2 else Pair(c, j, words))
        k += 10
    return out


def measure(prepared, m):
    """Rates with margins m = (board, floor, pair, each)."""
    right = single_right = word = 0
    for p, (x, y) in prepared["written"]:
        a, b = p.result(m)
        right += (a == x) + (b == y)
        word += (a, b) == (x, y)
        single_right += (p.a.result(m) == x) + (p.b.result(m) == y)
    n = len(prepared["written"])
    snap = lambda pairs: sum(1 for p in pairs if p.result(m) in p.words) / max(1, len(pairs))
    alone = lambda boxes: sum(1 for b, free in boxes if b.result(m) in free) / max(1, len(boxes))
    return dict(right=right / (2 * n), single=single_right / (2 * n), word=word / n,
                alone=alone(prepared["alone"]), nonword=snap(prepared["nonword"]), mixed=snap(prepared["mixed"]),
                junk=alone(prepared["junk"]), junkpair=snap(prepared["junkpair"]), chars=2 * n,
                counts=tuple(len(prepared[k]) for k in SNAPS))


def row(label, f):
    return ("%-44s board chars right %.4f (alone %.4f, words %.4f) | snaps: other kanji %.4f, non-word pairs %.4f, "
            "with another kanji %.4f, scribbles %.4f, scribble pairs %.4f" %
            (label, f["right"], f["single"], f["word"], f["alone"], f["nonword"], f["mixed"], f["junk"], f["junkpair"]))


def committed_margins(root):
    """The margins in src/recognition/fusedrecognizer.h."""
    import re
    text = open(os.path.join(root, "src/recognition/fusedrecognizer.h"), encoding="utf-8").read()
    get = lambda name: float(re.search(r"%s = (-?[0-9.]+)" % name, text).group(1))
    return (get("BoardMargin"), get("BoardFloor"), get("PairMargin"), get("PairEach"), get("PairFloor"))


def check(tool, deals, data, cond, seed, m, readings, models):
    """The program's own path on the written board words: must match the replay."""
    agree = total = 0
    times = []
    for name in LISTS:
        path = os.path.join(run.ROOT, "data/words", name)
        listed = {c for w in read_list(path) for c in w}
        todo = [g for g in deals if g["listed"] == listed]
        lines, expect = [], []
        for g in todo:
            wordset = set(g["words"])
            for x, y in g["written"] + g["nonword"] + g["mixed"]:
                lx = tablet.write(x, data[x], cond, seed).split("\t", 1)[1]
                ly = tablet.write(y, data[y], cond, seed).split("\t", 1)[1]
                lines.append("".join(g["entries"]) + "\t" + lx + "\t" + ly)
                ra, rb = (in_game(readings[c], models[c], g["free"]) for c in (x, y))
                expect.append(pair(ra, rb, single(ra, g["free"], g["listed"], m), single(rb, g["free"], g["listed"], m),
                                   wordset, m))
        p = subprocess.run([tool, "--size", "%d,%d" % (tablet.BOX, tablet.BOX), "--words", path, "--pairs", "--timing"],
                           input="\n".join(lines) + "\n", capture_output=True, text=True)
        if p.returncode != 0:
            sys.exit("taruvo-recognize failed: " + p.stderr.strip())
        got = [tuple(o.split(" ")[:2]) if o else (None, None) for o in p.stdout.split("\n")[:len(lines)]]
        agree += sum(1 for a, b in zip(got, expect) if a == b)
        total += len(lines)
        timed = [ln.split() for ln in p.stderr.splitlines() if len(ln.split()) == 2 and ln.replace(" ", "").isdigit()]
        times += [(int(t) / 1000.0, int(n) / 1000.0) for t, n in timed[-len(lines):]]
    return agree, total, times


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default=os.path.join(run.ROOT, "build-bench/cache"))
    ap.add_argument("--dump-only", action="store_true")
    ap.add_argument("--check", action="store_true", help="also run the program's path on the test split")
    args = ap.parse_args()
    key = cache_key(args.tool)
    sets, data = run.independent_sets(args.cache)
    rng = random.Random(7)
    junk_lines = [scribble(rng) for _ in range(500)]
    junk = [Reading(r) for r in dump(args.tool, args.cache, key, "scribbles", junk_lines)]
    junk_models = [Reading(r) for r in dump(args.tool, args.cache, key, "scribbles", junk_lines, "model")]
    dumps, model_dumps = {}, {}
    for split in ("dev", "test"):
        chars = sets[split]
        for cond in CONDITIONS:
            for seed in SEEDS.get(cond, [run.INK_SEED]):
                name = "%s-%s-%d" % (split, cond, seed)
                lines = run.lines_for("independent", chars, data, cond, seed)
                rows = dump(args.tool, args.cache, key, name, lines)
                dumps[(split, cond, seed)] = {c: Reading(r) for c, r in zip(chars, rows)}
                rows = dump(args.tool, args.cache, key, name, lines, "model")
                model_dumps[(split, cond, seed)] = {c: Reading(r) for c, r in zip(chars, rows)}
    if args.dump_only:
        return
    deals = {s: games(sets[s], run.ROOT) for s in ("dev", "test")}

    prepared = {}

    def over(split, cond, m, game=True):
        """Rates of a condition over its seeds, weighted alike; game: read
        as in a game (else as outside one, as with the rules off)."""
        for seed in SEEDS.get(cond, [run.INK_SEED]):
            if (split, cond, seed, game) not in prepared:
                key = (split, cond, seed)
                prepared[key + (game,)] = prepare(deals[split], dumps[key], junk,
                                                  model_dumps[key] if game else None, junk_models if game else None)
        fs = [measure(prepared[(split, cond, seed, game)], m) for seed in SEEDS.get(cond, [run.INK_SEED])]
        out = {k: statistics.mean(f[k] for f in fs) for k in fs[0] if k not in ("chars", "counts")}
        out["chars"] = sum(f["chars"] for f in fs)
        out["counts"] = tuple(sum(f["counts"][i] for f in fs) for i in range(len(SNAPS)))
        return out

    off = (OFF, FLOORS[0], OFF, EACH[0], NO_FLOOR)
    base = over("dev", "realistic", off, game=False)
    f = base
    print("development split, realistic hand: %d board characters written in words; %s other kanji, non-word pairs, "
          "pairs with another kanji, scribbles, scribbles beside a board character" % (f["chars"], f["counts"]))
    print(row("rules off", base))
    ranked = []
    for m in itertools.product(BOARD_MARGINS, FLOORS, PAIR_MARGINS, EACH, PAIR_FLOORS):
        if (m[0] < 0 and m[1] != FLOORS[0]) or (m[2] < 0 and (m[3] != EACH[0] or m[4] != NO_FLOOR)) \
                or (m[2] >= 0 and m[3] > m[2]):
            continue
        ranked.append((m, over("dev", "realistic", m)))

    def best(allowance):
        """Board characters right first (pairs, then alone), fewest snaps
        next, among the margins whose snaps stay within the allowance."""
        def key(e):
            f = e[1]
            within = all(f[k] - base[k] <= (SCRIBBLE_ALLOWANCE if k.startswith("junk") else allowance) for k in SNAPS)
            return (within, round(f["right"], 3), round(f["single"], 3), -sum(f[k] for k in SNAPS))
        return sorted(ranked, key=key, reverse=True)
    for allowance in OTHER_ALLOWANCES:
        m, f = best(allowance)[0]
        print(row("allowance %.4f: %s" % (allowance, m), f))
    print("best within the allowance of %.4f, scribbles %.3f (board margin, floor, pair margin, each, pair floor):" %
          (ALLOWANCE, SCRIBBLE_ALLOWANCE))
    for m, f in best(ALLOWANCE)[:8]:
        print(row(str(m), f))
    chosen = best(ALLOWANCE)[0][0]
    committed = committed_margins(run.ROOT)
    print("chosen %s; committed in fusedrecognizer.h %s" % (chosen, committed))
    for split in ("dev", "test"):
        print("%s split:" % split)
        for cond in CONDITIONS:
            print("  %-13s" % cond)
            print("    " + row("rules off", over(split, cond, off, game=False)))
            print("    " + row("model alone when sure, rules off", over(split, cond, off)))
            print("    " + row("board character only", over(split, cond, committed[:2] + (OFF, EACH[0], NO_FLOOR))))
            print("    " + row("committed %s" % (committed,), over(split, cond, committed)))
            if chosen != committed:
                print("    " + row("chosen %s" % (chosen,), over(split, cond, chosen)))
    if args.check:
        cond, seed = "realistic", run.INK_SEED
        agree, total, times = check(args.tool, deals["test"], data, cond, seed, committed, dumps[("test", cond, seed)],
                                    model_dumps[("test", cond, seed)])
        both = sorted(t for t, _ in times)
        rule = sorted(n for _, n in times)
        print("program's path on the test split (%s, seed %d): %d of %d pairs as the replay; "
              "two boxes read in the game and the pair: median %.1f ms, p99 %.1f ms; the pair rule alone: "
              "median %.1f us, p99 %.1f us, max %.1f us" %
              (cond, seed, agree, total, statistics.median(both), run.p99(both), statistics.median(rule),
               run.p99(rule), rule[-1]))


if __name__ == "__main__":
    main()
