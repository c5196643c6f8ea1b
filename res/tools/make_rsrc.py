#!/usr/bin/env python3
"""Turn a compiled resource file (.res) into a COFF object holding its .rsrc section.

Usage: make_rsrc.py IN.res OUT.o

windres writes one copy of the data for every resource, so the firmware image,
which both languages carry, would sit in the executable twice. Here resources
whose bytes are identical share one data entry, and so one copy of the bytes.
The output depends on nothing but the input: no time stamp, no path, and the
directory is sorted the way the loader searches it.

The object has one section, .rsrc, with the directory tables first, then the
data entries, the name strings and the data; each data entry's address is an
image-relative relocation against the section, resolved by the linker.
"""

import struct
import sys

RT_NAMES_FIRST = 0  # sort key class: named entries precede numbered ones
DIR32NB = 7  # IMAGE_REL_I386_DIR32NB: the linker writes the target's RVA
I386 = 0x14C
SECTION_FLAGS = 0xC0300040  # initialized data, read/write, 4-byte aligned
DATA_ALIGN = 8


class ResFormatError(Exception):
    pass


def _read_name(data, pos):
    """A type or name field: 0xFFFF + ordinal, or a NUL-terminated UTF-16 string."""
    if pos + 2 > len(data):
        raise ResFormatError("name field runs past the end at %d" % pos)
    (first,) = struct.unpack_from("<H", data, pos)
    if first == 0xFFFF:
        if pos + 4 > len(data):
            raise ResFormatError("ordinal runs past the end at %d" % pos)
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while True:
        if end + 2 > len(data):
            raise ResFormatError("unterminated name at %d" % pos)
        if data[end:end + 2] == b"\0\0":
            break
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def parse_res(data):
    """Return [(type, name, language, bytes)] in file order; types and names are int or str."""
    entries, pos = [], 0
    while pos < len(data):
        if pos + 8 > len(data):
            raise ResFormatError("truncated header at %d" % pos)
        size, header_size = struct.unpack_from("<II", data, pos)
        if header_size < 16 or pos + header_size + size > len(data):
            raise ResFormatError("entry at %d runs past the end" % pos)
        rtype, p = _read_name(data, pos + 8)
        name, p = _read_name(data, p)
        p += -p % 4
        if p + 16 > pos + header_size:
            raise ResFormatError("header at %d too short" % pos)
        (language,) = struct.unpack_from("<H", data, p + 6)
        body = data[pos + header_size:pos + header_size + size]
        # The file begins with an empty entry of type and name 0 that marks it as 32-bit.
        if not (size == 0 and rtype == 0 and name == 0):
            entries.append((rtype, name, language, body))
        pos += header_size + size
        pos += -pos % 4
    return entries


def _sort_key(key):
    # The loader binary-searches names by their UTF-16 code units, then ids ascending.
    if isinstance(key, str):
        return (RT_NAMES_FIRST, [ord(c) for c in key], 0)
    return (1, [], key)


def _tree(entries):
    tree = {}
    for rtype, name, language, body in entries:
        langs = tree.setdefault(rtype, {}).setdefault(name, {})
        if language in langs:
            raise ResFormatError("resource %r %r language %d appears twice" % (rtype, name, language))
        langs[language] = body
    return tree


def _sorted(mapping):
    return sorted(mapping.items(), key=lambda item: _sort_key(item[0]))


def build_rsrc(entries):
    """Return (section bytes, [offsets of data-entry address fields needing relocation])."""
    tree = _tree(entries)
    # Every directory table, breadth first: root, one per type, one per type and name.
    tables = [("root", _sorted(tree))]
    for _, names in tables[0][1]:
        tables.append(("type", _sorted(names)))
    for level, items in list(tables[1:]):
        for _, langs in items:
            tables.append(("name", _sorted(langs)))
    table_offsets, pos = [], 0
    for _, items in tables:
        table_offsets.append(pos)
        pos += 16 + 8 * len(items)
    directory_size = pos

    # One data entry per distinct content, in order of first appearance.
    leaves = [body for level, items in tables if level == "name" for _, body in items]
    data_entry_of = {}
    for body in leaves:
        data_entry_of.setdefault(body, len(data_entry_of))
    data_entries_at = directory_size
    pos = data_entries_at + 16 * len(data_entry_of)

    names = sorted({k for level, items in tables for k, _ in items if isinstance(k, str)},
                   key=lambda k: _sort_key(k))
    string_at = {}
    for text in names:
        string_at[text] = pos
        pos += 2 + 2 * len(text)
    pos += -pos % DATA_ALIGN
    bodies_at = {}
    for body in data_entry_of:
        bodies_at[body] = pos
        pos += len(body)
        pos += -pos % DATA_ALIGN

    out = bytearray(pos)
    next_table = 1
    for index, (level, items) in enumerate(tables):
        at = table_offsets[index]
        named = sum(isinstance(k, str) for k, _ in items)
        struct.pack_into("<IIHHHH", out, at, 0, 0, 0, 0, named, len(items) - named)
        for i, (key, value) in enumerate(items):
            field = 0x80000000 | string_at[key] if isinstance(key, str) else key
            if level == "name":
                target = data_entries_at + 16 * data_entry_of[value]
            else:
                target = 0x80000000 | table_offsets[next_table]
                next_table += 1
            struct.pack_into("<II", out, at + 16 + 8 * i, field, target)
    relocations = []
    for body, number in data_entry_of.items():
        at = data_entries_at + 16 * number
        struct.pack_into("<IIII", out, at, bodies_at[body], len(body), 0, 0)
        relocations.append(at)
    for text, at in string_at.items():
        encoded = text.encode("utf-16-le")
        struct.pack_into("<H", out, at, len(encoded) // 2)
        out[at + 2:at + 2 + len(encoded)] = encoded
    for body, at in bodies_at.items():
        out[at:at + len(body)] = body
    return bytes(out), relocations


def coff_object(section, relocations):
    """A relocatable i386 COFF object with one .rsrc section and its section symbol."""
    header_size, section_header_size = 20, 40
    raw_at = header_size + section_header_size
    relocs_at = raw_at + len(section)
    symbols_at = relocs_at + 10 * len(relocations)
    out = bytearray(struct.pack("<HHIIIHH", I386, 1, 0, symbols_at, 2, 0, 0))
    out += struct.pack("<8sIIIIIIHHI", b".rsrc", 0, 0, len(section), raw_at, relocs_at, 0,
                       len(relocations), 0, SECTION_FLAGS)
    out += section
    for at in relocations:
        out += struct.pack("<IIH", at, 0, DIR32NB)
    # The section symbol (static, section 1) and its auxiliary record.
    out += struct.pack("<8sIhHBB", b".rsrc", 0, 1, 0, 3, 1)
    out += struct.pack("<IHHIHB3s", len(section), len(relocations), 0, 0, 0, 0, b"")
    out += struct.pack("<I", 4)  # an empty string table
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    with open(argv[1], "rb") as f:
        entries = parse_res(f.read())
    section, relocations = build_rsrc(entries)
    with open(argv[2], "wb") as f:
        f.write(coff_object(section, relocations))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
