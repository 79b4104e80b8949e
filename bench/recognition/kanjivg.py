# SPDX-License-Identifier: GPL-3.0-or-later
# Ink from the KanjiVG strokes of the jōyō kanji: the source the ink model
# is trained on and the templates are made from, so figures on it flatter
# both. A secondary table of the benchmark.
import json, math, random, re

DATA = "/usr/lib/python3/dist-packages/kanjidraw/data.json"
KANJIDIC = "/usr/share/edict/kanjidic"
GRID = 256  # the strokes' square


def grades():
    """Character -> KANJIDIC grade (1-6 school years, 8 other jōyō, 9-10 name kanji)."""
    with open(KANJIDIC, "rb") as fh:
        text = fh.read().decode("euc_jp", errors="replace")
    out = {}
    for line in text.splitlines()[1:]:
        m = re.search(r" G(\d+) ", line)
        if m:
            out[line.split(" ", 1)[0]] = int(m.group(1))
    return out


def kanjidic_chars():
    """Every kanji KANJIDIC lists, with a grade or not."""
    with open(KANJIDIC, "rb") as fh:
        text = fh.read().decode("euc_jp", errors="replace")
    return {line.split(" ", 1)[0] for line in text.splitlines()[1:] if line}


def joyo_set():
    # KANJIDIC's grades G1 to G8 are the jōyō kanji.
    return {c for c, g in grades().items() if 1 <= g <= 8}


def load_strokes():
    with open(DATA, encoding="utf-8") as fh:
        raw = json.load(fh)
    joyo = joyo_set()
    chars = {}
    for group in raw.values():
        for ch, strokes in group.items():
            if ch in joyo:
                chars[ch] = [((s[0], s[1]), (s[2], s[3])) for s in strokes]
    return dict(sorted(chars.items()))


def interpolate(a, b, step=4.0):
    n = max(1, int(math.hypot(b[0] - a[0], b[1] - a[1]) / step))
    return [(a[0] + (b[0] - a[0]) * i / n, a[1] + (b[1] - a[1]) * i / n) for i in range(n + 1)]


def ink(strokes):
    return [interpolate(a, b) for a, b in strokes]


def clean(strokes, rng):
    return ink(strokes)


def corner(strokes, rng):
    # Half size, in the top-left corner of the box.
    return [[(x / 2, y / 2) for x, y in s] for s in ink(strokes)]


def jitter(strokes, rng):
    return [[(x + rng.gauss(0, 2), y + rng.gauss(0, 2)) for x, y in s] for s in ink(strokes)]


def swapped(strokes, rng):
    s = ink(strokes)
    if len(s) > 1:
        i = rng.randrange(len(s) - 1)
        s[i], s[i + 1] = s[i + 1], s[i]
    return s


def reversed_stroke(strokes, rng):
    s = ink(strokes)
    i = rng.randrange(len(s))
    s[i] = s[i][::-1]
    return s


def joined(strokes, rng):
    s = ink(strokes)
    if len(s) > 1:
        i = rng.randrange(len(s) - 1)
        s[i:i + 2] = [s[i] + s[i + 1]]
    return s


def skew_shaky(strokes, rng):
    # A slanted, slightly rotated hand with a wobble along each stroke.
    shear = rng.uniform(-0.25, 0.25)
    angle = math.radians(rng.uniform(-10, 10))
    sx, sy = rng.uniform(0.85, 1.15), rng.uniform(0.85, 1.15)
    c, sn = math.cos(angle), math.sin(angle)
    out = []
    for stroke in ink(strokes):
        phase, amp = rng.uniform(0, 6.3), rng.uniform(1.0, 3.0)
        pts = []
        for k, (x, y) in enumerate(stroke):
            x, y = x - 128, y - 128
            x, y = (x + shear * y) * sx, y * sy
            x, y = c * x - sn * y, sn * x + c * y
            w = amp * math.sin(phase + k * 0.9)
            pts.append((x + 128 + w + rng.gauss(0, 1), y + 128 - w + rng.gauss(0, 1)))
        out.append(pts)
    return out


def distorted(strokes, rng):
    # Another hand: every stroke end moved on its own and every stroke bowed,
    # so that no stroke lies where the template has it.
    out = []
    for (a, b) in strokes:
        a = (a[0] + rng.gauss(0, 8), a[1] + rng.gauss(0, 8))
        b = (b[0] + rng.gauss(0, 8), b[1] + rng.gauss(0, 8))
        bow = rng.gauss(0, 0.08)
        pts = interpolate(a, b)
        n = len(pts) - 1
        dx, dy = b[0] - a[0], b[1] - a[1]
        out.append([(x - dy * bow * 4 * (k / n) * (1 - k / n) if n else x,
                     y + dx * bow * 4 * (k / n) * (1 - k / n) if n else y) for k, (x, y) in enumerate(pts)])
    return out


CONDITIONS = {
    "clean": clean, "corner": corner, "jitter": jitter,
    "swapped": swapped, "reversed": reversed_stroke, "joined": joined, "skew+shaky": skew_shaky,
    "distorted": distorted,
}


def line(label, strokes):
    return label + "\t" + ";".join(" ".join("%.1f,%.1f" % p for p in s) for s in strokes)


def write(ch, chords, condition, seed):
    """One line of taruvo-recognize input: `ch` written under `condition`."""
    rng = random.Random("%s/%s/%s" % (seed, condition, ch))
    return line(ch, CONDITIONS[condition](chords, rng))
