#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The classes a model still confuses on fresh augmented KanjiVG hands (probe
# shards written with seeds of their own): each class read wrong at least
# `--errors` times, and each class it was read as, into a file that
# generate.py --only takes. A later stage then writes more hands of exactly
# those characters (眼 and 眠, 千 and 干 ...).
import argparse
import collections
import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import classes  # noqa: E402
import net  # noqa: E402
import raster  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--weights", required=True, help="a .pt of the model (epoch-N.pt, fromonnx.py's)")
    ap.add_argument("--probe", required=True, nargs="+", help="shard .x.npy files to read")
    ap.add_argument("--names", action="store_true", help="the name kanji among the classes")
    ap.add_argument("--errors", type=int, default=2, help="misreads that make a class hard")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    names, _ = classes.classes(args.names)
    model = net.from_weights(torch.load(args.weights)["model"], len(names))
    wrong = collections.Counter()
    pairs = collections.Counter()
    total = right = 0
    for path in args.probe:
        x = np.load(path, mmap_mode="r")
        y = np.load(path.replace(".x.npy", ".y.npy")).astype(np.int64)
        raster.use_side(x.shape[-1])
        with torch.no_grad():
            for i in range(0, len(y), 512):
                pred = model(torch.from_numpy(x[i:i + 512].astype(np.float32) / 255.0)).argmax(1).numpy()
                for t, p in zip(y[i:i + 512], pred):
                    total += 1
                    if t == p:
                        right += 1
                    else:
                        wrong[t] += 1
                        pairs[(t, p)] += 1
    hard = {t for t, n in wrong.items() if n >= args.errors}
    hard |= {p for (t, p) in pairs if t in hard}
    with open(args.out, "w", encoding="utf-8") as fh:
        fh.write("".join(names[i] for i in sorted(hard)) + "\n")
    print("%d of %d read right (%.4f); %d hard classes" % (right, total, right / total, len(hard)))
    print("most confused:", " ".join("%s→%s×%d" % (names[t], names[p], n) for (t, p), n in pairs.most_common(30)))


if __name__ == "__main__":
    main()
