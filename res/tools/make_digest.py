#!/usr/bin/env python3
"""Write the SHA-256 of a file as its 32 raw bytes.

Usage: make_digest.py IN OUT
"""

import hashlib
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    digest = hashlib.sha256()
    with open(argv[1], "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            digest.update(piece)
    with open(argv[2], "wb") as f:
        f.write(digest.digest())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
