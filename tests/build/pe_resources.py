"""Reads what the build checks need from a PE32 or PE32+ file: header fields, the DLLs it
imports and the resource tree."""

import struct


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise PeError(f"{path}: no MZ header")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise PeError(f"{path}: no PE signature")
        self.machine, nsections, _, _, _, opt_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        # PE32+ widens the image base and the four stack and heap sizes: the data directories
        # start 16 bytes later.
        widened = {0x10B: 0, 0x20B: 16}.get(self.magic)
        if widened is None:
            raise PeError(f"{path}: neither PE32 nor PE32+ (optional header magic {self.magic:#x})")
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
        ndirs = struct.unpack_from("<I", d, opt + 92 + widened)[0]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", d, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0"), vaddr, max(vsize, rawsize), rawptr))
        self.dirs = [struct.unpack_from("<I", d, opt + 96 + widened + 8 * i)[0]
                     for i in range(ndirs)]
        self.resource_rva = self.dirs[2] if ndirs > 2 else 0

    def _name_at(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """Names of the DLLs the loader maps for this file (the import directory) and of those
        its code loads on first use (the delay-import directory), as written."""
        names = []
        # An import descriptor is 20 bytes, its name at +12; a delay-import one 32 bytes, its
        # name at +4. Each list ends with a descriptor of zeros.
        for index, size, name_at in ((1, 20, 12), (13, 32, 4)):
            rva = self.dirs[index] if len(self.dirs) > index else 0
            if not rva:
                continue
            at = self.offset(rva)
            while any(self.data[at:at + size]):
                names.append(self._name_at(struct.unpack_from("<I", self.data, at + name_at)[0]))
                at += size
        return names

    def offset(self, rva):
        for _, vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise PeError(f"RVA {rva:#x} lies in no section")

    def resources(self):
        """{(type, name, language): bytes}; string ids as str, numeric ids as int."""
        if not self.resource_rva:
            return {}
        base = self.offset(self.resource_rva)
        d = self.data
        out = {}

        def ident(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                n = struct.unpack_from("<H", d, at)[0]
                return d[at + 2:at + 2 + 2 * n].decode("utf-16-le")
            return entry_name

        def walk(dir_off, path):
            named, numbered = struct.unpack_from("<HH", d, dir_off + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", d, dir_off + 16 + 8 * i)
                key = path + (ident(name),)
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), key)
                else:
                    rva, size = struct.unpack_from("<II", d, base + target)
                    start = self.offset(rva)
                    out[key] = d[start:start + size]

        walk(base, ())
        return out


RT_ICON, RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 14, 16, 24


def bitmap_size(dib):
    """Width, height and bit count of a bitmap resource (a DIB without file header)."""
    _, w, h, _, bits = struct.unpack_from("<IiiHH", dib, 0)
    return w, abs(h), bits


def version_strings(data):
    """The string tables of a version resource (VS_VERSIONINFO): {block name: {key: value}},
    for example {"080403a8": {"ProductName": "Korvane", ...}}."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        pos = (key_end + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length  # text values count characters
        value = data[pos:pos + size]
        pos = (pos + size + 3) & ~3
        children = []
        while pos < at + length:
            child, pos = node(pos)
            children.append(child)
            pos = (pos + 3) & ~3
        return (key, value, children), at + length

    (_, _, children), _ = node(0)
    tables = {}
    for key, _, blocks in children:
        if key == "StringFileInfo":
            for block, _, strings in blocks:
                tables[block] = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _ in strings}
    return tables
