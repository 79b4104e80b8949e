#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the trained model where the program finds it, with what it reads and
# how it was made: data/inkmodel/ink-ja.onnx and ink-ja.json (or another
# name: the longhand recipe's model is ink-ja-longhand).
import argparse
import hashlib
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import classes  # noqa: E402
import raster  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--onnx", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--per-class", type=int, required=True)
    ap.add_argument("--epochs", type=int, required=True)
    ap.add_argument("--names", action="store_true", help="the name kanji among the classes")
    ap.add_argument("--recipe", default="standard")
    ap.add_argument("--name", default="ink-ja", help="file name without .onnx / .json")
    ap.add_argument("--rebuild", default="tools/inkmodel/build.sh", help="the command that makes it")
    ap.add_argument("--side", type=int, default=48, help="raster cells a side")
    args = ap.parse_args()
    raster.use_side(args.side)
    names, _ = classes.classes(args.names)
    os.makedirs(args.out, exist_ok=True)
    model = os.path.join(args.out, args.name + ".onnx")
    shutil.copyfile(args.onnx, model)
    with open(model, "rb") as fh:
        digest = hashlib.sha256(fh.read()).hexdigest()
    result = {}
    result_path = os.path.join(os.path.dirname(args.onnx), "result.json")
    if os.path.exists(result_path):
        with open(result_path) as fh:
            result = json.load(fh)
    meta = {
        "model": args.name + ".onnx",
        "sha256": digest,
        "raster": {"side": raster.SIDE, "margin": raster.MARGIN, "channels": raster.CHANNELS},
        "classes": "".join(names),
        "source": "KanjiVG strokes (CC BY-SA 3.0, Ulrich Apel) as Debian's python3-kanjidraw ships them",
        "licence": "CC BY-SA 3.0",
        "seed": args.seed,
        "samplesPerClass": args.per_class,
        "epochs": args.epochs,
        "recipe": args.recipe,
        "heldOut": result,
        "rebuild": args.rebuild,
    }
    with open(os.path.join(args.out, args.name + ".json"), "w", encoding="utf-8") as fh:
        json.dump(meta, fh, ensure_ascii=False, indent=1)
        fh.write("\n")
    print("%s: %d bytes, %d classes, sha256 %s" % (model, os.path.getsize(model), len(names), digest))


if __name__ == "__main__":
    main()
