#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the skins for screens at twice the usual pixel density into images/:
float@2x.bmp (224 x 50, the floating window's pill, magenta where it is cut away) and
up@2x.bmp, down@2x.bmp (18 x 22 arrows on white). The same design as the 1x skins,
drawn at the finer grid rather than pixel-doubled; edges inside a picture are smoothed,
the outline against the key colour stays hard, as the shape rule needs.

Usage: scripts/render-skins.py [IMAGES_DIR]   (standard library only)
"""
import math
import struct
import sys
from pathlib import Path

KEY = (255, 0, 255)
WHITE = (255, 255, 255)
BORDER = (156, 124, 52)
HIGHLIGHT = (255, 255, 250)
# The pill's fill at the 1x rows 2 and 23; the rows between are a straight blend.
FILL_TOP, FILL_BOTTOM = (253, 248, 233), (227, 216, 184)
SUB = 4  # samples per pixel side for the smoothed inner edges


def write_bmp(path, width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        rows.append(bytes(line) + b"\0" * (stride - len(line)))
    image = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + image)


def mix(colours):
    n = len(colours)
    return tuple(round(sum(c[i] for c in colours) / n) for i in range(3))


def blend(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def pill(x, y, scale=2):
    """The floating window's pill at `scale` times 112 x 25."""
    width, height = 112 * scale, 25 * scale
    radius = height / 2
    border, highlight = 1 * scale, 1 * scale

    def distance(px, py):  # from the pill's spine, a segment along its middle
        sx = min(max(px, radius), width - radius)
        return math.hypot(px - sx, py - radius)

    if distance(x + 0.5, y + 0.5) > radius:
        return KEY
    samples = []
    for i in range(SUB):
        for j in range(SUB):
            px, py = x + (i + 0.5) / SUB, y + (j + 0.5) / SUB
            depth = radius - distance(px, py)
            if depth < border:
                samples.append(BORDER)
            elif depth < border + highlight and py < radius:
                samples.append(HIGHLIGHT)
            else:
                row = py / scale - 0.5  # the matching 1x row
                samples.append(blend(FILL_TOP, FILL_BOTTOM, (row - 2) / 21))
    return mix(samples)


def arrow(x, y, colour, pointing_up, scale=2):
    """An arrow at `scale` times 9 x 11: a head over the top five rows, a shaft below."""
    width, head, shaft = 9 * scale, 5 * scale, 3 * scale
    covered = 0
    for i in range(SUB):
        for j in range(SUB):
            px = x + (i + 0.5) / SUB
            py = y + (j + 0.5) / SUB
            if not pointing_up:
                py = 11 * scale - py
            half = width / 2 * min(py / head, 1.0) if py < head else shaft / 2
            covered += abs(px - width / 2) <= half
    return blend(WHITE, colour, covered / SUB ** 2)


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent / "images")
    write_bmp(folder / "float@2x.bmp", 224, 50, pill)
    write_bmp(folder / "up@2x.bmp", 18, 22, lambda x, y: arrow(x, y, (0, 160, 0), True))
    write_bmp(folder / "down@2x.bmp", 18, 22, lambda x, y: arrow(x, y, (224, 0, 0), False))


if __name__ == "__main__":
    main()
