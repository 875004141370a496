#!/usr/bin/env python3
"""Draw every glyph of the generated stroke fonts into PNG files for inspection.

Reads the committed tables in plot/text/generated/stroke_tables.cpp (so it shows
what the library really draws), walks the glyph records the way the text
module does, and writes one grid per font plus a line of sample text:

    tools/preview_stroke_fonts.py [output-dir [glyph-height]]

writes glyphs-complx.png and glyphs-disalf.png into output-dir (default: the
current directory), glyphs glyph-height pixels high (default 60). Grey lines mark the baseline,
the x-height and the cap height; a red tick marks each glyph's width.
"""

import os
import re
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "plot", "text", "generated", "stroke_tables.cpp")

FONTS = {
    # name: (array tag, x divisor, y divisor, spacing, space width, equal width, guides)
    "complx": ("Complx", 20, 21, 0.25, 9, None, (14, 21)),
    "disalf": ("Disalf", 6, 7, 0.0, 6, 6, (5, 7)),
}

SAMPLE = "Temperature (C) 850 hPa  FT=12 20.5N 135E"


def read_arrays(path):
    with open(path) as f:
        text = f.read()
    arrays = {}
    for m in re.finditer(r"const int16_t (\w+)\[\w*\] = \{([^}]*)\};", text):
        arrays[m.group(1)] = [int(v) for v in m.group(2).replace("\n", " ").split(",")
                              if v.strip()]
    return arrays


def signed8(v):
    return v - 256 if v >= 128 else v


def unpack(word):
    w = word & 0xFFFF
    return signed8(w & 0xFF), signed8(w >> 8)


def glyph_strokes(points, glyphs, g):
    """Strokes of glyph g as lists of (x, y) font units; [] for the blank."""
    if g < 2:
        return []
    at = 0
    for _ in range(2, g):
        at += glyphs[at]
    end = at + glyphs[at]
    at += 1
    strokes = []
    while at < end:
        n = glyphs[at]
        s = glyphs[at + 1]
        dx = dy = 0.0
        if n < 0:
            ox, oy = unpack(glyphs[at + 2])
            dx, dy = ox * 0.5, oy * 0.5
            n = -n
            at += 3
        else:
            at += 2
        strokes.append([(unpack(points[s - 1 + i])[0] + dx, unpack(points[s - 1 + i])[1] + dy)
                        for i in range(n)])
    return strokes


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = bytearray(b"\xff" * (w * h * 3))

    def dot(self, x, y, c):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            i = (y * self.w + x) * 3
            self.px[i:i + 3] = bytes(c)

    def line(self, x0, y0, x1, y1, c, thick=1):
        n = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(n + 1):
            x = x0 + (x1 - x0) * i / n
            y = y0 + (y1 - y0) * i / n
            for ox in range(thick):
                for oy in range(thick):
                    self.dot(x + ox, y + oy, c)

    def save(self, path):
        raw = b"".join(b"\x00" + bytes(self.px[y * self.w * 3:(y + 1) * self.w * 3])
                       for y in range(self.h))

        def chunk(tag, data):
            return (struct.pack(">I", len(data)) + tag + data +
                    struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
            f.write(chunk(b"IEND", b""))


def glyph_width(strokes, equal):
    if equal is not None:
        return equal
    xs = [p[0] for s in strokes for p in s]
    return max(0.0, max(xs)) if xs else 0.0


def render(name, arrays, outdir, h):
    tag, xdiv, ydiv, spacing, space, equal, guides = FONTS[name]
    points, glyphs = arrays[f"k{tag}Points"], arrays[f"k{tag}Glyphs"]
    # Character count: walk the records to the end of the table.
    count, at = 1, 0
    while at < len(glyphs):
        at += glyphs[at]
        count += 1
    # Glyph height h in pixels: sy = (h - 1) / ydiv, as the text module scales.
    sx, sy = (h - 1) / xdiv, (h - 1) / ydiv
    cols, cell_w, cell_h = 16, int(h * 1.6), int(h * 2.1)
    rows = (count + cols - 1) // cols
    sample_h = int(h * 1.6)
    hs = max(12, h // 2)  # height of the sample line
    canvas = Canvas(max(cols * cell_w, 34 * hs), rows * cell_h + sample_h)
    for g in range(1, count + 1):
        r, c = divmod(g - 1, cols)
        ox, base = c * cell_w + 12, r * cell_h + int(h * 1.45)
        for gy in (0,) + guides:
            canvas.line(ox - 6, base - gy * sy, ox + cell_w - h // 3, base - gy * sy, (200, 200, 200))
        strokes = glyph_strokes(points, glyphs, g)
        for s in strokes:
            for (x0, y0), (x1, y1) in zip(s, s[1:] if len(s) > 1 else s):
                canvas.line(ox + x0 * sx, base - y0 * sy, ox + x1 * sx, base - y1 * sy,
                            (0, 0, 0), 2 if h >= 40 else 1)
        w = space if g == 1 else glyph_width(strokes, equal)
        canvas.line(ox + w * sx, base + 2, ox + w * sx, base + 8, (220, 0, 0), 2)
        canvas.line(ox, base + 2, ox, base + 8, (0, 0, 220), 2)
    # Sample line laid out with the width rule and the font's spacing.
    sx, sy = (hs - 1) / xdiv, (hs - 1) / ydiv
    x, base = 10.0, rows * cell_h + int(sample_h * 0.6)
    text = SAMPLE + "".join(chr(k) for k in range(127, 127 + 8))
    for ch in text:
        g = ord(ch) - 31
        if g < 1 or g > count:
            g = 1
        strokes = glyph_strokes(points, glyphs, g)
        for s in strokes:
            for (x0, y0), (x1, y1) in zip(s, s[1:] if len(s) > 1 else s):
                canvas.line(x + x0 * sx, base - y0 * sy, x + x1 * sx, base - y1 * sy, (0, 0, 0))
        w = space * sx if g == 1 else glyph_width(strokes, equal) * sx
        x += w + hs * spacing
    path = os.path.join(outdir, f"glyphs-{name}.png")
    canvas.save(path)
    print(f"{path}: {count} glyphs")


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else "."
    height = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    if height < 8:
        sys.exit("glyph height must be 8 pixels or more")
    arrays = read_arrays(SOURCE)
    for name in FONTS:
        render(name, arrays, outdir, height)


if __name__ == "__main__":
    main()
