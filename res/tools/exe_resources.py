#!/usr/bin/env python3
"""What an updater executable carries, read back out of the file: its resources,
its strings (the printer's hardware id is string 16, the access method 17), the
firmware image, the manifest and the version details, and the file's shape
(machine, subsystem, imports, signature).
The one place that reads a built executable: scripts, end-to-end scenarios and
tests all come here.

As a command:
  exe_resources.py hardware-id EXE       string 16
  exe_resources.py access-method EXE     string 17
  exe_resources.py string EXE ID         any string of the table
  exe_resources.py image EXE OUT         the firmware image, written to OUT
  exe_resources.py image-digest EXE      "LENGTH SHA256" of the image
  exe_resources.py signed EXE            status 0 when a signature is attached
"""

import hashlib
import struct
import sys

import pefile

EN, JA = 1033, 1041
RT_STRING, RT_VERSION, RT_MANIFEST = 6, 16, 24
HARDWARE_ID, ACCESS_METHOD = 16, 17
FIRMWARE = ("FIRMWARE", 101)
CERTIFICATE_TABLE = 4

NotAnExecutable = pefile.PEFormatError


def string_block(data):
    """The 16 strings of one string-table block, or None when it is malformed."""
    strings, pos = [], 0
    for _ in range(16):
        if pos + 2 > len(data):
            return None
        (count,) = struct.unpack_from("<H", data, pos)
        pos += 2
        if pos + 2 * count > len(data):
            return None
        strings.append(data[pos:pos + 2 * count].decode("utf-16-le", "replace"))
        pos += 2 * count
    return strings if pos == len(data) else None


def version_node(data, pos=0):
    """One node of a version resource and the byte after it: (key, value, children).
    A text value (type 1) is decoded; a binary one stays bytes."""
    length, value_length, text = struct.unpack_from("<HHH", data, pos)
    if length < 6 or pos + length > len(data):
        raise struct.error("node at %d runs past its resource" % pos)
    key_at = pos + 6
    key_end = next(i for i in range(key_at, len(data) - 1, 2) if data[i:i + 2] == b"\0\0")
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = key_end + 2 + (-(key_end + 2) % 4)
    at = value_at + value_length * (2 if text else 1)
    value = data[value_at:at]
    if text:
        value = value.decode("utf-16-le").rstrip("\0")
    children, end = [], pos + length
    at += -at % 4
    while at < end:
        child, at = version_node(data, at)
        children.append(child)
        at += -at % 4
    return (key, value, children), end


def version_info(data):
    """A VS_VERSIONINFO resource as {"file": (a, b, c, d), "product": (...),
    "strings": {block: {name: text}}, "translations": [(language, code page)]};
    None when it is malformed."""
    try:
        (key, fixed, children), _ = version_node(data)
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    except (struct.error, StopIteration, UnicodeDecodeError):
        return None
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        return None
    halves = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    info = {"file": halves(file_ms, file_ls), "product": halves(product_ms, product_ls),
            "strings": {}, "translations": []}
    for name, _, blocks in children:
        for block, value, entries in blocks:
            if name == "StringFileInfo":
                info["strings"][block] = {k: v for k, v, _ in entries}
            elif name == "VarFileInfo" and block == "Translation":
                info["translations"] += list(struct.iter_unpack("<HH", value))
    return info


class Executable:
    """A PE file, from a path or from its bytes."""

    def __init__(self, path=None, data=None):
        self.pe = pefile.PE(path, data=data)
        self._entries = None

    def resource_entries(self):
        """(type, name, language) -> (bytes, offset of the data); types and names
        are numbers or strings, in the order the directory lists them."""
        if self._entries is None:
            self._entries = {}
            key = lambda e: e.id if e.name is None else str(e.name)
            directory = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
            for kind in directory.entries if directory else []:
                for name in kind.directory.entries:
                    for lang in name.directory.entries:
                        d = lang.data.struct
                        self._entries[(key(kind), key(name), lang.id)] = (
                            self.pe.get_data(d.OffsetToData, d.Size), d.OffsetToData)
        return self._entries

    def resource_stamps(self):
        """The time stamp of every directory of the resource tree."""
        stamps, walk = [], [getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)]
        while walk:
            directory = walk.pop()
            if directory is not None:
                stamps.append(directory.struct.TimeDateStamp)
                walk += [e.directory for e in directory.entries if hasattr(e, "directory")]
        return stamps

    def resources(self):
        """(type, name, language) -> bytes."""
        return {k: data for k, (data, _) in self.resource_entries().items()}

    def resource(self, kind, name, lang=None):
        """One resource's bytes, in LANG or the first language listed; None if absent."""
        for (k, n, l), (data, _) in self.resource_entries().items():
            if k == kind and n == name and lang in (None, l):
                return data
        return None

    def strings(self, lang=None):
        """id -> text of every non-empty string, in LANG or the first language listed."""
        blocks = [(block, l, data) for (kind, block, l), (data, _) in self.resource_entries().items()
                  if kind == RT_STRING and isinstance(block, int)]
        if lang is None and blocks:
            lang = blocks[0][1]
        found = {}
        for block, l, data in blocks:
            if l == lang:
                found.update({(block - 1) * 16 + i: text
                              for i, text in enumerate(string_block(data) or []) if text})
        return found

    def string(self, number, lang=None):
        return self.strings(lang).get(number)

    @property
    def hardware_id(self):
        return self.string(HARDWARE_ID)

    @property
    def access_method(self):
        return self.string(ACCESS_METHOD)

    @property
    def image(self):
        return self.resource(*FIRMWARE)

    @property
    def manifest(self):
        return self.resource(RT_MANIFEST, 1)

    def version(self, lang=None):
        """The version details in LANG (the first language listed by default), or None."""
        data = self.resource(RT_VERSION, 1, lang)
        return version_info(data) if data else None

    @property
    def signed(self):
        return self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[CERTIFICATE_TABLE].Size != 0

    @property
    def machine(self):
        return self.pe.FILE_HEADER.Machine

    @property
    def pe32(self):
        return self.pe.OPTIONAL_HEADER.Magic == 0x10B

    @property
    def subsystem(self):
        return self.pe.OPTIONAL_HEADER.Subsystem

    @property
    def imports(self):
        """The DLLs imported, delay-loaded ones included."""
        return [e.dll.decode("ascii", "replace")
                for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
                for e in getattr(self.pe, attr, [])]

    @property
    def file_header_at(self):
        return self.pe.FILE_HEADER.get_file_offset()

    @property
    def optional_header_at(self):
        return self.pe.OPTIONAL_HEADER.get_file_offset()

    def section_at(self, name):
        """File offset of a section's raw data."""
        return next(s.PointerToRawData for s in self.pe.sections
                    if s.Name.rstrip(b"\0") == name.encode("ascii"))


def main(argv):
    commands = {"hardware-id": 1, "access-method": 1, "string": 2, "image": 2,
                "image-digest": 1, "signed": 1}
    if len(argv) < 2 or commands.get(argv[0]) != len(argv) - 1:
        sys.stderr.write(__doc__.split("As a command:\n")[1])
        return 2
    command, path = argv[0], argv[1]
    try:
        exe = Executable(path)
    except (OSError, NotAnExecutable) as e:
        sys.stderr.write("%s: %s\n" % (path, e))
        return 1
    if command == "signed":
        return 0 if exe.signed else 1
    if command in ("image", "image-digest"):
        image = exe.image
        if image is None:
            sys.stderr.write("no FIRMWARE resource in %s\n" % path)
            return 1
        if command == "image":
            with open(argv[2], "wb") as f:
                f.write(image)
        else:
            print(len(image), hashlib.sha256(image).hexdigest())
        return 0
    number = {"hardware-id": HARDWARE_ID, "access-method": ACCESS_METHOD}.get(command)
    text = exe.string(int(argv[2]) if number is None else number)
    if text is None:
        sys.stderr.write("no string %s in %s\n" % (number or argv[2], path))
        return 1
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
