"""Writes 8-bit RGB or RGBA PNG files with zlib only (no imaging package)."""

import struct
import zlib


def _chunk(kind: bytes, data: bytes) -> bytes:
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_bytes(width: int, height: int, rows: list, alpha: bool) -> bytes:
    """rows: one bytes object per line, top first, 3 or 4 bytes a pixel."""
    colour_type = 6 if alpha else 2
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    # Filter type 0 on every line keeps the encoder trivial; zlib still
    # shrinks flat screenshots well.
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) +
            _chunk(b"IDAT", zlib.compress(raw, 9)) + _chunk(b"IEND", b""))


def write_png(path: str, width: int, height: int, rows: list, alpha: bool = False) -> None:
    with open(path, "wb") as out:
        out.write(png_bytes(width, height, rows, alpha))
