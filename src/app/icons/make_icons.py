#!/usr/bin/env python3
"""Draws Textdrop's icon (a blue drop with a light highlight) at 16, 32 and 48 pixels.

Run it from this folder; it rewrites textdrop-16.png, textdrop-32.png and textdrop-48.png.
Only the standard library is used: each pixel is supersampled 4 x 4 for smooth edges.
"""
import math
import struct
import zlib

SAMPLES = 4
BODY = (30, 110, 210)
EDGE = (15, 60, 140)
SHINE = (235, 245, 255)


def inside_drop(x, y):
    """A drop in the unit square: a circle at the bottom and a point at the top."""
    cx, cy, r = 0.5, 0.62, 0.33
    if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
        return True
    # The two tangents from the tip (0.5, 0.04) to the circle bound the upper part.
    tip = 0.04
    d = cy - tip
    half_angle = math.asin(r / d)
    touch_y = tip + math.sqrt(d * d - r * r) * math.cos(half_angle)
    if y < tip or y > touch_y:
        return False
    return abs(x - cx) <= (y - tip) * math.tan(half_angle)


def inside_shine(x, y):
    return (x - 0.38) ** 2 / 0.006 + (y - 0.6) ** 2 / 0.02 <= 1.0


def near_edge(x, y, size):
    step = 1.2 / size
    return any(not inside_drop(x + dx, y + dy) for dx, dy in ((step, 0), (-step, 0), (0, step), (0, -step)))


def pixel(px, py, size):
    totals = [0.0, 0.0, 0.0, 0.0]
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if not inside_drop(x, y):
                continue
            colour = SHINE if inside_shine(x, y) else EDGE if near_edge(x, y, size) else BODY
            for i in range(3):
                totals[i] += colour[i]
            totals[3] += 1
    count = totals[3]
    if count == 0:
        return (0, 0, 0, 0)
    alpha = round(255 * count / SAMPLES ** 2)
    return tuple(round(totals[i] / count) for i in range(3)) + (alpha,)


def png(size):
    rows = b"".join(b"\x00" + b"".join(bytes(pixel(x, y, size)) for x in range(size)) for y in range(size))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    for size in (16, 32, 48):
        with open(f"textdrop-{size}.png", "wb") as out:
            out.write(png(size))
