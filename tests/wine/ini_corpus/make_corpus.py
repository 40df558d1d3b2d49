#!/usr/bin/env python3
"""Writes the INI corpus (GBK files with the line ends given here) and queries.tsv, the
(file, section, key) list that ini_check.exe asks both our reader and the system's profile
API. Run it again after changing a case; the files are committed as written (.gitattributes
keeps git from touching their bytes)."""

from pathlib import Path

HERE = Path(__file__).resolve().parent

# file name -> (bytes of the file, [(section, key), ...])
CASES = {}


def case(name, text, queries, end="\r\n", encoding="gbk"):
    if isinstance(text, list):
        text = end.join(text) + end
    CASES[name] = (text.encode(encoding) if isinstance(text, str) else text, queries)


# Blanks (and tabs) around "=", around names and at the end of values.
case("blanks.ini", ["[Form]", "Caption = Korvane v2.5 ", "  Version=2.5", "A\t=\tTabbed\t",
                    "B=  two  words  ", "C = a=b", "my key = spaced name", "Empty =",
                    "   [Indented]", "K=in indented"],
     [("Form", "Caption"), ("Form", "Version"), ("Form", "A"), ("Form", "B"), ("Form", "C"),
      ("Form", "my key"), ("Form", " Caption "), ("Form", "Empty"), ("Form", "Missing"),
      ("Indented", "K"), (" Form ", "Caption"), ("Missing", "Caption")])

# Letter case of section and key names: ASCII, full-width Latin, Greek, Cyrillic.
case("case.ini", ["[SetupDir]", "desKtopLink=\\Korvane.lnk", "DIRNAME=Korvn25",
                  "[ＡＢ]", "ｋｅｙ=fullwidth", "[Αβ]", "Γ=greek", "[Яz]", "Ж=cyrillic"],
     [("setupdir", "desktoplink"), ("SETUPDIR", "DirName"), ("SetupDir", "desKtopLink"),
      ("ａｂ", "ｋｅｙ"), ("ＡＢ", "ＫＥＹ"), ("ＡＢ", "ｋｅｙ"), ("αΒ", "γ"), ("Αβ", "Γ"),
      ("яZ", "ж"), ("Яz", "Ж")])

# Quotes around values.
case("quotes.ini", ["[Q]", 'a="double"', "b='single'", "c=\"mixed'", 'd=""', 'e=" inner "',
                    'f="a"b"', 'g="', "h='x", 'i= "padded" ', 'j="中文"', "k='中'",
                    'l="two" "parts"', "m=x\"y\""],
     [("Q", k) for k in "abcdefghijklm"])

# Long values: cut at 2047 bytes; a GBK value whose cut falls inside a character.
ascii3000 = "".join(chr(ord("a") + i % 26) for i in range(3000))
gbk_even = "汉" * 1500                 # 3000 bytes, the cut at 2047 splits a character
gbk_odd = "a" + "汉" * 1500            # 3001 bytes, 2047 bytes end on a character boundary
case("long.ini", ["[L]", "ascii=" + ascii3000, "exact=" + "x" * 2047, "over=" + "y" * 2048,
                  "gbk_even=" + gbk_even, "gbk_odd=" + gbk_odd, "after=tail"],
     [("L", k) for k in ("ascii", "exact", "over", "gbk_even", "gbk_odd", "after")])
# Values longer than 2047 bytes, as they are in the file: the test works out the cut itself.
LONG_VALUES = {"ascii": ascii3000, "over": "y" * 2048, "gbk_even": gbk_even, "gbk_odd": gbk_odd}

# Duplicate sections and keys.
case("dup.ini", ["[S]", "k=first", "k=second", "[T]", "k=other", "[S]", "k=third",
                 "only2=in second S", "[s]", "only3=in lower s"],
     [("S", "k"), ("T", "k"), ("S", "only2"), ("s", "only3"), ("S", "only3")])

# Blanks inside brackets, unclosed or doubled brackets, text after "]".
case("brackets.ini", ["[ Padded ]", "a=1", "[Trail ]", "b=2", "[Sp ace]", "c=3",
                      "[NoClose", "d=4", "[After]junk", "e=5", "[[Double]]", "f=6", "[]",
                      "g=7"],
     [("Padded", "a"), (" Padded ", "a"), ("Trail", "b"), ("Sp ace", "c"), ("NoClose", "d"),
      ("[NoClose", "d"), ("After", "e"), ("[Double]", "f"), ("[Double", "f"), ("", "g"),
      ("Sp ace", "d")])

# Keys before the first section.
case("before.ini", ["orphan=before any section", "[S]", "k=inside"],
     [("", "orphan"), ("S", "orphan"), ("S", "k")])

# Lines without "=", and a key that looks like a section.
case("noeq.ini", ["[S]", "flag", "k=v", "flag2 ", "=nameless", "x[y]=z"],
     [("S", "flag"), ("S", "k"), ("S", "flag2"), ("S", ""), ("S", "x[y]")])

# Comment lines.
case("comments.ini", ["; leading comment", "[S]", ";k=commented", "k=real", "#h=hash",
                      "  ; indented=comment", "v=value ; not a comment"],
     [("S", "k"), ("S", ";k"), ("S", "#h"), ("S", "; indented"), ("S", "v")])

# Line ends: CR only, LF only, LF CR, mixed.
for name, end in (("cr.ini", "\r"), ("lf.ini", "\n"), ("lfcr.ini", "\n\r")):
    case(name, ["[S]", "k=one", "m=two", "[T]", "n=three"],
         [("S", "k"), ("S", "m"), ("T", "n")], end=end)
case("mixed.ini", "[S]\r\nk=crlf\rm=cr\nn=lf\r\n[T]\rp=after cr\r\n",
     [("S", "k"), ("S", "m"), ("S", "n"), ("T", "p")])

# GBK names and values; trail bytes that are "\", "]" and "[" in ASCII; full-width blanks.
case("gbk.ini", ["[安装]", "路径=D:\\程序\\科尔万", "名称 = 科尔万 ", "[乗乚]", "值=乕乗",
                 "键乚=trail bracket", "[宽]", "全角=\u3000padded\u3000", "\u3000名=fullwidth blank name"],
     [("安装", "路径"), ("安装", "名称"), ("乗乚", "值"), ("乗乚", "键乚"), ("宽", "全角"),
      ("宽", "名"), ("安装", "缺")])

# A NUL byte in the text, and a UTF-8 byte-order mark.
CASES["nul.ini"] = (b"[S]\r\nk=before\x00hidden\r\nm=after nul\r\n",
                    [("S", "k"), ("S", "m")])
CASES["bom.ini"] = (b"\xef\xbb\xbf[S]\r\nk=v\r\n", [("S", "k")])

# The shipped config's layout.
case("setup.ini", ["[***]", "", "[Form]", "Caption=Korvanev2.5（专业版）", "Version=2.5（专业版）",
                   "SQXY=用户授权协议", "desKtopLink=\\Korvanev2.5(专业版).lnk", "",
                   "[SetupDir]", "Drive=D:", "DirName=Korvn25",
                   "SetupPath=D:\\Program Files\\Korvn25", "", "[Run]", "FileName=KVRN.exe",
                   "RJSize=15", ""],
     [("Form", "Caption"), ("Form", "Version"), ("Form", "SQXY"), ("Form", "desktoplink"),
      ("SetupDir", "Drive"), ("SetupDir", "DirName"), ("SetupDir", "SetupPath"),
      ("Run", "FileName"), ("Run", "RJSize"), ("***", "x")])


def main():
    lines = ["# file\tsection\tkey (UTF-8; ini_check converts section and key to GBK)"]
    for name, (data, queries) in CASES.items():
        (HERE / name).write_bytes(data)
        for section, key in queries:
            lines.append(f"{name}\t{section}\t{key}")
    lines.append("missing.ini\tS\tk")
    (HERE / "queries.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
