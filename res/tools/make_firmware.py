#!/usr/bin/env python3
"""Write the placeholder firmware image that is embedded in the updater.

Usage: make_firmware.py OUT.bin SIZE        (the shipped image is 1018816 bytes)

The image is a sequence of 32-bit little-endian words.  The word stored at
byte offset k (k = 0, 4, 8, ...) is

    x = k XOR 0x9E3779B9                      (all arithmetic modulo 2^32)
    x = x XOR (x >> 16);  x = x * 0x85EBCA6B
    x = x XOR (x >> 13);  x = x * 0xC2B2AE35
    x = x XOR (x >> 16)
    word(k) = x

i.e. the MurmurHash3 32-bit finaliser of the offset XOR a fixed seed.  If
SIZE is not a multiple of 4, the image ends with the first SIZE % 4 bytes
of the little-endian word for the last offset.

The finaliser is a bijection on 32-bit values, so no two words of an image
below 4 GiB are equal.  Every word names its own offset: a block that is
dropped, sent twice, sent out of order or shifted by any number of bytes
shows up as soon as a single word is compared.

The same generator in C/C++ (for tests that need to recreate the image):

    uint32_t firmware_word(uint32_t k) {
        uint32_t x = k ^ 0x9E3779B9u;
        x ^= x >> 16; x *= 0x85EBCA6Bu;
        x ^= x >> 13; x *= 0xC2B2AE35u;
        x ^= x >> 16;
        return x;
    }
    uint8_t firmware_byte(uint32_t off) {
        return (uint8_t)(firmware_word(off & ~3u) >> (8 * (off & 3u)));
    }
"""

import struct
import sys

SEED = 0x9E3779B9
MASK = 0xFFFFFFFF


def firmware_word(k):
    """The 32-bit word stored at byte offset k (k a multiple of 4)."""
    x = (k ^ SEED) & MASK
    x ^= x >> 16
    x = (x * 0x85EBCA6B) & MASK
    x ^= x >> 13
    x = (x * 0xC2B2AE35) & MASK
    x ^= x >> 16
    return x


def make_image(size):
    """Return the placeholder firmware image of `size` bytes."""
    if size < 0:
        raise ValueError("size must not be negative")
    count = (size + 3) // 4
    words = [firmware_word(4 * i) for i in range(count)]
    return struct.pack("<%dI" % count, *words)[:size]


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: make_firmware.py OUT.bin SIZE\n")
        return 2
    try:
        size = int(argv[2], 0)
        image = make_image(size)
    except ValueError as e:
        sys.stderr.write("make_firmware.py: bad SIZE %r: %s\n" % (argv[2], e))
        return 2
    with open(argv[1], "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
