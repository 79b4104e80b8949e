#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Exports the weights of a training checkpoint (epoch-N.pt or checkpoint.pt)
# as a model the program reads, into a folder of its own, so that a model can
# be benchmarked while its training goes on:
#   export.py --checkpoint build-inkmodel-longhand/train/epoch-2.pt --names --out /tmp/m
#   cp build-bench/taruvo-recognize /tmp/m/ && bench/recognition/run.py --tool /tmp/m/taruvo-recognize
import argparse
import os
import subprocess
import sys

import torch

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import classes  # noqa: E402
import net  # noqa: E402
import raster  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--checkpoint", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--names", action="store_true", help="the name kanji among the classes")
    ap.add_argument("--side", type=int, default=48, help="raster cells a side the model was trained at")
    args = ap.parse_args()
    raster.use_side(args.side)
    names, _ = classes.classes(args.names)
    model = net.from_weights(torch.load(args.checkpoint)["model"], len(names))
    os.makedirs(args.out, exist_ok=True)
    onnx = os.path.join(args.out, "export.onnx")
    torch.onnx.export(model, torch.zeros(1, raster.CHANNELS, raster.SIDE, raster.SIDE), onnx,
                      input_names=["ink"], output_names=["logits"], opset_version=11)
    subprocess.run([sys.executable, os.path.join(HERE, "finish.py"), "--onnx", onnx, "--out", args.out,
                    "--seed", "0", "--per-class", "0", "--epochs", "0",
                    "--recipe", "checkpoint " + os.path.basename(args.checkpoint), "--side", str(args.side)]
                   + (["--names"] if args.names else []), check=True)
    os.remove(onnx)


if __name__ == "__main__":
    main()
