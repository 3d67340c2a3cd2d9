#!/usr/bin/env python3
"""Draws the application icon and writes resources/quennvoldar.ico.

A white arrow into a tray on a blue rounded square, drawn separately at every
size Windows asks for (16 to 256 pixels) so that no size is a scaled copy of
another. Run it again only to change the design; the .ico is committed.

    python3 resources/make_icon.py
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
from png_file import png_bytes  # noqa: E402

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SUBSAMPLES = 4  # per axis, for anti-aliased edges

BACK_TOP = (0x25, 0x6E, 0xC2)
BACK_BOTTOM = (0x12, 0x45, 0x8A)
WHITE = (0xFF, 0xFF, 0xFF)


def in_rounded_square(x: float, y: float) -> bool:
    lo, hi, radius = 0.03, 0.97, 0.2
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_arrow(x: float, y: float) -> bool:
    shaft = 0.40 <= x <= 0.60 and 0.14 <= y <= 0.47
    # Head: apex at (0.5, 0.72), base from x 0.21 to 0.79 at y 0.44.
    head = 0.44 <= y <= 0.72 and abs(x - 0.5) <= 0.29 * (0.72 - y) / 0.28
    tray = 0.18 <= x <= 0.82 and 0.79 <= y <= 0.88
    return shaft or head or tray


def pixel(size: int, px: int, py: int) -> tuple:
    back = white = 0
    for sy in range(SUBSAMPLES):
        for sx in range(SUBSAMPLES):
            x = (px + (sx + 0.5) / SUBSAMPLES) / size
            y = (py + (sy + 0.5) / SUBSAMPLES) / size
            if in_rounded_square(x, y):
                if in_arrow(x, y):
                    white += 1
                else:
                    back += 1
    total = SUBSAMPLES * SUBSAMPLES
    covered = back + white
    if covered == 0:
        return (0, 0, 0, 0)
    t = py / max(size - 1, 1)
    base = tuple(round(a + (b - a) * t) for a, b in zip(BACK_TOP, BACK_BOTTOM))
    colour = tuple(round((c * back + w * white) / covered) for c, w in zip(base, WHITE))
    return colour + (round(255 * covered / total),)


def render(size: int) -> list:
    return [[pixel(size, x, y) for x in range(size)] for y in range(size)]


def bmp_entry(size: int, image: list) -> bytes:
    """32-bit BGRA image plus AND mask, bottom line first, as icons store it."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(image) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(image):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def png_entry(size: int, image: list) -> bytes:
    rows = [bytes(v for p in row for v in p) for row in image]
    return png_bytes(size, size, rows, alpha=True)


def main() -> None:
    entries = []
    for size in SIZES:
        image = render(size)
        # Large sizes as PNG keep the file small; small ones as bitmaps load
        # everywhere.
        data = png_entry(size, image) if size >= 256 else bmp_entry(size, image)
        entries.append((size, data))

    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in entries)
    with open(os.path.join(HERE, "quennvoldar.ico"), "wb") as ico:
        ico.write(out)


if __name__ == "__main__":
    main()
