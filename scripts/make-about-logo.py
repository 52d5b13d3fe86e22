#!/usr/bin/env python3
"""Draws the About window's logo: a padlock and the product name on a blue band, as a 24-bit BMP.

Usage: make-about-logo.py OUTPUT.bmp PRODUCT-NAME
"""
import struct
import sys

WIDTH, HEIGHT = 390, 87

# 5x7 letters of the product name, one string per row, "#" lit (a name with another letter needs
# its glyph here).
GLYPHS = {
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "N": ["#...#", "##..#", "#.#.#", "#.#.#", "#..##", "#...#", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
}


def draw(name):
    pixels = [[None] * WIDTH for _ in range(HEIGHT)]
    for y in range(HEIGHT):
        # Dark blue at the top to a lighter blue at the bottom.
        shade = y / (HEIGHT - 1)
        colour = (int(20 + 30 * shade), int(40 + 60 * shade), int(90 + 90 * shade))
        for x in range(WIDTH):
            pixels[y][x] = colour

    def rect(x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(HEIGHT, y1)):
            for x in range(max(0, x0), min(WIDTH, x1)):
                pixels[y][x] = colour

    steel, light = (200, 205, 215), (240, 242, 246)
    # Padlock: a shackle over a body with a keyhole.
    rect(24, 14, 56, 20, steel)
    rect(24, 14, 30, 40, steel)
    rect(50, 14, 56, 40, steel)
    rect(16, 38, 64, 76, light)
    rect(37, 48, 43, 66, (20, 40, 90))

    x = 84
    scale = 6
    for letter in name.upper():
        for row, bits in enumerate(GLYPHS[letter]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    rect(x + col * scale, 22 + row * scale, x + (col + 1) * scale, 22 + (row + 1) * scale, light)
        x += 6 * scale - 3
    return pixels


def write_bmp(path, pixels):
    row_size = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        image += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + image)


if __name__ == "__main__":
    if len(sys.argv) != 3 or any(letter not in GLYPHS for letter in sys.argv[2].upper()):
        sys.exit(__doc__)
    write_bmp(sys.argv[1], draw(sys.argv[2]))
