#!/usr/bin/env python3
"""Draws Textdrop's icon (a blue drop with a light highlight).

Run it from this folder; it rewrites textdrop-N.png for N in SIZES (16, 32 and 48 go into the
program's resources, all of them into the hicolor icon theme when installed) and textdrop.svg,
the same drawing as a scalable icon. Only the standard library is used: each pixel is
supersampled 4 x 4 for smooth edges.
"""
import math
import struct
import zlib

SAMPLES = 4
BODY = (30, 110, 210)
EDGE = (15, 60, 140)
SHINE = (235, 245, 255)
SIZES = (16, 32, 48, 64, 128, 256)

# The drop in the unit square: a circle at the bottom and a point at the top.
CX, CY, R = 0.5, 0.62, 0.33
TIP = 0.04
# The shine: an ellipse (x - SX)^2 / SA + (y - SY)^2 / SB <= 1.
SX, SY, SA, SB = 0.38, 0.6, 0.006, 0.02


def tangent():
    """The half angle at the tip and the height where the tangents touch the circle."""
    d = CY - TIP
    half_angle = math.asin(R / d)
    touch_y = TIP + math.sqrt(d * d - R * R) * math.cos(half_angle)
    return half_angle, touch_y


def inside_drop(x, y):
    if (x - CX) ** 2 + (y - CY) ** 2 <= R * R:
        return True
    # The two tangents from the tip to the circle bound the upper part.
    half_angle, touch_y = tangent()
    if y < TIP or y > touch_y:
        return False
    return abs(x - CX) <= (y - TIP) * math.tan(half_angle)


def inside_shine(x, y):
    return (x - SX) ** 2 / SA + (y - SY) ** 2 / SB <= 1.0


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


def svg():
    """The same drop on a 256-unit canvas: body, a thin darker outline, the shine."""
    scale = 256
    half_angle, touch_y = tangent()
    touch_dx = (touch_y - TIP) * math.tan(half_angle)

    def p(value):
        return f"{value * scale:.2f}"

    hex_colour = "#{:02x}{:02x}{:02x}".format
    outline = (
        f"M {p(CX)} {p(TIP)} L {p(CX + touch_dx)} {p(touch_y)} "
        f"A {p(R)} {p(R)} 0 1 1 {p(CX - touch_dx)} {p(touch_y)} Z"
    )
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{scale}" height="{scale}" viewBox="0 0 {scale} {scale}">\n'
        f'  <path d="{outline}" fill="{hex_colour(*BODY)}" stroke="{hex_colour(*EDGE)}" '
        'stroke-width="2" stroke-linejoin="round"/>\n'
        f'  <ellipse cx="{p(SX)}" cy="{p(SY)}" rx="{p(math.sqrt(SA))}" ry="{p(math.sqrt(SB))}" '
        f'fill="{hex_colour(*SHINE)}"/>\n'
        "</svg>\n"
    )


if __name__ == "__main__":
    for size in SIZES:
        with open(f"textdrop-{size}.png", "wb") as out:
            out.write(png(size))
    with open("textdrop.svg", "w", encoding="ascii") as out:
        out.write(svg())
