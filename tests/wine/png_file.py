"""Writes 8-bit RGB or RGBA PNG files with zlib only (no imaging package),
and reads back the RGB ones it wrote."""

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


def bmp_to_png(bmp_path: str, png_path: str) -> tuple:
    """Converts a 32-bit uncompressed BMP (as ui_driver writes it) to RGB PNG.
    Returns (width, height)."""
    with open(bmp_path, "rb") as source:
        data = source.read()
    if data[:2] != b"BM":
        raise ValueError(f"{bmp_path}: not a BMP file")
    pixel_offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 32:
        raise ValueError(f"{bmp_path}: {bits} bits per pixel, expected 32")
    top_down = height < 0
    height = abs(height)
    stride = width * 4
    rows = []
    for y in range(height):
        line = y if top_down else height - 1 - y
        bgra = data[pixel_offset + line * stride:pixel_offset + (line + 1) * stride]
        rgb = bytearray(width * 3)
        rgb[0::3] = bgra[2::4]
        rgb[1::3] = bgra[1::4]
        rgb[2::3] = bgra[0::4]
        rows.append(bytes(rgb))
    write_png(png_path, width, height, rows)
    return width, height


def read_png(path: str) -> tuple:
    """(width, height, rows) of an RGB PNG as write_png writes it: one IDAT
    chunk, filter type 0 on every line. rows: bytes, 3 a pixel, top first."""
    with open(path, "rb") as source:
        data = source.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    width, height, depth, colour_type = struct.unpack_from(">IIBB", data, 16)
    if (depth, colour_type) != (8, 2):
        raise ValueError(f"{path}: not 8-bit RGB")
    length = struct.unpack_from(">I", data, 33)[0]
    if data[37:41] != b"IDAT":
        raise ValueError(f"{path}: not as write_png writes it")
    raw = zlib.decompress(data[41:41 + length])
    stride = 1 + 3 * width
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        if line[0] != 0:
            raise ValueError(f"{path}: line {y} is filtered")
        rows.append(line[1:])
    return width, height, rows
