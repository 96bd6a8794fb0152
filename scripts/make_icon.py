#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's icon: a red "T" at the upper left and a blue "x" at the lower right on a
yellow ground. Writes the scalable SVG and the 16 and 32 pixel bitmaps, each as XPM (compiled into
the program) and as PNG (installed into the desktop's icon theme), with few colours and no
smoothing, so both bitmaps of a size are the same pixels. Run it again after changing the shapes."""

import struct
import zlib
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "src" / "ui" / "icons"

# Shapes on a 32 x 32 grid: (colour, polygon).
YELLOW, RED, BLUE = "#FFFF00", "#FF0000", "#0000FF"
T_BAR = [(2, 2), (20, 2), (20, 7), (2, 7)]
T_STEM = [(8.5, 2), (13.5, 2), (13.5, 19), (8.5, 19)]
X_DOWN = [(16, 16), (20.5, 16), (31, 30), (26.5, 30)]
X_UP = [(26.5, 16), (31, 16), (20.5, 30), (16, 30)]
SHAPES = [(RED, T_BAR), (RED, T_STEM), (BLUE, X_DOWN), (BLUE, X_UP)]


def inside(x, y, polygon):
    result = False
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            result = not result
    return result


def colour_at(x, y):
    colour = YELLOW
    for fill, polygon in SHAPES:
        if inside(x, y, polygon):
            colour = fill
    return colour


def pixels(size):
    """Rows of colours, each pixel sampled at its centre."""
    scale = 32 / size
    return [[colour_at((col + 0.5) * scale, (row + 0.5) * scale) for col in range(size)]
            for row in range(size)]


def xpm(size):
    keys = {YELLOW: ".", RED: "r", BLUE: "b"}
    rows = ["".join(keys[colour] for colour in row) for row in pixels(size)]
    lines = [f'"{size} {size} {len(keys)} 1",']
    lines += [f'"{key} c {colour}",' for colour, key in keys.items()]
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    return "/* XPM */\nstatic const char* tonalyx_%d[] = {\n%s\n};\n" % (size, "\n".join(lines))


def png(size):
    """An 8-bit RGB PNG, written by hand so that the script needs nothing beyond Python."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + b"".join(bytes.fromhex(colour[1:]) for colour in row)
                   for row in pixels(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    parts = [f'<rect width="32" height="32" fill="{YELLOW}"/>']
    for fill, polygon in SHAPES:
        points = " ".join(f"{x:g},{y:g}" for x, y in polygon)
        parts.append(f'<polygon points="{points}" fill="{fill}"/>')
    body = "\n  ".join(parts)
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" '
            f'viewBox="0 0 32 32">\n  {body}\n</svg>\n')


OUT.mkdir(parents=True, exist_ok=True)
for size in (16, 32):
    (OUT / f"tonalyx-{size}.xpm").write_text(xpm(size))
    (OUT / f"tonalyx-{size}.png").write_bytes(png(size))
(OUT / "tonalyx.svg").write_text(svg())
