#!/usr/bin/env python3
"""Draws the progress window's picture: the Corvanel logo on a light grey ground.

Writes setup_picture.bmp (550 x 300 pixels, 24 bits per pixel, uncompressed, bottom-up) beside
this script. The output is committed; run this again only to change the picture.
Only the standard library is used: shapes and letters are drawn as anti-aliased strokes.
"""
import math
import os
import struct

WIDTH, HEIGHT = 550, 300
GROUND = (214, 214, 214)
EMBLEM = (27, 110, 138)
EMBLEM_MARK = (240, 240, 240)
LETTERS = (43, 43, 43)


def blend(under, over, coverage):
    return tuple(round(u + (o - u) * coverage) for u, o in zip(under, over))


def coverage_of(distance, half_width):
    # Analytic anti-aliasing: one pixel of soft edge centred on the stroke's border.
    return max(0.0, min(1.0, half_width + 0.5 - distance))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def arc(cx, cy, rx, ry, start_deg, end_deg, steps=24):
    """Points of an elliptical arc; angles in degrees, 0 = right, counter-clockwise, y down."""
    points = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        points.append((cx + rx * math.cos(a), cy - ry * math.sin(a)))
    return points


# Glyphs as polylines in a box of unit height for the x-height (0 = baseline, -1 = x-height,
# -1.6 = ascender), with their advance width.
def glyphs():
    g = {}
    g["C"] = ([arc(0.62, -0.8, 0.62, 0.8, 45, 315, 40)], 1.2)
    g["o"] = ([arc(0.45, -0.5, 0.45, 0.5, 0, 360, 40)], 1.05)
    g["r"] = ([[(0.0, -1.0), (0.0, 0.0)], arc(0.45, -0.55, 0.45, 0.45, 180, 60, 16)], 0.8)
    g["v"] = ([[(0.0, -1.0), (0.42, 0.0), (0.84, -1.0)]], 1.0)
    g["a"] = ([arc(0.42, -0.5, 0.42, 0.5, 0, 360, 40), [(0.84, -1.0), (0.84, 0.0)]], 1.05)
    g["n"] = ([[(0.0, -1.0), (0.0, 0.0)], arc(0.42, -0.55, 0.42, 0.45, 180, 0, 20) + [(0.84, 0.0)]],
              1.05)
    g["e"] = ([[(0.03, -0.5), (0.88, -0.5)] + arc(0.45, -0.5, 0.43, 0.5, 0, 320, 40)], 1.05)
    g["l"] = ([[(0.0, -1.6), (0.0, 0.0)]], 0.45)
    return g


def main():
    pixels = [[GROUND for _ in range(WIDTH)] for _ in range(HEIGHT)]

    # The emblem: a disc with a light open ring inside it.
    ecx, ecy, er = 100.0, 150.0, 72.0
    for y in range(int(ecy - er - 2), int(ecy + er + 3)):
        for x in range(int(ecx - er - 2), int(ecx + er + 3)):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - ecx, py - ecy)
            c = coverage_of(d, er) if d > er - 1 else 1.0
            if c > 0:
                pixels[y][x] = blend(pixels[y][x], EMBLEM, c)
    ring = arc(ecx, ecy, 42, 42, 40, 320, 60)
    tip = [(ecx + 42 * math.cos(math.radians(40)) + 12, ecy - 42 * math.sin(math.radians(40)) - 12)]
    strokes = [ring, [ring[0]] + tip]
    draw_strokes(pixels, strokes, 8.0, EMBLEM_MARK)

    # The name.
    scale = 42.0
    x0, baseline = 195.0, 184.0
    shapes = glyphs()
    pen = x0
    for letter in "Corvanel":
        lines, advance = shapes[letter]
        placed = [[(pen + px * scale, baseline + py * scale) for px, py in line] for line in lines]
        draw_strokes(pixels, placed, 4.0, LETTERS)
        pen += advance * scale
    # An underline that ends under the last letter.
    draw_strokes(pixels, [[(x0, baseline + 22), (pen - 0.45 * scale, baseline + 22)]], 2.0, EMBLEM)

    write_bmp(os.path.join(os.path.dirname(os.path.abspath(__file__)), "setup_picture.bmp"), pixels)


def draw_strokes(pixels, strokes, half_width, colour):
    segments = []
    for line in strokes:
        for a, b in zip(line, line[1:]):
            segments.append((a[0], a[1], b[0], b[1]))
    xs = [v for s in segments for v in (s[0], s[2])]
    ys = [v for s in segments for v in (s[1], s[3])]
    pad = half_width + 2
    for y in range(max(0, int(min(ys) - pad)), min(HEIGHT, int(max(ys) + pad) + 1)):
        for x in range(max(0, int(min(xs) - pad)), min(WIDTH, int(max(xs) + pad) + 1)):
            px, py = x + 0.5, y + 0.5
            d = min(segment_distance(px, py, *s) for s in segments)
            c = coverage_of(d, half_width)
            if c > 0:
                pixels[y][x] = blend(pixels[y][x], colour, c)


def write_bmp(path, pixels):
    row_size = (WIDTH * 3 + 3) & ~3
    image_size = row_size * HEIGHT
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, image_size, 3780, 3780, 0, 0)
    body = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b in row:
            body += bytes((b, g, r))
        body += b"\0" * (row_size - WIDTH * 3)
    with open(path, "wb") as f:
        f.write(header + info + body)


if __name__ == "__main__":
    main()
