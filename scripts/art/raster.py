"""A small anti-aliased rasteriser with PNG, GIF and SVG writers.

Shapes are polygons (lists of (x, y) points in pixels); ellipses, strokes and
curves are turned into polygons first. Filling samples every pixel on a
4 x 4 grid with the nonzero rule, so overlapping pieces of one shape (the
segments and joints of a stroke) merge without seams. Only the Python
standard library is used, so the pictures can be made again anywhere.
"""

import math
import struct
import zlib

SUB = 4  # samples per pixel along each axis


def ellipse(cx, cy, rx, ry, angle=0.0, steps=48):
    c, s = math.cos(angle), math.sin(angle)
    pts = []
    for i in range(steps):
        t = 2 * math.pi * i / steps
        x, y = rx * math.cos(t), ry * math.sin(t)
        pts.append((cx + x * c - y * s, cy + x * s + y * c))
    return pts


def bezier(p0, p1, p2, p3, steps=24):
    pts = []
    for i in range(steps + 1):
        t = i / steps
        u = 1 - t
        pts.append((u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
                    u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return pts


def stroke(points, width, caps=True):
    """A polyline of the given width as polygons: one quad per segment and a
    round joint at every point."""
    half = width / 2
    polys = []
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        if length == 0:
            continue
        nx, ny = -dy / length * half, dx / length * half
        polys.append([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])
    joints = points if caps else points[1:-1]
    steps = max(8, int(width * 4))
    for x, y in joints:
        polys.append(ellipse(x, y, half, half, steps=steps))
    return polys


def rounded_rect(x0, y0, x1, y1, r, steps=8):
    pts = []
    corners = [(x1 - r, y0 + r, -math.pi / 2), (x1 - r, y1 - r, 0.0),
               (x0 + r, y1 - r, math.pi / 2), (x0 + r, y0 + r, math.pi)]
    for cx, cy, start in corners:
        for i in range(steps + 1):
            t = start + (math.pi / 2) * i / steps
            pts.append((cx + r * math.cos(t), cy + r * math.sin(t)))
    return pts


def _signed_area(poly):
    return sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1])) / 2


def _coverage(width, height, polys):
    """Per-pixel coverage (0..1) of the union of the polygons."""
    edges = []
    for poly in polys:
        if len(poly) < 3:
            continue
        if _signed_area(poly) < 0:  # one orientation, so pieces add up
            poly = poly[::-1]
        for (x0, y0), (x1, y1) in zip(poly, poly[1:] + poly[:1]):
            if y0 == y1:
                continue
            winding = 1 if y1 > y0 else -1
            if y0 > y1:
                x0, y0, x1, y1 = x1, y1, x0, y0
            edges.append((y0, y1, x0, (x1 - x0) / (y1 - y0), winding))
    counts = [[0] * width for _ in range(height)]
    if not edges:
        return counts
    top = max(0, int(math.floor(min(e[0] for e in edges))))
    bottom = min(height, int(math.ceil(max(e[1] for e in edges))))
    limit = width * SUB
    for py in range(top, bottom):
        row = counts[py]
        for j in range(SUB):
            y = py + (j + 0.5) / SUB
            crossings = [(x0 + (y - y0) * slope, w) for (y0, y1, x0, slope, w) in edges if y0 <= y < y1]
            if not crossings:
                continue
            crossings.sort()
            wind = 0
            for i, (x, w) in enumerate(crossings):
                before = wind
                wind += w
                if before == 0 or wind != 0 or i == 0:
                    if before == 0 and wind != 0:
                        start = x
                    continue
                # span [start, x) is inside
                k0 = max(0, math.ceil(start * SUB - 0.5))
                k1 = min(limit, math.ceil(x * SUB - 0.5))
                k = k0
                while k < k1:
                    px = k // SUB
                    end = min(k1, (px + 1) * SUB)
                    row[px] += end - k
                    k = end
    total = SUB * SUB
    return [[c / total for c in row] for row in counts]


class Canvas:
    """RGBA picture with straight (not premultiplied) alpha, values 0..1."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.px = [[list(background) for _ in range(width)] for _ in range(height)]
        self.shapes = []  # (polys, colour) as filled, for the SVG writer

    def fill(self, polys, colour):
        """Paints the union of polys in colour (r, g, b[, a]) with 0..255 channels."""
        self.shapes.append((polys, colour))
        r, g, b = (c / 255 for c in colour[:3])
        alpha = colour[3] / 255 if len(colour) > 3 else 1.0
        cover = _coverage(self.width, self.height, polys)
        for y in range(self.height):
            crow, prow = cover[y], self.px[y]
            for x in range(self.width):
                c = crow[x]
                if c <= 0:
                    continue
                sa = alpha * min(1.0, c)
                dst = prow[x]
                da = dst[3]
                oa = sa + da * (1 - sa)
                if oa <= 0:
                    continue
                keep = da * (1 - sa)
                prow[x] = [(r * sa + dst[0] * keep) / oa, (g * sa + dst[1] * keep) / oa,
                           (b * sa + dst[2] * keep) / oa, oa]

    def rgba8(self):
        return [[tuple(int(round(max(0.0, min(1.0, v)) * 255)) for v in p) for p in row] for row in self.px]


def write_png(path, canvas):
    rows = canvas.rgba8()
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_svg(path, size, shapes, scale):
    """The shapes as filled paths in a size x size view box; coordinates are
    divided by scale (the pixel size the shapes were drawn at over size)."""
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
           % (size, size, size, size)]
    for polys, colour in shapes:
        d = []
        for poly in polys:
            if _signed_area(poly) < 0:
                poly = poly[::-1]
            d.append("M" + " L".join("%.2f %.2f" % (x / scale, y / scale) for x, y in poly) + " Z")
        fill = "#%02x%02x%02x" % tuple(colour[:3])
        opacity = "" if len(colour) < 4 else ' fill-opacity="%.3f"' % (colour[3] / 255)
        out.append('<path fill="%s"%s d="%s"/>' % (fill, opacity, " ".join(d)))
    out.append("</svg>\n")
    with open(path, "w") as f:
        f.write("\n".join(out))


# --- GIF -------------------------------------------------------------------

def lzw_encode(indices, min_code_size=8):
    """GIF's variable-width LZW, code widths growing as the table fills and a
    clear code when it is full."""
    clear = 1 << min_code_size
    eoi = clear + 1
    bits = min_code_size + 1
    nxt = eoi + 1
    table = {}
    out = bytearray()
    acc = 0
    nacc = 0

    def put(code, width):
        nonlocal acc, nacc
        acc |= code << nacc
        nacc += width
        while nacc >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nacc -= 8

    put(clear, bits)
    prefix = indices[0]
    for c in indices[1:]:
        key = (prefix << 8) | c
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        put(prefix, bits)
        if nxt >= 4095:
            put(clear, bits)
            table.clear()
            bits = min_code_size + 1
            nxt = eoi + 1
        else:
            if nxt >= (1 << bits) and bits < 12:
                bits += 1
            table[key] = nxt
            nxt += 1
        prefix = c
    put(prefix, bits)
    if nxt >= (1 << bits) and bits < 12:
        bits += 1
    put(eoi, bits)
    if nacc:
        out.append(acc & 0xFF)
    return bytes(out)


def lzw_decode(data, min_code_size, count):
    """The decoder, to check the encoder's output."""
    clear = 1 << min_code_size
    eoi = clear + 1
    bits = min_code_size + 1
    table = [bytes([i]) for i in range(clear)] + [b"", b""]
    pos = 0
    out = bytearray()
    prev = None
    while len(out) < count:
        code = 0
        for i in range(bits):
            byte = data[(pos + i) >> 3]
            code |= ((byte >> ((pos + i) & 7)) & 1) << i
        pos += bits
        if code == clear:
            table = table[:eoi + 1]
            bits = min_code_size + 1
            prev = None
            continue
        if code == eoi:
            break
        if code < len(table):
            entry = table[code]
            if prev is not None:
                table.append(prev + entry[:1])
        else:
            entry = prev + prev[:1]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) >= (1 << bits) and bits < 12:
            bits += 1
    return bytes(out)


def quantise(frames, matte, limit=255):
    """Maps RGBA frames to palette indices over a matte colour. Index 0 is
    transparent (fully uncovered pixels); the rest is the palette, most
    frequent colours first."""
    counts = {}
    flat = []
    for canvas in frames:
        pixels = []
        for row in canvas.rgba8():
            for r, g, b, a in row:
                if a == 0:
                    pixels.append(None)
                    continue
                f = a / 255
                rgb = tuple(int(round(c * f + m * (1 - f))) for c, m in zip((r, g, b), matte))
                pixels.append(rgb)
                counts[rgb] = counts.get(rgb, 0) + 1
        flat.append(pixels)
    if len(counts) <= limit:
        palette = sorted(counts, key=lambda c: (-counts[c], c))
    else:
        bins = {}
        for rgb, n in counts.items():
            key = tuple(c >> 3 for c in rgb)
            s = bins.setdefault(key, [0, 0, 0, 0])
            for i in range(3):
                s[i] += rgb[i] * n
            s[3] += n
        ranked = sorted(bins.items(), key=lambda kv: (-kv[1][3], kv[0]))[:limit]
        palette = [tuple(int(round(s[i] / s[3])) for i in range(3)) for _, s in ranked]
    lookup = {}

    def nearest(rgb):
        hit = lookup.get(rgb)
        if hit is None:
            hit = 1 + min(range(len(palette)),
                          key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))
            lookup[rgb] = hit
        return hit

    indexed = [bytes(0 if p is None else nearest(p) for p in pixels) for pixels in flat]
    full = [matte] + palette
    full += [(0, 0, 0)] * (256 - len(full))
    return full, indexed


def write_gif(path, width, height, palette, frames, delay_cs):
    """An endlessly looping GIF of full-size frames; index 0 is transparent
    and every frame is cleared to the background before the next."""
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    for rgb in palette:
        out += bytes(rgb)
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for indices in frames:
        out += b"\x21\xF9\x04" + struct.pack("<BHB", (2 << 2) | 1, delay_cs, 0) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        data = lzw_encode(indices, 8)
        if lzw_decode(data, 8, len(indices)) != bytes(indices):
            raise AssertionError("LZW round trip failed")
        out.append(8)
        for i in range(0, len(data), 255):
            block = data[i:i + 255]
            out.append(len(block))
            out += block
        out.append(0)
    out.append(0x3B)
    with open(path, "wb") as f:
        f.write(out)
