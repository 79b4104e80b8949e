#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes one shard of training rasters: `--per-class` random hands for every
# class (the first shard starts each class with its plain strokes), written
# as longhand with `--longhand`. Every
# sample's randomness comes from (seed, shard, class, sample) alone, so a
# shard is the same whatever the number of workers.
import argparse
import multiprocessing
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import augment  # noqa: E402
import classes  # noqa: E402
import raster  # noqa: E402

_state = {}


def _init(path, per_class, seed, shard, names, longhand, side, strength, parts):
    raster.use_side(side)
    _state.update(x=np.lib.format.open_memmap(path, mode="r+"), per=per_class, seed=seed, shard=shard,
                  longhand=longhand, strength=strength, parts=parts)
    _state["chords"] = classes.classes(names)[1]


def _work(job):
    """Class `index`'s samples, into the shard's `row`th place."""
    row, index = job
    x, per = _state["x"], _state["per"]
    chords = _state["chords"][index]
    for k in range(per):
        if _state["shard"] == 0 and k == 0:
            strokes = [np.array([c[:2], c[2:]], float) for c in chords]
        else:
            rng = np.random.default_rng([_state["seed"], _state["shard"], index, k])
            strokes = augment.augment(chords, rng, strength=_state["strength"], longhand=_state["longhand"],
                                      parts=_state["parts"])
        x[row * per + k] = np.round(raster.rasterize(strokes) * 255).astype(np.uint8)
    return index


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--out", required=True, help="directory for shard-<n>.x.npy and shard-<n>.y.npy")
    ap.add_argument("--shard", type=int, required=True)
    ap.add_argument("--per-class", type=int, default=40)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--workers", type=int, default=2)
    ap.add_argument("--name", help="file name instead of the shard number (the held-out shard is 'val')")
    ap.add_argument("--names", action="store_true", help="the name kanji among the classes")
    ap.add_argument("--longhand", action="store_true", help="hands that join, lift hooks off and sway")
    ap.add_argument("--side", type=int, default=48, help="raster cells a side")
    ap.add_argument("--strength", type=float, default=1.0, help="how far the hands stray from the strokes")
    ap.add_argument("--parts", action="store_true", help="parts of a character sized and placed each on its own")
    ap.add_argument("--only", help="a file of the characters to write (default: every class)")
    args = ap.parse_args()
    raster.use_side(args.side)
    names, _ = classes.classes(args.names)
    os.makedirs(args.out, exist_ok=True)
    stem = os.path.join(args.out, "shard-%s" % (args.name or args.shard))
    if os.path.exists(stem + ".y.npy"):
        print("shard %d already written" % args.shard)
        return
    picked = list(range(len(names)))
    if args.only:
        with open(args.only, encoding="utf-8") as fh:
            wanted = set("".join(fh.read().split()))
        unknown = wanted - set(names)
        if unknown:
            sys.exit("not among the classes: " + "".join(sorted(unknown)))
        picked = [i for i, c in enumerate(names) if c in wanted]
    n = len(picked) * args.per_class
    tmp = stem + ".x.partial.npy"
    x = np.lib.format.open_memmap(tmp, mode="w+", dtype=np.uint8,
                                  shape=(n, raster.CHANNELS, raster.SIDE, raster.SIDE))
    del x
    with multiprocessing.Pool(args.workers, _init, (tmp, args.per_class, args.seed, args.shard, args.names, args.longhand, args.side, args.strength, args.parts)) as pool:
        for done, _ in enumerate(pool.imap_unordered(_work, enumerate(picked), chunksize=8), 1):
            if done % 500 == 0:
                print("shard %d: %d/%d classes" % (args.shard, done, len(picked)), flush=True)
    os.replace(tmp, stem + ".x.npy")
    np.save(stem + ".y.npy", np.repeat(np.array(picked, dtype=np.int16), args.per_class))
    print("shard %d: %d samples" % (args.shard, n))


if __name__ == "__main__":
    main()
