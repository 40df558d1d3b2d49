#!/usr/bin/env python3
"""Checks the built Windows programs of a cross build tree.

    check_programs.py CROSS_BUILD_DIR [i686|x86_64]

For each of KVRN.exe, Uninstall.exe and Setup.exe that exists: a GUI program for the tree's
processor (i686, the shipped PE32 programs, by default; x86_64 for their PE32+ twins) with an application manifest (id 1) asking for common controls 6, the execution level its
program needs and a compatibility section, and the icon MAINICON. Uninstall.exe and Setup.exe
carry their pictures at the sizes the forms expect. Each imports only DLLs that Windows loads
from its own folder whatever lies beside the program (KnownDLLs), plus comctl32, which the
manifest binds to the system's version 6. Setup.exe carries exactly the payload
entries of the install manifest, under upper-case names and types, in language 2052 only,
each byte-identical to the entry file the build generated (generated/payload/entries), the
program entries identical to the built KVRN.exe and Uninstall.exe. Each program carries a
version resource in language 2052 naming the product, its Chinese description and the version
of the config that Setup.exe embeds (Form/Version of Setup.ini).

Exits 77 (skipped) when the tree holds none of the programs, 1 on any fault.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_resources import (RT_BITMAP, RT_GROUP_ICON, RT_MANIFEST, RT_VERSION,  # noqa: E402
                          PeFile, bitmap_size, version_strings)

EXPECTED = {
    "KVRN.exe": {"level": "asInvoker", "bitmaps": {}, "description": "Korvane 主程序"},
    "Uninstall.exe": {"level": "requireAdministrator", "description": "Korvane 卸载程序",
                      "bitmaps": {"LEFTSTRIP": (165, 300), "UNHEADER": (400, 54)}},
    "Setup.exe": {"level": "requireAdministrator", "description": "Korvane 安装程序",
                  "bitmaps": {"BACKDROP": (1024, 711), "LEFTSTRIP": (165, 300),
                              "HEADER": (540, 54)}},
}
# The KnownDLLs of every Windows the programs run on (7 to 11, 32- and 64-bit): the loader maps
# these from the system folder only, never from the program's folder. ntdll is always the
# system's. Any other DLL a program imports would be searched for beside the program first,
# and a downloads folder or an install folder on a second drive is writable by others.
KNOWN_DLLS = {"ntdll", "kernel32", "advapi32", "clbcatq", "comdlg32", "difxapi", "gdi32",
              "imagehlp", "imm32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32",
              "psapi", "sechost", "setupapi", "shell32", "shlwapi", "user32", "wldap32",
              "ws2_32"}
STANDARD_TYPES = {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 14, 16, 22, 23, 24}
MACHINES = {"i686": 0x14C, "x86_64": 0x8664}
SUPPORTED_OS = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"  # Windows 10 and 11


def config_version(build_dir):
    """The product version ("2.5") of the config the build embedded, None when unknown."""
    try:
        with open(os.path.join(build_dir, "generated", "payload", "entries",
                               "FileTxt6.txtname"), "rb") as f:
            text = f.read().decode("gbk")
    except OSError:
        return None
    m = re.search(r"^Version=(\d+\.\d+)", text, re.M)
    return m.group(1) if m else None


def check_version(name, res, want, version, faults):
    found = [(lang, v) for (t, n, lang), v in res.items() if t == RT_VERSION and n == 1]
    if len(found) != 1 or found[0][0] != 2052:
        faults.append(f"{name}: {[lang for lang, _ in found]}: not one version resource in "
                      "language 2052")
        return
    strings = version_strings(found[0][1]).get("080403a8")
    if strings is None:
        faults.append(f"{name}: the version resource has no table 080403a8 (2052, GBK)")
        return
    expected = {"ProductName": "Korvane", "CompanyName": "Korvane",
                "FileDescription": want["description"], "OriginalFilename": name}
    if version:
        expected.update(ProductVersion=version, FileVersion=version + ".0.0")
    for key, value in expected.items():
        if strings.get(key) != value:
            faults.append(f"{name}: version {key} is {strings.get(key)!r}, not {value!r}")
    if not strings.get("LegalCopyright"):
        faults.append(f"{name}: version resource has no LegalCopyright")


def check_program(path, want, processor, faults):
    name = os.path.basename(path)
    pe = PeFile(path)
    if pe.machine != MACHINES[processor] or (pe.magic == 0x20B) != (processor == "x86_64"):
        faults.append(f"{name}: machine {pe.machine:#x} (magic {pe.magic:#x}), not {processor}")
    if pe.subsystem != 2:
        faults.append(f"{name}: subsystem {pe.subsystem}, not Windows GUI")
    res = pe.resources()
    manifests = [v for (t, n, _), v in res.items() if t == RT_MANIFEST and n == 1]
    if len(manifests) != 1:
        faults.append(f"{name}: {len(manifests)} application manifests with id 1")
    else:
        text = manifests[0].decode("utf-8")
        if not re.search(r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"',
                         text):
            faults.append(f"{name}: manifest does not ask for common controls 6")
        if f'requestedExecutionLevel level="{want["level"]}"' not in text:
            faults.append(f"{name}: manifest does not request {want['level']}")
        if "<compatibility" not in text or SUPPORTED_OS not in text:
            faults.append(f"{name}: manifest has no compatibility section for Windows 10")
    allowed = set(KNOWN_DLLS)
    if manifests and "Microsoft.Windows.Common-Controls" in manifests[0].decode("utf-8"):
        allowed.add("comctl32")
    for dll in pe.imports():
        if dll.lower().removesuffix(".dll") not in allowed:
            faults.append(f"{name}: imports {dll}, which is not a KnownDLL: Windows would "
                          "look for it beside the program first")
    check_version(name, res, want, config_version(os.path.dirname(path)), faults)
    if not any(t == RT_GROUP_ICON and n == "MAINICON" for t, n, _ in res):
        faults.append(f"{name}: no icon MAINICON")
    for bitmap, size in want["bitmaps"].items():
        found = [v for (t, n, _), v in res.items() if t == RT_BITMAP and n == bitmap]
        if not found:
            faults.append(f"{name}: no bitmap {bitmap}")
        elif bitmap_size(found[0])[:2] != size:
            faults.append(f"{name}: bitmap {bitmap} is {bitmap_size(found[0])[:2]}, not {size}")
    return res


def check_payload(build_dir, res, faults):
    entries_dir = os.path.join(build_dir, "generated", "payload", "entries")
    if not os.path.isdir(entries_dir):
        faults.append(f"Setup.exe: no generated entries in {entries_dir}")
        return
    expected = {}
    for file_name in os.listdir(entries_dir):
        rname, _, rtype = file_name.partition(".")
        with open(os.path.join(entries_dir, file_name), "rb") as f:
            expected[(rtype.upper(), rname.upper())] = f.read()
    payload = {(t, n): (lang, v) for (t, n, lang), v in res.items()
               if isinstance(t, str) and t not in STANDARD_TYPES}
    for (t, n, lang) in res:
        if isinstance(t, str) and (t != t.upper() or (isinstance(n, str) and n != n.upper())):
            faults.append(f"Setup.exe: entry {n}/{t} not stored in upper case")
    counts = {}
    for (t, n, lang) in res:
        if isinstance(t, str):
            counts[(t, n)] = counts.get((t, n), 0) + 1
    for key, count in counts.items():
        if count != 1:
            faults.append(f"Setup.exe: entry {key[1]}/{key[0]} stored in {count} languages")
    if set(payload) != set(expected):
        faults.append(f"Setup.exe: payload entries differ from the manifest: missing "
                      f"{sorted(set(expected) - set(payload))}, extra "
                      f"{sorted(set(payload) - set(expected))}")
    for key, data in expected.items():
        if key not in payload:
            continue
        lang, stored = payload[key]
        if lang != 2052:
            faults.append(f"Setup.exe: entry {key[1]}/{key[0]} in language {lang}, not 2052")
        if stored != data:
            faults.append(f"Setup.exe: entry {key[1]}/{key[0]} differs from its source "
                          f"({len(stored)} bytes, expected {len(data)})")
    for key, program in ((("EXENAME", "FILEEXE"), "KVRN.exe"),
                         (("EXENAME", "UNINSTALL"), "Uninstall.exe")):
        path = os.path.join(build_dir, program)
        if key in payload and os.path.isfile(path):
            with open(path, "rb") as f:
                if f.read() != payload[key][1]:
                    faults.append(f"Setup.exe: entry {key[1]} is not the built {program}")
    manifest = payload.get(("TXTNAME", "FILETXT5"), (0, b""))[1]
    if len(manifest) != 1193:
        faults.append(f"Setup.exe: FILETXT5 is {len(manifest)} bytes, not 1193")
    total = sum(len(v) for _, v in payload.values())
    return total


def main(argv):
    if len(argv) not in (2, 3) or (len(argv) == 3 and argv[2] not in MACHINES):
        print(__doc__)
        return 2
    build_dir = argv[1]
    processor = argv[2] if len(argv) == 3 else "i686"
    present = [p for p in EXPECTED if os.path.isfile(os.path.join(build_dir, p))]
    if not present:
        print(f"no programs in {build_dir}: skipped")
        return 77
    faults = []
    for program in present:
        path = os.path.join(build_dir, program)
        res = check_program(path, EXPECTED[program], processor, faults)
        size = os.path.getsize(path)
        if program == "Setup.exe":
            payload_bytes = check_payload(build_dir, res, faults) or 0
            print(f"Setup.exe: {size} bytes, payload {payload_bytes}, "
                  f"overhead {size - payload_bytes}")
        else:
            print(f"{program}: {size} bytes")
    for missing in sorted(set(EXPECTED) - set(present)):
        print(f"{missing}: not built, not checked")
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
