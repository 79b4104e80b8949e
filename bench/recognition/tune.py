#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Tunes the fusion of Zinnia and the template matcher: dumps both engines'
# scored candidates for every benchmark condition once, then tries template
# weights offline, on every second character and, as a check, on the others.
import argparse, json, os, random, subprocess, sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402


def dump(tool, lines, engine):
    cmd = [tool, "--size", "256,256", "-n", "30", "--scores", "--engine", engine]
    p = subprocess.run(cmd, input="\n".join(lines) + "\n", capture_output=True, text=True, check=True)
    out = []
    for row in p.stdout.split("\n")[:len(lines)]:
        out.append([(c.rsplit(":", 1)[0], float(c.rsplit(":", 1)[1])) for c in row.split(" ") if c])
    return out


def fuse(z, t, weight):
    # As FusedRecognizer: Zinnia's score minus weight x template cost; a
    # character one engine did not list scores a little below its last.
    zfloor = (z[-1][1] if z else 0) - 0.3
    tfloor = (t[-1][1] if t else 0) - 10
    zz, tt = dict(z), dict(t)
    names = list(zz) + [c for c in tt if c not in zz]
    return sorted(names, key=lambda c: -(zz.get(c, zfloor) + weight * tt.get(c, tfloor)))


WEIGHTS = [0.005, 0.01, 0.015, 0.02, 0.03, 0.05, 0.1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--cache", default="/tmp/taruvo-fusion-dump.json")
    args = ap.parse_args()
    data = run.load_strokes()
    chars = list(data)
    if os.path.exists(args.cache):
        dumps = json.load(open(args.cache, encoding="utf-8"))
    else:
        dumps = {}
        for name, make in run.CONDITIONS.items():
            rng = random.Random("%d/%s" % (20261207, name))
            lines = [run.line(c, make(data[c], rng)) for c in chars]
            dumps[name] = {"z": dump(args.tool, lines, "zinnia"), "t": dump(args.tool, lines, "templates")}
            print("dumped", name, file=sys.stderr)
        json.dump(dumps, open(args.cache, "w", encoding="utf-8"), ensure_ascii=False)

    def accuracy(cond, idx, weight, k=1):
        d = dumps[cond]
        return sum(chars[i] in fuse(d["z"][i], d["t"][i], weight)[:k] for i in idx) / len(idx)

    for half, idx in [("tuning half", range(0, len(chars), 2)), ("check half", range(1, len(chars), 2))]:
        print("%s: top-1 / top-5 by template weight" % half)
        print("%-8s" % "weight" + "".join("%-13s" % c for c in dumps))
        for w in WEIGHTS:
            print("%-8s" % w + "".join("%.3f/%.3f  " % (accuracy(c, idx, w), accuracy(c, idx, w, 5)) for c in dumps))

if __name__ == "__main__":
    main()
