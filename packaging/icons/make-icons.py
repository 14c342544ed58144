#!/usr/bin/env python3
"""Draws Pivorel's application icon: an accent-coloured tile holding a small white bar
of three dots above a selected line of text. Writes the SVG and the PNG sizes of the
hicolor theme beside this script. Standard library only.

    python3 packaging/icons/make-icons.py
"""
import os
import struct
import zlib

ACCENT = (0xE6, 0x6B, 0x57)
SELECTION = (0xF6, 0xB8, 0xAC)
WHITE = (0xFF, 0xFF, 0xFF)
SIZES = (16, 24, 32, 48, 64, 128, 256)
HERE = os.path.dirname(os.path.abspath(__file__))

# Shapes on a 256-unit canvas, drawn in order: (kind, colour, geometry).
SHAPES = [
    ("rrect", ACCENT, (8, 8, 248, 248, 56)),        # the tile
    ("rrect", WHITE, (40, 56, 216, 120, 32)),       # the bar
    ("circle", ACCENT, (84, 88, 14)),               # its three icons
    ("circle", ACCENT, (128, 88, 14)),
    ("circle", ACCENT, (172, 88, 14)),
    ("rrect", SELECTION, (40, 160, 216, 200, 8)),   # the selected text
    ("rrect", WHITE, (56, 174, 184, 186, 6)),
    ("rrect", WHITE, (200, 148, 210, 212, 5)),      # the caret
]


def inside(kind, geom, x, y):
    if kind == "circle":
        cx, cy, r = geom
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    x0, y0, x1, y1, r = geom
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    nx = min(max(x, x0 + r), x1 - r)
    ny = min(max(y, y0 + r), y1 - r)
    return (x - nx) ** 2 + (y - ny) ** 2 <= r * r


def render(size, samples=4):
    scale = 256.0 / size
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for kind, fill, geom in SHAPES:
                        if inside(kind, geom, x, y):
                            colour = fill
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = acc[3]
            if n:
                row += bytes([round(acc[0] / n), round(acc[1] / n), round(acc[2] / n),
                              round(255 * n / (samples * samples))])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def svg():
    def hexc(c):
        return "#%02X%02X%02X" % c
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
             'viewBox="0 0 256 256">']
    for kind, fill, geom in SHAPES:
        if kind == "circle":
            cx, cy, r = geom
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{hexc(fill)}"/>')
        else:
            x0, y0, x1, y1, r = geom
            parts.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" '
                         f'rx="{r}" fill="{hexc(fill)}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    scalable = os.path.join(HERE, "hicolor", "scalable", "apps")
    os.makedirs(scalable, exist_ok=True)
    with open(os.path.join(scalable, "pivorel.svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        folder = os.path.join(HERE, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "pivorel.png"), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
