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
  exe_resources.py string EXE ID...      strings of the table, one a line
  exe_resources.py image EXE OUT         the firmware image, written to OUT
  exe_resources.py image-digest EXE      "LENGTH SHA256" of the image
  exe_resources.py damage-image EXE      flips a bit of the image's middle byte,
                                         in place, as damage after the build would
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
        self._pe = pefile.PE(path, data=data)
        self._entries = None

    def resource_entries(self):
        """(type, name, language) -> (bytes, offset of the data); types and names
        are numbers or strings, in the order the directory lists them."""
        if self._entries is None:
            self._entries = {}
            key = lambda e: e.id if e.name is None else str(e.name)
            directory = getattr(self._pe, "DIRECTORY_ENTRY_RESOURCE", None)
            for kind in directory.entries if directory else []:
                for name in kind.directory.entries:
                    for lang in name.directory.entries:
                        d = lang.data.struct
                        self._entries[(key(kind), key(name), lang.id)] = (
                            self._pe.get_data(d.OffsetToData, d.Size), d.OffsetToData)
        return self._entries

    def resource_stamps(self):
        """The time stamp of every directory of the resource tree."""
        stamps, walk = [], [getattr(self._pe, "DIRECTORY_ENTRY_RESOURCE", None)]
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

    def close(self):
        """Lets the file go (pefile maps it), so that it can be written."""
        self._pe.close()

    def file_offsets(self, kind, name):
        """Where in the file each stored copy of a resource's data starts, with its
        size: {(offset, size)}. Identical data of several languages is stored once."""
        return {(self._pe.get_offset_from_rva(rva), len(data))
                for (k, n, _), (data, rva) in self.resource_entries().items()
                if k == kind and n == name}

    @property
    def manifest(self):
        return self.resource(RT_MANIFEST, 1)

    def version(self, lang=None):
        """The version details in LANG (the first language listed by default), or None."""
        data = self.resource(RT_VERSION, 1, lang)
        return version_info(data) if data else None

    @property
    def signed(self):
        return self._pe.OPTIONAL_HEADER.DATA_DIRECTORY[CERTIFICATE_TABLE].Size != 0

    @property
    def machine(self):
        return self._pe.FILE_HEADER.Machine

    @property
    def pe32(self):
        return self._pe.OPTIONAL_HEADER.Magic == 0x10B

    @property
    def subsystem(self):
        return self._pe.OPTIONAL_HEADER.Subsystem

    @property
    def imports(self):
        """The DLLs imported, delay-loaded ones included."""
        return [e.dll.decode("ascii", "replace")
                for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
                for e in getattr(self._pe, attr, [])]

    @property
    def file_header_at(self):
        return self._pe.FILE_HEADER.get_file_offset()

    @property
    def optional_header_at(self):
        return self._pe.OPTIONAL_HEADER.get_file_offset()

    def section_at(self, name):
        """File offset of a section's raw data."""
        return next(s.PointerToRawData for s in self._pe.sections
                    if s.Name.rstrip(b"\0") == name.encode("ascii"))


def damage_image(exe, path):
    """Flips one bit in the middle of the stored image; the image must be stored once."""
    at = exe.file_offsets(*FIRMWARE)
    exe.close()
    if len(at) != 1:
        sys.stderr.write("the image is not stored once in %s\n" % path)
        return 1
    offset, size = at.pop()
    with open(path, "r+b") as f:
        f.seek(offset + size // 2)
        byte = f.read(1)[0]
        f.seek(-1, 1)
        f.write(bytes([byte ^ 0x10]))
    return 0


def main(argv):
    # command: (least, most) arguments after it
    commands = {"hardware-id": (1, 1), "access-method": (1, 1), "string": (2, None),
                "image": (2, 2), "image-digest": (1, 1), "damage-image": (1, 1), "signed": (1, 1)}
    least, most = commands.get(argv[0] if argv else None, (1, 0))
    if not least <= len(argv) - 1 <= (most or len(argv)):
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
    if command == "damage-image":
        return damage_image(exe, path)
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
    numbers = [number] if number is not None else argv[2:]
    texts = []
    for n in numbers:
        text = exe.string(int(n))
        if text is None:
            sys.stderr.write("no string %s in %s\n" % (n, path))
            return 1
        texts.append(text)
    print("\n".join(texts))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
