#!/usr/bin/env python3
"""Compare two builds of the executable byte for byte.

Usage: compare_exe.py A.exe B.exe

Prints "identical" and exits 0, or lists every run of differing bytes with the
part of the file it falls in (a named header field, a section and the offset
inside it, the signature or data past the last section) and exits 1.
"""

import struct
import sys

MAX_RUNS_SHOWN = 40


def file_parts(data):
    """[(start, end, name)] of the headers' known fields and of each section's raw data."""
    parts = []
    if len(data) < 0x40 or data[:2] != b"MZ":
        return [(0, len(data), "not a PE file")]
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        return [(0, len(data), "not a PE file")]
    file_header = pe + 4
    sections, optional_size = struct.unpack_from("<H12xH", data, file_header + 2)
    optional = file_header + 20
    magic = struct.unpack_from("<H", data, optional)[0] if optional + 2 <= len(data) else 0
    directories = optional + (96 if magic == 0x10B else 112)
    parts += [(file_header + 4, file_header + 8, "PE header: TimeDateStamp"),
              (optional + 64, optional + 68, "PE header: CheckSum"),
              (directories + 4 * 8, directories + 5 * 8, "PE header: certificate table entry")]
    table = optional + optional_size
    for i in range(sections):
        at = table + 40 * i
        if at + 40 > len(data):
            break
        name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
        raw_size, raw_at = struct.unpack_from("<II", data, at + 16)
        parts.append((at, at + 40, "section table: %s" % name))
        if raw_size:
            parts.append((raw_at, raw_at + raw_size, "section %s" % name))
    parts.append((0, table + 40 * sections, "headers"))
    return parts


def part_of(parts, offset):
    for start, end, name in parts:
        if start <= offset < end:
            return name, offset - start
    return "past the last section (signature or appended data)", None


def differing_runs(a, b):
    """[(start, end)] of the runs where a and b differ, over the longer length."""
    runs, start = [], None
    for i in range(max(len(a), len(b))):
        same = i < len(a) and i < len(b) and a[i] == b[i]
        if not same and start is None:
            start = i
        elif same and start is not None:
            runs.append((start, i))
            start = None
    if start is not None:
        runs.append((start, max(len(a), len(b))))
    return runs


def describe(a, b):
    """Lines describing how b differs from a; empty when they are identical."""
    if a == b:
        return []
    lines = []
    if len(a) != len(b):
        lines.append("sizes differ: %d and %d bytes" % (len(a), len(b)))
    parts = file_parts(a)
    runs = differing_runs(a, b)
    for start, end in runs[:MAX_RUNS_SHOWN]:
        name, inside = part_of(parts, start)
        where = name if inside is None else "%s + 0x%X" % (name, inside)
        lines.append("bytes 0x%X..0x%X (%d) differ, in %s: %s / %s" % (
            start, end - 1, end - start, where, a[start:min(end, start + 8)].hex(),
            b[start:min(end, start + 8)].hex()))
    if len(runs) > MAX_RUNS_SHOWN:
        lines.append("... and %d more runs" % (len(runs) - MAX_RUNS_SHOWN))
    return lines


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: compare_exe.py A.exe B.exe\n")
        return 2
    with open(argv[1], "rb") as f:
        a = f.read()
    with open(argv[2], "rb") as f:
        b = f.read()
    lines = describe(a, b)
    print("\n".join(lines) if lines else "identical (%d bytes)" % len(a))
    return 1 if lines else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
