# SPDX-License-Identifier: GPL-3.0-or-later
# Many hands from one set of strokes: KanjiVG gives each stroke as a straight
# start-to-end chord; this bends, warps, joins, drops and adds strokes the way
# fast writers do, so that the model learns the character, not the font.
import math

import numpy as np


def _turned(a, b, rng):
    """The chord a-b as the stroke it often stands for: across, then down
    (the right side of 口 and every box like it) or down, then across. The
    data keeps only where a stroke starts and ends, and a writer's corner
    is nothing like the diagonal."""
    corner = np.array([b[0], a[1]]) if rng.random() < 0.7 else np.array([a[0], b[1]])
    corner = corner + rng.normal(0, 2.0, 2)
    legs = []
    for p, q in ((a, corner), (corner, b)):
        n = max(2, int(math.hypot(*(q - p)) / 6) + 2)
        legs.append(p + np.linspace(0.0, 1.0, n)[:, None] * (q - p))
    return np.vstack([legs[0], legs[1][1:]])


def _chord_points(a, b, rng):
    """A stroke from a to b, bowed or turned, sometimes hooked or cut short."""
    d = b - a
    length = math.hypot(*d)
    slope = math.degrees(math.atan2(d[1], d[0]))  # y grows downwards
    if length > 40 and 15 < slope < 80 and rng.random() < 0.6:
        return _turned(a, b, rng)
    m = max(3, int(length / 6) + 2)
    t = np.linspace(0.0, 1.0, m)[:, None]
    pts = a + t * d
    if length > 1e-6:
        normal = np.array([-d[1], d[0]]) / length
        bow = rng.normal(0, 0.07) * length
        pts = pts + normal * (4 * t * (1 - t)) * bow
        if rng.random() < 0.12:  # a hook or flick at the end
            ang = math.atan2(d[1], d[0]) + rng.choice([-1, 1]) * rng.uniform(1.8, 2.8)
            hook = rng.uniform(0.05, 0.15) * length
            pts = np.vstack([pts, pts[-1] + hook * np.array([math.cos(ang), math.sin(ang)])])
        if rng.random() < 0.1:  # the pen lifted early or landed late
            cut = rng.uniform(0.0, 0.15)
            keep = t[:, 0] >= cut if rng.random() < 0.5 else t[:, 0] <= 1 - cut
            if keep.sum() >= 2 and len(keep) == len(pts):
                pts = pts[keep]
    return pts


def _axis_warp(v, lo, hi, rng, amount):
    """Piecewise-linear remap of one axis: a knot inside moves, so one part of
    the character grows and the other shrinks (a radical squeezed or
    widened)."""
    if hi - lo < 1e-6:
        return v
    knot = lo + (hi - lo) * rng.uniform(0.3, 0.7)
    moved = knot + (hi - lo) * rng.uniform(-amount, amount)
    moved = min(max(moved, lo + 0.15 * (hi - lo)), hi - 0.15 * (hi - lo))
    return np.interp(v, [lo, knot, hi], [lo, moved, hi])


def _split(strokes, axis, size):
    """Where the strokes fall apart into two parts along one axis (a radical
    and the rest, a top and a bottom): the cut with the widest gap, or the
    least overlap, between the strokes before it and those after. None when
    every cut runs through a stroke or leaves a part too thin."""
    spans = [(float(p[:, axis].min()), float(p[:, axis].max())) for p in strokes]
    best = None
    for c in sorted({b for _, b in spans}):
        first = [k for k, (a, b) in enumerate(spans) if (a + b) / 2 <= c]
        rest = [k for k in range(len(spans)) if k not in first]
        if not first or not rest:
            continue
        end = max(spans[k][1] for k in first)
        start = min(spans[k][0] for k in rest)
        lo = min(spans[k][0] for k in first)
        hi = max(spans[k][1] for k in rest)
        if min(end - lo, hi - start) < 0.18 * size:
            continue
        gap = start - end
        if gap > -0.06 * size and (best is None or gap > best[0]):
            best = (gap, first, rest)
    return None if best is None else best[1:]


def _part_layout(strokes, rng, size, amount):
    """Parts written each at its own size and place, as a child sizes a
    radical by eye: the parts found from where the strokes fall apart, each
    scaled on both axes about its own centre, moved across the cut, and the
    gap between them opened or closed. Strokes keep their shapes within a
    part. Returns None when the strokes do not fall apart."""
    axes = [0, 1] if rng.random() < 0.5 else [1, 0]
    for axis in axes:
        parts = _split(strokes, axis, size)
        if parts is not None:
            break
    else:
        return None
    other = 1 - axis
    out = [p.copy() for p in strokes]
    gap_shift = rng.normal(0, 0.25 * amount) * size
    for side, idx in enumerate(parts):
        pts = np.vstack([strokes[k] for k in idx])
        c = (pts.min(axis=0) + pts.max(axis=0)) / 2
        along = math.exp(rng.normal(0, 1.4 * amount))
        across = math.exp(rng.normal(0, 0.9 * amount))
        move = np.zeros(2)
        move[other] = rng.normal(0, 0.35 * amount) * size
        move[axis] = (gap_shift / 2) * (1 if side else -1)
        scale = np.ones(2)
        scale[axis], scale[other] = along, across
        for k in idx:
            out[k] = (strokes[k] - c) * scale + c + move
    return out


def _bumps(pts, rng, centres, amps, width):
    out = pts.copy()
    for c, a in zip(centres, amps):
        d2 = ((pts - c) ** 2).sum(axis=1, keepdims=True)
        out += a * np.exp(-d2 / (2 * width * width))
    return out


def _connector(p, q, rng, curved):
    """The pen's path between two strokes written without lifting it."""
    n = max(2, int(math.hypot(*(q - p)) / 6) + 2)
    t = np.linspace(0.0, 1.0, n)[1:-1, None]
    line = p + t * (q - p)
    if curved and len(line):
        d = q - p
        length = math.hypot(*d)
        if length > 1e-6:
            normal = np.array([-d[1], d[0]]) / length
            line = line + normal * (4 * t * (1 - t)) * rng.normal(0, 0.25) * length
    return line


def _join(strokes, i, j, rng, curved):
    """Strokes i..j (inclusive) run together into one."""
    parts = [strokes[i]]
    for k in range(i + 1, j + 1):
        parts.append(_connector(parts[-1][-1], strokes[k][0], rng, curved))
        parts.append(strokes[k])
    return strokes[:i] + [np.vstack(parts)] + strokes[j + 1:]


def _resample(pts, step):
    if len(pts) < 2:
        return pts
    seg = np.hypot(*(pts[1:] - pts[:-1]).T)
    dist = np.concatenate([[0.0], np.cumsum(seg)])
    total = dist[-1]
    if total < 1e-9:
        return pts[:1]
    n = max(2, int(total / step) + 1)
    at = np.linspace(0.0, total, n)
    return np.stack([np.interp(at, dist, pts[:, 0]), np.interp(at, dist, pts[:, 1])], axis=1)


def _near_joins(strokes, rng, chance):
    """Strokes run together where a fast hand joins them: the next stroke
    starts (or, taken backwards, ends) near where this one ended, as the top
    of 立 runs into its dot or a box's top, side and bottom become one. The
    closer the pen already is, the likelier the join."""
    allp = np.vstack(strokes)
    size = max(float((allp.max(axis=0) - allp.min(axis=0)).max()), 1.0)
    out = [strokes[0]]
    for s in strokes[1:]:
        end = out[-1][-1]
        to_start = math.hypot(*(s[0] - end))
        to_end = math.hypot(*(s[-1] - end))
        if to_end < 0.6 * to_start and rng.random() < 0.5:
            s, gap = s[::-1], to_end  # the short way round, as a pen that does not lift goes
        else:
            gap = to_start
        if rng.random() < chance * math.exp(-gap / (0.25 * size)):
            out[-1] = np.vstack([out[-1], _connector(end, s[0], rng, rng.random() < 0.5), s])
        else:
            out.append(s)
    return out


def _hooks(strokes, rng, size):
    """Hooks as longhand writes them: a flick lifted off into a short stroke
    of its own, flattened or tilted, or left out."""
    out = []
    for pts in strokes:
        length = float(np.hypot(*(pts[1:] - pts[:-1]).T).sum()) if len(pts) > 1 else 0.0
        if length > 0.25 * size and rng.random() < 0.25:
            d = pts[-1] - pts[max(0, len(pts) - 4)]
            ang = math.atan2(d[1], d[0]) + rng.choice([-1, 1]) * rng.uniform(1.2, 2.9)
            hook = rng.uniform(0.06, 0.2) * length
            tip = np.array([math.cos(ang), math.sin(ang)]) * hook
            n = max(2, int(hook / 4) + 2)
            flick = pts[-1] + np.linspace(0.0, 1.0, n)[:, None] * tip
            if rng.random() < 0.5:
                out.append(pts)
                out.append(flick[1:] + rng.normal(0, 1.5, 2))  # lifted off: a stroke of its own
            else:
                out.append(np.vstack([pts, flick[1:]]))
        else:
            out.append(pts)
    return out


def _brush(strokes, rng, size):
    """A brush's or a hurried pen's line: strokes a little short of their
    ends, and a slow sway that a ruler-straight chord never has."""
    out = []
    for pts in strokes:
        if len(pts) < 2:
            out.append(pts)
            continue
        c = pts.mean(axis=0)
        pts = c + (pts - c) * rng.uniform(0.8, 1.0)
        t = np.linspace(0.0, 1.0, len(pts))[:, None]
        d = pts[-1] - pts[0]
        length = math.hypot(*d)
        if length > 1e-6:
            normal = np.array([-d[1], d[0]]) / length
            sway = rng.normal(0, 0.012 * size) * np.sin(math.pi * rng.uniform(1, 3) * t + rng.uniform(0, math.pi))
            pts = pts + normal * sway
        out.append(pts)
    return out


def augment(chords, rng, strength=1.0, longhand=False, parts=False):
    """One random hand writing the character whose strokes are `chords`
    ([x0, y0, x1, y1] in a 256 square, in writing order). Returns a list of
    point arrays. `longhand` writes as a fast or semi-cursive hand: joins
    where the pen is close, hooks lifted off or flattened, a brush's sway,
    components in wider proportions. `parts` sizes and places the parts
    each on its own where the strokes fall apart, for some of the hands."""
    s = strength
    ends = [(np.array(c[:2], float), np.array(c[2:], float)) for c in chords]
    n = len(ends)
    lengths = [math.hypot(*(b - a)) for a, b in ends]
    # Order and direction: they matter only for where joins fall.
    if n > 1 and rng.random() < 0.2:
        i = int(rng.integers(n - 1))
        ends[i], ends[i + 1] = ends[i + 1], ends[i]
        lengths[i], lengths[i + 1] = lengths[i + 1], lengths[i]
    if rng.random() < 0.2:
        i = int(rng.integers(n))
        ends[i] = (ends[i][1], ends[i][0])
    # A short stroke left out.
    if n >= 3 and rng.random() < 0.2 * s:
        order = np.argsort(lengths)
        i = int(order[int(rng.integers(max(1, (n + 1) // 2)))])
        del ends[i]
        del lengths[i]
        if n >= 6 and rng.random() < 0.15:
            order = np.argsort(lengths)
            i = int(order[int(rng.integers(max(1, len(lengths) // 2)))])
            del ends[i]
            del lengths[i]
    # Each stroke on its own: its ends moved, bowed, turned and scaled a little.
    strokes = []
    for a, b in ends:
        a = a + rng.normal(0, 3.5 * s, 2)
        b = b + rng.normal(0, 3.5 * s, 2)
        pts = _chord_points(a, b, rng)
        if rng.random() < 0.5:
            c = pts.mean(axis=0)
            ang = math.radians(rng.normal(0, 4 * s))
            sc = math.exp(rng.normal(0, 0.08 * s))
            rot = np.array([[math.cos(ang), -math.sin(ang)], [math.sin(ang), math.cos(ang)]]) * sc
            pts = (pts - c) @ rot.T + c + rng.normal(0, 2.5 * s, 2)
        strokes.append(pts)
    allp = np.vstack(strokes)
    lo, hi = allp.min(axis=0), allp.max(axis=0)
    size = max(float((hi - lo).max()), 1.0)
    if longhand:
        strokes = _hooks(_brush(strokes, rng, size), rng, size)
    # Components in other proportions: parts sized and placed each on its
    # own where the strokes fall apart, else one axis warped.
    laid = None
    if parts and len(strokes) > 1 and rng.random() < 0.4:
        laid = _part_layout(strokes, rng, size, (0.24 if longhand else 0.16) * s)
    if laid is not None:
        strokes = laid
    elif rng.random() < (0.7 if longhand else 0.5):
        for axis in (0, 1):
            if rng.random() < 0.6:
                for pts in strokes:
                    pts[:, axis] = _axis_warp(pts[:, axis], lo[axis], hi[axis], rng,
                                              (0.24 if longhand else 0.16) * s)
    # A smooth elastic warp.
    if rng.random() < 0.7:
        k = int(rng.integers(2, 5))
        centres = lo + rng.random((k, 2)) * (hi - lo)
        amps = rng.normal(0, 7 * s, (k, 2))
        width = rng.uniform(30, 70)
        strokes = [_bumps(p, rng, centres, amps, width) for p in strokes]
    # The whole character: turned, stretched and slanted.
    ang = math.radians(rng.uniform(-10, 10) * s)
    sx = rng.uniform(1 - 0.22 * s, 1 + 0.22 * s)
    sy = rng.uniform(1 - 0.22 * s, 1 + 0.22 * s)
    shear = rng.uniform(-0.2, 0.2) * s
    m = np.array([[math.cos(ang), -math.sin(ang)], [math.sin(ang), math.cos(ang)]]) @ np.array([[sx, shear], [0, sy]])
    strokes = [(p - 128) @ m.T + 128 for p in strokes]
    # Strokes run together: a pair, two pairs, or semi-cursive runs.
    r = rng.random()
    if longhand and len(strokes) > 1 and r < 0.7:
        strokes = _near_joins(strokes, rng, rng.uniform(0.4, 0.95))
    elif len(strokes) > 1 and r < 0.45:
        if r < 0.15:
            runs = 1 + int(rng.integers(2))
            for _ in range(runs):
                if len(strokes) < 3:
                    break
                i = int(rng.integers(len(strokes) - 2))
                j = min(len(strokes) - 1, i + int(rng.integers(2, 6)))
                strokes = _join(strokes, i, j, rng, curved=True)
        else:
            pairs = 1 if r < 0.35 else 2
            for _ in range(pairs):
                if len(strokes) < 2:
                    break
                i = int(rng.integers(len(strokes) - 1))
                strokes = _join(strokes, i, i + 1, rng, curved=rng.random() < 0.3)
    # Stray taps and tiny flicks.
    if rng.random() < 0.15:
        allp = np.vstack(strokes)
        lo, hi = allp.min(axis=0), allp.max(axis=0)
        span = np.maximum(hi - lo, 20)
        for _ in range(1 + int(rng.integers(2))):
            c = lo - 0.08 * span + rng.random(2) * 1.16 * span
            k = 1 + int(rng.integers(3))
            strokes.append(c + np.cumsum(rng.normal(0, 1.5, (k, 2)), axis=0))
    # The tablet: points at its own pace, a little jitter.
    step = rng.uniform(1.5, 9)
    noise = rng.uniform(0, 1.2)
    out = []
    for p in strokes:
        p = _resample(p, step)
        out.append(p + rng.normal(0, noise, p.shape))
    return out
