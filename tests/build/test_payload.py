"""Checks of the payload as the build makes it: the exact bytes of the install manifest and the
setup config, the stand-in files, the resource script, and the generator's refusals."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FILES = os.path.join(ROOT, "payload", "files")
GENERATOR = os.path.join(ROOT, "tools", "gen_payload.py")

# (ResName, ResType, folder part of RelPath, size or None when free) in manifest order.
TABLE = [
    ("FileExe", "exename", "", None), ("uninstall", "exename", "", None),
    ("FileIni", "ininame", "", None), ("FileTxt1", "txtname", "", None),
    ("FileTxt2", "txtname", "", None), ("FileTxt3", "txtname", "", None),
    ("FileTxt4", "txtname", "", None), ("FileTxt5", "txtname", "", 1193),
    ("FileTxt6", "txtname", "", None), ("HelpFile", "chmName", "", 1054488),
    ("SdbFileDB1d", "DBname1", "SdbFile", 2883), ("SdbFileDB1i", "DBname1", "SdbFile", 8192),
    ("SdbFileDB2d", "DBname2", "SdbFile", 877855), ("SdbFileDB2i", "DBname2", "SdbFile", 36864),
    ("SdbFileDB3d", "DBname3", "SdbFile", 3967), ("SdbFileDB3i", "DBname3", "SdbFile", 4096),
    ("SdbFileDB4d", "DBname4", "SdbFile", 5194), ("SdbFileDB4i", "DBname4", "SdbFile", 8192),
    ("SdbFileDB5d", "DBname5", "SdbFile", 21631), ("SdbFileDB5i", "DBname5", "SdbFile", 4096),
] + [(f"SdbFileTxt{i}", f"Txtname{i}", "SdbFile", None) for i in range(1, 9)] + [
    ("SdbFiledes", "desname", "SdbFile", 241630),
    ("SdbFileDB9d", "DBname9", "SdbFile", 5893), ("SdbFileDB9i", "DBname9", "SdbFile", 8192),
    ("UserFile", "name1", "UserFile", 4478),
]

CONFIG_LINES = [
    "[***]", "", "[Form]", "Caption=Korvanev2.5（专业版）", "Version=2.5（专业版）",
    "SQXY=用户授权协议", "desKtopLink=\\Korvanev2.5(专业版).lnk", "", "[SetupDir]", "Drive=D:",
    "DirName=Korvn25", "SetupPath=D:\\Program Files\\Korvn25", "", "[Run]", "FileName=KVRN.exe",
    "RJSize=15", "",
]


def has_chinese(text):
    return any("\u4e00" <= c <= "\u9fff" for c in text)


def run_generator(files_dir, out_dir, built=None):
    """Runs the generator as the build does; returns (exit status, stderr)."""
    if built is None:
        built = {}
        for rel in ("KVRN.exe", "Uninstall.exe"):
            path = os.path.join(out_dir, "built-" + rel)
            os.makedirs(out_dir, exist_ok=True)
            with open(path, "wb") as f:
                f.write(b"MZ" + rel.encode())
            built[rel] = path
    args = [sys.executable, GENERATOR, "--manifest", os.path.join(files_dir, "Setup.log"),
            "--files", files_dir, "--out", out_dir, "--rc", os.path.join(out_dir, "payload.rc")]
    for rel, path in built.items():
        args += ["--built", f"{rel}={path}"]
    proc = subprocess.run(args, capture_output=True, text=True)
    return proc.returncode, proc.stderr


class ShippedPayload(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="korv-payload-")
        status, err = run_generator(FILES, cls.tmp)
        if status != 0:
            raise AssertionError("generator failed: " + err)
        cls.entries = os.path.join(cls.tmp, "entries")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def entry(self, name, rtype):
        with open(os.path.join(self.entries, f"{name}.{rtype}"), "rb") as f:
            return f.read()

    def manifest_lines(self):
        return self.entry("FileTxt5", "txtname").decode("gbk").split("\r\n")

    def test_manifest_bytes_and_line_ends(self):
        data = self.entry("FileTxt5", "txtname")
        self.assertEqual(len(data), 1193)
        self.assertFalse(data.endswith(b"\r\n") or data.endswith(b"\n"))
        # CR only before LF, LF only after CR: CR LF and nothing else ends a line.
        self.assertEqual(data.count(b"\r"), 31)
        self.assertEqual(data.count(b"\n"), 31)
        self.assertEqual(data.count(b"\r\n"), 31)
        self.assertNotIn(b"\0", data)

    def test_manifest_lines_follow_the_table(self):
        lines = self.manifest_lines()
        self.assertEqual(len(lines), 32)
        for line, (name, rtype, folder, _) in zip(lines, TABLE):
            with self.subTest(line=line):
                self.assertEqual(line.count(" "), 2)
                got_name, got_type, rel = line.split(" ")
                self.assertEqual((got_name, got_type), (name, rtype))
                self.assertEqual(rel.rpartition("\\")[0], folder)
                self.assertTrue(rel.rpartition("\\")[2])
        for example in ("FileExe exename KVRN.exe", "uninstall exename Uninstall.exe",
                        "FileTxt5 txtname Setup.log", "FileTxt6 txtname Setup.ini",
                        "HelpFile chmName Help.chm", "FileTxt4 txtname 用户授权协议.txt",
                        "FileIni ininame Options.ini", "FileTxt1 txtname History.txt",
                        "FileTxt2 txtname Readme.txt"):
            self.assertIn(example, lines)

    def test_manifest_file_names(self):
        rel = {line.split(" ")[0]: line.split(" ")[2] for line in self.manifest_lines()}
        leaf = {k: v.rpartition("\\")[2] for k, v in rel.items()}
        self.assertTrue(leaf["FileTxt3"].endswith(".txt") and has_chinese(leaf["FileTxt3"]))
        self.assertTrue(leaf["UserFile"].endswith(".Kvx") and has_chinese(leaf["UserFile"]))
        self.assertTrue(leaf["SdbFiledes"].endswith(".des"))
        for n in (1, 2, 3, 4, 5, 9):
            data, index = leaf[f"SdbFileDB{n}d"], leaf[f"SdbFileDB{n}i"]
            self.assertTrue(data.endswith(".dat") and index.endswith(".idx"), (data, index))
            self.assertEqual(data[:-4], index[:-4])
        stems = set()
        for n in range(1, 9):
            m = re.fullmatch(r"(.+)(\d)\.txt", leaf[f"SdbFileTxt{n}"])
            self.assertTrue(m and m.group(2) == str(n), leaf[f"SdbFileTxt{n}"])
            stems.add(m.group(1))
        self.assertEqual(len(stems), 1)
        self.assertEqual(len({v.upper() for v in rel.values()}), 32)

    def test_config_layout(self):
        data = self.entry("FileTxt6", "txtname")
        self.assertTrue(data.endswith(b"RJSize=15\r\n\r\n"))
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        self.assertNotIn(b"\r", data.replace(b"\r\n", b""))
        lines = data.decode("gbk").split("\r\n")
        self.assertEqual(lines.pop(), "")  # what follows the last line end
        self.assertEqual(lines, CONFIG_LINES)
        # Full-width parentheses in the caption, ASCII ones in the link name.
        self.assertIn("（专业版）".encode("gbk"), data)
        self.assertIn(b"\xa3\xa8", data)

    def test_sizes_and_text_encoding(self):
        for name, rtype, _, size in TABLE:
            data = self.entry(name, rtype)
            if size is not None:
                self.assertEqual(len(data), size, name)
            if rtype.lower().startswith("txt") or rtype == "ininame":
                text = data.decode("gbk")  # fails on bytes that are not GBK
                self.assertNotIn("\n", text.replace("\r\n", ""), name)
                self.assertTrue(text.strip(), name)
        self.assertTrue(self.entry("FileIni", "ininame").startswith(b"[***]\r\n"))
        self.assertTrue(self.entry("UserFile", "name1").decode("gbk").startswith("["))
        self.assertTrue(1400 <= len(self.entry("FileTxt4", "txtname")) <= 1800)
        self.assertEqual(self.entry("FileExe", "exename"), b"MZKVRN.exe")
        self.assertEqual(self.entry("uninstall", "exename"), b"MZUninstall.exe")

    def test_standins_are_deterministic_and_distinct(self):
        again = tempfile.mkdtemp(prefix="korv-payload-")
        try:
            status, err = run_generator(FILES, again)
            self.assertEqual(status, 0, err)
            for name in os.listdir(self.entries):
                with open(os.path.join(again, "entries", name), "rb") as f:
                    self.assertEqual(f.read(), self.entry(*name.split(".")), name)
        finally:
            shutil.rmtree(again)
        # Two index files of the same size must still differ (seeded by their paths).
        self.assertNotEqual(self.entry("SdbFileDB1i", "DBname1"),
                            self.entry("SdbFileDB4i", "DBname4"))

    def test_resource_script_lists_every_line(self):
        with open(os.path.join(self.tmp, "payload.rc"), encoding="ascii") as f:
            script = f.read().splitlines()
        self.assertIn("LANGUAGE 4, 2", [s.split("//")[0].strip() for s in script])
        resources = [s for s in script if s and not s.startswith(("//", "LANGUAGE"))]
        self.assertEqual(len(resources), 32)
        for line, (name, rtype, _, _) in zip(resources, TABLE):
            m = re.fullmatch(r'(\w+) (\w+) "([^"]+)"', line)
            self.assertTrue(m, line)
            self.assertEqual((m.group(1), m.group(2)), (name, rtype))
            with open(m.group(3), "rb") as f:
                self.assertEqual(f.read(), self.entry(name, rtype))


class GeneratorRefusals(unittest.TestCase):
    """The build stops, naming the cause, when the manifest and the files disagree."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="korv-payload-")
        self.files = os.path.join(self.tmp, "files")
        shutil.copytree(FILES, self.files)
        self.out = os.path.join(self.tmp, "out")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def edit_manifest(self, change):
        path = os.path.join(self.files, "Setup.log")
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(change(lines)) + "\n")

    def assertRefused(self, *fragments, built=None):
        status, err = run_generator(self.files, self.out, built)
        self.assertEqual(status, 1, err)
        self.assertTrue(err.startswith("payload: "), err)
        for fragment in fragments:
            self.assertIn(fragment, err)

    def test_line_naming_no_file(self):
        self.edit_manifest(lambda ls: ls + ["Extra txtname SdbFile\\Missing.txt"])
        self.assertRefused("line 33", "no payload file", "Missing.txt")

    def test_removed_source_file(self):
        os.remove(os.path.join(self.files, "SdbFile", "Recent.idx.gen"))
        self.assertRefused("line 31", "SdbFileDB9i", "no payload file")

    def test_missing_built_program(self):
        self.assertRefused("line 1", "KVRN.exe", built={"Uninstall.exe": GENERATOR})

    def test_control_text_lines_required(self):
        for drop, shown in (("FileTxt5", "FileTxt5 txtname Setup.log"),
                            ("FileTxt6", "FileTxt6 txtname Setup.ini")):
            with self.subTest(drop=drop):
                shutil.copy(os.path.join(FILES, "Setup.log"), os.path.join(self.files,
                                                                            "Setup.log"))
                self.edit_manifest(lambda ls: [l for l in ls if not l.startswith(drop + " ")])
                self.assertRefused(shown, "missing")

    def test_control_text_under_a_folder_does_not_count(self):
        # The uninstaller looks for Setup.ini beside itself only.
        os.makedirs(os.path.join(self.files, "SdbFile"), exist_ok=True)
        shutil.copy(os.path.join(self.files, "Setup.ini"),
                    os.path.join(self.files, "SdbFile", "Setup.ini"))
        self.edit_manifest(lambda ls: [l.replace("txtname Setup.ini", "txtname SdbFile\\Setup.ini")
                                       for l in ls])
        self.assertRefused("FileTxt6 txtname Setup.ini", "missing")

    def test_two_sources_for_one_path(self):
        with open(os.path.join(self.files, "Help.chm.bin"), "wb") as f:
            f.write(b"x")
        self.assertRefused("line 10", "more than one source")

    def test_duplicate_entry_and_path(self):
        self.edit_manifest(lambda ls: ls + ["filetxt1 TXTNAME History2.txt"])
        self.assertRefused("line 33", "already on line 4")
        self.edit_manifest(lambda ls: ls[:-1] + ["FileTxt9 txtname history.TXT"])
        self.assertRefused("line 33", "already written by line 4")

    def test_names_the_resource_compiler_cannot_take(self):
        for bad in ("File-Exe txtname a.txt", "FileX 9type a.txt", "ICON txtname a.txt",
                    "FileX txtname ..\\a.txt", "FileX txtname A\\B\\a.txt",
                    "FileX txtname C:a.txt", "FileX txtname"):
            with self.subTest(line=bad):
                shutil.copy(os.path.join(FILES, "Setup.log"), os.path.join(self.files,
                                                                            "Setup.log"))
                self.edit_manifest(lambda ls: ls + [bad])
                self.assertRefused("line 33")

    def test_text_without_gbk_code(self):
        with open(os.path.join(self.files, "Readme.txt"), "a", encoding="utf-8") as f:
            f.write("\u30fb\n")  # KATAKANA MIDDLE DOT has no GBK code
        self.assertRefused("Readme.txt", "U+30FB", "no GBK code")

    def test_editor_line_ends_do_not_reach_the_manifest(self):
        path = os.path.join(self.files, "Setup.log")
        with open(path, "rb") as f:
            text = f.read()
        with open(path, "wb") as f:
            f.write(text.replace(b"\n", b"\r\n") + b"\r\n")  # CR LF source, extra line end
        status, err = run_generator(self.files, self.out)
        self.assertEqual(status, 0, err)
        with open(os.path.join(self.out, "entries", "FileTxt5.txtname"), "rb") as f:
            self.assertEqual(len(f.read()), 1193)


if __name__ == "__main__":
    unittest.main()
