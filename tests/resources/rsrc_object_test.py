#!/usr/bin/env python3
"""The resource-object converter (res/tools/make_rsrc.py) against the toolchain's own.

A small resource script with named and numbered types, a named resource, data
of odd lengths, and resources repeated byte for byte in another language is
compiled by windres, converted both by windres and by our converter, and linked
into two executables. Read back, both hold the same resources; ours stores each
distinct content once.
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "res", "tools"))
import make_rsrc  # noqa: E402
from exe_resources import Executable  # noqa: E402

PREFIX = "i686-w64-mingw32-"
SHARED = b"the same bytes in both languages, odd length"
SCRIPT = """
LANGUAGE 0x09, 0x01
101 PAYLOAD "shared.bin"
7 RCDATA { "en" }
ZNAMED RCDATA "odd.bin"
LANGUAGE 0x11, 0x01
101 PAYLOAD "shared.bin"
7 RCDATA { "ja-other" }
AMBER PAYLOAD "odd.bin"
LANGUAGE 0x07, 0x01
101 PAYLOAD "shared.bin"
"""


def resources(path):
    """(type, name, language) -> (bytes, OffsetToData), in the order the directory lists them."""
    exe = Executable(path)
    return exe.resource_entries(), exe


class ConverterAgainstWindres(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = cls.tmp.name
        with open(os.path.join(d, "shared.bin"), "wb") as f:
            f.write(SHARED)
        with open(os.path.join(d, "odd.bin"), "wb") as f:
            f.write(b"\x01\x02\x03")
        with open(os.path.join(d, "test.rc"), "w") as f:
            f.write(SCRIPT)
        with open(os.path.join(d, "main.c"), "w") as f:
            f.write("int main(void) { return 0; }\n")
        run = lambda *cmd: subprocess.run(cmd, cwd=d, check=True)
        run(PREFIX + "windres", "-O", "res", "test.rc", "test.res")
        run(PREFIX + "windres", "-J", "res", "-O", "coff", "test.res", "theirs.o")
        run(sys.executable, os.path.join(HERE, "..", "..", "res", "tools", "make_rsrc.py"),
            "test.res", "ours.o")
        for name in ("theirs", "ours"):
            run(PREFIX + "gcc", "-o", name + ".exe", "main.c", name + ".o")
        with open(os.path.join(d, "test.res"), "rb") as f:
            cls.res = f.read()
        cls.theirs, _ = resources(os.path.join(d, "theirs.exe"))
        cls.ours, cls.exe = resources(os.path.join(d, "ours.exe"))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_same_resources_as_windres(self):
        strip = lambda found: {k: v[0] for k, v in found.items()}
        self.assertEqual(strip(self.ours), strip(self.theirs))
        self.assertEqual(len(self.ours), 7)

    def test_identical_contents_share_their_data(self):
        by_content = {}
        for data, at in self.ours.values():
            by_content.setdefault(data, set()).add(at)
        self.assertEqual(by_content[SHARED], {self.ours[("PAYLOAD", 101, 1031)][1]})
        self.assertTrue(all(len(places) == 1 for places in by_content.values()))
        self.assertEqual(len({at for _, at in self.ours.values()}), len(by_content))
        theirs_places = {at for _, at in self.theirs.values()}
        self.assertEqual(len(theirs_places), 7, "windres keeps every copy")

    def test_directory_is_sorted_as_the_loader_searches_it(self):
        order = [k for k in self.ours]
        types = list(dict.fromkeys(t for t, _, _ in order))
        self.assertEqual(types, ["PAYLOAD", 10])  # names first, then ids
        names = [n for t, n, _ in order if t == "PAYLOAD"]
        self.assertEqual(list(dict.fromkeys(names)), ["AMBER", 101])
        rcdata = list(dict.fromkeys(n for t, n, _ in order if t == 10))
        self.assertEqual(rcdata, ["ZNAMED", 7])
        langs = [lang for t, n, lang in order if (t, n) == ("PAYLOAD", 101)]
        self.assertEqual(langs, [1031, 1033, 1041])

    def test_no_time_stamps_in_the_directory(self):
        self.assertEqual(set(self.exe.resource_stamps()), {0})

    def test_output_does_not_depend_on_the_input_order(self):
        entries = make_rsrc.parse_res(self.res)
        self.assertEqual(make_rsrc.build_rsrc(entries), make_rsrc.build_rsrc(entries[::-1]))


def res_entry(rtype, name, language, body, header_size=None):
    """One .res entry with numbered type and name."""
    header = struct.pack("<HHHH", 0xFFFF, rtype, 0xFFFF, name)
    header += struct.pack("<IHHII", 0, 0x30, language, 0, 0)
    size = 8 + len(header) if header_size is None else header_size
    out = struct.pack("<II", len(body), size) + header + body
    return out + b"\0" * (-len(out) % 4)


class MalformedInput(unittest.TestCase):
    def test_refused_with_a_reason(self):
        good = res_entry(10, 1, 1033, b"abcd")
        cases = {
            "truncated header": good + b"\x10\0\0",
            "data past the end": good[:-2],
            "header too short": res_entry(10, 1, 1033, b"", header_size=12),
            "same resource twice": good + good,
            "unterminated name": struct.pack("<II", 0, 32) + b"A\0" * 12,
        }
        for what, data in cases.items():
            with self.subTest(what):
                with self.assertRaises(make_rsrc.ResFormatError):
                    make_rsrc.build_rsrc(make_rsrc.parse_res(data))

    def test_the_leading_empty_entry_is_not_a_resource(self):
        empty = struct.pack("<II", 0, 32) + struct.pack("<HHHH", 0xFFFF, 0, 0xFFFF, 0) + bytes(16)
        self.assertEqual(make_rsrc.parse_res(empty + res_entry(10, 1, 1033, b"x")),
                         [(10, 1, 1033, b"x")])


if __name__ == "__main__":
    unittest.main()
