#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Trains the ink model on the shards that generate.py wrote, on the CPU.
# Saves a checkpoint every few hundred steps and after each epoch; run again
# with the same arguments and it goes on from the last checkpoint. --init
# starts a later stage from an earlier one's weights. When all
# epochs are done it exports the network to ONNX.
import argparse
import glob
import json
import os
import sys
import time

import numpy as np
import torch
from torch import nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import net  # noqa: E402
import raster  # noqa: E402

SHIFT = 2  # cells a sample may move in each direction


def shifted(x, gen):
    """Each sample moved by up to SHIFT cells: the fit is never exact."""
    n = x.shape[0]
    pad = nn.functional.pad(x, (SHIFT, SHIFT, SHIFT, SHIFT))
    dx = torch.randint(0, 2 * SHIFT + 1, (n,), generator=gen)
    dy = torch.randint(0, 2 * SHIFT + 1, (n,), generator=gen)
    out = torch.empty_like(x)
    for i in range(n):
        out[i] = pad[i, :, dy[i]:dy[i] + raster.SIDE, dx[i]:dx[i] + raster.SIDE]
    return out


def batch(xs, idx):
    """uint8 rasters at `idx` (spread over shards) as floats."""
    return torch.from_numpy(np.stack([xs[s][i] for s, i in idx]).astype(np.float32) / 255.0)


def evaluate(model, x, y, size=512):
    model.eval()
    right = right5 = 0
    with torch.no_grad():
        for i in range(0, len(y), size):
            out = model(torch.from_numpy(x[i:i + size].astype(np.float32) / 255.0))
            top = out.topk(5, dim=1).indices.numpy()
            yy = y[i:i + size][:, None]
            right += int((top[:, :1] == yy).sum())
            right5 += int((top == yy).any(axis=1).sum())
    model.train()
    return right / len(y), right5 / len(y)


def save(path, state):
    tmp = path + ".tmp"
    torch.save(state, tmp)
    os.replace(tmp, path)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--data", required=True, help="directory of shard-<n>.{x,y}.npy; shard-val is held out")
    ap.add_argument("--out", required=True)
    ap.add_argument("--classes", type=int, required=True)
    ap.add_argument("--epochs", type=int, default=4)
    ap.add_argument("--batch", type=int, default=128)
    ap.add_argument("--lr", type=float, default=3e-3)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--checkpoint-every", type=int, default=400, help="steps")
    ap.add_argument("--init", help="weights to start from (an epoch-<n>.pt of an earlier stage)")
    ap.add_argument("--shards", help="comma-separated shard numbers to train on (default: all)")
    ap.add_argument("--hidden", type=int, default=256, help="units of the head's hidden layer")
    ap.add_argument("--widths", default="16,32,64", help="channels of the three convolution blocks")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    os.makedirs(args.out, exist_ok=True)
    ckpt_path = os.path.join(args.out, "checkpoint.pt")

    shards = sorted(p for p in glob.glob(os.path.join(args.data, "shard-*.x.npy")) if "val" not in p)
    if args.shards:
        shards = [os.path.join(args.data, "shard-%d.x.npy" % int(n)) for n in args.shards.split(",")]
        missing = [p for p in shards if not os.path.exists(p)]
        if missing:
            sys.exit("no such shard: " + ", ".join(missing))
    xs = [np.load(p, mmap_mode="r") for p in shards]
    ys = [np.load(p.replace(".x.npy", ".y.npy")) for p in shards]
    index = np.concatenate([np.stack([np.full(len(y), s), np.arange(len(y))], 1) for s, y in enumerate(ys)])
    labels = np.concatenate(ys).astype(np.int64)
    vx = np.load(os.path.join(args.data, "shard-val.x.npy"), mmap_mode="r")
    vy = np.load(os.path.join(args.data, "shard-val.y.npy")).astype(np.int64)
    raster.use_side(vx.shape[-1])  # the shards say what they were written at
    steps_per_epoch = len(index) // args.batch
    print("%d samples in %d shards, %d classes, %d cells a side, %d steps an epoch" %
          (len(index), len(shards), args.classes, raster.SIDE, steps_per_epoch), flush=True)

    torch.manual_seed(args.seed)
    model = net.InkNet(args.classes, widths=tuple(int(w) for w in args.widths.split(",")), hidden=args.hidden)
    if args.init:
        # A later stage: the earlier one's weights, a fresh optimiser and
        # schedule (usually at a lower rate) over other hands.
        model.load_state_dict(torch.load(args.init)["model"])
    opt = torch.optim.AdamW(model.parameters(), lr=args.lr, weight_decay=1e-4)
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=args.lr, total_steps=args.epochs * steps_per_epoch,
                                                pct_start=0.15)
    loss_fn = nn.CrossEntropyLoss(label_smoothing=0.1)
    epoch, step = 0, 0
    rng_state = None
    if os.path.exists(ckpt_path):
        state = torch.load(ckpt_path)
        model.load_state_dict(state["model"])
        opt.load_state_dict(state["opt"])
        sched.load_state_dict(state["sched"])
        epoch, step = state["epoch"], state["step"]
        # Checkpoints that carry the random streams resume exactly where the
        # run stopped (dropout and the shifts as an unbroken run has them).
        rng_state = state.get("rng")
        print("resuming at epoch %d, step %d" % (epoch + 1, step), flush=True)

    def checkpoint():
        save(ckpt_path, {"model": model.state_dict(), "opt": opt.state_dict(), "sched": sched.state_dict(),
                         "epoch": epoch, "step": step, "rng": (torch.get_rng_state(), gen.get_state())})

    model.train()
    while epoch < args.epochs:
        order = np.random.default_rng([args.seed, epoch]).permutation(len(index))
        gen = torch.Generator().manual_seed(args.seed * 1000 + epoch * 100000 + step)
        if rng_state is not None:
            torch.set_rng_state(rng_state[0])
            if step:  # an epoch's first step seeds its shifts afresh
                gen.set_state(rng_state[1])
            rng_state = None
        started, seen, loss_sum = time.time(), 0, 0.0
        while step < steps_per_epoch:
            pick = order[step * args.batch:(step + 1) * args.batch]
            x = shifted(batch(xs, index[pick]), gen)
            y = torch.from_numpy(labels[pick])
            opt.zero_grad()
            loss = loss_fn(model(x), y)
            loss.backward()
            opt.step()
            sched.step()
            step += 1
            seen += len(pick)
            loss_sum += float(loss)
            if step % 100 == 0:
                rate = seen / (time.time() - started)
                print("epoch %d step %d/%d loss %.3f  %.0f samples/s, %.0f min left in the epoch" %
                      (epoch + 1, step, steps_per_epoch, loss_sum / 100, rate,
                       (steps_per_epoch - step) * args.batch / rate / 60), flush=True)
                loss_sum = 0.0
            if step % args.checkpoint_every == 0:
                checkpoint()
        top1, top5 = evaluate(model, vx, vy)
        print("epoch %d done: held-out top-1 %.4f, top-5 %.4f" % (epoch + 1, top1, top5), flush=True)
        epoch, step = epoch + 1, 0
        checkpoint()
        save(os.path.join(args.out, "epoch-%d.pt" % epoch), {"model": model.state_dict()})

    model.eval()
    onnx = os.path.join(args.out, "model.onnx")
    torch.onnx.export(model, torch.zeros(1, raster.CHANNELS, raster.SIDE, raster.SIDE), onnx,
                      input_names=["ink"], output_names=["logits"], opset_version=11)
    top1, top5 = evaluate(model, vx, vy)
    print("exported %s: held-out top-1 %.4f, top-5 %.4f" % (onnx, top1, top5), flush=True)
    with open(os.path.join(args.out, "result.json"), "w") as fh:
        json.dump({"heldOutTop1": round(top1, 4), "heldOutTop5": round(top5, 4)}, fh)


if __name__ == "__main__":
    main()
