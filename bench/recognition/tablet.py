# SPDX-License-Identifier: GPL-3.0-or-later
# Independent ink for the recognition benchmark: the stroke medians of Make
# Me a Hanzi (derived from Arphic's fonts) as the npm package
# hanzi-writer-data ships them, written out the way a tablet reports a fast
# child's pen, with seeded perturbations. Nothing else in the project uses
# this data: not the training, not the templates.
import hashlib
import json
import math
import os
import random
import shutil
import subprocess
import tarfile
import tempfile

PACKAGE = "hanzi-writer-data"
VERSION = "2.0.1"
SHA256 = "72baf3d82b114e60d6e40ea05f24d2262a05cd39d544e2f322ba2fceb7beff15"

BOX = 300          # the handwriting box, in pixels
RATE = 133.0       # tablet reports a second
FILL = 0.8         # share of the box the character fills


def fetch(cache):
    """The package's folder in `cache`, fetched with npm and checked on first use."""
    folder = os.path.join(cache, "%s-%s" % (PACKAGE, VERSION))
    if os.path.isdir(folder):
        return folder
    os.makedirs(cache, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=cache) as tmp:
        subprocess.run(["npm", "pack", "--silent", "%s@%s" % (PACKAGE, VERSION)], cwd=tmp, check=True,
                       stdout=subprocess.DEVNULL)
        tgz = os.path.join(tmp, "%s-%s.tgz" % (PACKAGE, VERSION))
        with open(tgz, "rb") as fh:
            digest = hashlib.sha256(fh.read()).hexdigest()
        if digest != SHA256:
            raise SystemExit("%s: checksum %s, expected %s" % (tgz, digest, SHA256))
        with tarfile.open(tgz) as tar:
            members = [m for m in tar.getmembers() if m.isfile() and m.name.startswith("package/")
                       and ".." not in m.name]
            tar.extractall(tmp, members)
        shutil.move(os.path.join(tmp, "package"), folder)
    return folder


def load(folder, chars):
    """{character: (medians in screen coordinates of a 1024 square, radical stroke indices)}
    for those of `chars` the data has."""
    out = {}
    for ch in chars:
        path = os.path.join(folder, ch + ".json")
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8") as fh:
            d = json.load(fh)
        # The data's y axis grows upwards from a baseline at 900.
        medians = [[(float(x), 900.0 - float(y)) for x, y in m] for m in d["medians"]]
        out[ch] = (medians, list(d.get("radStrokes") or []))
    return out


# --- geometry helpers ------------------------------------------------------

def _length(poly):
    return sum(math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(poly, poly[1:]))


def _bounds(strokes):
    xs = [p[0] for s in strokes for p in s]
    ys = [p[1] for s in strokes for p in s]
    return min(xs), min(ys), max(xs), max(ys)


def _smooth(poly, passes=1):
    """Chaikin corner cutting: the pen rounds corners when it hurries."""
    for _ in range(passes):
        if len(poly) < 3:
            return poly
        out = [poly[0]]
        for a, b in zip(poly, poly[1:]):
            out.append((0.75 * a[0] + 0.25 * b[0], 0.75 * a[1] + 0.25 * b[1]))
            out.append((0.25 * a[0] + 0.75 * b[0], 0.25 * a[1] + 0.75 * b[1]))
        out.append(poly[-1])
        poly = out
    return poly


def _connector(p, q, rng, curved):
    """Where the pen goes between two strokes when it does not lift."""
    n = 6
    d = (q[0] - p[0], q[1] - p[1])
    length = math.hypot(*d)
    bow = rng.gauss(0, 0.25) * length if curved else 0.0
    nx, ny = (-d[1] / length, d[0] / length) if length > 1e-9 else (0.0, 0.0)
    pts = []
    for i in range(1, n):
        t = i / n
        k = 4 * t * (1 - t) * bow
        pts.append((p[0] + d[0] * t + nx * k, p[1] + d[1] * t + ny * k))
    return pts


def _join(strokes, i, j, rng, curved):
    run = list(strokes[i])
    for k in range(i + 1, j + 1):
        run += _connector(run[-1], strokes[k][0], rng, curved) + list(strokes[k])
    return strokes[:i] + [run] + strokes[j + 1:]


# --- perturbations -----------------------------------------------------------
# Each takes (strokes, radical stroke indices, rng) in a 1024 square and
# returns strokes; strokes are lists of points in writing order.

def clean(s, rad, rng):
    return s


def swapped(s, rad, rng):
    s = list(s)
    if len(s) > 1:
        i = rng.randrange(len(s) - 1)
        s[i], s[i + 1] = s[i + 1], s[i]
    return s


def reversed_stroke(s, rad, rng):
    s = list(s)
    i = rng.randrange(len(s))
    s[i] = s[i][::-1]
    return s


def joined(s, rad, rng):
    if len(s) < 2:
        return s
    i = rng.randrange(len(s) - 1)
    return _join(list(s), i, i + 1, rng, curved=False)


def semi_cursive(s, rad, rng):
    """Several strokes run together with rounded turns, once or twice."""
    s = [_smooth(p) for p in s]
    if len(s) < 2:
        return s
    for _ in range(1 + (rng.random() < 0.5)):
        if len(s) < 2:
            break
        i = rng.randrange(len(s) - 1)
        j = min(len(s) - 1, i + rng.randint(2, 4))
        s = _join(s, i, j, rng, curved=True)
        s[i] = _smooth(s[i])
    return s


def dropped(s, rad, rng):
    """One of the shorter strokes left out (characters of three strokes or more)."""
    if len(s) < 3:
        return s
    order = sorted(range(len(s)), key=lambda k: _length(s[k]))
    i = order[rng.randrange(max(1, len(s) // 3))]
    return s[:i] + s[i + 1:]


def taps(s, rad, rng):
    """One or two stray touches of the pen near the character."""
    left, top, right, bottom = _bounds(s)
    w, h = max(right - left, 100), max(bottom - top, 100)
    s = list(s)
    for _ in range(rng.randint(1, 2)):
        x = rng.uniform(left - 0.1 * w, right + 0.1 * w)
        y = rng.uniform(top - 0.1 * h, bottom + 0.1 * h)
        s.append([(x + rng.gauss(0, 3), y + rng.gauss(0, 3)) for _ in range(rng.randint(1, 3))])
    return s


def proportions(s, rad, rng):
    """The radical and the rest in other proportions: the boundary between
    them moves, one grows and the other shrinks."""
    rad = [k for k in rad if k < len(s)]
    rest = [k for k in range(len(s)) if k not in rad]
    if rad and rest:
        rb, ob = _bounds([s[k] for k in rad]), _bounds([s[k] for k in rest])
        gaps = [(rb[0] - ob[2], 0, (ob[2] + rb[0]) / 2), (ob[0] - rb[2], 0, (rb[2] + ob[0]) / 2),
                (rb[1] - ob[3], 1, (ob[3] + rb[1]) / 2), (ob[1] - rb[3], 1, (rb[3] + ob[1]) / 2)]
        gap, axis, knot = max(gaps)
        if gap < -60:  # the radical encloses or overlaps the rest: scale it
            cx, cy = (rb[0] + rb[2]) / 2, (rb[1] + rb[3]) / 2
            f = rng.choice([-1, 1]) * rng.uniform(0.1, 0.2) + 1
            return [[(cx + (x - cx) * f, cy + (y - cy) * f) for x, y in p] if k in rad else p
                    for k, p in enumerate(s)]
    else:
        axis, knot = rng.randrange(2), None
    left, top, right, bottom = _bounds(s)
    lo, hi = (left, right) if axis == 0 else (top, bottom)
    if hi - lo < 1:
        return s
    if knot is None or not lo < knot < hi:
        knot = lo + (hi - lo) * rng.uniform(0.35, 0.65)
    moved = knot + rng.choice([-1, 1]) * rng.uniform(0.12, 0.22) * (hi - lo)
    moved = min(max(moved, lo + 0.2 * (hi - lo)), hi - 0.2 * (hi - lo))

    def warp(v):
        return lo + (v - lo) * (moved - lo) / (knot - lo) if v <= knot else moved + (v - knot) * (hi - moved) / (hi - knot)
    return [[(warp(x), y) if axis == 0 else (x, warp(y)) for x, y in p] for p in s]


def hand(s, rad, rng):
    """Another writer: slant, aspect and every stroke a little off."""
    ang = math.radians(rng.gauss(0, 4))
    shear = rng.gauss(0, 0.08)
    sx, sy = rng.uniform(0.88, 1.12), rng.uniform(0.88, 1.12)
    c, sn = math.cos(ang), math.sin(ang)
    out = []
    for p in s:
        dx, dy = rng.gauss(0, 12), rng.gauss(0, 12)
        bow = rng.gauss(0, 0.04)
        a, b = p[0], p[-1]
        d = (b[0] - a[0], b[1] - a[1])
        n = len(p) - 1
        q = []
        for i, (x, y) in enumerate(p):
            t = i / n if n else 0
            k = 4 * t * (1 - t) * bow
            x, y = x + dx - d[1] * k, y + dy + d[0] * k
            x, y = x - 512, y - 400
            x, y = (x + shear * y) * sx, y * sy
            q.append((c * x - sn * y + 512, sn * x + c * y + 400))
        out.append(q)
    return out


def realistic(s, rad, rng):
    """A fast hand: another writer, with each slip at a rate seen in
    children's quick writing."""
    s = hand(s, rad, rng)
    if rng.random() < 0.4:
        s = proportions(s, rad, rng)
    if rng.random() < 0.2:
        s = swapped(s, rad, rng)
    if rng.random() < 0.15:
        s = reversed_stroke(s, rad, rng)
    if rng.random() < 0.1:
        s = dropped(s, rad, rng)
    r = rng.random()
    if r < 0.1:
        s = semi_cursive(s, rad, rng)
    elif r < 0.4:
        s = joined(s, rad, rng)
    if rng.random() < 0.1:
        s = taps(s, rad, rng)
    return s


CONDITIONS = {
    "clean": clean,
    "swapped": swapped,
    "reversed": reversed_stroke,
    "joined": joined,
    "proportions": proportions,
    "semi-cursive": semi_cursive,
    "dropped": dropped,
    "taps": taps,
    "realistic": realistic,
}


# --- the tablet --------------------------------------------------------------

def _catmull_rom(poly, per=8):
    """A smooth curve through the median's points."""
    if len(poly) < 3:
        return poly
    pts = [poly[0]] + poly + [poly[-1]]
    out = []
    for i in range(1, len(pts) - 2):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[i + 1], pts[i + 2]
        for k in range(per):
            t = k / per
            t2, t3 = t * t, t * t * t
            out.append(tuple(0.5 * (2 * p1[j] + (-p0[j] + p2[j]) * t + (2 * p0[j] - 5 * p1[j] + 4 * p2[j] - p3[j]) * t2
                                    + (-p0[j] + 3 * p1[j] - 3 * p2[j] + p3[j]) * t3) for j in range(2)))
    out.append(poly[-1])
    return out


def _at(poly, cum, d):
    lo, hi = 0, len(cum) - 1
    while lo < hi - 1:
        mid = (lo + hi) // 2
        if cum[mid] <= d:
            lo = mid
        else:
            hi = mid
    seg = cum[hi] - cum[lo]
    t = (d - cum[lo]) / seg if seg > 0 else 0
    a, b = poly[lo], poly[hi]
    return a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t


def tablet(strokes, rng):
    """The strokes as a tablet reports them: a point every 1/RATE s along a
    minimum-jerk pen movement (slow at the ends, fast in the middle), in
    whole pixels of a BOX square, the character filling FILL of it."""
    left, top, right, bottom = _bounds(strokes)
    extent = max(right - left, bottom - top, 1e-6)
    scale = FILL * BOX / extent
    ox = BOX / 2 - (left + right) / 2 * scale
    oy = BOX / 2 - (top + bottom) / 2 * scale
    out = []
    for s in strokes:
        poly = _catmull_rom([(x * scale + ox, y * scale + oy) for x, y in s])
        cum = [0.0]
        for a, b in zip(poly, poly[1:]):
            cum.append(cum[-1] + math.hypot(b[0] - a[0], b[1] - a[1]))
        total = cum[-1]
        # A quick stroke: a box width in about a quarter of a second.
        duration = max(0.03, 0.08 + total / BOX * rng.uniform(0.18, 0.3))
        n = max(1, int(duration * RATE))
        pts = []
        for k in range(n + 1):
            t = k / n
            d = total * (10 * t ** 3 - 15 * t ** 4 + 6 * t ** 5)
            x, y = _at(poly, cum, d) if total > 0 else poly[0]
            p = (round(x + rng.gauss(0, 0.4)), round(y + rng.gauss(0, 0.4)))
            if not pts or p != pts[-1]:
                pts.append(p)
        out.append(pts)
    return out


def ink_line(label, strokes):
    return label + "\t" + ";".join(" ".join("%d,%d" % p for p in s) for s in strokes)


def write(ch, data, condition, seed):
    """One line of taruvo-recognize input: `ch` written under `condition`."""
    rng = random.Random("%s/%s/%s" % (seed, condition, ch))
    medians, rad = data
    return ink_line(ch, tablet(CONDITIONS[condition](medians, rad, rng), rng))
