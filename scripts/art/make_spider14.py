#!/usr/bin/env python3
"""Draws spider14.gif, the animated picture of the splash and the About box:
a small spider swaying on its thread, 97 x 89 pixels (1455 x 1335 twips at
96 dots per inch), looping for ever.

    python3 scripts/art/make_spider14.py [OUTPUT]

The default output is gui/art/spider14.gif beside the sources.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster  # noqa: E402

WIDTH, HEIGHT = 97, 89
FRAMES = 20
DELAY_CS = 7
MATTE = (224, 224, 224)  # the splash's grey, under the soft edges

BODY = (58, 42, 74)
BODY_LIGHT = (104, 82, 128)
LEG = (46, 34, 58)
THREAD = (150, 150, 162)
EYE = (250, 250, 250)
PUPIL = (20, 20, 30)
CHEEK = (226, 120, 140)


def rotate(point, centre, angle):
    c, s = math.cos(angle), math.sin(angle)
    x, y = point[0] - centre[0], point[1] - centre[1]
    return (centre[0] + x * c - y * s, centre[1] + x * s + y * c)


def frame(t):
    """The picture at time t in [0, 1)."""
    canvas = raster.Canvas(WIDTH, HEIGHT)
    phase = 2 * math.pi * t
    swing = 0.22 * math.sin(phase)           # the pendulum, in radians
    length = 30 + 2.5 * math.sin(2 * phase)  # the thread stretches a little
    anchor = (WIDTH / 2, -2.0)
    hook = (anchor[0] + length * math.sin(swing), anchor[1] + length * math.cos(swing))

    canvas.fill(raster.stroke([anchor, hook], 1.1), THREAD)

    def place(points):
        return [rotate((hook[0] + x, hook[1] + y), hook, -swing) for x, y in points]

    # Legs: four a side, each a bent line from the body, paddling gently.
    for side in (-1, 1):
        for i in range(4):
            wiggle = 0.18 * math.sin(phase * 2 + i * 1.3 + (0 if side > 0 else math.pi))
            base_angle = math.radians(-40 + i * 30) + wiggle
            root = (side * 5.0, 20 + i * 3.0)
            knee = (root[0] + side * 13 * math.cos(base_angle), root[1] + 13 * math.sin(base_angle) - 7)
            foot = (knee[0] + side * 9 * math.cos(base_angle + 0.9),
                    knee[1] + 12 * math.sin(base_angle + 0.9) + 6)
            canvas.fill(raster.stroke(place([root, knee, foot]), 2.0), LEG)

    # Abdomen above (on the thread), head below.
    canvas.fill([place(raster.ellipse(0, 11, 10.5, 12.0))], BODY)
    canvas.fill([place(raster.ellipse(-3.5, 7, 3.6, 4.2))], BODY_LIGHT)
    canvas.fill([place(raster.ellipse(0, 29, 9.0, 7.5))], BODY)

    # A face that looks out at the user.
    blink = (t * FRAMES) % FRAMES in (12, 13)
    for side in (-1, 1):
        canvas.fill([place(raster.ellipse(side * 3.6, 29, 2.9, 0.6 if blink else 3.1))], EYE)
        if not blink:
            canvas.fill([place(raster.ellipse(side * 3.6 + 0.6, 29.8, 1.4, 1.6))], PUPIL)
        canvas.fill([place(raster.ellipse(side * 6.2, 33.2, 1.5, 1.0))], CHEEK)
    canvas.fill(raster.stroke(place(raster.bezier((-2.2, 33.5), (-1, 35), (1, 35), (2.2, 33.5), 8)), 0.9),
                PUPIL)
    return canvas


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "quillan", "art", "spider14.gif")
    out = sys.argv[1] if len(sys.argv) > 1 else default
    frames = [frame(i / FRAMES) for i in range(FRAMES)]
    palette, indexed = raster.quantise(frames, MATTE)
    raster.write_gif(out, WIDTH, HEIGHT, palette, indexed, DELAY_CS)


if __name__ == "__main__":
    main()
