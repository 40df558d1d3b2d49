// The uninstaller on the headless backend and the fake platform: page flow, the removal's
// order, texts and progress, its failure paths and the batch file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/links.h"
#include "platform/fake/fake_platform.h"
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"
#include "uninstaller/frmuninstall.h"

namespace {

// The install folder as the uninstaller sees it, ending in "\".
const std::string kDir = std::string(kDefaultDir) + "\\";
const auto& kLink = kDesktopLink;

class UninstallerTest : public ::testing::Test {
 protected:
  ui::HeadlessBackend backend;
  ui::App app{backend};
  plat::FakePlatform sys;
  std::unique_ptr<Tfrmuninstall> frm;
  // Listed in the manifest and present: the product's files, and a few more from SetUp.
  std::vector<std::string> relPaths = RelPathsOf(ProductEntries());
  std::string config = kProductConfig;

  struct Sample {
    std::string text;
    int position;
    unsigned ms;
    ui::Rect page;
    bool strip;
  };
  std::vector<Sample> samples;

  void SetUp() override {
    app.SetTitle("软件卸载");
    relPaths.insert(relPaths.end(), {"Options.ini", "Readme.txt", "Help.chm", "SdbFile\\a b.txt"});
    backend.onSleep = [this](unsigned ms) {
      samples.push_back({frm->lblinfo.Text(), frm->pgb1.Position(), ms, frm->NoteBook1.bounds(),
                         frm->ImagLeft.Visible()});
    };
  }

  std::string manifest;  // when set, the manifest's text instead of lines from relPaths

  std::string Manifest() const {
    if (!manifest.empty()) return manifest;
    std::string text;
    for (const auto& rel : relPaths) text += (text.empty() ? "" : "\r\n") + ("Res type " + rel);
    return text;
  }

  // The installed product with this test's files, manifest and config; things of others.
  void Install() {
    for (const auto& rel : relPaths) {
      try {
        sys.AddFile(kDir + rel, "data");
      } catch (const std::logic_error&) {  // not a path below the folder
      }
    }
    PutInstalledProduct(sys, kDir, Manifest(), config);
    RunUninstallerFrom(sys, kDir);
    PutThingsOfOthers(sys);
  }

  // As the entry does: create the window and show it (App::Run would).
  void Start() {
    frm = std::make_unique<Tfrmuninstall>(sys);
    frm->ShowForm();
  }

  bool Exists(const std::string& rel) { return sys.FileExists(kDir + rel); }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : backend.boxes) out.push_back(b.text);
    return out;
  }
  // Every change the removal made or tried stays within the product's places.
  void ExpectOnlyProductTouched() {
    const std::vector<std::string> allowed = {
        kDir,
        kLink,
        "C:\\_destoryme.bat",
        "HKLM\\software\\Korvane",
        "HKCU\\software\\microsoft\\windows\\currentversion\\uninstall\\Korvane",
        "HKCR\\.Kvx",
        "HKCR\\software\\KORVX",
        "HKCU\\software\\KORVX",
        "[DeleteGroup("};
    for (const auto& j : sys.journal) {
      bool inside = false;
      // Paths and registry keys match without regard to ASCII case, as on Windows.
      for (const auto& a : allowed)
        inside = inside || gbk::EqualsNoCase(j.target.substr(0, a.size()), a);
      EXPECT_TRUE(inside) << j.op << " " << j.target;
    }
  }
};

TEST_F(UninstallerTest, StartShowsTheConfirmationPage) {
  Install();
  Start();
  EXPECT_EQ(frm->AppDir, kDir);
  EXPECT_EQ(frm->DesktopLinkName, "\\Korvanev2.5(专业版).lnk");
  EXPECT_EQ(frm->Label1.Text(), std::string("正在卸载") + kCaption);
  EXPECT_EQ(frm->Label6.Text(), std::string("即将从您的电脑中卸载 ") + kCaption);
  EXPECT_EQ(frm->Label4.Text(), std::string(kCaption) + " 卸载完毕.");
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 0);
  EXPECT_FALSE(frm->Panel_Top.Visible());
  EXPECT_TRUE(frm->ImagLeft.Visible());
  // The page area lies beside the strip and above the separator and button bar.
  const ui::Rect& page = frm->NoteBook1.bounds();
  EXPECT_EQ(page.left, 156);
  EXPECT_EQ(page.width, 346);
  EXPECT_EQ(page.height, 335 - 46 - 2);
  EXPECT_EQ(frm->RzPanel1.bounds().top, 335 - 46);
  EXPECT_EQ(frm->Panel3.bounds().top, 335 - 48);
}

TEST_F(UninstallerTest, OneNextClickRemovesEverythingAndFinishStartsTheBatch) {
  Install();
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
  EXPECT_EQ(frm->BtnNext.Text(), "完成");
  EXPECT_TRUE(frm->BtnNext.Enabled());
  EXPECT_FALSE(frm->Button1.Enabled());
  EXPECT_TRUE(frm->ImagLeft.Visible());
  EXPECT_FALSE(frm->Panel_Top.Visible());
  EXPECT_FALSE(app.Terminated());

  for (const auto& rel : relPaths) EXPECT_EQ(Exists(rel), rel == "Uninstall.exe") << rel;
  EXPECT_FALSE(sys.DirExists(std::string(kDir) + "SdbFile"));
  EXPECT_FALSE(sys.DirExists(std::string(kDir) + "UserFile"));
  EXPECT_TRUE(sys.DirExists(kDir));
  EXPECT_FALSE(sys.KeyExists(plat::kLocalMachine, "Software\\Korvane"));
  EXPECT_FALSE(sys.KeyExists(plat::kCurrentUser, kUninstallKey));
  EXPECT_FALSE(sys.KeyExists(plat::kClassesRoot, ".Kvx"));
  EXPECT_FALSE(sys.KeyExists(plat::kClassesRoot, "Software\\KORVX"));
  EXPECT_FALSE(sys.KeyExists(plat::kCurrentUser, "Software\\KORVX"));
  EXPECT_TRUE(sys.KeyExists(plat::kCurrentUser, "Software\\Other"));
  EXPECT_TRUE(sys.KeyExists(plat::kCurrentUser,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\X"));
  EXPECT_EQ(sys.OpenKeyCount(), 0u);
  EXPECT_FALSE(sys.FileExists(kLink));
  EXPECT_TRUE(sys.FileExists("C:\\users\\Public\\Desktop\\Other.lnk"));
  ASSERT_EQ(sys.conversations.size(), 1u);
  EXPECT_EQ(sys.conversations[0].service, "ProgMan");
  EXPECT_EQ(sys.conversations[0].topic, "ProgMan");
  EXPECT_EQ(sys.ddeCommands,
            std::vector<std::string>{std::string("[DeleteGroup(") + kCaption + ")]\r\n"});
  EXPECT_EQ(sys.ddeConnected, 0);
  EXPECT_EQ(sys.Content("C:\\_destoryme.bat"),
            BatchFileText(sys.moduleFileName, "C:\\WINDOWS\\system32"));
  EXPECT_TRUE(sys.executes.empty());
  ExpectOnlyProductTouched();

  frm->BtnNext.Click();
  ASSERT_EQ(sys.executes.size(), 1u);
  const auto& run = sys.executes[0];
  EXPECT_EQ(run.verb, "open");
  EXPECT_EQ(run.file, "c:\\_destoryme.bat");
  EXPECT_EQ(run.params, "");
  EXPECT_EQ(run.dir, "C:\\WINDOWS\\system32");  // nothing of the folder it was started from
  EXPECT_EQ(run.show, plat::kSwHide);
  EXPECT_TRUE(app.Terminated());
}

TEST_F(UninstallerTest, KeysAloneRemoveAndFinish) {
  Install();
  Start();
  EXPECT_EQ(frm->Focused(), &frm->BtnNext);
  // While the removal runs no control can be used: the window itself holds the focus, and
  // Enter and Esc do nothing.
  std::vector<const ui::Control*> during;
  backend.onSleep = [&](unsigned) {
    during.push_back(frm->Focused());
    EXPECT_TRUE(frm->KeyDown(ui::Key::Escape, false));
    EXPECT_TRUE(frm->KeyDown(ui::Key::Enter, false));
  };
  frm->KeyDown(ui::Key::Enter, false);
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during.front(), nullptr);
  EXPECT_TRUE(sys.executes.empty());
  // The done page: "完成" has the focus; Esc finds Cancel disabled; Enter finishes.
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
  EXPECT_EQ(frm->Focused(), &frm->BtnNext);
  frm->KeyDown(ui::Key::Escape, false);
  EXPECT_FALSE(app.Terminated());
  frm->KeyDown(ui::Key::Enter, false);
  ASSERT_EQ(sys.executes.size(), 1u);
  EXPECT_EQ(sys.executes[0].file, kBatchFile);
  EXPECT_TRUE(app.Terminated());
}

TEST_F(UninstallerTest, EscOnTheConfirmationPageCancels) {
  Install();
  Start();
  frm->KeyDown(ui::Key::Escape, false);
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(Exists("Options.ini"));
}

TEST_F(UninstallerTest, StatusTextsProgressAndPausesInOrder) {
  // 100 lines: past 86 the bar passes 90, past 95 it is full, then it goes back to 90.
  relPaths = {"Setup.log", "Readme.txt"};
  manifest = "FileTxt5 txtname Setup.log\r\n\r\nFileTxt2 txtname\r\nFileTxt2 txtname Readme.txt";
  for (int i = 4; i < 100; ++i) manifest += "\r\nX y missing" + std::to_string(i) + ".dat";
  Install();
  Start();
  frm->BtnNext.Click();
  ASSERT_EQ(samples.size(), 105u);
  // The working page spans the window's width below the header.
  EXPECT_FALSE(samples[0].strip);
  EXPECT_EQ(samples[0].page.left, 0);
  EXPECT_EQ(samples[0].page.top, 57);
  EXPECT_EQ(samples[0].page.width, 502);
  EXPECT_EQ(samples[0].text, "删除文件: Setup.log");
  EXPECT_EQ(samples[1].text, "删除文件: Setup.log");  // an empty line deletes nothing
  EXPECT_EQ(samples[2].text, "删除文件: Setup.log");  // nor does a line without a path
  EXPECT_EQ(samples[3].text, "删除文件: Readme.txt");
  EXPECT_EQ(samples[99].text, "删除文件: Readme.txt");
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(samples[i].position, std::min(i + 5, 100)) << i;
    EXPECT_EQ(samples[i].ms, 50u);
  }
  EXPECT_EQ(samples[86].position, 91);
  const std::vector<std::pair<std::string, int>> steps = {{"删除文件夹", 90},
                                                          {"清除注册表信息...", 93},
                                                          {"删除桌面程序图标...", 95},
                                                          {"删除[开始]菜单程序群组...", 98},
                                                          {"删除批处理文件...", 100}};
  const unsigned pauses[] = {50, 100, 100, 100, 50};
  for (std::size_t s = 0; s < steps.size(); ++s) {
    EXPECT_EQ(samples[100 + s].text, steps[s].first);
    EXPECT_EQ(samples[100 + s].position, steps[s].second);
    EXPECT_EQ(samples[100 + s].ms, pauses[s]);
  }
  EXPECT_TRUE(sys.DirExists(kDir));
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

TEST_F(UninstallerTest, MissingManifestEndsWithoutRemovingAnything) {
  Install();
  sys.DeleteFile(std::string(kDir) + "Setup.log");
  sys.journal.clear();
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(sys.journal.empty());
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 1);
  EXPECT_TRUE(sys.executes.empty());
}

TEST_F(UninstallerTest, CancelOrCloseEndsTheProgram) {
  Install();
  Start();
  frm->Button1.Click();
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(sys.journal.empty());

  // Closed from the title bar on the done page: the batch file is not started.
  frm.reset();
  ui::HeadlessBackend backend2;
  {
    ui::App app2(backend2);
    Tfrmuninstall second(sys);
    second.ShowForm();
    second.BtnNext.Click();
    ASSERT_EQ(second.NoteBook1.PageIndex(), 2);
    second.Close();
    EXPECT_TRUE(app2.Terminated());
  }
  EXPECT_TRUE(sys.executes.empty());
  EXPECT_TRUE(Exists("Uninstall.exe"));
  EXPECT_TRUE(sys.FileExists("c:\\_destoryme.bat"));
}

TEST_F(UninstallerTest, CloseDuringTheRemovalWaitsForItsEnd) {
  Install();
  Start();
  backend.When([this] { return frm->lblinfo.Text() == "删除桌面程序图标..."; },
               [this] { frm->Close(); });
  frm->BtnNext.Click();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(sys.ddeCommands.size(), 1u);
  EXPECT_TRUE(sys.FileExists("c:\\_destoryme.bat"));
  EXPECT_TRUE(sys.executes.empty());
}

TEST_F(UninstallerTest, DataFolderThatCannotBeEmptiedGivesBothMessages) {
  Install();
  sys.AddFile(std::string(kDir) + "SdbFile\\locked.dat", "x");
  sys.SetReadOnly(std::string(kDir) + "SdbFile\\locked.dat");
  sys.AddFile(std::string(kDir) + "SdbFile\\other.tmp", "x");
  sys.AddFile(std::string(kDir) + "UserFile\\Mine\\doc.Kvx", "x");
  Start();
  frm->BtnNext.Click();
  const std::string sdb = std::string(kDir) + "SdbFile\\";
  const std::string user = std::string(kDir) + "UserFile\\";
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"删除 " + sdb + "locked.dat 文件失败!",
                                                  "删除 \\" + sdb + " 文件夹失败! ",
                                                  "删除 \\" + user + " 文件夹失败! "}));
  for (const auto& box : backend.boxes) {
    EXPECT_EQ(box.caption, "软件卸载");
    EXPECT_EQ(box.flags, ui::kMbOk);
  }
  EXPECT_FALSE(sys.FileExists(sdb + "other.tmp"));
  EXPECT_TRUE(sys.FileExists(user + "Mine\\doc.Kvx"));
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

TEST_F(UninstallerTest, EmptyConfigValuesSkipGroupAndLink) {
  config = "[Form]\r\nVersion=2.5\r\n";
  Install();
  // Registry keys of the product that are already gone, or may not be deleted, are no error.
  sys.RegDeleteKey(plat::kClassesRoot, ".Kvx");
  sys.SetRegistryDenied(plat::kCurrentUser, kUninstallKey);
  Start();
  EXPECT_EQ(frm->Label1.Text(), "正在卸载");
  EXPECT_EQ(frm->Label6.Text(), "即将从您的电脑中卸载 ");
  EXPECT_EQ(frm->Label4.Text(), " 卸载完毕.");
  sys.journal.clear();
  frm->BtnNext.Click();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(sys.conversations.empty());
  EXPECT_TRUE(sys.FileExists(kLink));
  for (const auto& j : sys.journal) EXPECT_NE(j.target.find("Desktop"), 0u) << j.target;
  EXPECT_TRUE(sys.KeyExists(plat::kCurrentUser, kUninstallKey));
  EXPECT_EQ(sys.OpenKeyCount(), 0u);
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

TEST_F(UninstallerTest, HostileManifestAndLinkNameDeleteNothingOutside) {
  relPaths = {"..\\Other\\keep.txt",
              "SdbFile\\..\\..\\Other\\keep.txt",
              "SdbFile/../../Other/keep.txt",
              "D:\\Program Files\\Other\\keep.txt",
              "D:keep.txt",
              "\\WINDOWS\\win.ini",
              ". .\\Other\\keep.txt",
              "Setup.log"};
  config = "[Form]\r\nCaption=K\r\ndesKtopLink=\\..\\..\\..\\WINDOWS\\win.ini\r\n";
  Install();
  sys.AddFile("C:\\WINDOWS\\win.ini", "ini");
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(sys.FileExists("D:\\Program Files\\Other\\keep.txt"));
  EXPECT_TRUE(sys.FileExists("C:\\WINDOWS\\win.ini"));
  EXPECT_FALSE(Exists("Setup.log"));
  ExpectOnlyProductTouched();
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

// Junctions and symbolic links in the install folder could lead anywhere: nothing is deleted
// through one. A data folder that is a link loses the link itself while the entries standing
// for where it leads stay, a listed file below a linked folder stays, and a listed file that is
// itself a link goes as the link. Reparse points of other kinds (a cloud placeholder, a
// deduplicated file) are ordinary files.
TEST_F(UninstallerTest, RemovalDeletesNothingThroughALink) {
  relPaths.push_back("Docs\\guide.txt");
  relPaths.push_back("UserFile\\shortcut.Kvx");
  Install();
  sys.AddFile(kDir + "SdbFile\\learned.dat", "user");
  sys.AddFile(kDir + "UserFile\\synced.Kvx", "cloud");
  sys.SetReparsePoint(kDir + "SdbFile");
  sys.SetReparsePoint(kDir + "Docs", kTagMountPoint);
  sys.SetReparsePoint(kDir + "UserFile\\shortcut.Kvx");
  sys.SetReparsePoint(kDir + "UserFile\\synced.Kvx", kTagCloudFile);
  sys.SetReparsePoint(kDir + "Readme.txt", kTagDedup);
  Start();
  frm->BtnNext.Click();
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
  EXPECT_TRUE(BoxTexts().empty());
  for (const char* rel : {"SdbFile\\词库.dat", "SdbFile\\词库.idx", "SdbFile\\a b.txt",
                          "SdbFile\\learned.dat", "Docs\\guide.txt"})
    EXPECT_TRUE(Exists(rel)) << rel;
  EXPECT_FALSE(sys.DirExists(kDir + "SdbFile")) << "the link itself is gone";
  EXPECT_FALSE(Exists("UserFile\\shortcut.Kvx"));
  EXPECT_FALSE(Exists("Readme.txt"));
  EXPECT_FALSE(sys.DirExists(kDir + "UserFile"));
  for (const auto& j : sys.journal) {
    const bool theLink = j.op == "RemoveDir" && j.target == kDir + "SdbFile";
    EXPECT_TRUE(theLink || (j.target.find("SdbFile") == std::string::npos &&
                            j.target.find("Docs\\") == std::string::npos))
        << j.op << " " << j.target;
  }
}

// The data folder is held while a box waits: a link put in its place meanwhile (its entries
// stand for the folder it leads to) gains nothing; the files there stay, each with its box.
TEST_F(UninstallerTest, LinkSwappedInWhileABoxWaitsGainsNothing) {
  Install();
  for (const char* name : {"0first.dat", "learned.dat", "user.dat"})
    sys.AddFile(kDir + "SdbFile\\" + name, "not listed");
  sys.SetReadOnly(kDir + "SdbFile\\0first.dat");
  backend.onBox = [this](const ui::HeadlessBackend::Box& box) {
    if (box.text.find("0first.dat") != std::string::npos) sys.SwapForLink(kDir + "SdbFile");
  };
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(Exists("SdbFile\\learned.dat"));
  EXPECT_TRUE(Exists("SdbFile\\user.dat"));
  for (const auto& j : sys.journal)
    EXPECT_FALSE(j.ok && (j.target.find("learned") != std::string::npos ||
                          j.target.find("user.dat") != std::string::npos ||
                          (j.op == "RemoveDir" && j.target.find("SdbFile") != std::string::npos)))
        << j.op << " " << j.target;
  EXPECT_FALSE(sys.DirExists(kDir + "UserFile"));
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

TEST_F(UninstallerTest, BatchFileText) {
  EXPECT_EQ(BatchFileText("D:\\Apps\\Uninstall.exe", "C:\\Windows\\system32"),
            "set /a tries=0\r\n"
            ":try\r\n"
            "del \"D:\\Apps\\Uninstall.exe\"\r\n"
            "if not exist \"D:\\Apps\\Uninstall.exe\" goto done\r\n"
            "set /a tries+=1\r\n"
            "if %tries% geq 30 goto done\r\n"
            "\"C:\\Windows\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\r\n"
            "goto try\r\n"
            ":done\r\n"
            "del %0\r\n");
}

TEST(BatchProgramPath, ChineseFolderGoesByItsAsciiShortName) {
  plat::FakePlatform sys;
  sys.moduleFileName = "D:\\Apps\\Uninstall.exe";
  EXPECT_EQ(BatchProgramPath(sys), "D:\\Apps\\Uninstall.exe");
  sys.moduleFileName = "D:\\我的 软件\\Uninstall.exe";
  EXPECT_EQ(BatchProgramPath(sys), sys.moduleFileName);  // no short name: as it is
  sys.shortNames[sys.moduleFileName] = "D:\\7Q0X~1\\UNINST~1.EXE";
  EXPECT_EQ(BatchProgramPath(sys), "D:\\7Q0X~1\\UNINST~1.EXE");
  sys.shortNames[sys.moduleFileName] = "D:\\我的软~1\\UNINST~1.EXE";  // still not ASCII
  EXPECT_EQ(BatchProgramPath(sys), sys.moduleFileName);
}

TEST_F(UninstallerTest, ErrorsStopTheRemovalWithOneMessage) {
  const char kError[] = "卸载程序出错!可能是正在使用要删除的文件";
  // The batch file cannot be created: everything else is already gone.
  Install();
  sys.FindDrive('C')->readOnly = true;
  Start();
  frm->BtnNext.Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kError});
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 1);
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(sys.KeyExists(plat::kLocalMachine, "Software\\Korvane"));
  EXPECT_EQ(sys.ddeCommands.size(), 1u);
  EXPECT_TRUE(sys.executes.empty());
}

TEST_F(UninstallerTest, BatchFileNameTakenByAFolderLinkIsFreedFirst) {
  // Any user may make a folder, or a link to one, in the root of C:. It is removed (the link
  // itself) and the batch file is made new.
  Install();
  sys.AddDir(kBatchFile);
  sys.SetReparsePoint(kBatchFile);
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(sys.Content(kBatchFile), BatchFileText(sys.moduleFileName, "C:\\WINDOWS\\system32"));
}

TEST_F(UninstallerTest, BatchFileNameTakenByAFolderThatStaysStopsTheRemoval) {
  // As an unwritable batch file does.
  Install();
  sys.AddFile(std::string(kBatchFile) + "\\inside.txt", "x");
  Start();
  frm->BtnNext.Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"卸载程序出错!可能是正在使用要删除的文件"});
  EXPECT_TRUE(sys.FileExists(std::string(kBatchFile) + "\\inside.txt"));
  EXPECT_TRUE(sys.executes.empty());
}

TEST_F(UninstallerTest, UnreadableManifestStopsBeforeDeleting) {
  Install();
  Start();
  sys.FailAlways(plat::FakeOp::ReadFile);
  sys.journal.clear();
  frm->BtnNext.Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"卸载程序出错!可能是正在使用要删除的文件"});
  EXPECT_TRUE(sys.journal.empty());
  EXPECT_TRUE(Exists("KVRN.exe"));
}

TEST_F(UninstallerTest, ProgramManagerCommandLimitsAndFailures) {
  Install();
  Start();
  // 238 bytes of name fill the 256-byte buffer exactly; one more is not sent at all.
  EXPECT_TRUE(frm->ProgManCommand(std::string(238, 'g'), "DeleteGroup"));
  ASSERT_EQ(sys.ddeCommands.size(), 1u);
  EXPECT_EQ(sys.ddeCommands[0].size(), 255u);
  EXPECT_FALSE(frm->ProgManCommand(std::string(239, 'g'), "DeleteGroup"));
  EXPECT_EQ(sys.ddeCommands.size(), 1u);
  EXPECT_EQ(sys.conversations.size(), 1u);
  // The syntax's own characters go inside quotes; a caption that no form carries is not sent,
  // and no conversation is opened for it.
  EXPECT_TRUE(frm->ProgManCommand("K (x86), 2", "DeleteGroup"));
  EXPECT_EQ(sys.ddeCommands.back(), "[DeleteGroup(\"K (x86), 2\")]\r\n");
  for (const char* caption : {"K\")]\r\n[DeleteGroup(Other", "K\"", "K\n"})
    EXPECT_FALSE(frm->ProgManCommand(caption, "DeleteGroup")) << caption;
  EXPECT_EQ(sys.ddeCommands.size(), 2u);
  EXPECT_EQ(sys.conversations.size(), 2u);

  // No server and none can be started: one start attempt, no command, no error.
  sys.progManRunning = false;
  sys.AddFile("C:\\WINDOWS\\ProgMan.exe", "MZ");
  EXPECT_TRUE(frm->ProgManCommand("K", "DeleteGroup"));
  EXPECT_EQ(sys.launches, std::vector<std::string>{"\"C:\\WINDOWS\\ProgMan.exe\" ProgMan"});
  sys.progManRunning = true;
  sys.progManRefusesExecute = true;
  EXPECT_FALSE(frm->ProgManCommand("K", "DeleteGroup"));
  EXPECT_EQ(sys.ddeConnected, 0);
  EXPECT_EQ(sys.ddeCommands.size(), 2u);
}

TEST_F(UninstallerTest, UnknownDesktopFolderDeletesNoLink) {
  Install();
  sys.commonDesktop.reset();
  Start();
  frm->BtnNext.Click();
  EXPECT_TRUE(sys.FileExists(kLink));
  EXPECT_EQ(frm->NoteBook1.PageIndex(), 2);
}

TEST_F(UninstallerTest, StartedElsewhereLooksBesideItself) {
  // A folder whose name has a 0x5C trail byte: it is no separator.
  sys.moduleFileName = "E:\\\x81\x5C\\Uninstall.exe";
  sys.AddFile("E:\\\x81\x5C\\Setup.ini", "[Form]\r\nCaption=Elsewhere\r\n");
  Start();
  EXPECT_EQ(frm->AppDir, "E:\\\x81\x5C\\");
  EXPECT_EQ(frm->ProductCaption, "Elsewhere");
}

}  // namespace
