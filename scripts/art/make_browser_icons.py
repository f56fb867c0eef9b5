#!/usr/bin/env python3
"""Draws the browser toolbar's six 24 x 24 pictures, used where the
desktop's icon theme has none: back, forward, stop, refresh, home, search.

    python3 scripts/art/make_browser_icons.py [FOLDER]

The default folder is gui/browser/module/icons beside the sources; the
files are <name>.png.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster  # noqa: E402

SIZE = 24
DEFAULT_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                              "quillan", "browser", "module", "icons")

BLUE, DARK_BLUE = (52, 101, 164), (32, 74, 135)
GREEN, DARK_GREEN = (78, 154, 6), (52, 101, 4)
RED, DARK_RED = (204, 0, 0), (164, 0, 0)
WHITE = (255, 255, 255)
SAND, BROWN = (233, 185, 110), (143, 89, 2)
GREY, DARK_GREY = (186, 189, 182), (85, 87, 83)
GLASS = (200, 225, 245)

ARROW = [(3, 12), (11, 4), (11, 8.5), (21, 8.5), (21, 15.5), (11, 15.5), (11, 20)]
HOUSE = [(12, 2.5), (22.5, 12), (19.5, 12), (19.5, 21.5), (4.5, 21.5), (4.5, 12), (1.5, 12)]
ROOF = [(12, 2.5), (22.5, 12), (21, 13), (12, 5), (3, 13), (1.5, 12)]


def outlined(poly, width):
    """The polygon with a line of the given width around it."""
    return [poly] + raster.stroke(poly + poly[:1], width)


def mirrored(poly):
    return [(SIZE - x, y) for x, y in poly]


def octagon(cx, cy, r):
    return [(cx + r * math.cos(math.radians(22.5 + 45 * i)), cy + r * math.sin(math.radians(22.5 + 45 * i)))
            for i in range(8)]


def arc(cx, cy, r, start, end, steps=40):
    """Points along a circle from angle start to end, in degrees."""
    return [(cx + r * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + r * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]


def back(c):
    c.fill(outlined(ARROW, 1.8), DARK_BLUE)
    c.fill([ARROW], BLUE)


def forward(c):
    c.fill(outlined(mirrored(ARROW), 1.8), DARK_BLUE)
    c.fill([mirrored(ARROW)], BLUE)


def stop(c):
    c.fill([octagon(12, 12, 10.5)], DARK_RED)
    c.fill([octagon(12, 12, 9.3)], RED)
    c.fill(raster.stroke([(8, 8), (16, 16)], 2.6) + raster.stroke([(16, 8), (8, 16)], 2.6), WHITE)


def refresh(c):
    head = [(14.5, 1.5), (22.5, 5.5), (15.5, 11)]
    c.fill(raster.stroke(arc(12, 12, 7.5, -10, 300), 4.2) + outlined(head, 1.6), DARK_GREEN)
    c.fill(raster.stroke(arc(12, 12, 7.5, -10, 300), 2.6) + [head], GREEN)


def home(c):
    c.fill(outlined(HOUSE, 1.6), BROWN)
    c.fill([HOUSE], SAND)
    c.fill([[(10, 14), (14, 14), (14, 21.5), (10, 21.5)]], BROWN)
    c.fill([ROOF], DARK_RED)


def search(c):
    c.fill(raster.stroke([(14.5, 14.5), (21, 21)], 4.2) + [raster.ellipse(10, 10, 7.6, 7.6)], DARK_GREY)
    c.fill([raster.ellipse(10, 10, 5.8, 5.8)], GLASS)
    c.fill(raster.stroke(arc(10, 10, 6.7, 0, 360), 1.0), GREY)


PICTURES = {"back": back, "forward": forward, "stop": stop, "refresh": refresh, "home": home, "search": search}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_FOLDER
    os.makedirs(folder, exist_ok=True)
    for name, draw in PICTURES.items():
        canvas = raster.Canvas(SIZE, SIZE)
        draw(canvas)
        raster.write_png(os.path.join(folder, name + ".png"), canvas)


if __name__ == "__main__":
    main()
