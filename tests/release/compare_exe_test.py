#!/usr/bin/env python3
"""compare_exe.py names where two builds differ, taking the updater as the first build.

Usage: compare_exe_test.py EXE
"""

import os
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "res", "tools"))
import compare_exe  # noqa: E402
from exe_resources import Executable  # noqa: E402

EXE = None


class WhereTheBytesDiffer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.exe = f.read()
        exe = Executable(data=cls.exe)
        cls.stamp_at = exe.file_header_at + 4
        cls.checksum_at = exe.optional_header_at + 64
        cls.rsrc_at = exe.section_at(".rsrc")

    def changed(self, at, value=b"\x5a"):
        out = bytearray(self.exe)
        out[at:at + len(value)] = bytes(b ^ v for b, v in zip(out[at:at + len(value)], value))
        return bytes(out)

    def test_each_difference_is_placed(self):
        rsrc_at = self.rsrc_at
        cases = [
            ("link time stamp", self.changed(self.stamp_at, b"\1\2\3\4"),
             "in PE header: TimeDateStamp + 0x0"),
            ("checksum", self.changed(self.checksum_at + 2), "in PE header: CheckSum + 0x2"),
            ("resource byte", self.changed(rsrc_at + 0x123), "in section .rsrc + 0x123"),
            ("appended signature", self.exe + b"\0" * 16,
             "in past the last section (signature or appended data)"),
        ]
        for what, other, where in cases:
            with self.subTest(what):
                lines = compare_exe.describe(self.exe, other)
                self.assertTrue(any(where in line for line in lines), lines)

    def test_identical_builds_have_nothing_to_say(self):
        self.assertEqual(compare_exe.describe(self.exe, bytes(self.exe)), [])

    def test_separate_runs_are_listed_apart(self):
        other = self.changed(self.stamp_at + 3)
        other = other[:self.rsrc_at] + b"\xff\xfe" + other[self.rsrc_at + 2:]
        runs = compare_exe.differing_runs(self.exe, other)
        self.assertEqual(runs[0], (self.stamp_at + 3, self.stamp_at + 4))
        self.assertEqual(len(runs), 2)
        self.assertIn("sizes differ", compare_exe.describe(self.exe, self.exe[:-1])[0])

    def test_not_a_pe_file(self):
        self.assertEqual(compare_exe.file_parts(b"ELF" + bytes(100)), [(0, 103, "not a PE file")])
        broken = bytearray(self.exe)
        struct.pack_into("<I", broken, 0x3C, len(broken) - 4)
        self.assertEqual(compare_exe.file_parts(bytes(broken))[0][2], "not a PE file")


if __name__ == "__main__":
    EXE = sys.argv.pop(1)
    unittest.main()
