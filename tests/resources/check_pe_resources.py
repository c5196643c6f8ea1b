#!/usr/bin/env python3
"""Check the resources and PE shape of a built updater executable.

Usage:
  check_pe_resources.py --exe PATH --firmware PATH --eula-en PATH --eula-ja PATH
                        --hardware-id TEXT --access-method TEXT
                        --model-name TEXT --version-text TEXT --maker TEXT

Prints one PASS/FAIL line per check and a final "N passed, M failed" line;
the exit status is 1 if any check failed.
"""

import argparse
import hashlib
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "tools"))
from exe_resources import EN, JA, RT_VERSION, Executable, NotAnExecutable, string_block  # noqa: E402
from exe_resources import version_info  # noqa: E402

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 6, 14, 24
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
PROGRESS = "msctls_progress32"

# id: (style, cx, cy, [(id, class, title, x, y, cx, cy, style), ...])
DIALOGS = {
    144: (0x80C800C0, 307, 169, [
        (1, BUTTON, "OK", 128, 148, 50, 14, 0x50010001),
        (146, EDIT, "", 7, 32, 293, 88, 0x50A10804),
        (147, BUTTON, "No", 52, 124, 226, 9, 0x50010009),
        (148, BUTTON, "Yes", 52, 137, 226, 9, 0x50000009),
        (145, STATIC, "Static", 7, 7, 293, 22, 0x50020000)]),
    102: (0x90C800C0, 298, 106, [
        (1, BUTTON, "", 132, 79, 89, 14, 0x50010000),
        (2, BUTTON, "", 225, 79, 60, 14, 0x50010000),
        (110, STATIC, "", 9, 10, 280, 50, 0x50020000)]),
    103: (0x90C000C0, 238, 81, [
        (111, STATIC, "", 9, 34, 218, 14, 0x50020001),
        (114, PROGRESS, "Progress1", 9, 51, 218, 14, 0x50800001),
        (112, STATIC, "", 9, 7, 218, 14, 0x50020000)]),
}
DIALOG_SIZES = {144: 202, 102: 122, 103: 170}

UI_STRINGS = {
    EN: {
        219: "Click [Transfer] to start transferring the firmware for update.",
        220: "Printer is not found.\nMake sure that your computer is properly connected to "
             "the printer,and that the printer is turned on.\nTo transfer the firmware "
             "again, click [Retry].",
        221: "Could not transfer the firmware.\nTo transfer the firmware again, click [Retry].",
        222: "Firmware transfer complete. ",
        223: "Transferring the firmware to printer...",
        224: "Transfer", 225: "Exit", 226: "Retry",
        227: "Please read the following license agreement. Press the PAGE DOWN key to see "
             "the rest of the agreement.",
        228: "I do not accept the terms of the license agreement.",
        229: "I accept the terms of the license agreement.",
        230: "OK",
        231: "The printer's firmware is being updated. Do not turn off the computer or the printer.",
        232: "The firmware updater is already running for this printer."},
    JA: {
        219: "ファームウェアを更新しますか？",
        220: "プリンターが見つかりません。\nPCとプリンターが正しく接続されているか、"
             "プリンターの電源が入っているか確認して「再実行」をクリックしてください。",
        221: "ファームウェア更新に失敗しました。\n再度更新する場合は「再実行」をクリックしてください。",
        222: "ファームウェアは正常に更新できました。",
        223: "ファームウェア更新中…",
        224: "実行", 225: "終了", 226: "再実行",
        227: "以下の使用許諾同意書をお読みください。同意書の残りの部分を表示するには、"
             "[Page Down]キーを押してください。",
        228: "使用許諾同意書に同意しません。",
        229: "使用許諾同意書に同意します。",
        230: "OK",
        231: "プリンターのファームウェアを更新しています。コンピューターとプリンターの電源を切らないでください。",
        232: "このプリンターのファームウェア更新ツールはすでに実行中です。"},
}
SHIPPED_TEXTS = ("USB\\VID_7C5E&PID_4A86", "PrintClass", "TORVAEL prismatone 3350N", "V1.05")
SHIPPED_BLOCK_SIZES = {EN: {14: 788, 15: 748}, JA: {14: 354, 15: 382}}

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
               "setupapi.dll", "ole32.dll", "ws2_32.dll", "iphlpapi.dll", "ntdll.dll",
               "msvcrt.dll", "shell32.dll", "bcrypt.dll"}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
COMMON_CONTROLS_6 = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                     "processorArchitecture": "x86", "publicKeyToken": "6595b64144ccf1df", "language": "*"}
# Windows 7, 8, 8.1, and 10 (and 11).
SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
VERSION_BLOCKS = {EN: ("040904B0", " firmware updater"), JA: ("041104B0", " ファームウェア更新ツール")}


class Report:
    passed = failed = 0

    def check(self, ok, what, detail=""):
        self.passed, self.failed = self.passed + bool(ok), self.failed + (not ok)
        print("%s: %s%s" % ("PASS" if ok else "FAIL", what, "" if ok or not detail else " -- " + detail))
        return ok


def check_inventory(rep, res):
    both = [("EULA", 145), ("FIRMWARE", 101), ("FIRMWARE_SHA256", 101), (RT_DIALOG, 144),
            (RT_DIALOG, 102), (RT_DIALOG, 103), (RT_STRING, 2), (RT_STRING, 14), (RT_STRING, 15),
            (RT_GROUP_ICON, 113), (RT_VERSION, 1)]
    expected = {(t, n, lang) for t, n in both for lang in (EN, JA)} | {
        (RT_ICON, 1, EN), (RT_ICON, 2, EN), (RT_ICON, 3, JA), (RT_ICON, 4, JA), (RT_MANIFEST, 1, EN)}
    missing, extra = expected - set(res), set(res) - expected
    rep.check(not missing and not extra, "resource inventory is exactly as expected",
              "missing %s, unexpected %s" % (sorted(missing, key=str), sorted(extra, key=str)))
    rep.check(all(lang != 0 for _, _, lang in res), "no language-neutral resources")


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


def build_dialog(style, cx, cy, items):
    """Expected DLGTEMPLATE bytes, plus the spans that compare case-insensitively."""
    out = bytearray(struct.pack("<IIHhhhh", style, 0, len(items), 0, 0, cx, cy))
    out += struct.pack("<HHH", 0, 0, 0) + struct.pack("<H", 8) + utf16z("Tahoma")
    loose = []
    for item_id, cls, title, x, y, w, h, item_style in items:
        out += b"\0" * (-len(out) % 4)
        out += struct.pack("<IIhhhhH", item_style, 0, x, y, w, h, item_id)
        if isinstance(cls, int):
            out += struct.pack("<HH", 0xFFFF, cls)
        else:
            loose.append((len(out), 2 * len(cls)))
            out += utf16z(cls)
        out += utf16z(title) + struct.pack("<H", 0)
    return bytes(out), loose


def same_dialog(actual, expected, loose):
    if len(actual) != len(expected):
        return False, "size %d, expected %d" % (len(actual), len(expected))
    a, e = bytearray(actual), bytearray(expected)
    for start, length in loose:
        a[start:start + length] = actual[start:start + length].decode("utf-16-le").lower().encode("utf-16-le")
        e[start:start + length] = expected[start:start + length].decode("utf-16-le").lower().encode("utf-16-le")
    return a == e, "first difference at byte %d" % first_difference(a, e)


def check_dialogs(rep, res):
    for dlg_id, (style, cx, cy, items) in DIALOGS.items():
        expected, loose = build_dialog(style, cx, cy, items)
        assert len(expected) == DIALOG_SIZES[dlg_id]
        for lang in (EN, JA):
            actual = res.get((RT_DIALOG, dlg_id, lang), b"")
            ok, why = same_dialog(actual, expected, loose)
            rep.check(ok, "dialog %d (%d) matches the expected template" % (dlg_id, lang), why)
        rep.check(res.get((RT_DIALOG, dlg_id, EN)) == res.get((RT_DIALOG, dlg_id, JA)),
                  "dialog %d is identical in both languages" % dlg_id)


def check_strings(rep, res, texts):
    shipped = tuple(texts) == SHIPPED_TEXTS
    for lang in (EN, JA):
        expected = dict(UI_STRINGS[lang])
        expected.update({16 + i: t for i, t in enumerate(texts)})
        actual = {}
        for block in (2, 14, 15):
            data = res.get((RT_STRING, block, lang), b"")
            strings = string_block(data)
            if not rep.check(strings is not None, "string block %d (%d) is well formed" % (block, lang)):
                continue
            actual.update({(block - 1) * 16 + i: s for i, s in enumerate(strings) if s})
            if block == 2:
                want = 32 + 2 * sum(len(t.encode("utf-16-le")) // 2 for t in texts)
                rep.check(len(data) == want, "string block 2 (%d) is %d bytes" % (lang, want),
                          "got %d" % len(data))
            elif shipped:
                want = SHIPPED_BLOCK_SIZES[lang][block]
                rep.check(len(data) == want, "string block %d (%d) is %d bytes" % (block, lang, want),
                          "got %d" % len(data))
        wrong = sorted(i for i in set(expected) | set(actual) if expected.get(i) != actual.get(i))
        rep.check(not wrong, "string table (%d) holds exactly the expected strings" % lang,
                  "; ".join("id %d: %r, expected %r" % (i, actual.get(i), expected.get(i)) for i in wrong))
        rep.check(not any("\r" in s for s in actual.values()), "no carriage returns in strings (%d)" % lang)
        rep.check(actual.get(16, "").count("\\") == 1, "hardware id (string 16, %d) holds exactly one backslash"
                  % lang, repr(actual.get(16)))


def read_file(rep, path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        rep.check(False, "can read %s" % path, str(e))
        return None


def check_eula(rep, res, paths):
    for lang, path in zip((EN, JA), paths):
        want = read_file(rep, path)
        data = res.get(("EULA", 145, lang), b"")
        rep.check(data == want, "EULA (%d) equals %s" % (lang, path), "%d bytes vs %d" % (len(data), len(want or b"")))
        lines = data.split(b"\r\n")
        rep.check(len(lines) == 38 and lines[-1] == b"" and not any(b"\r" in l or b"\n" in l for l in lines),
                  "EULA (%d) is 37 lines ending CR LF" % lang)
        rep.check(b"\0" not in data, "EULA (%d) has no NUL byte" % lang)


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def check_firmware(rep, res, path):
    want = read_file(rep, path)
    for lang in (EN, JA):
        data = res.get(("FIRMWARE", 101, lang), b"")
        rep.check(data == want, "firmware (%d) equals %s" % (lang, path), "%d bytes vs %s, first difference at %d"
                  % (len(data), len(want or b""), first_difference(data, want or b"")))
    rep.check(res.get(("FIRMWARE", 101, EN)) == res.get(("FIRMWARE", 101, JA)), "firmware identical in both languages")
    digest = hashlib.sha256(want or b"").digest()
    rep.check(all(res.get(("FIRMWARE_SHA256", 101, lang)) == digest for lang in (EN, JA)),
              "firmware digest is the SHA-256 of %s in both languages" % path)


def check_icons(rep, res):
    for lang, ids in ((EN, (1, 2)), (JA, (3, 4))):
        group = res.get((RT_GROUP_ICON, 113, lang), b"")
        rep.check(len(group) == 34, "icon group 113 (%d) is 34 bytes" % lang, "got %d" % len(group))
        if len(group) != 34:
            continue
        head = struct.unpack_from("<HHH", group)
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(2)]
        want = [(16, 16, 16, 0, 1, 4, 296, ids[0]), (32, 32, 16, 0, 1, 4, 744, ids[1])]
        rep.check(head == (0, 1, 2) and entries == want, "icon group 113 (%d) lists 16x16 and 32x32 4bpp images %s"
                  % (lang, ids), "header %s, entries %s" % (head, entries))
        for icon_id, size, length in zip(ids, (16, 32), (296, 744)):
            image = res.get((RT_ICON, icon_id, lang), b"")
            fields = struct.unpack_from("<IiiHH", image) if len(image) >= 16 else None
            rep.check(len(image) == length and fields == (40, size, 2 * size, 1, 4),
                      "icon %d (%d) is a %d-byte %dx%d 4bpp DIB" % (icon_id, lang, length, size, size),
                      "%d bytes, header %s" % (len(image), fields))
    for en_id, ja_id in ((1, 3), (2, 4)):
        rep.check(res.get((RT_ICON, en_id, EN)) == res.get((RT_ICON, ja_id, JA)),
                  "icon %d (%d) equals icon %d (%d)" % (ja_id, JA, en_id, EN))


def check_manifest(rep, res):
    data = res.get((RT_MANIFEST, 1, EN), b"")
    rep.check(data and all(b < 0x80 for b in data), "manifest is non-empty 7-bit ASCII")
    rep.check(not data.lstrip().startswith(b"<?xml"), "manifest has no XML declaration")
    rep.check(b"\r\n" in data and b"\n" not in data.replace(b"\r\n", b"")
              and b"\r" not in data.replace(b"\r\n", b""), "manifest lines end CR LF")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        rep.check(False, "manifest is well-formed XML", str(e))
        return
    rep.check(root.tag == ASM_V1 + "assembly" and root.get("manifestVersion") == "1.0"
              and [c.tag for c in root] == [ASM_V3 + "trustInfo", ASM_V3 + "application",
                                             ASM_V1 + "dependency", COMPATIBILITY + "compatibility"],
              "manifest is an asm.v1 assembly 1.0: trustInfo, application, dependency, compatibility",
              str([c.tag for c in root]))
    levels = root.findall("{0}trustInfo/{0}security/{0}requestedPrivileges/{0}requestedExecutionLevel".format(ASM_V3))
    rep.check(len(levels) == 1 and levels[0].get("level") == "asInvoker" and levels[0].get("uiAccess") == "false",
              "manifest requests asInvoker without uiAccess", str([l.attrib for l in levels]))
    settings = root.find("{0}application/{0}windowsSettings".format(ASM_V3))
    settings = {} if settings is None else {e.tag: (e.text or "").strip() for e in settings}
    aware = settings.get(SETTINGS_2005 + "dpiAware", "")
    awareness = settings.get(SETTINGS_2016 + "dpiAwareness", "").split(",")
    rep.check(aware.lower() == "true/pm" and awareness[0].strip().lower() == "permonitorv2",
              "manifest: aware of the display scale, per monitor (v2) and the system's before",
              str(settings))
    identities = [e.attrib for e in root.iterfind("{0}dependency/{0}dependentAssembly/{0}assemblyIdentity".format(ASM_V1))]
    rep.check(identities == [COMMON_CONTROLS_6], "manifest depends on the common controls 6 alone", str(identities))
    systems = [e.get("Id") for e in root.iterfind("{0}compatibility/{0}application/{0}supportedOS".format(COMPATIBILITY))]
    rep.check(sorted(systems) == sorted(SUPPORTED_OS), "manifest names Windows 7, 8, 8.1 and 10 as supported",
              str(systems))


def version_numbers(text):
    """The file version of a version text: its one run of numbers joined by dots, padded to four."""
    runs = re.findall(r"[0-9]+(?:\.[0-9]+)*", text)
    parts = [int(p) for p in runs[0].split(".")] if len(runs) == 1 else []
    return tuple(parts + [0] * (4 - len(parts)))


def check_version(rep, res, model, version, maker):
    numbers = version_numbers(version)
    if version == SHIPPED_TEXTS[3]:
        rep.check(numbers == (1, 5, 0, 0), "version V1.05 reads as 1.5.0.0", str(numbers))
    for lang, (block, product) in VERSION_BLOCKS.items():
        info = version_info(res.get((RT_VERSION, 1, lang), b""))
        if not rep.check(info is not None, "version resource (%d) is well formed" % lang):
            continue
        rep.check(info["file"] == info["product"] == numbers, "version (%d) is %s" % (lang, numbers),
                  "file %s, product %s" % (info["file"], info["product"]))
        want = {"CompanyName": maker, "FileDescription": model + product, "FileVersion": version,
                "InternalName": "FirmwareUpdater", "OriginalFilename": "FirmwareUpdater.exe",
                "ProductName": model + product, "ProductVersion": version}
        rep.check(info["strings"] == {block: want} and info["translations"] == [(lang, 1200)],
                  "version details (%d) in block %s, as the profile gives them" % (lang, block),
                  "%s, translations %s" % (info["strings"], info["translations"]))


def check_pe_shape(rep, exe):
    rep.check(exe.machine == 0x14C and exe.pe32, "image is 32-bit x86", "machine 0x%X" % exe.machine)
    rep.check(exe.subsystem == 2, "subsystem is Windows GUI", "subsystem %d" % exe.subsystem)
    dlls = exe.imports
    foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
    rep.check(dlls and not foreign, "imports only system DLLs", "imports %s" % foreign if dlls else "no imports")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("exe", "firmware", "eula-en", "eula-ja", "hardware-id", "access-method",
                 "model-name", "version-text", "maker"):
        ap.add_argument("--" + name, required=True)
    args = ap.parse_args(argv)
    rep = Report()
    try:
        exe = Executable(args.exe)
    except (OSError, NotAnExecutable) as e:
        rep.check(False, "%s is a readable PE file" % args.exe, str(e))
    else:
        res = exe.resources()
        texts = (args.hardware_id, args.access_method, args.model_name, args.version_text)
        check_inventory(rep, res)
        check_dialogs(rep, res)
        check_strings(rep, res, texts)
        check_eula(rep, res, (args.eula_en, args.eula_ja))
        check_firmware(rep, res, args.firmware)
        check_icons(rep, res)
        check_manifest(rep, res)
        check_version(rep, res, args.model_name, args.version_text, args.maker)
        check_pe_shape(rep, exe)
    print("%d passed, %d failed" % (rep.passed, rep.failed))
    return 1 if rep.failed else 0


if __name__ == "__main__":
    sys.exit(main())
