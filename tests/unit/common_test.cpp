// The shared byte-level rules: manifest lines, INI values, GBK cuts and number formats.
#include <gtest/gtest.h>

#include "common/formats.h"
#include "common/gbk.h"
#include "common/ini.h"
#include "common/links.h"
#include "common/manifest.h"
#include "common/progman.h"
#include "winkit/owner.h"

namespace {

struct ParseCase {
  const char* line;
  const char* name;
  const char* type;
  const char* path;
};

TEST(Manifest, ParseTableFieldsByTheTwoLengths) {
  const ParseCase cases[] = {
      {"A B C", "A", "B", "C"},   {"A B C D", "A", "B", "C D"}, {"A B C ", "A", "B", "C "},
      {"A B  C", "A", "B", " C"}, {"A  B C", "A", "", "B C"},   {" A B", "", "A", "B"},
      {"A B", "A", "B", ""},      {"A B ", "A", "B", ""},       {"A", "A", "", ""},
      {"", "", "", ""},           {"A\tB C", "A\tB", "C", ""},
  };
  for (const auto& c : cases) {
    ManifestEntry e = ParseManifestLine(c.line);
    EXPECT_EQ(e.ResName, c.name) << '"' << c.line << '"';
    EXPECT_EQ(e.ResType, c.type) << '"' << c.line << '"';
    EXPECT_EQ(e.RelPath, c.path) << '"' << c.line << '"';
  }
  ManifestEntry gbkPath = ParseManifestLine("UserFile name1 UserFile\\示例 文档.Kvx");
  EXPECT_EQ(gbkPath.RelPath, "UserFile\\示例 文档.Kvx");
}

TEST(Manifest, LineEndsAndNul) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines("a\r\nb\r\nc"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\r\nb\r\nc\r\n"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\nb\nc"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\rb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\n\rb"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitLines(std::string("a\r\nb\0c\r\nd", 9)), (V{"a", "b"}));
  EXPECT_EQ(SplitLines(""), V{});
  EXPECT_EQ(SplitLines("\r\n"), V{""});
}

TEST(Gbk, UpperAsciiLeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(gbk::UpperAscii("con\x81\x61x.txt"), "CON\x81\x61X.TXT");
}

TEST(Gbk, FolderPartIgnoresTrailBytes) {
  // 0x5C ("\") as the trail byte of a double-byte character is not a separator.
  const std::string tricky =
      "SdbFile\\\x81\x5C"
      "a.dat";
  EXPECT_EQ(gbk::FolderPart(tricky), "SdbFile");
  EXPECT_EQ(gbk::FolderPart("\x81\x5C"
                            "a.dat"),
            "");
  EXPECT_EQ(gbk::FolderPart("Help.chm"), "");
  EXPECT_EQ(gbk::FolderPart("a\\b\\c.txt"), "a\\b");
  EXPECT_EQ(gbk::FolderPart("C:x"), "C");
  EXPECT_EQ(gbk::SafePrefix("ab\xD6\xD0"
                            "cd",
                            3),
            "ab");
  EXPECT_EQ(gbk::SafePrefix("ab\xD6\xD0"
                            "cd",
                            4),
            "ab\xD6\xD0");
}

TEST(Manifest, ContainedRelPaths) {
  for (const char* ok : {"Help.chm", "SdbFile\\a b.dat", "UserFile\\示例.Kvx", "a..b", "x\\.y"})
    EXPECT_TRUE(IsContainedRelPath(ok)) << ok;
  for (const char* bad :
       {"", "\\Windows\\x", "C:\\x", "C:x", "..\\x", "a\\..\\..\\x", "a\\\\b", "a\\", ". .\\x",
        "...\\x", "CON", "nul.txt", "a\\COM1", "lpt9.log", "a/../../x", "file.txt:stream"})
    EXPECT_FALSE(IsContainedRelPath(bad)) << bad;
}

TEST(Ini, ProfileRules) {
  const std::string ini =
      "[***]\r\n\r\n[Form]\r\nCaption = Korvane v2.5 \r\ndesKtopLink=\\K.lnk\r\n"
      "Quoted=\"a b\"\r\nHalf=\"a\r\nSingle='x'\r\nNoValue\r\nCaption=second\r\n"
      "[ SetupDir ]\r\nDrive=D:\r\n[Form]\r\nLate=1\r\n";
  EXPECT_EQ(ReadIniValue(ini, "Form", "Caption"), "Korvane v2.5");
  EXPECT_EQ(ReadIniValue(ini, "form", "desktoplink"), "\\K.lnk");
  EXPECT_EQ(ReadIniValue(ini, "Form", "Quoted"), "a b");
  EXPECT_EQ(ReadIniValue(ini, "Form", "Half"), "\"a");
  EXPECT_EQ(ReadIniValue(ini, "Form", "Single"), "x");
  EXPECT_EQ(ReadIniValue(ini, "Form", "NoValue"), "");
  EXPECT_EQ(ReadIniValue(ini, "SetupDir", "Drive"), "D:");
  EXPECT_EQ(ReadIniValue(ini, "Form", "Late"), "");  // only the first [Form] is searched
  EXPECT_EQ(ReadIniValue(ini, "Run", "FileName"), "");
  EXPECT_EQ(ReadIniValue("", "Form", "Caption"), "");
  EXPECT_EQ(ReadIniValue(std::string("[A]\r\nk=1\0\r\nj=2", 15), "A", "j"), "");
  EXPECT_EQ(ReadIniValue("[A]\nk=v\n", "A", "k"), "v");
}

TEST(Ini, HeadersAsTheProfileApiReadsThem) {
  const std::string ini = "orphan=1\r\n[A]\r\nk=a\r\n[NoClose\r\nd=4\r\n[]\r\ng=7\r\n";
  EXPECT_EQ(ReadIniValue(ini, "", "orphan"), "1");  // before any header: section ""
  EXPECT_EQ(ReadIniValue(ini, "A", "d"), "4");      // "[NoClose" starts no section
  EXPECT_EQ(ReadIniValue(ini, "NoClose", "d"), "");
  EXPECT_EQ(ReadIniValue(ini, "", "g"), "");  // "[]" comes after the first "" section
  EXPECT_EQ(ReadIniValue("\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k"), "v");
}

TEST(Ini, LongValueIsCutAt2047Bytes) {
  std::string ini = "[A]\r\nk=" + std::string(3000, 'x') + "\r\n";
  EXPECT_EQ(ReadIniValue(ini, "A", "k"), std::string(2047, 'x'));
  std::string wide = "[A]\r\nk=x" + std::string(3000, '\xD6') + "\r\n";  // 0xD6 pairs
  EXPECT_EQ(ReadIniValue(wide, "A", "k").size(), 2047u);
  std::string split = "[A]\r\nk=";
  for (int i = 0; i < 1100; ++i) split += "\xD6\xD0";
  EXPECT_EQ(ReadIniValue(split, "A", "k").size(), 2046u);  // no half character at the end
}

TEST(Formats, Gigabytes) {
  EXPECT_EQ(FormatGigabytes(10737418240.0), "10.0");
  EXPECT_EQ(FormatGigabytes(10736344064.0), "10.00");
  EXPECT_EQ(FormatGigabytes(80023715840.0), "74.5");
  EXPECT_EQ(FormatGigabytes(5368709120.0), "5.00");
  EXPECT_EQ(FormatGigabytes(15728640.0), "0.01");
  EXPECT_EQ(FormatGigabytes(1024.0 * 1024 * 1024 * 2.125), "2.13");  // half away from zero
}

TEST(Formats, RemainingSpace) {
  EXPECT_EQ(RemainingSpaceText("5.00 GB"), " 4.98 GB");
  EXPECT_EQ(RemainingSpaceText("10.0 GB"), " 9.98 GB");
  EXPECT_EQ(RemainingSpaceText("74.5 GB"), " 74.5 GB");
  EXPECT_EQ(RemainingSpaceText("0.01 GB"), " -0.01 GB");
  EXPECT_EQ(RemainingSpaceText(""), "");
  EXPECT_EQ(RemainingSpaceText("0.00 GB"), "");
}

TEST(Formats, DisplayPath) {
  EXPECT_EQ(DisplayPath("D:\\Program Files\\Korvn25", "Help.chm"),
            "D:\\Program Files\\Korvn25\\Help.chm");
  EXPECT_EQ(DisplayPath("C:\\Program Files\\Common Files\\Korvn25", "Help.chm"),
            "C:\\Program Files\\...\\Help.chm");
  std::string folder45 = std::string(36, 'a');  // 36 + 1 + 8 = 45 bytes
  EXPECT_EQ(DisplayPath(folder45, "Help.chm"), folder45 + "\\Help.chm");
  EXPECT_EQ(DisplayPath(folder45 + "a", "Help.chm"), std::string(17, 'a') + "...\\Help.chm");
  // The cut at 17 bytes moves back rather than split a double-byte character.
  const std::string seven = "中文中文中文中";  // 14 bytes
  const std::string folder = "D:\\x" + seven + std::string(30, 'x');
  EXPECT_EQ(DisplayPath(folder, "a.txt"), "D:\\x中文中文中文...\\a.txt");
}

}  // namespace

TEST(ProgManCommand, ArgumentsStandUnchangedQuotedOrNothingIsComposed) {
  // No character of the syntax: byte for byte, blanks inside included.
  EXPECT_EQ(ComposeProgManCommand("additem", {"D:\\Program Files\\产品\\K.exe", "K"}, "", 255),
            "[additem(D:\\Program Files\\产品\\K.exe,K)]");
  // Double-byte characters whose second bytes are those of "[" and "]": halves of
  // characters, not brackets.
  EXPECT_EQ(ProgManArgument("\xC2\xD2\xF1\x5B\xF1\x5D"), "\xC2\xD2\xF1\x5B\xF1\x5D");
  // The syntax's own characters and outer blanks go inside double quotes.
  for (const char* text :
       {"D:\\Program Files (x86)\\K", "a,b", "K)][deletegroup(X", "a]b", " lead", "trail "})
    EXPECT_EQ(ProgManArgument(text), "\"" + std::string(text) + "\"") << text;
  EXPECT_EQ(ComposeProgManCommand("DeleteGroup", {"K (x86)"}, "\r\n", 256),
            "[DeleteGroup(\"K (x86)\")]\r\n");
  // What no form carries: nothing is composed.
  for (const char* bad : {"", "a\"b", "a\rb", "a\tb", "K\xCB", "\xCB,"})
    EXPECT_FALSE(ProgManArgument(bad)) << bad;
  EXPECT_FALSE(ComposeProgManCommand("creategroup", {"K", "K\")][deletegroup(X"}, "", 255));
  // The text and its zero byte fit the buffer, quotes counted, or nothing is composed.
  EXPECT_EQ(ComposeProgManCommand("g", {std::string(249, 'x')}, "", 255)->size(), 254u);
  EXPECT_FALSE(ComposeProgManCommand("g", {std::string(250, 'x')}, "", 255));
  EXPECT_EQ(ComposeProgManCommand("g", {std::string(248, 'x')}, "\r\n", 256)->size(), 255u);
  EXPECT_FALSE(ComposeProgManCommand("g", {std::string(249, 'x')}, "\r\n", 256));
  EXPECT_FALSE(ComposeProgManCommand("g", {std::string(247, 'x') + ","}, "", 255));
}

TEST(ProgManCommand, ComposedArgumentsParseBackAsTheServerReadsThem) {
  const std::vector<std::string> arguments = {"Korvane (x86), 2", "D:\\a b\\K.exe", " x",
                                              "\xF1\x5D(", "y"};
  const auto text = ComposeProgManCommand("additem", arguments, "\r\n", 1024);
  ASSERT_TRUE(text);
  EXPECT_EQ(ParseProgManArguments(*text), arguments);
  // What the server refuses: a quote inside quotes, text after the bracket, no bracket.
  for (const char* bad : {"[g(\"a\"\"b\")]", "[g(\"W\"X)]", "[g(a)]x", "[g(a)", "g(a)"})
    EXPECT_FALSE(ParseProgManArguments(bad)) << bad;
  EXPECT_EQ(ParseProgManArguments("[g( a ,\"b\" )]"), (std::vector<std::string>{"a ", "b"}));
}

TEST(ProgManGroupName, OneNameAmongTheGroups) {
  for (const char* good : {"Korvanev2.5（专业版）", "K (x86), 2", "\x81\x5C", ".K"})
    EXPECT_TRUE(IsProgManGroupName(good)) << good;
  for (const char* bad : {"", ".", "..", ". .", "..\\..\\Documents\\X", "a/b", "C:x", "a\\", "NUL",
                          "com1.txt", "*", "K?", "a\x1d", "\xFB\x1B"})
    EXPECT_FALSE(IsProgManGroupName(bad)) << bad;
}

TEST(ProgManServer, StartedByFullPathFromTheSystemFolderThenTheWindowsFolder) {
  EXPECT_EQ(ServerProgramPaths("C:\\W\\system32", "C:\\W", "ProgMan"),
            (std::vector<std::string>{"C:\\W\\system32\\ProgMan.exe", "C:\\W\\ProgMan.exe"}));
}

TEST(Links, NameSurrogatesAndUnknownTagsAreLinks) {
  EXPECT_TRUE(IsLinkReparse(0x410, kTagMountPoint));
  EXPECT_TRUE(IsLinkReparse(0x400, kTagSymlink));
  EXPECT_TRUE(IsLinkReparse(0x410, 0));  // the system did not say which kind
  EXPECT_FALSE(IsLinkReparse(0x400, kTagCloudFile));
  EXPECT_FALSE(IsLinkReparse(0x400, kTagDedup));
  EXPECT_FALSE(IsLinkReparse(0x10, kTagSymlink));  // no reparse point at all
}

TEST(Links, FoldersOnTheWay) {
  using V = std::vector<std::string>;
  EXPECT_EQ(FoldersOnTheWay("K.exe"), V{});
  EXPECT_EQ(FoldersOnTheWay("SdbFile\\a.dat"), V{"SdbFile"});
  EXPECT_EQ(FoldersOnTheWay("A/B\\\\c"), (V{"A", "A/B"}));
  // A 0x5C trail byte is half of a character, not a separator.
  EXPECT_EQ(FoldersOnTheWay("\x81\x5C\\f"), V{"\x81\x5C"});
}

TEST(ContainedLinkName, BackslashThenAContainedPath) {
  EXPECT_TRUE(IsContainedLinkName("\\Korvanev2.5(专业版).lnk"));
  EXPECT_TRUE(IsContainedLinkName("\\Sub\\K.lnk"));
  for (const char* bad : {"", "K.lnk", "\\", "\\..\\K.lnk", "\\C:\\K.lnk", "\\\\K.lnk"})
    EXPECT_FALSE(IsContainedLinkName(bad)) << bad;
}

// Every value an owner takes is closed exactly once, by the closer it came with, whichever way
// it goes; what was handed on or never held is not closed.
TEST(Owner, ClosesEachValueOnceWhicheverWayItGoes) {
  std::vector<int> closed;
  struct Closer {
    std::vector<int>* log = nullptr;
    static int None() { return -1; }  // so that 0 is a value to close
    void operator()(int value) const { log->push_back(value); }
  };
  using Held = winkit::Owner<int, Closer>;
  {
    Held first(0, Closer{&closed});
    Held second(std::move(first));
    EXPECT_FALSE(first);
    Held third(7, Closer{&closed});
    third = std::move(second);  // 7 goes
    third.Reset(5);             // 0 goes
    EXPECT_EQ(third.release(), 5);
    Held::Drop(9, Closer{&closed});
    Held::Drop(-1, Closer{&closed});
  }
  EXPECT_EQ(closed, (std::vector<int>{7, 0, 9}));
}
