#!/usr/bin/env python3
"""Windows bitmap files made in the tree: the demo's picture and the bitmap fuzz seeds.

usage: bitmaps.py sample OUT.bmp   writes the demo's picture (24 bits, 192 x 120)
"""
import math
import struct
import sys


def palette_colour(i):
    """Palette entry i as (r, g, b): distinct and easy to tell apart."""
    return ((i * 67) % 256, (i * 151 + 40) % 256, (255 - i * 29) % 256)


def _stride(width, bits):
    return (width * bits + 31) // 32 * 4


def _row(width, bits, values, bitfields):
    """One stored row; values are palette indexes (1 to 8 bits) or (r, g, b) tuples."""
    out = bytearray(_stride(width, bits))
    for x, v in enumerate(values):
        if bits == 1:
            out[x // 8] |= v << (7 - x % 8)
        elif bits == 4:
            out[x // 2] |= v << (4 if x % 2 == 0 else 0)
        elif bits == 8:
            out[x] = v
        elif bits == 16:
            r, g, b = v
            pixel = ((r >> 3) << 11 | (g >> 2) << 5 | b >> 3) if bitfields else \
                ((r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
            out[2 * x:2 * x + 2] = struct.pack("<H", pixel)
        elif bits == 24:
            r, g, b = v
            out[3 * x:3 * x + 3] = bytes((b, g, r))
        else:
            r, g, b = v
            pixel = (b << 24 | g << 16 | r << 8) if bitfields else (r << 16 | g << 8 | b)
            out[4 * x:4 * x + 4] = struct.pack("<I", pixel)
    return bytes(out)


def _run_length(rows, bits):
    """Rows (bottom first) of indexes as runs of equal pixels, each row ended, then the end."""
    out = bytearray()
    for values in rows:
        x = 0
        while x < len(values):
            n = 1
            while x + n < len(values) and values[x + n] == values[x] and n < 255:
                n += 1
            v = values[x]
            out += bytes((n, v << 4 | v if bits == 4 else v))
            x += n
        out += b"\0\0"
    return bytes(out + b"\0\1")


def bitmap(width, height, bits, pixel, compression=0, header_size=40, colours=0,
           top_down=False):
    """A bitmap file whose pixel (x, y), counted from the top left, is pixel(x, y): a palette
    index for 1 to 8 bits (colours entries, all 2^bits when 0), else (r, g, b). compression 1
    and 2 encode runs, 3 adds bit-field masks."""
    bitfields = compression == 3
    grid = [[pixel(x, y) for x in range(width)] for y in range(height)]
    stored = grid if top_down else list(reversed(grid))
    if compression in (1, 2):
        pixels = _run_length(stored, bits)
    else:
        pixels = b"".join(_row(width, bits, values, bitfields) for values in stored)
    masks = b""
    if bitfields:
        masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F) if bits == 16 else \
            struct.pack("<III", 0x0000FF00, 0x00FF0000, 0xFF000000)
    table_entries = (colours or 1 << bits) if bits <= 8 else 0
    table = b"".join(struct.pack("<BBBB", b, g, r, 0)
                     for r, g, b in (palette_colour(i) for i in range(table_entries)))
    header = struct.pack("<IiiHHIIiiII", header_size, width, -height if top_down else height, 1,
                         bits, compression, len(pixels) if compression in (1, 2) else 0,
                         3780, 3780, colours, 0)
    if header_size > 40:
        header = (header + masks).ljust(header_size, b"\0")
        masks = b""
    offset = 14 + len(header) + len(masks) + len(table)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + masks +
            table + pixels)


def sample():
    """The demo's picture: an evening sky over hills, a sun, and a frame."""
    width, height = 192, 120

    def pixel(x, y):
        if x < 3 or y < 3 or x >= width - 3 or y >= height - 3:
            return (40, 40, 60)
        hill = 78 + 12 * math.sin(x / 17.0) + 6 * math.sin(x / 5.0 + 1)
        if y > hill:
            shade = int(60 + 40 * (y - hill) / (height - hill))
            return (30, shade + 50, 40)
        if (x - 130) ** 2 + (y - 52) ** 2 < 18 ** 2:
            return (255, 214, 90)
        t = y / hill
        return (int(250 - 120 * (1 - t)), int(120 + 60 * t), int(170 - 90 * t))

    return bitmap(width, height, 24, pixel)


def main():
    if len(sys.argv) != 3 or sys.argv[1] != "sample":
        sys.exit(__doc__)
    with open(sys.argv[2], "wb") as out:
        out.write(sample())


if __name__ == "__main__":
    main()
