"""The payload store of the real Setup.exe as Wine's resource functions see it: case-blind
lookup, the table of named entries, and every manifest entry byte for byte against its
source (the payload folder, the built programs, the generated entry files)."""

import re
import unittest

import harness

FILES = harness.REPO / "payload" / "files"


def gbk_text(path):
    """A UTF-8 text source as the programs store it: GBK with CR LF between lines."""
    text = path.read_bytes().decode("utf-8").removeprefix("\ufeff")
    lines = re.split(r"\r\n|\r|\n", text)
    return "\r\n".join(lines).encode("gbk")


def manifest_lines(data):
    lines = re.split(rb"\r\n|\r|\n", data.split(b"\0")[0])
    return lines[:-1] if lines and lines[-1] == b"" else lines


def parse(line):
    first = line.find(b" ")
    name = line if first < 0 else line[:first]
    rtype = b""
    if first >= 0:
        end = line.find(b" ", first + 1)
        rtype = line[first + 1:] if end < 0 else line[first + 1:end]
    return name.decode(), rtype.decode(), line[len(name) + len(rtype) + 2:].decode("gbk")


def generated_entries():
    """(NAME, TYPE) -> file, from the resource script the build generated."""
    rc = harness.cross_dir() / "generated" / "payload" / "payload.rc"
    if not rc.is_file():
        raise harness.HarnessError(f"the generated payload script {rc} is missing")
    table = {}
    for line in rc.read_text().splitlines():
        m = re.match(r'^(\w+) (\w+) "(.*)"$', line)
        if m:
            table[(m.group(1).upper(), m.group(2).upper())] = harness.Path(m.group(3))
    return table


@harness.both_code_pages
class PayloadChecks:
    fresh_prefix_per_test = False

    def setUp(self):
        super().setUp()
        self.setup_exe = self.program("Setup.exe")

    def test_manifest_lookup_without_regard_to_case(self):
        found = [self.wine.dump_resource(self.setup_exe, name, rtype)
                 for name, rtype in (("FileTxt5", "txtname"), ("FILETXT5", "TXTNAME"),
                                     ("filetxt5", "TxtName"))]
        self.assertEqual(len(found[0]), 1193)
        self.assertEqual(found[0], found[1])
        self.assertEqual(found[0], found[2])
        self.assertEqual(found[0], gbk_text(FILES / "Setup.log").rstrip(b"\r\n"))
        self.assertFalse(found[0].endswith(b"\n"), "no line end after the last line")
        code, _ = self.wine.driver("dump-resource", harness.win_path(self.setup_exe),
                                   "FileTxt7", "txtname", "D:\\missing.bin", check=False)
        self.assertEqual(code, 2, "an entry that is not in the store is not found")

    def test_resource_table(self):
        manifest = manifest_lines(self.wine.dump_resource(self.setup_exe, "FileTxt5",
                                                          "txtname"))
        entries = [parse(line) for line in manifest]
        self.assertEqual(len(entries), 32)
        named = [r for r in self.wine.resources(self.setup_exe)
                 if not r["name"].startswith("#") and not r["type"].startswith("#")]
        self.assertEqual(len(named), 32)
        for r in named:
            self.assertEqual(r["lang"], 2052, r)
            self.assertEqual((r["name"], r["type"]), (r["name"].upper(), r["type"].upper()))
        self.assertEqual(sorted((r["name"], r["type"]) for r in named),
                         sorted((n.upper(), t.upper()) for n, t, _ in entries))

    def test_every_entry_matches_its_source(self):
        manifest = manifest_lines(self.wine.dump_resource(self.setup_exe, "FileTxt5",
                                                          "txtname"))
        generated = generated_entries()
        built = {"KVRN.exe": self.program("KVRN.exe"),
                 "Uninstall.exe": self.program("Uninstall.exe")}
        sizes = {(r["name"], r["type"]): r["size"] for r in self.wine.resources(self.setup_exe)}
        self.assertEqual(len(manifest), 32)
        for name, rtype, rel in map(parse, manifest):
            with self.subTest(entry=f"{name} {rtype} {rel}"):
                data = self.wine.dump_resource(self.setup_exe, name, rtype)
                self.assertEqual(len(data), sizes[(name.upper(), rtype.upper())])
                self.assertEqual(data, generated[(name.upper(), rtype.upper())].read_bytes())
                source = FILES.joinpath(*rel.split("\\"))
                if rel in built:
                    self.assertEqual(data, built[rel].read_bytes())
                elif rel == "Setup.log":
                    self.assertEqual(data, gbk_text(source).rstrip(b"\r\n"))
                elif source.is_file():
                    self.assertEqual(data, gbk_text(source))
                else:
                    # An opaque stand-in: its bytes are the generated file's (checked above).
                    self.assertTrue(any(source.with_name(source.name + ext).is_file()
                                        for ext in (".gen", ".bin")), f"no source for {rel}")


if __name__ == "__main__":
    unittest.main()
