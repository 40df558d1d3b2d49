// The removal against random manifests and link names, many of them hostile (absolute paths,
// drive letters, "..", device names, very long names, GBK names whose trail byte is 0x5C):
// whatever the manifest says, nothing outside the uninstaller's folder is deleted except the
// fixed targets, and every plain file the manifest lists inside it is deleted.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "platform/fake/fake_platform.h"
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"
#include "uninstaller/frmuninstall.h"

namespace {

using Strings = std::vector<std::string>;

const char kDesktop[] = "C:\\users\\Public\\Desktop";

// Folders the uninstaller may be started from; the last one's second byte is a 0x5C trail.
const Strings kAppDirs = {"D:\\Program Files\\Korvn25\\", "C:\\K\\", "E:\\\x81\x5C\\",
                          "C:\\Program Files\\长\\"};

// Files of others that a hostile manifest might reach, as full paths (some depend on AppDir).
Strings Victims(const std::string& appDir) {
  std::string parent = appDir.substr(0, appDir.size() - 1);
  parent = parent.substr(0, gbk::LastSeparator(parent) + 1);
  return {"C:\\WINDOWS\\win.ini",
          "C:\\WINDOWS\\system32\\kernel.dll",
          "C:\\boot.ini",
          "D:\\Other\\keep.txt",
          "E:\\keep.txt",
          parent + "KVRN.exe",
          parent + "sibling.txt",
          std::string(kDesktop) + "\\Other.lnk",
          "C:\\users\\Public\\DesktopKorvane.lnk"};
}

bool Within(const std::string& path, const std::string& folder) {  // folder ends in "\"
  return path.size() > folder.size() && gbk::EqualsNoCase(path.substr(0, folder.size()), folder);
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int Int(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[Int(static_cast<int>(v.size()))];
  }

  // A plain name below the folder: what a sound manifest holds.
  std::string PlainRelPath() {
    static const Strings top = {"KVRN.exe", "Readme.txt", "用户授权协议.txt",
                                "Help.chm", "a b.txt",    "\x81\x5C.dat"};
    static const Strings sub = {"SdbFile\\词库.dat", "SdbFile\\a b.idx", "UserFile\\示例.Kvx",
                                "SdbFile\\\x95\x5C\\x.dat"};
    return Int(2) ? Pick(top) : Pick(sub);
  }

  // A path built from hostile and ordinary pieces.
  std::string HostileRelPath() {
    static const Strings heads = {
        "",         "\\",     "/",     "C:\\",        "c:",
        "D:",       "E:\\",   "\\\\",  "\\\\?\\C:\\", "..\\",
        "..\\..\\", "../../", ". .\\", "...\\",       "\\\\server\\share\\"};
    static const Strings parts = {
        "..",       ".",           ". .",      "...",        "",
        "CON",      "nul.txt",     "COM1",     "lpt9.log",   "AUX .x",
        "WINDOWS",  "win.ini",     "Other",    "keep.txt",   "system32",
        "KVRN.exe", "sibling.txt", "\x81\x5C", "\x95\x5C..", "x\x81",
        "SdbFile",  "长",          "a:b",      "Desktop",    std::string(300, 'L'),
        "users",    "Public"};
    std::string path = Pick(heads);
    int n = 1 + Int(6);
    for (int i = 0; i < n; ++i) {
      if (i) path += Int(4) ? "\\" : "/";
      path += Pick(parts);
    }
    return path;
  }

  std::string LinkName() {
    static const Strings names = {"\\Korvanev2.5(专业版).lnk",
                                  "",
                                  "Korvane.lnk",
                                  "\\..\\DesktopKorvane.lnk",
                                  "\\..\\..\\..\\WINDOWS\\win.ini",
                                  "\\C:\\boot.ini",
                                  "\\Other.lnk\\..\\..\\..\\..\\boot.ini",
                                  "\\sub\\x.lnk",
                                  "\\CON"};
    return Pick(names);
  }

  std::mt19937 rng_;
};

struct Line {
  std::string relPath;
  bool plain;
};

class RemovalProperty : public ::testing::TestWithParam<unsigned> {};

TEST_P(RemovalProperty, NothingOutsideTheFolderIsDeleted) {
  Generator gen(GetParam());
  for (int round = 0; round < 40; ++round) {
    ui::HeadlessBackend backend;
    ui::App app(backend);
    app.SetTitle("软件卸载");
    plat::FakePlatform sys;
    sys.SetDrive({'D', plat::kDriveFixed, 1ull << 33, 1ull << 32});
    sys.SetDrive({'E', plat::kDriveFixed, 1ull << 33, 1ull << 32});
    const std::string appDir = gen.Pick(kAppDirs);
    sys.moduleFileName = appDir + "Uninstall.exe";

    // The manifest: plain lines and hostile ones, with shifted fields and any line end.
    std::vector<Line> lines;
    std::string manifest;
    const int count = 1 + gen.Int(25);
    static const Strings ends = {"\r\n", "\n", "\r", "\n\r"};
    for (int i = 0; i < count; ++i) {
      const bool plain = gen.Int(3) == 0;
      Line line{plain ? gen.PlainRelPath() : gen.HostileRelPath(), plain};
      std::string fields = gen.Int(5) ? "Res type " : (gen.Int(2) ? "Res  " : " type ");
      if (!plain && gen.Int(6) == 0) line.relPath += std::string(1, ' ');
      manifest += fields + line.relPath;
      // An extra blank before the type, or none before it, shifts the fields but not the path.
      lines.push_back(line);
      if (i + 1 < count) manifest += gen.Pick(ends);
    }
    manifest = "FileTxt5 txtname Setup.log\r\n" + manifest;
    if (gen.Int(10) == 0) manifest += std::string("\0", 1) + "X y ..\\..\\boot.ini";

    // What is installed, and what belongs to others.
    for (const Line& l : lines) {
      if (!l.plain) continue;
      try {
        sys.AddFile(appDir + l.relPath, "data");
      } catch (const std::logic_error&) {
      }
    }
    PutInstalledProduct(sys, appDir, manifest, ProductConfigWith("desKtopLink", gen.LinkName()));
    RunUninstallerFrom(sys, appDir);
    const Strings victims = Victims(appDir);
    for (const auto& v : victims) sys.AddFile(v, "others");
    sys.SetValue(plat::kCurrentUser, "Software\\Other", "keep", "1");
    std::set<std::string> listedPresent;
    for (const Line& l : lines)
      if (l.plain && sys.FileExists(appDir + l.relPath)) listedPresent.insert(l.relPath);

    {
      Tfrmuninstall frm(sys);
      frm.ShowForm();
      frm.BtnNext.Click();
      if (frm.NoteBook1.PageIndex() == 2) frm.BtnNext.Click();
    }

    SCOPED_TRACE("seed " + std::to_string(GetParam()) + " round " + std::to_string(round) + " in " +
                 appDir + ", manifest:\n" + manifest);
    // Every change lies below the folder or is one of the fixed targets.
    const std::string desktop = std::string(kDesktop) + "\\";
    for (const auto& j : sys.journal) {
      if (!j.ok) continue;
      bool fixed = false;
      if (j.op == "DeleteFile" || j.op == "RemoveDir")
        fixed = Within(j.target, appDir) || (j.op == "DeleteFile" && Within(j.target, desktop));
      else if (j.op == "CreateHeldFile" || j.op == "ShellExecute")
        fixed = gbk::EqualsNoCase(j.target, "C:\\_destoryme.bat");
      else if (j.op == "RegDeleteKey")
        fixed = j.target.find("Korvane") != std::string::npos ||
                j.target.find("KORVX") != std::string::npos ||
                j.target.find(".Kvx") != std::string::npos;
      else if (j.op == "DdeExecute")
        fixed = j.target == "[DeleteGroup(" + std::string(kCaption) + ")]\r\n";
      EXPECT_TRUE(fixed) << j.op << " " << j.target;
    }
    for (const auto& v : victims) EXPECT_TRUE(sys.FileExists(v)) << v;
    EXPECT_TRUE(sys.KeyExists(plat::kCurrentUser, "Software\\Other"));
    EXPECT_TRUE(sys.DirExists(appDir));
    // Every plain file listed was deleted (the running program's own file stays).
    for (const auto& rel : listedPresent) EXPECT_FALSE(sys.FileExists(appDir + rel)) << rel;
    EXPECT_TRUE(sys.FileExists(appDir + "Uninstall.exe"));
    EXPECT_FALSE(sys.FileExists(appDir + "Setup.log"));
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RemovalProperty, ::testing::Values(1u, 2u, 3u, 4u, 5u));

}  // namespace
