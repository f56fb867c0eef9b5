#!/usr/bin/env python3
"""Draws Quillan's icon: a sheet of text with a quill pen across it, as
PNGs of 16, 22, 24, 32, 48, 64, 128 and 256 pixels and one SVG.

    python3 scripts/art/make_icon.py [FOLDER]

The default folder is gui/art/icons beside the sources; the files are
quillan-<size>.png and quillan.svg. Each size is drawn afresh, with fewer
and bolder text lines at the small sizes, so that it stays legible.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster  # noqa: E402

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

EDGE = (96, 100, 112)
PAPER = (252, 251, 244)
TEXT = (70, 76, 92)
VANE = (32, 112, 168)
VANE_LIGHT = (96, 172, 214)
SHAFT = (236, 238, 242)
NIB = (44, 44, 56)


def vane(p0, p1, left, right, steps=32):
    """A feather's vane along p0 -> p1, half-widths left and right of it."""
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    length = math.hypot(dx, dy)
    nx, ny = -dy / length, dx / length
    one, other = [], []
    for i in range(steps + 1):
        s = i / steps
        bulge = math.sin(math.pi * s) ** 0.7 * (1 - 0.35 * s)
        x, y = p0[0] + dx * s, p0[1] + dy * s
        one.append((x + nx * left * bulge, y + ny * left * bulge))
        other.append((x - nx * right * bulge, y - ny * right * bulge))
    return one + other[::-1]


def icon(size):
    canvas = raster.Canvas(size, size)
    u = size / 16.0  # drawing unit: one pixel of the 16-pixel icon

    # The sheet, with a darker rim.
    canvas.fill([raster.rounded_rect(2.2 * u, 0.6 * u, 13.0 * u, 15.4 * u, 1.2 * u)], EDGE)
    rim = max(0.7, 0.06 * size) if size > 16 else 0.8
    canvas.fill([raster.rounded_rect(2.2 * u + rim, 0.6 * u + rim, 13.0 * u - rim, 15.4 * u - rim,
                                     max(0.1, 1.2 * u - rim))], PAPER)

    # Lines of text: three at the small sizes, six at the large.
    if size <= 24:
        rows = [(3.6, 10.6), (6.6, 8.8), (9.6, 7.0)]
        thick = 1.4
    else:
        rows = [(3.0, 11.0), (4.9, 10.2), (6.8, 10.8), (8.7, 8.6), (10.6, 7.2), (12.5, 5.8)]
        thick = 0.9
    for y, x1 in rows:
        canvas.fill([raster.rounded_rect(4.0 * u, (y - thick / 2) * u, x1 * u, (y + thick / 2) * u,
                                         thick / 2 * u * 0.9)], TEXT)

    # The quill, from its nib at the bottom left to its tip at the top right.
    nib_tip = (3.4 * u, 14.6 * u)
    base = (6.3 * u, 11.0 * u)
    tip = (15.4 * u, 0.9 * u)
    canvas.fill([vane(base, tip, 2.6 * u, 1.5 * u)], VANE)
    if size >= 32:
        canvas.fill([vane((base[0] + 1.2 * u, base[1] - 1.4 * u), tip, 1.2 * u, 0.5 * u)], VANE_LIGHT)
    canvas.fill(raster.stroke([base, tip], max(0.8, 0.45 * u)), SHAFT)
    # The nib: a dark wedge from the vane's foot to the point.
    dx, dy = base[0] - nib_tip[0], base[1] - nib_tip[1]
    length = math.hypot(dx, dy)
    nx, ny = -dy / length * 0.75 * u, dx / length * 0.75 * u
    canvas.fill([[nib_tip, (base[0] + nx, base[1] + ny), (base[0] + dx * 0.12, base[1] + dy * 0.12),
                  (base[0] - nx, base[1] - ny)]], NIB)
    return canvas


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "quillan", "art", "icons")
    os.makedirs(folder, exist_ok=True)
    for size in SIZES:
        canvas = icon(size)
        raster.write_png(os.path.join(folder, "quillan-%d.png" % size), canvas)
        if size == 256:
            raster.write_svg(os.path.join(folder, "quillan.svg"), 256, canvas.shapes, 1.0)


if __name__ == "__main__":
    main()
