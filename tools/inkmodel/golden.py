#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes tests/data/raster-golden.txt (48 cells a side) and
# raster-golden-64.txt: a few inks and the cells this file's rasteriser
# gives them, for the C++ test that checks that the program feeds each model
# what it was trained on.
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))

# In the text form of ink: strokes split by ";", points "x,y".
INKS = [
    # 木 with bowed sweeps, points at uneven steps.
    "30,110 150,108 270,105;150,30 150,200 150,280;145,110 120,150 80,200 40,240;155,110 200,170 265,235",
    # Every orientation, a leftward stroke (180 degrees) and repeated points.
    "10,10 90,10 90,10 90,90 10,170;170,90 100,20;50,120 50,120",
    # A dot beside a flat line: the line alone would have no height.
    "20,200 220,200;120,120",
    # One dot, nothing else.
    "33.5,77.25",
    # Far from the origin, negative coordinates, a tall narrow character.
    "-5000.5,-300 -5000.5,-100;-5010,-200 -4990,-201 -4985,-150",
]


def parse(line):
    return [[tuple(float(v) for v in p.split(",")) for p in s.split()] for s in line.split(";") if s.strip()]


def write(side, name):
    raster.use_side(side)
    path = os.path.join(ROOT, "tests/data", name)
    with open(path, "w", encoding="utf-8") as out:
        out.write("# Written by tools/inkmodel/golden.py: ink, then channel row column value of every\n"
                  "# cell that is not zero. Side %d, margin %d, %d channels.\n" %
                  (raster.SIDE, raster.MARGIN, raster.CHANNELS))
        for line in INKS:
            grid = raster.rasterize(parse(line))
            out.write("ink\t%s\n" % line)
            for c in range(raster.CHANNELS):
                for y in range(raster.SIDE):
                    for x in range(raster.SIDE):
                        if grid[c, y, x] != 0:
                            out.write("%d %d %d %.6f\n" % (c, y, x, grid[c, y, x]))
    print(path)


def main():
    write(48, "raster-golden.txt")
    write(64, "raster-golden-64.txt")


if __name__ == "__main__":
    main()
