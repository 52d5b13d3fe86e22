#!/usr/bin/env python3
"""Draws the program's window icon, a padlock, and writes it as an .ico file.

Seven images: 16x16, 32x32 and 48x48 in 8-bit (palette) and 32-bit (with alpha) colour, and a
256x256 32-bit image stored as PNG, as Windows Vista and later expect for that size.

usage: make-app-icon.py out.ico
"""
import struct
import sys
import zlib

CLEAR = (0, 0, 0, 0)
BODY = (40, 96, 168, 255)
BODY_EDGE = (20, 52, 100, 255)
SHACKLE = (150, 156, 166, 255)
KEYHOLE = (16, 24, 40, 255)
PALETTE = [CLEAR, BODY, BODY_EDGE, SHACKLE, KEYHOLE]


def pixel(x, y, size):
    """The colour of one pixel, top row first."""
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # Body: a block in the lower part with a darker rim.
    if 0.16 <= u <= 0.84 and 0.44 <= v <= 0.92:
        dx, dy = u - 0.5, v - 0.63
        if dx * dx + dy * dy <= 0.07 ** 2 or (abs(dx) <= 0.03 and 0.63 <= v <= 0.80):
            return KEYHOLE
        rim = 1.2 / size + 0.03
        if u - 0.16 < rim or 0.84 - u < rim or v - 0.44 < rim or 0.92 - v < rim:
            return BODY_EDGE
        return BODY
    # Shackle: a half ring above the body, with its legs down to it.
    dx, dy = u - 0.5, v - 0.40
    r = (dx * dx + dy * dy) ** 0.5
    if v <= 0.40 and 0.20 <= r <= 0.29:
        return SHACKLE
    if 0.40 < v < 0.44 and 0.20 <= abs(dx) <= 0.29:
        return SHACKLE
    return CLEAR


def rows(size):
    return [[pixel(x, y, size) for x in range(size)] for y in range(size)]


def and_mask(image, size):
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(image):
        bits = bytearray(stride)
        for x, colour in enumerate(row):
            if colour[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def dib(size, bpp, image):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 256 if bpp == 8 else 0, 0)
    if bpp == 8:
        palette = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in PALETTE)
        palette += b"\0" * (4 * (256 - len(PALETTE)))
        stride = (size + 3) & ~3
        pixels = b""
        for row in reversed(image):
            line = bytes(PALETTE.index(c) for c in row)
            pixels += line + b"\0" * (stride - size)
        return header + palette + pixels + and_mask(image, size)
    pixels = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], c[3]) for row in reversed(image) for c in row)
    return header + pixels + and_mask(image, size)


def png(size, image):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(v for c in row for v in c) for row in image)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    entries = []  # (width byte, colour count, bpp, data)
    for size in (16, 32, 48):
        image = rows(size)
        entries.append((size, 0, 8, dib(size, 8, image)))
        entries.append((size, 0, 32, dib(size, 32, image)))
    entries.append((0, 0, 32, png(256, rows(256))))

    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    for width, colours, bpp, data in entries:
        directory += struct.pack("<BBBBHHII", width, width, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + b"".join(e[3] for e in entries))


if __name__ == "__main__":
    main()
