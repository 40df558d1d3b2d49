"""Our INI reader (common/ini.h) against the system's profile API under Wine, on the corpus in
ini_corpus/ (blanks, letter case, quotes, long values, duplicates, brackets, keys before the
first section, lines without "=", comments, CR-only and LF-only line ends, GBK names and
values, NUL bytes, a byte-order mark), under both system code pages."""

import json
import sys
import unittest

import harness

sys.path.insert(0, str(harness.HERE / "ini_corpus"))
import make_corpus  # noqa: E402

CORPUS = harness.HERE / "ini_corpus"


def safe_cut(text, limit=2047):
    """The longest GBK prefix of `text` of at most `limit` bytes that ends on a character."""
    out = b""
    for ch in text:
        b = ch.encode("gbk")
        if len(out) + len(b) > limit:
            break
        out += b
    return out


@harness.both_code_pages
class IniChecks:
    fresh_prefix_per_test = False

    def run_ini_check(self):
        r = harness._run(["wine", str(self.program("ini_check.exe")),
                          harness.win_path(CORPUS / "queries.tsv"), harness.win_path(CORPUS)],
                         self.wine.env, timeout=300)
        return [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]

    def test_reader_agrees_with_the_profile_api(self):
        results = self.run_ini_check()
        self.assertGreaterEqual(len(results), 100)
        for r in results:
            with self.subTest(file=r["file"], section=r["section"], key=r["key"]):
                ours, wine = bytes.fromhex(r["ours_hex"]), bytes.fromhex(r["wine_hex"])
                if r["file"] == "long.ini" and r["key"] in make_corpus.LONG_VALUES:
                    # A value over 2047 bytes is cut there, but never inside a character:
                    # where the cut would split one, the profile API's last byte is half a
                    # character (or stale buffer contents), which the programs must not show.
                    expected = safe_cut(make_corpus.LONG_VALUES[r["key"]])
                    self.assertEqual(ours, expected)
                    self.assertTrue(wine.startswith(ours) and len(wine) - len(ours) <= 1)
                else:
                    self.assertEqual(r["ours"], r["wine"], f"ours {r['ours_hex']} "
                                     f"profile API {r['wine_hex']}")

    def test_shipped_layout_through_the_profile_api(self):
        # The driver's "ini" command (GetPrivateProfileStringA) on the shipped config layout.
        path = CORPUS / "setup.ini"
        for section, key, value in (("Form", "Caption", "Korvanev2.5（专业版）"),
                                    ("form", "DESKTOPLINK", "\\Korvanev2.5(专业版).lnk"),
                                    ("SetupDir", "SetupPath", "D:\\Program Files\\Korvn25"),
                                    ("SetupDir", "Drive", "D:"), ("Run", "RJSize", "15"),
                                    ("Run", "Missing", "")):
            self.assertEqual(self.wine.ini(path, section, key), value.encode("gbk"))
        self.assertEqual(self.wine.ini(CORPUS / "no-such-file.ini", "Form", "Caption"), b"")


if __name__ == "__main__":
    unittest.main()
