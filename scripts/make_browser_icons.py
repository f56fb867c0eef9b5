#!/usr/bin/env python3
"""Draws the browser toolbar's six 24x24 pictures (used where the desktop's
icon theme has none) into quillan/browser/module/icons/.

Plain Python, no imaging library: each picture is a few shapes, sampled
4x4 times per pixel for smooth edges, written as an RGBA PNG.

    python3 scripts/make_browser_icons.py
"""
import math
import os
import struct
import zlib

SIZE = 24
SAMPLES = 4
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "quillan", "browser", "module", "icons")


def inside_polygon(x, y, pts):
    hit = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def polygon(pts, outline=0.0):
    edges = list(zip(pts, pts[1:] + pts[:1]))
    if outline:
        return lambda x, y: inside_polygon(x, y, pts) or any(segment_distance(x, y, a, b) <= outline for a, b in edges)
    return lambda x, y: inside_polygon(x, y, pts)


def stroke(points, width):
    segs = list(zip(points, points[1:]))
    return lambda x, y: any(segment_distance(x, y, a, b) <= width / 2 for a, b in segs)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width, gap=None):
    """A circle line; gap = (from, to) angles in degrees left out."""
    def f(x, y):
        if abs(math.hypot(x - cx, y - cy) - r) > width / 2:
            return False
        if gap:
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            return not (gap[0] <= a <= gap[1])
        return True
    return f


def render(layers):
    """layers: (test, (r, g, b)) painted in order, later ones on top."""
    rows = []
    for py in range(SIZE):
        row = bytearray([0])
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for test, rgb in layers:
                        if test(x, y):
                            colour = rgb
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = SAMPLES * SAMPLES
            if acc[3]:
                row += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                              round(255 * acc[3] / n)])
            else:
                row += bytes([0, 0, 0, 0])
        rows.append(bytes(row))
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


BLUE, DARK_BLUE = (52, 101, 164), (32, 74, 135)
GREEN, DARK_GREEN = (78, 154, 6), (52, 101, 4)
RED, DARK_RED = (204, 0, 0), (164, 0, 0)
WHITE = (255, 255, 255)
SAND, BROWN = (233, 185, 110), (143, 89, 2)
GREY, DARK_GREY = (186, 189, 182), (85, 87, 83)
GLASS = (200, 225, 245)

ARROW = [(3, 12), (11, 4), (11, 8.5), (21, 8.5), (21, 15.5), (11, 15.5), (11, 20)]


def mirrored(pts):
    return [(SIZE - x, y) for x, y in pts]


def octagon(cx, cy, r):
    return [(cx + r * math.cos(math.radians(22.5 + 45 * i)), cy + r * math.sin(math.radians(22.5 + 45 * i)))
            for i in range(8)]


PICTURES = {
    "back": [(polygon(ARROW, 0.9), DARK_BLUE), (polygon(ARROW), BLUE)],
    "forward": [(polygon(mirrored(ARROW), 0.9), DARK_BLUE), (polygon(mirrored(ARROW)), BLUE)],
    "stop": [(polygon(octagon(12, 12, 10.5)), DARK_RED), (polygon(octagon(12, 12, 9.3)), RED),
             (stroke([(8, 8), (16, 16)], 2.6), WHITE), (stroke([(16, 8), (8, 16)], 2.6), WHITE)],
    "refresh": [(ring(12, 12, 7.5, 4.2, gap=(300, 350)), DARK_GREEN),
                (ring(12, 12, 7.5, 2.6, gap=(300, 350)), GREEN),
                (polygon([(14.5, 1.5), (22.5, 5.5), (15.5, 11)], 0.8), DARK_GREEN),
                (polygon([(14.5, 1.5), (22.5, 5.5), (15.5, 11)]), GREEN)],
    "home": [(polygon([(12, 2.5), (22.5, 12), (19.5, 12), (19.5, 21.5), (4.5, 21.5), (4.5, 12), (1.5, 12)], 0.8),
              BROWN),
             (polygon([(12, 2.5), (22.5, 12), (19.5, 12), (19.5, 21.5), (4.5, 21.5), (4.5, 12), (1.5, 12)]), SAND),
             (polygon([(10, 14), (14, 14), (14, 21.5), (10, 21.5)]), BROWN),
             (polygon([(12, 2.5), (22.5, 12), (21, 13), (12, 5), (3, 13), (1.5, 12)]), DARK_RED)],
    "search": [(stroke([(14.5, 14.5), (21, 21)], 4.2), DARK_GREY), (disc(10, 10, 7.6), DARK_GREY),
               (disc(10, 10, 5.8), GLASS), (ring(10, 10, 6.7, 1.0), GREY)],
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, layers in PICTURES.items():
        with open(os.path.join(OUT, name + ".png"), "wb") as f:
            f.write(png(render(layers)))


if __name__ == "__main__":
    main()
