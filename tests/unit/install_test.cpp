// The install run: from the ready page's Next through the progress dialog to the finished
// page, with every registration step and failure path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/formats.h"
#include "common/links.h"
#include "tests/unit/installer_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// The dialog's status and progress at each pause of the run.
struct Beat {
  std::string status;
  int progress;
  unsigned ms;
  bool operator==(const Beat&) const = default;
};

void PrintTo(const Beat& b, std::ostream* os) {
  *os << "{" << b.status << ", " << b.progress << ", " << b.ms << "}";
}

class InstallRun : public InstallerTest {
 protected:
  TFormsec* dialog = nullptr;
  std::vector<Beat> beats;

  void Record() {
    backend.onSleep = [this](unsigned ms) {
      dialog = FindDialog();
      if (dialog) beats.push_back({dialog->lbls.Text(), dialog->pgbs.Position(), ms});
    };
  }
  TFormsec* FindDialog() {
    for (ui::Form* f : app.Forms())
      if (auto* d = dynamic_cast<TFormsec*>(f)) return d;
    return nullptr;
  }
  // After the run has stopped on an error the dialog waits; the user leaves with 取消.
  // `check` looks at the stopped dialog first.
  void ScriptLeaveAfterError(std::function<void(TFormsec&)> check = nullptr) {
    backend.When([this] { return !backend.boxes.empty() && FindDialog(); },
                 [this, check] {
                   if (check) check(*FindDialog());
                   FindDialog()->btncel.Click();
                 });
  }
  // Runs the installer until the script ends it.
  void RunInstaller() {
    Record();
    app.Run();
    EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
  }
  std::size_t Writes(const std::string& tail) {
    return std::count_if(sys.journal.begin(), sys.journal.end(), [&](auto& j) {
      return j.op == "WriteFile" && j.target.size() >= tail.size() &&
             j.target.compare(j.target.size() - tail.size(), tail.size(), tail) == 0;
    });
  }
};

TEST_F(InstallRun, WholeInstallationFromReadyPageToFinish) {
  Start();
  ScriptWalkToInstall();
  bool sawFinished = false;
  backend.When([this] { return Finished(); },
               [&] {
                 sawFinished = true;
                 // The finished page as the engine leaves it.
                 EXPECT_TRUE(wizard->Committed);
                 EXPECT_TRUE(wizard->Panel_Top.Visible());
                 EXPECT_FALSE(wizard->ImagLeft.Visible());
                 EXPECT_FALSE(wizard->Label4.Visible());
                 EXPECT_EQ(wizard->Label5.bounds().left, 32);
                 EXPECT_EQ(wizard->Label5.Text(),
                           std::string(kCaption) + " 已经成功安装在您的电脑中");
                 EXPECT_EQ(wizard->Label8.Text(), std::string(kCaption) + " 安装完毕.");
                 EXPECT_EQ(wizard->Label9.Text(), "请点击“完毕”按钮退出安装程序。");
                 EXPECT_TRUE(wizard->chbrun.Checked());
                 EXPECT_FALSE(wizard->btnpri.Enabled());
                 EXPECT_FALSE(wizard->btnexit.Enabled());
                 EXPECT_TRUE(dialog->Visible());  // stays open beneath the wizard
                 EXPECT_TRUE(dialog->Succeeded);
                 EXPECT_FALSE(dialog->lbls.Visible());
                 wizard->BtnNext.Click();
               });
  RunInstaller();
  ASSERT_TRUE(sawFinished);

  const std::string dir = kDefaultDir;
  // The destination did not exist, so the program file's pause shows its creation.
  std::vector<Beat> expected = {{"安装主程序文件", 5, 50}};
  for (std::size_t i = 0; i < entries.size(); ++i)
    expected.push_back({DisplayPath(dir, entries[i].relPath), static_cast<int>(i) + 5, 50});
  expected.push_back({"创建反安装程序...", 87, 50});
  expected.push_back({"创建桌面快捷方式", 90, 50});
  expected.push_back({"创建程序群组...", 95, 50});
  expected.push_back({"写入注册信息", 100, 50});
  EXPECT_EQ(beats, expected);
  // The hand-back comes one second after the run.
  EXPECT_EQ(backend.sleeps.size(), expected.size());

  for (const Entry& e : entries) EXPECT_EQ(Installed(e.relPath), e.bytes) << e.relPath;
  EXPECT_EQ(Installed("Uninstall.exe"), "MZ uninstaller");
  EXPECT_EQ(Writes("\\Uninstall.exe"), 2u);  // by its manifest line and by the registration
  EXPECT_EQ(Writes("\\KVRN.exe"), 2u);

  // "完毕" starts the program and ends the installer; the scratch files are gone.
  ASSERT_EQ(sys.executes.size(), 1u);
  EXPECT_EQ(sys.executes[0].verb, "open");
  EXPECT_EQ(sys.executes[0].file, dir + "\\KVRN.exe");
  EXPECT_EQ(sys.executes[0].show, plat::kSwShow);
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(sys.FileExists("C:\\WINDOWS\\Temp\\korvSetup.ini"));
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(InstallRun, RegistrationWritesTheTableLinkAndProgramGroup) {
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  const std::string dir = kDefaultDir;
  const std::string uninstall = "software\\microsoft\\windows\\currentversion\\uninstall\\Korvane";
  EXPECT_EQ(sys.Value(plat::kCurrentUser, uninstall, "displayname"), "Korvane卸载");
  EXPECT_EQ(sys.Value(plat::kCurrentUser, uninstall, "uninstallstring"),
            "\"" + dir + "\\Uninstall.exe\"");
  EXPECT_EQ(sys.Value(plat::kClassesRoot, ".Kvx", ""), "Software\\KORVX");
  EXPECT_EQ(sys.Value(plat::kClassesRoot, "Software\\KORVX", ""), kCaption);
  EXPECT_EQ(sys.Value(plat::kClassesRoot, "Software\\KORVX\\DefaultIcon", ""),
            dir + "\\KVRN.exe,0");
  EXPECT_EQ(sys.Value(plat::kClassesRoot, "Software\\KORVX\\Shell\\Open", ""), "&Open");
  EXPECT_EQ(sys.Value(plat::kClassesRoot, "Software\\KORVX\\Shell\\Open\\Command", ""),
            "\"" + dir + "\\KVRN.exe\" \"%1\"");
  EXPECT_EQ(sys.Value(plat::kCurrentUser, "Software\\KORVX\\Shell\\PathName", "Path"), dir + "\\");
  EXPECT_EQ(sys.Value(plat::kCurrentUser, "Software\\KORVX\\Shell\\Version", "Version"),
            "2.5（专业版）");
  EXPECT_EQ(sys.associationNotifications, 1);
  EXPECT_EQ(sys.OpenKeyCount(), 0u);  // every key closed again

  // The registry writes come in the table's order, each key taken from its root.
  Strings order;
  for (auto& j : sys.journal)
    if (j.op == "RegSetString") order.push_back(j.target + "=" + j.name);
  EXPECT_EQ(
      order,
      (Strings{
          "HKCU\\" + uninstall + "=displayname", "HKCU\\" + uninstall + "=uninstallstring",
          "HKCR\\.Kvx=", "HKCR\\Software\\KORVX=", "HKCR\\Software\\KORVX\\DefaultIcon=",
          "HKCR\\Software\\KORVX\\Shell\\Open=", "HKCR\\Software\\KORVX\\Shell\\Open\\Command=",
          "HKCU\\Software\\KORVX\\Shell\\PathName=Path",
          "HKCU\\Software\\KORVX\\Shell\\Version=Version"}));

  ASSERT_EQ(sys.links.size(), 1u);
  EXPECT_EQ(sys.links[0].target, dir + "\\KVRN.exe");
  EXPECT_EQ(sys.links[0].workingDir, dir + "\\");
  EXPECT_EQ(sys.links[0].savePath, "C:\\users\\Public\\Desktop\\Korvanev2.5(专业版).lnk");

  const std::string c = kCaption;
  EXPECT_EQ(sys.ddeCommands, (Strings{"[creategroup(" + c + "," + c + ")]",
                                      "[additem(" + dir + "\\KVRN.exe," + c + ")]",
                                      "[additem(" + dir + "\\Uninstall.exe,卸载" + c + ")]",
                                      "[additem(" + dir + "\\用户授权协议.txt,用户授权协议)]"}));
  ASSERT_FALSE(sys.conversations.empty());
  EXPECT_EQ(sys.conversations.back().service, "ProgMan");
  EXPECT_EQ(sys.conversations.back().topic, "ProgMan");
  EXPECT_EQ(sys.ddeConnected, 0);
}

TEST_F(InstallRun, NoDesktopLinkAndNoRunWhenTheUserSaysSo) {
  Start();
  backend.When([this] { return WizardOn(0); }, [this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->RadioButton1.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->chbdesktop.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.When([this] { return Finished(); },
               [this] {
                 wizard->chbrun.Click();
                 wizard->BtnNext.Click();
               });
  RunInstaller();
  ASSERT_EQ(sys.links.size(), 1u);  // the link object is still made, but not saved
  EXPECT_FALSE(sys.links[0].savePath.has_value());
  EXPECT_FALSE(sys.FileExists("C:\\users\\Public\\Desktop\\Korvanev2.5(专业版).lnk"));
  EXPECT_EQ(sys.ddeCommands.size(), 4u);
  EXPECT_TRUE(sys.executes.empty());
  EXPECT_TRUE(app.Terminated());
}

TEST_F(InstallRun, LockedProgramFileEndsTheInstaller) {
  sys.AddFile(std::string(kDefaultDir) + "\\KVRN.exe", "running");
  sys.SetLocked(std::string(kDefaultDir) + "\\KVRN.exe");
  Start();
  ScriptWalkToInstall();
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "所要安装的程序正在运行中,请退出后再安装!");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk);
  EXPECT_FALSE(wizard->Committed);
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(Installed("KVRN.exe"), "running");
  EXPECT_FALSE(sys.FileExists(std::string(kDefaultDir) + "\\Setup.log"));
  EXPECT_TRUE(sys.RegistryListing() == plat::FakePlatform().RegistryListing());
}

TEST_F(InstallRun, DestinationThatCannotBeCreatedStopsWithTheDialogOpen) {
  Start();
  ScriptWalkToInstallInto("");
  // The run has stopped and the dialog waits: the user leaves with 取消 (answered OK).
  backend.When([this] { return !backend.boxes.empty(); },
               [this] {
                 dialog = FindDialog();
                 ASSERT_NE(dialog, nullptr);
                 EXPECT_EQ(dialog->lbls.Text(), "安装主程序文件");
                 EXPECT_EQ(dialog->pgbs.Position(), 1);
                 EXPECT_FALSE(wizard->Visible());
                 dialog->btncel.Click();
               });
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_TRUE(backend.boxes[0].own);
  EXPECT_EQ(backend.boxes[0].caption, "Error");
  EXPECT_EQ(backend.boxes[0].text, "创建主文件夹\\ 失败");
  EXPECT_EQ(backend.boxes[1].text, "安装程序进行中,确定要退出安装吗?");
  EXPECT_EQ(backend.boxes[1].caption, "退出安装");
  EXPECT_EQ(backend.boxes[1].flags, ui::kMbOkCancel);
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(wizard->Committed);
  EXPECT_TRUE(std::none_of(sys.journal.begin(), sys.journal.end(), [](auto& j) {
    return j.op == "WriteFile" && j.target.find("Temp") == std::string::npos;
  }));
}

TEST_F(InstallRun, SubFolderThatCannotBeCreatedSkipsItsEntriesOnly) {
  sys.AddFile(std::string(kDefaultDir) + "\\SdbFile", "a file in the way");
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  Strings texts;
  for (auto& b : backend.boxes) texts.push_back(b.caption + ":" + b.text);
  EXPECT_EQ(texts, (Strings{"Error:创建文件夹\\SdbFile 失败", "Error:创建文件夹\\SdbFile 失败"}));
  EXPECT_EQ(Installed("UserFile\\示例 文档.Kvx"), "KVX1");
  EXPECT_TRUE(app.Terminated());  // the run completed and "完毕" was reached
  // The skipped entries do not move the bar: 5..9 for the first five lines, then 12.
  std::vector<int> progress;
  for (auto& b : beats) progress.push_back(b.progress);
  EXPECT_EQ(progress, (std::vector<int>{5, 5, 6, 7, 8, 9, 12, 87, 90, 95, 100}));
  EXPECT_EQ(Writes("\\Uninstall.exe"), 2u);  // activations after the boxes start nothing
}

TEST_F(InstallRun, TwoEntriesInOneMissingFolderCreateItOnce) {
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  std::size_t creates = std::count_if(sys.journal.begin(), sys.journal.end(), [](auto& j) {
    return j.op == "CreateDir" && j.target.find("\\SdbFile") != std::string::npos;
  });
  EXPECT_EQ(creates, 1u);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(InstallRun, FoldersTheRunMakesAreProtectedAndExistingOnesKeepTheirAccess) {
  // The destination and its missing parent are made protected; the data folders inside
  // inherit from them.
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  EXPECT_TRUE(sys.IsProtectedDir("D:\\Program Files"));
  EXPECT_TRUE(sys.IsProtectedDir(kDefaultDir));
  EXPECT_FALSE(sys.IsProtectedDir(std::string(kDefaultDir) + "\\SdbFile"));
  EXPECT_FALSE(sys.IsProtectedDir(std::string(kDefaultDir) + "\\UserFile"));
}

TEST_F(InstallRun, ExistingDestinationKeepsItsAccess) {
  sys.AddDir(kDefaultDir);
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  EXPECT_FALSE(sys.IsProtectedDir("D:\\Program Files"));
  EXPECT_FALSE(sys.IsProtectedDir(kDefaultDir));
  EXPECT_FALSE(sys.IsProtectedDir(std::string(kDefaultDir) + "\\SdbFile"));
  EXPECT_TRUE(sys.FileExists(std::string(kDefaultDir) + "\\KVRN.exe"));
}

TEST_F(InstallRun, MissingResourceStopsTheSequenceWithTheErrorBox) {
  entries.insert(entries.begin() + 5, Entry{"Ghost", "DBname7", "SdbFile\\ghost.dat", "", false});
  Start();
  ScriptWalkToInstall();
  ScriptLeaveAfterError([this](TFormsec& stopped) {
    EXPECT_FALSE(stopped.Succeeded);
    EXPECT_FALSE(stopped.Timer1.Enabled());
    EXPECT_EQ(stopped.pgbs.Position(), 9);         // the last entry written before the missing one
    EXPECT_EQ(stopped.lbls.Text(), "安装已撤销");  // after the error box, the run was undone
    EXPECT_FALSE(wizard->Visible());
  });
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);  // the error, then the cancel question
  EXPECT_EQ(backend.boxes[0].text, "Resource Ghost not found.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
  EXPECT_FALSE(sys.DirExists("D:\\Program Files"));  // what was written is gone again
  EXPECT_FALSE(sys.KeyExists(plat::kClassesRoot, ".Kvx"));
}

TEST_F(InstallRun, RefusedRegistryWriteEndsTheSequence) {
  sys.SetRegistryDenied(plat::kCurrentUser,
                        "software\\microsoft\\windows\\currentversion\\uninstall");
  Start();
  ScriptWalkToInstall();
  ScriptLeaveAfterError();
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[0].text, "Failed to set data for 'displayname'");
  EXPECT_TRUE(sys.links.empty());
  EXPECT_TRUE(sys.ddeCommands.empty());
  EXPECT_EQ(sys.OpenKeyCount(), 0u);
  EXPECT_EQ(Writes("\\Uninstall.exe"), 1u);  // only by its manifest line
}

TEST_F(InstallRun, ConfirmedCancelStopsAtTheNextPumpPoint) {
  Start();
  ScriptWalkToInstall();
  std::size_t journalAtCancel = 0;
  backend.When([this] { return dialog && dialog->pgbs.Position() >= 7; },
               [&] {
                 dialog->btncel.Click();
                 journalAtCancel = sys.journal.size();
               });
  RunInstaller();
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(wizard->Committed);
  // After the confirmation only the scratch files were removed: nothing written, nothing
  // registered.
  for (std::size_t i = journalAtCancel; i < sys.journal.size(); ++i)
    EXPECT_EQ(sys.journal[i].op, "DeleteFile") << sys.journal[i].target;
  EXPECT_TRUE(sys.RegistryListing() == plat::FakePlatform().RegistryListing());
  EXPECT_TRUE(sys.ddeCommands.empty());
}

TEST_F(InstallRun, CancelAnsweredCancelGoesOn) {
  Start();
  ScriptWalkToInstall();
  backend.When([this] { return dialog && dialog->pgbs.Position() >= 7; },
               [this] {
                 backend.answers.push_back(ui::kIdCancel);
                 dialog->btncel.Click();
               });
  ScriptFinish();
  RunInstaller();
  EXPECT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(sys.executes.size(), 1u);  // finished and started the program
}

TEST_F(InstallRun, ManifestCannotSteerWritesOutsideTheDestination) {
  entries.insert(entries.begin() + 5, Entry{"Evil", "DBname7", "..\\..\\evil.txt", "x"});
  Start();
  ScriptWalkToInstall();
  ScriptLeaveAfterError();
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[0].text.rfind(
                "Cannot create file \"D:\\Program Files\\Korvn25\\..\\..\\evil.txt\". ", 0),
            0u)
      << backend.boxes[0].text;
  for (auto& j : sys.journal) {
    if (j.op != "WriteFile" && j.op != "CreateDir") continue;
    EXPECT_TRUE(j.target.rfind("D:\\Program Files\\Korvn25", 0) == 0 ||
                j.target.rfind("C:\\WINDOWS\\Temp", 0) == 0 || j.target == "D:\\Program Files")
        << j.target;
  }
  EXPECT_FALSE(sys.FileExists("D:\\evil.txt"));
}

TEST_F(InstallRun, BlankManifestLineNamesAnEmptyResource) {
  manifestTail = "\r\n\r\nFileTxt2 txtname Readme.txt";
  Start();
  ScriptWalkToInstall();
  ScriptLeaveAfterError();
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[0].text, "Resource  not found.");
}

TEST_F(InstallRun, EmptyProgramFileTakesTheProgramFilePath) {
  entries[4].bytes = ProductConfigWith("FileName", "");
  Start();
  ScriptWalkToInstall();
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "所要安装的程序正在运行中,请退出后再安装!");
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(sys.DirExists("D:\\Program Files"));  // the folders made in that step go
}

TEST_F(InstallRun, LongManifestKeepsTheBarFullThenStepsBackTo87) {
  for (int i = 0; i < 100; ++i)
    entries.push_back(Entry{"Word" + std::to_string(i), "Txtname1",
                            "SdbFile\\w" + std::to_string(i) + ".txt", "w"});
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  ASSERT_GT(beats.size(), 100u);
  EXPECT_EQ(beats[96].progress, 100);  // index 95 + 5
  EXPECT_EQ(beats[entries.size()].progress, 100);
  EXPECT_EQ(beats[entries.size() + 1].progress, 87);
  EXPECT_EQ(sys.executes.size(), 1u);
}

TEST_F(InstallRun, ProgramManagerStartedOnDemandGetsTheFourCommands) {
  sys.progManRunning = false;
  sys.progManStartsOnLaunch = true;
  sys.AddFile("C:\\WINDOWS\\ProgMan.exe", "MZ");
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  EXPECT_EQ(sys.launches, (Strings{"\"C:\\WINDOWS\\ProgMan.exe\" ProgMan"}));
  EXPECT_EQ(sys.ddeCommands.size(), 4u);
}

// Captions that no form carries as an argument, that are no single group name, or that make a
// command too long: the group and its items are all left out, and the installation goes on
// to the end.
const std::string kHostileCaptions[] = {
    std::string(238, 'x'), "K\")][deletegroup(Other", "K\"x", "..\\..\\Documents\\X", "..", "C:X"};

class HostileCaption : public InstallRun, public ::testing::WithParamInterface<int> {};

TEST_P(HostileCaption, SendsNoGroupCommandAtAll) {
  entries[4].bytes = ProductConfigWith("Caption", kHostileCaptions[GetParam()]);
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  EXPECT_TRUE(sys.conversations.empty());
  EXPECT_TRUE(sys.ddeCommands.empty());
  EXPECT_EQ(sys.executes.size(), 1u);  // finished and started the program
}

INSTANTIATE_TEST_SUITE_P(InstallRun, HostileCaption,
                         ::testing::Range(0, static_cast<int>(std::size(kHostileCaptions))));

// A data folder of the destination made beforehand as a link (by anyone who may make folders
// there): nothing is written through it, and the run ends with the error box as for a file
// that cannot be created. The destination itself may be a link the user chose.
TEST_F(InstallRun, DataFolderThatIsALinkGetsNothingAndStopsTheRun) {
  // What the link leads to holds a file of a data entry's name: neither read nor written.
  sys.AddFile(std::string(kDefaultDir) + "\\SdbFile\\词库.dat", "theirs");
  sys.SetReparsePoint(std::string(kDefaultDir) + "\\SdbFile", kTagMountPoint);
  sys.SetReparsePoint(kDefaultDir);
  Start();
  ScriptWalkToInstall();
  // The run has stopped and the dialog waits: the user leaves with 取消 (answered OK).
  backend.When([this] { return !backend.boxes.empty(); }, [this] { FindDialog()->btncel.Click(); });
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].text.rfind(
                "Cannot create file \"" + std::string(kDefaultDir) + "\\SdbFile\\", 0),
            0u)
      << backend.boxes[0].text;
  EXPECT_NE(backend.boxes[0].text.find("The path passes through a link"), std::string::npos);
  // Nothing went in there, and nothing came out of it into a saved copy.
  for (const auto& j : sys.journal) {
    EXPECT_FALSE(j.ok && j.target.find("SdbFile") != std::string::npos) << j.op << " " << j.target;
    EXPECT_FALSE(j.ok && j.op == "CreateHeldFile" && j.target.rfind(kDefaultDir, 0) == 0)
        << j.target;
  }
  // The run is taken back: the program file written before the data folder goes again.
  EXPECT_EQ(Installed("KVRN.exe"), "<missing>");
  EXPECT_FALSE(sys.KeyExists(plat::kClassesRoot, ".Kvx"));
  EXPECT_TRUE(sys.ddeCommands.empty());
}

// A destination and a caption holding the syntax's own characters: those arguments go inside
// quotes, the others byte for byte, and the group gets its three items.
TEST_F(InstallRun, ProgramGroupArgumentsWithTheSyntaxCharactersAreQuoted) {
  entries[4].bytes = ProductConfigWith("Caption", "K (x86), 2");
  Start();
  ScriptWalkToInstallInto("D:\\Program Files (x86)\\Korvn25");
  ScriptFinish();
  RunInstaller();
  EXPECT_EQ(
      sys.ddeCommands,
      (Strings{"[creategroup(\"K (x86), 2\",\"K (x86), 2\")]",
               "[additem(\"D:\\Program Files (x86)\\Korvn25\\KVRN.exe\",\"K (x86), 2\")]",
               "[additem(\"D:\\Program Files (x86)\\Korvn25\\Uninstall.exe\",\"卸载K (x86), 2\")]",
               "[additem(\"D:\\Program Files (x86)\\Korvn25\\用户授权协议.txt\",用户授权协议)]"}));
}

TEST_F(InstallRun, GroupRefusedByTheServerGetsNoItems) {
  sys.progManRefusesExecute = true;
  Start();
  ScriptWalkToInstall();
  ScriptFinish();
  RunInstaller();
  EXPECT_EQ(sys.CallCount(plat::FakeOp::DdeExecute),
            1);  // the creategroup, refused; nothing after it
  EXPECT_EQ(sys.executes.size(), 1u);
}

// The scratch config lies in a folder every user can write. Values changed in it while the
// wizard is open (past the hold, as a Linux-side write under Wine is) steer no file, link or
// start outside the product's places.
TEST_F(InstallRun, ScratchConfigChangedDuringTheWizardSteersNothingOutside) {
  Start();
  const std::string scratch = backdrop->ScratchDir + kScratchConfig;
  auto change = [&](const char* key, const std::string& value) {
    std::string text = *sys.Content(scratch);
    const std::size_t at = text.find(std::string(key) + "=") + std::strlen(key) + 1;
    sys.AddFile(scratch, text.replace(at, text.find("\r\n", at) - at, value));
  };
  backend.When([this] { return WizardOn(0); },
               [&] {
                 change("desKtopLink", "\\..\\..\\..\\WINDOWS\\evil.lnk");
                 wizard->BtnNext.Click();
               });
  backend.Then([this] { wizard->RadioButton1.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.When([this] { return Finished(); },
               [&] {
                 change("FileName", "..\\..\\..\\WINDOWS\\evil.exe");
                 wizard->BtnNext.Click();
               });
  RunInstaller();
  ASSERT_EQ(sys.links.size(), 1u);
  EXPECT_FALSE(sys.links[0].savePath.has_value());  // no link saved anywhere
  EXPECT_TRUE(sys.executes.empty());                // 完毕 started nothing
  EXPECT_EQ(Installed("KVRN.exe"), "MZ program");
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(InstallRun, ProgramFileNameLeadingOutsideIsRefusedAsUncreatable) {
  Start();
  const std::string scratch = backdrop->ScratchDir + kScratchConfig;
  backend.When([this] { return WizardOn(0); },
               [&] {
                 std::string text = *sys.Content(scratch);
                 text.replace(text.find("FileName=KVRN.exe"), 17,
                              "FileName=..\\..\\WINDOWS\\evil.exe");
                 sys.AddFile(scratch, text);
                 wizard->BtnNext.Click();
               });
  backend.Then([this] { wizard->RadioButton1.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  backend.Then([this] { wizard->BtnNext.Click(); });
  RunInstaller();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "所要安装的程序正在运行中,请退出后再安装!");
  EXPECT_TRUE(app.Terminated());
  for (const auto& j : sys.journal)
    if (j.op == "WriteFile") {
      EXPECT_EQ(j.target.rfind(kDefaultDir, 0), 0u) << j.target;
    }
  EXPECT_FALSE(sys.FileExists("D:\\WINDOWS\\evil.exe"));
  EXPECT_TRUE(sys.executes.empty());
}

// Scratch files someone made before the installer ran are replaced, whatever their
// attributes; the new ones cannot be changed or deleted by anyone while the installer runs,
// and are gone after it.
TEST_F(InstallRun, ScratchFilesAreMadeAnewAndHeldWhileTheInstallerRuns) {
  const std::string temp = "C:\\WINDOWS\\Temp\\";
  sys.AddFile(temp + kScratchConfig, "[Run]\r\nFileName=..\\evil.exe\r\n");
  sys.SetReadOnly(temp + kScratchConfig);
  Start();
  backend.When([this] { return WizardOn(0); },
               [&] {
                 EXPECT_EQ(sys.Content(temp + kScratchConfig), std::string(kProductConfig));
                 for (const char* name : {kScratchManifest, kScratchConfig, kScratchAgreement}) {
                   EXPECT_THROW(sys.WriteFile(temp + name, "x"), plat::Error) << name;
                   EXPECT_FALSE(sys.DeleteFile(temp + name)) << name;
                 }
                 EXPECT_EQ(backdrop->ReadSetupValue("Run", "FileName"), "KVRN.exe");
                 wizard->btnexit.Click();
               });
  RunInstaller();
  for (const char* name : {kScratchManifest, kScratchConfig, kScratchAgreement})
    EXPECT_FALSE(sys.FileExists(temp + name)) << name;
}

// Taking a failed or cancelled run back touches only what the run itself changed, passes over
// a step that fails, and neither replaces nor removes a link it finds.
struct UndoCase {
  const char* name;
  bool theirsDuringRun, linkInTheWay, valueDeletesFail;
};
class UndoScope : public InstallRun, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoScope, TakesBackOnlyWhatTheRunChanged) {
  const UndoCase& k = GetParam();
  const std::string dir = std::string(kDefaultDir) + "\\";
  if (k.linkInTheWay) {
    sys.AddFile(dir + "用户授权协议.txt", "theirs");
    sys.SetReparsePoint(dir + "用户授权协议.txt");
  }
  if (k.valueDeletesFail) sys.FailAlways(plat::FakeOp::RegDeleteValue);
  Start();
  ScriptWalkToInstall();
  // 取消 once the Program Manager group has been asked for; others wrote meanwhile.
  if (!k.linkInTheWay)
    backend.When([this] { return FindDialog() && FindDialog()->pgbs.Position() == 95; },
                 [&] {
                   if (k.theirsDuringRun) {
                     sys.AddFile(dir + "SdbFile\\theirs.dat", "theirs");
                     sys.SetValue(plat::kCurrentUser, "Software\\KORVX\\Shell\\PathName", "x",
                                  "theirs");
                   }
                   FindDialog()->btncel.Click();
                 });
  ScriptLeaveAfterError();
  RunInstaller();
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(sys.FileExists(kDesktopLink));
  EXPECT_FALSE(sys.FileExists(dir + "KVRN.exe"));
  if (k.theirsDuringRun) {
    EXPECT_EQ(sys.ddeCommands.back(), "[DeleteGroup(" + std::string(kCaption) + ")]");
    EXPECT_EQ(sys.Listing(),
              (Strings{"C:\\users\\", "C:\\users\\Public\\", "C:\\users\\Public\\Desktop\\",
                       "C:\\WINDOWS\\", "C:\\WINDOWS\\Temp\\", "D:\\Program Files\\", dir,
                       dir + "SdbFile\\", dir + "SdbFile\\theirs.dat"}));
    EXPECT_EQ(sys.Value(plat::kCurrentUser, "Software\\KORVX\\Shell\\PathName", "x"), "theirs");
    EXPECT_FALSE(sys.Value(plat::kCurrentUser, "Software\\KORVX\\Shell\\PathName", "Path"));
    EXPECT_FALSE(sys.KeyExists(plat::kCurrentUser, kUninstallKey));
    EXPECT_FALSE(sys.KeyExists(plat::kClassesRoot, ".Kvx"));
  } else if (k.linkInTheWay) {
    // Not replaced: the run stops at it with the error box, and the link stays as it was.
    EXPECT_EQ(backend.boxes.at(0).text,
              "Cannot open file \"" + dir + "用户授权协议.txt\". Access is denied.");
    EXPECT_EQ(sys.Content(dir + "用户授权协议.txt"), "theirs");
    EXPECT_FALSE(sys.FileExists(dir + "Setup.ini"));
  } else {
    // The values stay, and so do their keys; every file and folder is gone.
    EXPECT_EQ(sys.Value(plat::kCurrentUser, kUninstallKey, "displayname"), "Korvane卸载");
    EXPECT_FALSE(sys.DirExists("D:\\Program Files"));
  }
}

INSTANTIATE_TEST_SUITE_P(InstallRun, UndoScope,
                         ::testing::Values(UndoCase{"OthersWriteMeanwhile", true, false, false},
                                           UndoCase{"LinkInTheWay", false, true, false},
                                           UndoCase{"ValueDeletesFail", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
