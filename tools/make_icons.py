#!/usr/bin/env python3
"""Draws the plug-in's two icons and writes them as .ico files with a 32x32
and a 16x16 image each (32-bit BGRA with an AND mask):

  resources/tray.ico  resource 500: a loudspeaker sending out sound waves
  resources/view.ico  resource 501: a room seen from above, with a listener
                      and four sound sources

Run from anywhere; it needs nothing beyond the standard library.
"""
import math
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def supersample(size, shade):
    """Renders shade(x, y) -> (r, g, b, a) in unit coordinates, 4x4 samples
    per pixel, and returns rows of (r, g, b, a) top to bottom."""
    rows = []
    n = 4
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    r, g, b, a = shade(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if a > 0:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def speaker(x, y):
    # Cabinet-free speaker: a box magnet and a flared cone, then three arcs.
    dark = (0.10, 0.16, 0.30, 1.0)
    wave = (0.15, 0.55, 0.95, 1.0)
    if 0.10 <= x <= 0.28 and 0.37 <= y <= 0.63:
        return dark
    if 0.28 <= x <= 0.50:
        half = 0.13 + (x - 0.28) / 0.22 * 0.25
        if abs(y - 0.5) <= half:
            return dark
    dx, dy = x - 0.50, y - 0.50
    r = math.hypot(dx, dy)
    if dx > 0 and abs(math.atan2(dy, dx)) < math.radians(50):
        for radius in (0.16, 0.28, 0.40):
            if abs(r - radius) < 0.035:
                return wave
    return (0, 0, 0, 0)


def room(x, y):
    # A room from above: walls, a listener's head with a nose, four sources.
    wall = (0.10, 0.16, 0.30, 1.0)
    floor = (0.80, 0.88, 0.96, 1.0)
    source = (0.95, 0.55, 0.10, 1.0)
    head = (0.15, 0.55, 0.95, 1.0)
    if not (0.04 <= x <= 0.96 and 0.04 <= y <= 0.96):
        return (0, 0, 0, 0)
    if x < 0.12 or x > 0.88 or y < 0.12 or y > 0.88:
        return wall
    for cx, cy in ((0.27, 0.27), (0.73, 0.27), (0.27, 0.73), (0.73, 0.73)):
        if math.hypot(x - cx, y - cy) < 0.09:
            return source
    if math.hypot(x - 0.5, y - 0.53) < 0.12:
        return head
    if abs(x - 0.5) < 0.045 and 0.34 < y < 0.45:
        return head
    return floor


def dib(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a < 0.5:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def write_ico(path, shade):
    images = [dib(supersample(s, shade)) for s in (32, 16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_ico(os.path.join(ROOT, 'resources', 'tray.ico'), speaker)
    write_ico(os.path.join(ROOT, 'resources', 'view.ico'), room)
