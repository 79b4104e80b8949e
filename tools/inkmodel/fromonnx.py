#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Turns a committed model (.onnx) back into training weights (a .pt that
# train.py --init reads), so that a later stage can start from the model
# itself when the earlier stage's checkpoints are gone. The export folded
# each batch norm into its convolution; the norm is put back with the
# statistics of the folded convolution's output over a sample of rasters,
# which gives the same function in evaluation and, in training, batch
# statistics close to the ones the norm was fitted to.
import argparse
import os
import sys

import numpy as np
import onnx
import torch
from onnx import numpy_helper

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import net  # noqa: E402
import raster  # noqa: E402


def load(path, rasters):
    """An InkNet with the weights of the ONNX model at `path`; `rasters`
    (uint8, N x C x S x S) calibrate the batch norms."""
    graph = onnx.load(path).graph
    inits = {i.name: torch.from_numpy(numpy_helper.to_array(i).copy()) for i in graph.initializer}
    convs = []
    for node in graph.node:
        if node.op_type == "Conv":
            convs.append((inits[node.input[1]], inits[node.input[2]]))
    if len(convs) != 6:
        raise SystemExit("%s: %d convolutions, expected 6" % (path, len(convs)))
    widths = (convs[0][0].shape[0], convs[2][0].shape[0], convs[4][0].shape[0])
    model = net.InkNet(inits["head.5.weight"].shape[0], widths=widths, hidden=inits["head.2.weight"].shape[0])
    state = model.state_dict()
    for name in ("head.2.weight", "head.2.bias", "head.5.weight", "head.5.bias"):
        state[name] = inits[name]
    layers = [(b, c) for b in range(3) for c in (0, 3)]
    for (b, c), (w, _) in zip(layers, convs):
        state["features.%d.%d.weight" % (b, c)] = w
    model.load_state_dict(state)
    model.eval()

    # The folded convolutions' outputs (their bias is the norm's) over the sample.
    outs = {}
    hooks = [model.features[b][c].register_forward_hook(
        lambda _m, _i, o, key=(b, c): outs.setdefault(key, []).append(o.detach()))
        for b, c in layers]
    # Each norm must pass its convolution through unchanged while measuring.
    for (b, c), (_, bias) in zip(layers, convs):
        bn = model.features[b][c + 1]
        bn.running_mean.zero_()
        bn.running_var.fill_(1.0 - bn.eps)
        bn.weight.data.fill_(1.0)
        bn.bias.data.copy_(bias)
    with torch.no_grad():
        for i in range(0, len(rasters), 256):
            model(torch.from_numpy(rasters[i:i + 256].astype(np.float32) / 255.0))
    for h in hooks:
        h.remove()
    for (b, c), (_, bias) in zip(layers, convs):
        o = torch.cat(outs[(b, c)])
        mean = o.mean(dim=(0, 2, 3))
        var = o.var(dim=(0, 2, 3), unbiased=False)
        bn = model.features[b][c + 1]
        bn.running_mean.copy_(mean)
        bn.running_var.copy_(var)
        bn.weight.data.copy_(torch.sqrt(var + bn.eps))
        bn.bias.data.copy_(bias + mean)
    return model


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--onnx", required=True)
    ap.add_argument("--rasters", required=True, help="a shard's .x.npy to calibrate the batch norms on")
    ap.add_argument("--out", required=True, help="the .pt to write")
    ap.add_argument("--count", type=int, default=8192, help="rasters of the shard to use")
    args = ap.parse_args()
    x = np.load(args.rasters, mmap_mode="r")
    raster.use_side(x.shape[-1])
    pick = np.random.default_rng(0).permutation(len(x))[:args.count]
    model = load(args.onnx, np.asarray(x[np.sort(pick)]))
    tmp = args.out + ".tmp"
    torch.save({"model": model.state_dict()}, tmp)
    os.replace(tmp, args.out)
    print("%s: weights of %s" % (args.out, args.onnx))


if __name__ == "__main__":
    main()
