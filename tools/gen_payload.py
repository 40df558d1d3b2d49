#!/usr/bin/env python3
"""Builds the payload store of Setup.exe from the install manifest.

The manifest (payload/files/Setup.log, UTF-8 in the repository) is the one list of entries:
every line "ResName ResType RelPath" becomes one resource `RESNAME RESTYPE "file"` of the
generated resource script, under the language Chinese (PRC), 2052. The bytes of an entry come
from the first of these that exists for its RelPath ("\\" read as "/"):

  --built RelPath=FILE        a file made by the build (the programs KVRN.exe, Uninstall.exe)
  <files>/<RelPath>           UTF-8 text, stored as GBK with CR LF line ends
  <files>/<RelPath>.gen       a deterministic stand-in: "size=N" bytes (see standin_bytes)
  <files>/<RelPath>.bin       raw bytes, stored unchanged

Exactly one of them must exist. The manifest entry itself is the manifest converted to GBK
with CR LF between lines and no line end after the last.

Outputs, below --out: entries/<ResName>.<ResType> (one file per entry, rewritten only when
its bytes change, so the resource compiler reruns only for real changes) and the resource
script given by --rc. Any fault is reported as "payload: ..." and exits with status 1.
"""

import argparse
import hashlib
import os
import re
import struct
import sys

# Words the resource compiler reads as statements or predefined types; an entry name or type
# spelled like one of them would be misread.
RC_KEYWORDS = {
    "ACCELERATORS", "ANICURSOR", "ANIICON", "BITMAP", "CURSOR", "DIALOG", "DIALOGEX",
    "DLGINCLUDE", "DLGINIT", "FONT", "FONTDIR", "HTML", "ICON", "LANGUAGE", "MANIFEST",
    "MENU", "MENUEX", "MESSAGETABLE", "PLUGPLAY", "RCDATA", "STRINGTABLE", "TOOLBAR",
    "VERSIONINFO", "VXD", "CHARACTERISTICS", "VERSION", "BEGIN", "END",
}
IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*\Z")

# The two control texts that the uninstaller looks for beside itself under fixed names.
REQUIRED_LINES = [("FileTxt5", "txtname", "Setup.log"), ("FileTxt6", "txtname", "Setup.ini")]


class PayloadError(Exception):
    pass


def split_lines(text):
    """Lines as the programs split them: CR LF, CR or LF ends a line; no empty last line."""
    lines = re.split(r"\r\n|\r|\n", text)
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def parse_line(line):
    """ResName, ResType, RelPath of one line, by the programs' rule: the path starts two
    blanks past the lengths of the first two fields."""
    first = line.find(" ")
    name = line if first < 0 else line[:first]
    rtype = ""
    if first >= 0:
        end = line.find(" ", first + 1)
        rtype = line[first + 1:] if end < 0 else line[first + 1:end]
    start = len(name) + len(rtype) + 2
    return name, rtype, line[start:] if start < len(line) else ""


def to_gbk_text(data, where):
    """UTF-8 source text -> GBK bytes with CR LF line ends."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise PayloadError(f"{where}: not UTF-8 text ({e}); binary files take the suffix .bin")
    text = text.removeprefix("\ufeff").replace("\r\n", "\n").replace("\r", "\n")
    out = bytearray()
    for number, line in enumerate(text.split("\n"), 1):
        try:
            encoded = line.encode("gbk")
        except UnicodeEncodeError as e:
            bad = line[e.start]
            raise PayloadError(f"{where}:{number}: character {bad!r} (U+{ord(bad):04X}) "
                               "has no GBK code")
        if number > 1:
            out += b"\r\n"
        out += encoded
    return bytes(out)


def standin_bytes(descriptor, rel_path, where):
    """A stand-in for an opaque application file: a small header (magic, size) followed by
    SHAKE-256 output seeded with the install path, cut to exactly `size` bytes. The same
    descriptor always gives the same bytes."""
    fields = {}
    for number, raw in enumerate(descriptor.decode("utf-8").splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        key, sep, value = line.partition("=")
        if not sep:
            raise PayloadError(f"{where}:{number}: expected key=value, got {raw!r}")
        fields[key.strip().lower()] = value.strip()
    unknown = set(fields) - {"size", "magic"}
    if unknown:
        raise PayloadError(f"{where}: unknown keys {sorted(unknown)}")
    if not re.fullmatch(r"\d+", fields.get("size", "")):
        raise PayloadError(f"{where}: needs size=<number of bytes>")
    size = int(fields["size"])
    magic = fields.get("magic", "KVRN").encode("ascii")
    if len(magic) > 8:
        raise PayloadError(f"{where}: magic is at most 8 ASCII characters")
    header = magic.ljust(8, b"\0") + struct.pack("<II", size, 1)
    body = hashlib.shake_256(b"korvane-standin\0" + rel_path.encode("utf-8")).digest(size)
    return (header + body)[:size]


def check_entry(number, name, rtype, rel):
    where = f"manifest line {number} ({name} {rtype} {rel})"
    for label, value in (("name", name), ("type", rtype)):
        if not IDENT.match(value):
            raise PayloadError(f"{where}: entry {label} {value!r} must be letters, digits "
                               "and '_', not starting with a digit")
        if value.upper() in RC_KEYWORDS:
            raise PayloadError(f"{where}: entry {label} {value!r} is a resource script word")
    if not rel or rel != rel.strip(" "):
        raise PayloadError(f"{where}: the path is empty or has leading/trailing blanks")
    parts = rel.split("\\")
    if len(parts) > 2 or any(p in ("", ".", "..") for p in parts) or re.search(r"[:/*?\"<>|]",
                                                                             rel):
        raise PayloadError(f"{where}: the path must be a file name, optionally below one "
                           "folder (\"SdbFile\\name\")")
    return where


def resolve_source(files_dir, rel, built, where):
    """(kind, path) of the one source of an entry."""
    local = os.path.join(files_dir, *rel.split("\\"))
    found = []
    if rel in built:
        found.append(("built", built[rel]))
    for kind, path in (("text", local), ("gen", local + ".gen"), ("bin", local + ".bin")):
        if os.path.isfile(path):
            found.append((kind, path))
    if not found:
        raise PayloadError(f"{where}: no payload file; expected {local} (text), {local}.gen, "
                           f"{local}.bin, or a built file passed as --built {rel}=FILE")
    if len(found) > 1:
        raise PayloadError(f"{where}: more than one source: " + ", ".join(p for _, p in found))
    kind, path = found[0]
    if kind == "built" and not os.path.isfile(path):
        raise PayloadError(f"{where}: built file {path} does not exist")
    return found[0]


def entry_bytes(kind, path, rel, where):
    with open(path, "rb") as f:
        data = f.read()
    if kind == "text":
        return to_gbk_text(data, path)
    if kind == "gen":
        return standin_bytes(data, rel, path)
    return data


def build(manifest_path, files_dir, built, out_dir, rc_path):
    with open(manifest_path, "rb") as f:
        manifest_src = f.read()
    # The manifest has no line end after its last line, whatever the editor left there.
    manifest_gbk = to_gbk_text(manifest_src, manifest_path).rstrip(b"\r\n")
    # The entries are read from the very bytes that are stored, so both always agree.
    lines = split_lines(manifest_gbk.decode("gbk"))
    if not lines:
        raise PayloadError(f"{manifest_path}: the manifest is empty")

    entries = []
    seen_ids, seen_paths = {}, {}
    for number, line in enumerate(lines, 1):
        name, rtype, rel = parse_line(line)
        where = check_entry(number, name, rtype, rel)
        key = (name.upper(), rtype.upper())
        if key in seen_ids:
            raise PayloadError(f"{where}: entry {name}/{rtype} already on line {seen_ids[key]}")
        seen_ids[key] = number
        if rel.upper() in seen_paths:
            raise PayloadError(f"{where}: path already written by line {seen_paths[rel.upper()]}")
        seen_paths[rel.upper()] = number
        entries.append((number, name, rtype, rel, where))

    present = {(n.upper(), t.upper(), r.upper()) for _, n, t, r, _ in entries}
    for name, rtype, rel in REQUIRED_LINES:
        if (name.upper(), rtype.upper(), rel.upper()) not in present:
            raise PayloadError(f"{manifest_path}: the line \"{name} {rtype} {rel}\" is missing; "
                               "the uninstaller finds its manifest and config only under "
                               "these names")
    manifest_rel = os.path.relpath(manifest_path, files_dir).replace(os.sep, "\\")

    entries_dir = os.path.join(out_dir, "entries")
    os.makedirs(entries_dir, exist_ok=True)
    rc = ["// Generated by tools/gen_payload.py from the install manifest; do not edit.",
          "LANGUAGE 4, 2  // Chinese (PRC), 2052", ""]
    wanted = set()
    used_sources = set()
    for number, name, rtype, rel, where in entries:
        if rel == manifest_rel:
            data = manifest_gbk
            used_sources.add(os.path.abspath(manifest_path))
        else:
            kind, path = resolve_source(files_dir, rel, built, where)
            data = entry_bytes(kind, path, rel, where)
            used_sources.add(os.path.abspath(path))
        file_name = f"{name}.{rtype}"
        wanted.add(file_name)
        target = os.path.join(entries_dir, file_name)
        write_if_changed(target, data)
        rc.append(f'{name} {rtype} "{os.path.abspath(target).replace(os.sep, "/")}"')

    for stale in set(os.listdir(entries_dir)) - wanted:
        os.remove(os.path.join(entries_dir, stale))
    write_if_changed(rc_path, ("\n".join(rc) + "\n").encode("ascii"))

    for root, _, names in os.walk(files_dir):
        for n in names:
            p = os.path.abspath(os.path.join(root, n))
            if p not in used_sources:
                print(f"payload: warning: {p} is named by no manifest line and is not embedded",
                      file=sys.stderr)
    return len(entries)


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--manifest", required=True, help="the manifest source (UTF-8)")
    ap.add_argument("--files", required=True, help="folder of the payload sources")
    ap.add_argument("--built", action="append", default=[], metavar="RELPATH=FILE")
    ap.add_argument("--out", required=True, help="folder for the entry files")
    ap.add_argument("--rc", required=True, help="resource script to write")
    args = ap.parse_args(argv)
    built = {}
    for item in args.built:
        rel, sep, path = item.partition("=")
        if not sep:
            ap.error(f"--built wants RELPATH=FILE, got {item!r}")
        built[rel] = path
    try:
        count = build(args.manifest, args.files, built, args.out, args.rc)
    except (PayloadError, OSError, UnicodeDecodeError) as e:
        print(f"payload: {e}", file=sys.stderr)
        return 1
    print(f"payload: {count} entries")
    return 0


if __name__ == "__main__":
    sys.exit(main())
