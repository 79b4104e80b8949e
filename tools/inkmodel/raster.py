# SPDX-License-Identifier: GPL-3.0-or-later
# The ink raster the model reads. src/recognition/inkraster.cpp computes the
# same numbers; tests/data/raster-golden.txt holds a few of them,
# written by golden.py, so that the two cannot drift apart unnoticed.
import math

import numpy as np

SIDE = 48        # cells on each side (use_side() changes it)
MARGIN = 3       # empty cells around the character
CHANNELS = 5     # ink, then strokes running at 0°, 45°, 90° and 135°
STEP = 0.5       # distance between samples along a segment, in cells
DOT_RADIUS = 0.5  # a stroke shorter than this, in cells, is drawn as a dot
GAIN = 2.0       # after the blur, so that a line through cell centres reads 1


def use_side(side):
    """A raster of `side` cells a side, the margin kept in proportion (3
    cells at 48, where both committed models read; 4 at 64)."""
    global SIDE, MARGIN
    if not 16 <= side <= 128:
        raise ValueError("raster side %d out of range" % side)
    SIDE, MARGIN = side, round(3 * side / 48)


def fit(strokes):
    """Strokes (sequences of (x, y)) moved into grid coordinates: the bounding
    box fitted into the square inside the margin, aspect kept, centred."""
    strokes = [np.asarray(s, dtype=np.float64).reshape(-1, 2) for s in strokes]
    strokes = [s for s in strokes if len(s)]
    if not strokes:
        return []
    allp = np.concatenate(strokes)
    left, top = allp.min(axis=0)
    right, bottom = allp.max(axis=0)
    extent = max(right - left, bottom - top)
    scale = (SIDE - 2 * MARGIN) / extent if extent > 1e-9 else 1.0
    centre = np.array([(left + right) / 2, (top + bottom) / 2])
    half = SIDE / 2
    return [(s - centre) * scale + half for s in strokes]


def samples(strokes):
    """x, y, weight and orientation of every splat; orientation -1 is a dot."""
    xs, ys, ws, os_ = [], [], [], []
    for s in fit(strokes):
        pts = s
        d = pts[1:] - pts[:-1]
        seg = np.hypot(d[:, 0], d[:, 1])
        if seg.sum() < DOT_RADIUS:
            xs.append(pts[:1, 0]); ys.append(pts[:1, 1]); ws.append(np.ones(1)); os_.append(-np.ones(1))
            continue
        keep = seg > 0
        a, d, seg = pts[:-1][keep], d[keep], seg[keep]
        n = np.maximum(1, np.ceil(seg / STEP)).astype(np.int64)
        angle = np.arctan2(d[:, 1], d[:, 0])
        angle = np.where(angle < 0, angle + math.pi, angle)
        angle = np.where(angle >= math.pi, angle - math.pi, angle)
        first = np.cumsum(n) - n
        k = np.arange(n.sum()) - np.repeat(first, n)
        nn = np.repeat(n, n)
        t = (k + 0.5) / nn
        xs.append(np.repeat(a[:, 0], n) + np.repeat(d[:, 0], n) * t)
        ys.append(np.repeat(a[:, 1], n) + np.repeat(d[:, 1], n) * t)
        ws.append(np.repeat(seg / n, n))
        os_.append(np.repeat(angle, n))
    if not xs:
        return [], [], [], []
    return np.concatenate(xs), np.concatenate(ys), np.concatenate(ws), np.concatenate(os_)


def rasterize(strokes):
    """float32 array CHANNELS x SIDE x SIDE."""
    grid = np.zeros((CHANNELS, SIDE + 2, SIDE + 2))  # one spare cell all round
    xs, ys, ws, os_ = samples(strokes)
    if len(xs) == 0:
        return np.zeros((CHANNELS, SIDE, SIDE), np.float32)
    x = np.asarray(xs) - 0.5
    y = np.asarray(ys) - 0.5
    w = np.asarray(ws)
    o = np.asarray(os_)
    x0 = np.floor(x)
    y0 = np.floor(y)
    fx, fy = x - x0, y - y0
    x0 = np.clip(x0.astype(np.int64), -1, SIDE - 1) + 1
    y0 = np.clip(y0.astype(np.int64), -1, SIDE - 1) + 1
    # Undirected orientation shared between its two nearest channels.
    f = np.where(o < 0, 0.0, o / (math.pi / 4))
    k = np.minimum(np.floor(f).astype(np.int64), 3)
    frac = f - k
    dot = o < 0
    flat = grid.reshape(CHANNELS, -1)
    row = SIDE + 2
    corners = [(0, 0, (1 - fx) * (1 - fy)), (1, 0, fx * (1 - fy)), (0, 1, (1 - fx) * fy), (1, 1, fx * fy)]
    for ox, oy, cw in corners:
        idx = (y0 + oy) * row + (x0 + ox)
        flat[0] += np.bincount(idx, w * cw, flat.shape[1])
        a = np.where(dot, 0.0, w * cw * (1 - frac))
        b = np.where(dot, 0.0, w * cw * frac)
        for ch in range(4):
            flat[1 + ch] += np.bincount(idx, np.where(k == ch, a, 0.0) + np.where((k + 1) % 4 == ch, b, 0.0), flat.shape[1])
    g = grid[:, 1:-1, 1:-1]
    # [1 2 1] / 4 along each axis, zeros beyond the edge.
    p = np.pad(g, ((0, 0), (1, 1), (0, 0)))
    g = (p[:, :-2] + 2 * p[:, 1:-1] + p[:, 2:]) / 4
    p = np.pad(g, ((0, 0), (0, 0), (1, 1)))
    g = (p[:, :, :-2] + 2 * p[:, :, 1:-1] + p[:, :, 2:]) / 4
    return np.minimum(g * GAIN, 1.0).astype(np.float32)
