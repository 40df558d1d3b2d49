#!/usr/bin/env python3
"""Checks that the shipped sources give nothing back by hand.

    release_calls.py SOURCE_DIR

Every Win32 call that closes, frees, destroys or ends what another call gave (a handle, a key,
memory, a window, a paint, a saved DC state, COM) is made by the closers in winkit/handles.h
alone, so that an owner holds each of those things on every path. Prints each call found
elsewhere in the shipped folders and exits 1 if there is one.
"""

import pathlib
import re
import sys

SHIPPED = ("common", "platform", "ui", "installer", "uninstaller", "kvrn", "winkit")
OWNERS = {"winkit/handles.h"}
# A call of the function itself: not a method of ours of the same name (system->RegCloseKey,
# the platform's RegCloseKey(RegKey key)).
RELEASE = re.compile(
    r"(?<![\w>.:])(CloseHandle|FindClose|RegCloseKey|DeleteObject|DeleteDC|ReleaseDC|EndPaint|"
    r"RestoreDC|GlobalUnlock|GlobalFree|LocalFree|CoTaskMemFree|GlobalDeleteAtom|DeleteAtom|"
    r"DdeFreeStringHandle|DdeFreeDataHandle|DdeUninitialize|DestroyWindow|OleUninitialize|"
    r"CoUninitialize|UnmapViewOfFile|DeleteCriticalSection|LeaveCriticalSection|FreeLibrary|"
    r"DestroyIcon|DestroyMenu|DestroyCursor)\s*\((?!RegKey )|->Release\(\)|(?<!\w)::RegCloseKey\(")


def main(root):
    found = []
    for folder in SHIPPED:
        for path in sorted((root / folder).rglob("*")):
            name = path.relative_to(root).as_posix()
            if path.suffix not in (".cpp", ".h") or name in OWNERS:
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if RELEASE.search(line.split("//")[0]):
                    found.append(f"{name}:{number}: {line.strip()}")
    print("\n".join(found) or "no release call outside the owners")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
