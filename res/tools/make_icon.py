#!/usr/bin/env python3
"""Draw the updater's icon and write it as a Windows .ico file.

Usage: make_icon.py OUT.ico

The icon is a printer with a sheet of paper carrying a blue down arrow
("firmware goes into the printer").  It holds two images, 16x16 and 32x32,
both 4 bits per pixel in the standard 16-colour Windows/VGA palette, stored
as classic DIBs (BITMAPINFOHEADER + palette + XOR rows + AND mask rows) so
that every Windows version can show them.  The output is byte-for-byte the
same on every run.
"""

import struct
import sys

# Standard 16-colour palette, in palette-index order (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Drawing characters -> palette index.  '.' is transparent (AND mask bit set).
INK = {'K': 0, 'D': 8, 'L': 7, 'W': 15, 'B': 12, 'G': 10}
TRANSPARENT = '.'

ICON_32 = [
    "................................",
    "................................",
    "........KKKKKKKKKKKKKKKK........",
    "........KWWWWWWWWWWWWWWK........",
    "........KWWWWWBBBBWWWWWK........",
    "........KWWWWWBBBBWWWWWK........",
    "........KWWWWWBBBBWWWWWK........",
    "........KWWWWWBBBBWWWWWK........",
    "........KWWBBBBBBBBBBWWK........",
    "........KWWWBBBBBBBBWWWK........",
    "........KWWWWBBBBBBWWWWK........",
    "........KWWWWWBBBBWWWWWK........",
    "........KWWWWWWBBWWWWWWK........",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.",
    ".KWWWWWWWWWWWWWWWWWWWWWWWWWWWWK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLGGLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLGGLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KLLLLKKKKKKKKKKKKKKKKKKKKLLLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KLLLLLLLLLLLLLLLLLLLLLLLLLLLLK.",
    ".KDDDDDDDDDDDDDDDDDDDDDDDDDDDDK.",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.",
    "....KWWWWWWWWWWWWWWWWWWWWWWK....",
    "....KWWWWWWWWWWWWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWWWWWWWWWWWWWWK...",
    "...KKKKKKKKKKKKKKKKKKKKKKKKKK...",
    "................................",
    "................................",
    "................................",
]

ICON_16 = [
    "................",
    "....KKKKKKKK....",
    "....KWWBBWWK....",
    "....KWWBBWWK....",
    "....KWBBBBWK....",
    "....KWWBBWWK....",
    ".KKKKKKKKKKKKKK.",
    ".KWWWWWWWWWWWWK.",
    ".KLLLLLLLLLLGLK.",
    ".KLLLLLLLLLLLLK.",
    ".KLLKKKKKKKKLLK.",
    ".KDDDDDDDDDDDDK.",
    ".KKKKKKKKKKKKKK.",
    "...KWWWWWWWWK...",
    "...KKKKKKKKKK...",
    "................",
]


def row_stride(bits_per_row):
    """Bytes per DIB row: rows are padded to a 4-byte boundary."""
    return (bits_per_row + 31) // 32 * 4


def encode_image(picture):
    """Return the DIB bytes (header, palette, XOR rows, AND rows) of one image."""
    size = len(picture)
    if any(len(row) != size for row in picture):
        raise ValueError("icon picture must be square")
    xor_stride, and_stride = row_stride(size * 4), row_stride(size)

    xor_rows, and_rows = [], []
    for row in reversed(picture):  # DIBs are stored bottom-up
        colours = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, ch in enumerate(row):
            if ch == TRANSPARENT:
                mask[x // 8] |= 0x80 >> (x % 8)
                index = 0
            else:
                index = INK[ch]
            colours[x // 2] |= index << 4 if x % 2 == 0 else index
        xor_rows.append(bytes(colours))
        and_rows.append(bytes(mask))
    pixels = b"".join(xor_rows) + b"".join(and_rows)

    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(pixels), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + pixels


def build_ico(pictures):
    images = [encode_image(p) for p in pictures]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for picture, image in zip(pictures, images):
        size = len(picture)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(build_ico([ICON_16, ICON_32]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
