// The installation wizard on the headless backend and the fake platform: page navigation,
// confirmations, the finished page, and the destination page with its disk grid.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "platform/fake/fake_platform.h"
#include "ui/headless/headless.h"
#include "ui/ui.h"

namespace {

const char kConfig[] =
    "[***]\r\n\r\n[Form]\r\nCaption=Korvanev2.5（专业版）\r\nVersion=2.5（专业版）\r\n"
    "SQXY=用户授权协议\r\ndesKtopLink=\\Korvanev2.5(专业版).lnk\r\n\r\n[SetupDir]\r\n"
    "Drive=D:\r\nDirName=Korvn25\r\nSetupPath=D:\\Program Files\\Korvn25\r\n\r\n[Run]\r\n"
    "FileName=KVRN.exe\r\nRJSize=15\r\n\r\n";
const char kManifest[] =
    "FileExe exename KVRN.exe\r\nuninstall exename Uninstall.exe\r\n"
    "FileTxt5 txtname Setup.log\r\nFileTxt6 txtname Setup.ini";
const char kAgreement[] = "第一条 授权\r\n第二条 限制";
const char kCaption[] = "Korvanev2.5（专业版）";
const char kDefaultDir[] = "D:\\Program Files\\Korvn25";
const char kExitQuestion[] = "确定要退出本程序的安装吗?";

constexpr std::uint64_t kGB = 1024ull * 1024 * 1024;

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() {
    system.AddPayload("FileTxt4", "txtname", kAgreement);
    system.AddPayload("FileTxt5", "txtname", kManifest);
    system.AddPayload("FileTxt6", "txtname", kConfig);
    Drives({{'C', plat::kDriveFixed, 80023715840ull, 10737418240ull},
            {'D', plat::kDriveFixed, 10736344064ull, 5368709120ull}});
  }

  void TearDown() override {
    if (app && !app->Terminated()) app->Terminate();
    backdrop.reset();  // its worker may still hand the wizard's modal showing over
    wizard.reset();
    FormSchedule = nullptr;
    Formain = nullptr;
    SetupRegistry.reset();
    InstallDir.clear();
    app.reset();
  }

  // Replaces every drive of the fake by these, in letter order.
  void Drives(const std::vector<plat::FakePlatform::Drive>& drives) {
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      if (system.FindDrive(letter)) system.RemoveDrive(letter);
    for (const auto& d : drives) system.SetDrive(d);
  }

  // The start-up of the installer: backdrop (scratch files, worker), then the wizard.
  void Start() {
    app = std::make_unique<ui::App>(backend);
    app->SetTitle("VantaSetup");
    backdrop = std::make_unique<TFormain>(system);
    Formain = backdrop.get();
    wizard = std::make_unique<TFormSchedule>(system);
    FormSchedule = wizard.get();
  }

  // Starts and shows the wizard modelessly, for driving handlers one by one.
  void StartShown() {
    Start();
    wizard->ShowForm();
  }

  // The same, with the destination page displayed but not yet refreshed.
  void StartOnDestination() {
    StartShown();
    wizard->ScheBook.SetPageIndex(2);
  }

  // A scripted step that runs once the wizard is on the screen.
  void OnWizard(std::function<void()> action) {
    backend.When([this] { return wizard->Visible(); }, std::move(action));
  }

  // Runs the program until the script is played out (then it is ended) or the program ends.
  void Play() {
    backend.Then([this] { app->Terminate(); });
    app->Run();
    EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
  }

  // Runs a refresh as an event handler does, so that its error reaches the error box.
  void Refresh() {
    app->Dispatch([this] { wizard->RefreshDiskGrid(); });
  }

  std::vector<std::string> Column(int col) {
    std::vector<std::string> cells;
    for (int row = 0; row < wizard->DiskGrid.RowCount(); ++row)
      cells.push_back(wizard->DiskGrid.Cell(col, row));
    return cells;
  }

  std::string Scratch(const char* name) { return backdrop->ScratchDir + name; }

  plat::FakePlatform system;
  ui::HeadlessBackend backend;
  std::unique_ptr<ui::App> app;
  std::unique_ptr<TFormain> backdrop;
  std::unique_ptr<TFormSchedule> wizard;
};

using V = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// Window and creation

TEST_F(WizardTest, CreationReadsTheCaptionResetsTheChoicesAndDocksTheRegions) {
  WantRunAfter = false;
  WantDesktopLink = false;
  Start();
  TFormSchedule& w = *wizard;
  EXPECT_EQ(w.Caption(), kCaption);
  EXPECT_FALSE(w.Visible());
  EXPECT_FALSE(w.Committed);
  EXPECT_TRUE(WantRunAfter);
  EXPECT_TRUE(WantDesktopLink);
  ASSERT_TRUE(SetupRegistry);
  EXPECT_EQ(SetupRegistry->RootKey(), plat::kCurrentUser);
  ASSERT_TRUE(w.DdeClientConv1);
  EXPECT_TRUE(system.conversations.empty());  // not connected by the wizard

  // Welcome page: no header; the 156-pixel strip on the left, the notebook beside it,
  // above the 2-pixel rule and the 46-pixel button bar.
  EXPECT_EQ(w.ScheBook.PageIndex(), 0);
  EXPECT_FALSE(w.Panel_Top.Visible());
  EXPECT_EQ(w.ImagLeft.bounds().width, 156);
  EXPECT_EQ(w.ImagLeft.bounds().height, 304);
  EXPECT_EQ(w.Panel3.bounds().top, 304);
  EXPECT_EQ(w.ButtonBar.bounds().top, 306);
  EXPECT_EQ(w.ScheBook.bounds().left, 156);
  EXPECT_EQ(w.ScheBook.bounds().width, 370);
  EXPECT_FALSE(w.btnpri.Enabled());
  EXPECT_TRUE(w.BtnNext.Enabled());
  EXPECT_TRUE(w.RadioButton2.Checked());
  EXPECT_TRUE(w.chbdesktop.Checked());
  EXPECT_TRUE(w.chbrun.Checked());
  EXPECT_EQ(w.DiskGrid.ColCount(), 4);
  EXPECT_EQ(w.DiskGrid.RowCount(), 1);
}

TEST_F(WizardTest, HeaderTakesTheTopOnceTheWelcomePageIsLeft) {
  StartShown();
  wizard->BtnNext.Click();
  EXPECT_TRUE(wizard->Panel_Top.Visible());
  EXPECT_FALSE(wizard->ImagLeft.Visible());
  EXPECT_EQ(wizard->Panel_Top.bounds().height, 57);
  EXPECT_EQ(wizard->ScheBook.bounds().top, 57);
  EXPECT_EQ(wizard->ScheBook.bounds().left, 0);
  EXPECT_EQ(wizard->ScheBook.bounds().height, 247);
}

// ---------------------------------------------------------------------------------------
// Navigation

TEST_F(WizardTest, ForwardThroughThePagesAndBackAgain) {
  Start();
  int ran = 0;
  OnWizard([&] {
    TFormSchedule& w = *wizard;
    // Shown modally: the activation built the welcome texts and the destination.
    EXPECT_EQ(w.Label6.Text(), std::string("欢迎使用 ") + kCaption);
    EXPECT_EQ(w.Label7.Text(),
              std::string("即将在您的电脑上安装“") + kCaption + "” 请点击“下一步”按钮继续。");
    EXPECT_EQ(InstallDir, kDefaultDir);
    EXPECT_EQ(w.Edit_Path.Text(), kDefaultDir);

    w.BtnNext.Click();  // 0 -> 1
    EXPECT_EQ(w.ScheBook.PageIndex(), 1);
    EXPECT_EQ(w.Memo1.Lines(), (V{"第一条 授权", "第二条 限制"}));
    EXPECT_EQ(w.Label4.Text(), "用户授权协议");
    EXPECT_TRUE(w.Label5.Visible());
    EXPECT_EQ(w.Label5.Text(), "请仔细阅读下面的协议条款");
    EXPECT_TRUE(w.RadioButton2.Checked());
    EXPECT_FALSE(w.BtnNext.Enabled());
    EXPECT_TRUE(w.btnpri.Enabled());

    w.RadioButton1.Click();
    EXPECT_TRUE(w.BtnNext.Enabled());
    w.RadioButton2.Click();
    EXPECT_FALSE(w.BtnNext.Enabled());
    w.BtnNext.Click();  // refused while disagreeing
    EXPECT_EQ(w.ScheBook.PageIndex(), 1);
    w.RadioButton1.Click();

    int before = system.CallCount(plat::FakeOp::DiskFreeSpace);
    w.BtnNext.Click();  // 1 -> 2
    EXPECT_EQ(w.ScheBook.PageIndex(), 2);
    EXPECT_EQ(w.Label4.Text(), "选择安装文件夹");
    EXPECT_FALSE(w.Label5.Visible());
    EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace) - before, 2);
    EXPECT_EQ(w.DiskGrid.Row(), 1);  // the D: default
    EXPECT_TRUE(w.BtnNext.Enabled());

    w.BtnNext.Click();  // 2 -> 3
    EXPECT_EQ(w.ScheBook.PageIndex(), 3);
    EXPECT_EQ(w.Label4.Text(), "安装确认");
    EXPECT_EQ(w.Label2.Text(), std::string("安装程序已经准备好在您的计算机上安装") + kCaption);
    EXPECT_TRUE(w.Label5.Visible());
    EXPECT_EQ(w.Label5.Text(), std::string("点击“下一步”开始安装") + kCaption);

    // Back keeps the header of the page left and does not refresh the grid.
    system.FindDrive('D')->free = 1 * kGB;
    before = system.CallCount(plat::FakeOp::DiskFreeSpace);
    w.btnpri.Click();  // 3 -> 2
    EXPECT_EQ(w.ScheBook.PageIndex(), 2);
    EXPECT_EQ(w.Label4.Text(), "安装确认");
    EXPECT_TRUE(w.Label5.Visible());
    EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace), before);
    EXPECT_EQ(w.DiskGrid.Cell(2, 1), "5.00 GB");

    w.btnpri.Click();  // 2 -> 1, still with the ready page's header
    EXPECT_EQ(w.ScheBook.PageIndex(), 1);
    EXPECT_EQ(w.Label4.Text(), "安装确认");
    w.BtnNext.Click();  // 1 -> 2 again: refreshed
    EXPECT_EQ(w.ScheBook.PageIndex(), 2);
    EXPECT_EQ(w.DiskGrid.Cell(2, 1), "1.00 GB");

    w.btnpri.Click();  // 2 -> 1 straight after the destination page was entered
    EXPECT_EQ(w.ScheBook.PageIndex(), 1);
    EXPECT_EQ(w.Label4.Text(), "选择安装文件夹");
    EXPECT_FALSE(w.Label5.Visible());
    EXPECT_TRUE(w.RadioButton1.Checked());
    EXPECT_TRUE(w.BtnNext.Enabled());
    EXPECT_TRUE(w.btnpri.Enabled());

    w.Memo1.UserTyped("edited");
    w.btnpri.Click();  // 1 -> 0
    EXPECT_EQ(w.ScheBook.PageIndex(), 0);
    EXPECT_FALSE(w.Panel_Top.Visible());
    EXPECT_TRUE(w.ImagLeft.Visible());
    EXPECT_TRUE(w.BtnNext.Enabled());
    EXPECT_FALSE(w.btnpri.Enabled());
    w.btnpri.Click();  // disabled on the welcome page
    EXPECT_EQ(w.ScheBook.PageIndex(), 0);

    // Next again resets the agreement although the user had agreed.
    w.BtnNext.Click();
    EXPECT_EQ(w.ScheBook.PageIndex(), 1);
    EXPECT_EQ(w.Memo1.Lines(), (V{"第一条 授权", "第二条 限制"}));
    EXPECT_TRUE(w.RadioButton2.Checked());
    EXPECT_FALSE(w.RadioButton1.Checked());
    EXPECT_FALSE(w.BtnNext.Enabled());
    ++ran;
  });
  Play();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, UnreadableAgreementShowsAnEmptyBox) {
  StartShown();
  // Gone, as if the hold had not kept it (a disk error reads the same).
  system.ReleaseHeldFile(Scratch(kScratchAgreement));
  system.DeleteFile(Scratch(kScratchAgreement));
  wizard->Memo1.SetText("design text");
  wizard->BtnNext.Click();
  EXPECT_EQ(wizard->ScheBook.PageIndex(), 1);
  EXPECT_EQ(wizard->Memo1.Text(), "");
  EXPECT_TRUE(wizard->RadioButton2.Checked());
  EXPECT_FALSE(wizard->BtnNext.Enabled());
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, ReadyPageNextCommitsHidesTheWizardAndRunsTheInstallDialog) {
  // No program file in the payload: the install dialog stops at its first step and stays.
  Start();
  OnWizard([&] {
    wizard->BtnNext.Click();
    wizard->RadioButton1.Click();
    wizard->BtnNext.Click();
    wizard->BtnNext.Click();
    wizard->BtnNext.Click();  // the install dialog runs inside this click
  });
  bool sawDialog = false;
  backend.When(
      [&] {
        ui::Form* active = app->ActiveForm();
        return active && active != wizard.get() && active != backdrop.get();
      },
      [&] {
        sawDialog = true;
        EXPECT_FALSE(wizard->Visible());
        EXPECT_TRUE(wizard->Committed);
        EXPECT_EQ(wizard->ScheBook.PageIndex(), 5);  // straight past the working page
        EXPECT_EQ(wizard->BtnNext.Text(), "下一步 >");
        backdrop->Close();  // the user leaves
      });
  Play();
  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(system.FileExists(Scratch(kScratchConfig)));
}

// ---------------------------------------------------------------------------------------
// Leaving: Exit, the close box and the finished page

TEST_F(WizardTest, ExitAnsweredNoResetsTheDestinationThroughActivation) {
  Start();
  OnWizard([&] {
    wizard->BtnNext.Click();
    wizard->RadioButton1.Click();
    wizard->BtnNext.Click();
    wizard->Edit_Path.UserTyped("D:\\Elsewhere");
    EXPECT_EQ(InstallDir, "D:\\Elsewhere");
    wizard->SetCaption("Renamed");  // the welcome texts follow the current caption
    int before = system.CallCount(plat::FakeOp::DiskFreeSpace);
    backend.answers.push_back(ui::kIdNo);
    wizard->btnexit.Click();
    EXPECT_FALSE(app->Terminated());
    EXPECT_EQ(wizard->ScheBook.PageIndex(), 2);
    EXPECT_EQ(InstallDir, kDefaultDir);
    EXPECT_EQ(wizard->Edit_Path.Text(), kDefaultDir);
    EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace), before);  // no refresh
    EXPECT_EQ(wizard->Label6.Text(), "欢迎使用 Renamed");
  });
  Play();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_TRUE(backend.boxes[0].own);
  EXPECT_EQ(backend.boxes[0].caption, "Confirm");
  EXPECT_EQ(backend.boxes[0].text, kExitQuestion);
  EXPECT_EQ(backend.boxes[0].owner, wizard.get());
}

TEST_F(WizardTest, ExitAnsweredYesClosesTheBackdropWithoutTheCloseQuestion) {
  Start();
  OnWizard([&] {
    wizard->Committed = true;  // cleared by Exit whatever it was
    backend.answers.push_back(ui::kIdYes);
    wizard->btnexit.Click();
    EXPECT_FALSE(wizard->Committed);
  });
  Play();
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(system.FileExists(Scratch(kScratchConfig)));
  EXPECT_FALSE(system.FileExists(Scratch(kScratchAgreement)));
  ASSERT_EQ(backend.boxes.size(), 1u);  // no system box after the dialog
  EXPECT_TRUE(backend.boxes[0].own);
}

TEST_F(WizardTest, CloseBoxCancelChangesNothingAndRunsNoActivation) {
  Start();
  int activations = 0;
  OnWizard([&] {
    auto activate = wizard->onActivate;
    wizard->onActivate = [&, activate] {
      ++activations;
      activate();
    };
    wizard->BtnNext.Click();
    wizard->RadioButton1.Click();
    wizard->BtnNext.Click();
    wizard->Edit_Path.UserTyped("D:\\Typed");
    backend.answers.push_back(ui::kIdCancel);
    wizard->Close();
    EXPECT_TRUE(wizard->Visible());
    EXPECT_EQ(wizard->ScheBook.PageIndex(), 2);
    EXPECT_EQ(wizard->Edit_Path.Text(), "D:\\Typed");
    EXPECT_EQ(InstallDir, "D:\\Typed");
    EXPECT_EQ(wizard->Label4.Text(), "选择安装文件夹");
  });
  Play();
  EXPECT_EQ(activations, 0);
  ASSERT_EQ(backend.boxes.size(), 1u);
  const auto& box = backend.boxes[0];
  EXPECT_FALSE(box.own);
  EXPECT_EQ(box.owner, wizard.get());
  EXPECT_EQ(box.text, kExitQuestion);
  EXPECT_EQ(box.caption, "退出安装");
  EXPECT_EQ(box.flags, ui::kMbOkCancel);
}

TEST_F(WizardTest, CloseBoxOkEndsTheProgram) {
  Start();
  OnWizard([&] {
    backend.answers.push_back(ui::kIdOk);
    wizard->Close();
  });
  Play();
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(wizard->Visible());
  EXPECT_FALSE(system.FileExists(Scratch(kScratchManifest)));
  EXPECT_EQ(backend.boxes.size(), 1u);
}

TEST_F(WizardTest, CloseWhileCommittedAsksNothingAndEndsWithoutStartingTheProgram) {
  StartShown();
  wizard->Committed = true;
  wizard->Close();
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_FALSE(wizard->Visible());
  EXPECT_TRUE(app->Terminated());
  EXPECT_TRUE(system.executes.empty());
}

TEST_F(WizardTest, FinishStartsTheProgramOnlyWhenAskedAndCommitted) {
  StartShown();
  TFormSchedule& w = *wizard;
  // The finished page as the install dialog leaves it.
  w.Committed = true;
  w.ScheBook.SetPageIndex(5);
  w.BtnNext.SetText("完毕");
  w.btnpri.SetEnabled(false);
  w.btnexit.SetEnabled(false);

  w.chbrun.Click();
  EXPECT_FALSE(WantRunAfter);
  w.BtnNext.Click();
  EXPECT_TRUE(system.executes.empty());
  EXPECT_TRUE(app->Terminated());
  EXPECT_FALSE(system.FileExists(Scratch(kScratchConfig)));

  // Closing the backdrop again is harmless, so the other cases can follow on this window.
  w.chbrun.Click();
  EXPECT_TRUE(WantRunAfter);
  w.Committed = false;
  w.BtnNext.Click();
  EXPECT_TRUE(system.executes.empty());

  // A drive root as destination gives a doubled backslash. The config is gone with the
  // scratch files, so the file name is put back for this case.
  system.WriteFile(Scratch(kScratchConfig), kConfig);
  w.Committed = true;
  InstallDir = "D:\\";
  w.BtnNext.Click();
  ASSERT_EQ(system.executes.size(), 1u);
  EXPECT_EQ(system.executes[0].file, "D:\\\\KVRN.exe");
}

TEST_F(WizardTest, WholeInstallationThenFinishStartsTheInstalledProgram) {
  system.AddPayload("FileExe", "exename", "MZ program");
  system.AddPayload("uninstall", "exename", "MZ uninstaller");
  Start();
  OnWizard([&] {
    wizard->BtnNext.Click();
    wizard->RadioButton1.Click();
    wizard->BtnNext.Click();
    wizard->Edit_Path.UserTyped("C:\\Korv");
    wizard->BtnNext.Click();
    wizard->BtnNext.Click();
  });
  bool finished = false;
  backend.When([&] { return wizard->Visible() && wizard->BtnNext.Text() == "完毕"; },
               [&] {
                 finished = true;
                 EXPECT_EQ(wizard->ScheBook.PageIndex(), 5);
                 EXPECT_TRUE(wizard->Committed);
                 // Shown again while committed: the destination stays as chosen.
                 EXPECT_EQ(InstallDir, "C:\\Korv");
                 EXPECT_EQ(wizard->Label6.Text(), std::string("欢迎使用 ") + kCaption);
                 wizard->BtnNext.Click();
               });
  Play();
  EXPECT_TRUE(finished);
  EXPECT_TRUE(app->Terminated());
  EXPECT_EQ(system.Content("C:\\Korv\\KVRN.exe"), "MZ program");
  ASSERT_EQ(system.executes.size(), 1u);
  const auto& run = system.executes[0];
  EXPECT_EQ(run.owner, wizard->Handle());
  EXPECT_EQ(run.verb, "open");
  EXPECT_EQ(run.file, "C:\\Korv\\KVRN.exe");
  EXPECT_EQ(run.params, "");
  EXPECT_EQ(run.dir, "");
  EXPECT_EQ(run.show, 5);
  EXPECT_FALSE(system.FileExists(Scratch(kScratchConfig)));
}

// ---------------------------------------------------------------------------------------
// Destination page: the disk grid

TEST_F(WizardTest, OnlyTheFirstRunOfFixedDisksIsListedWithTheirSpace) {
  Drives({{'A', plat::kDriveRemovable, 1474560, 1474560},
          {'C', plat::kDriveFixed, 80023715840ull, 10737418240ull},
          {'D', plat::kDriveFixed, 10736344064ull, 5368709120ull},
          {'E', plat::kDriveCdRom, 700000000, 0},
          {'F', plat::kDriveFixed, 50 * kGB, 40 * kGB}});
  StartOnDestination();
  int before = system.CallCount(plat::FakeOp::DiskFreeSpace);
  Refresh();
  EXPECT_TRUE(backend.boxes.empty());
  EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace) - before, 2);
  TFormSchedule& w = *wizard;
  EXPECT_EQ(w.DiskGrid.RowCount(), 2);
  EXPECT_EQ(w.DiskGrid.ColCount(), 5);
  EXPECT_EQ(w.DiskGrid.ColWidth(0), 50);
  EXPECT_EQ(w.DiskGrid.ColWidth(1), 80);
  EXPECT_EQ(w.DiskGrid.ColWidth(2), 80);
  EXPECT_EQ(w.DiskGrid.ColWidth(3), 64);
  EXPECT_EQ(Column(0), (V{"C:\\", "D:\\"}));
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB"}));
  EXPECT_EQ(Column(2), (V{"10.0 GB", "5.00 GB"}));
  // The default destination is on D:.
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));
  EXPECT_EQ(Column(4), (V{"", " 4.98 GB"}));
  EXPECT_EQ(InstallDir, kDefaultDir);

  // A destination typed in lower case selects its disk at the next refresh.
  w.Edit_Path.UserTyped("c:\\apps");
  Refresh();
  EXPECT_EQ(w.DiskGrid.Row(), 0);
  EXPECT_EQ(Column(3), (V{" 15 MB", ""}));
  EXPECT_EQ(Column(4), (V{" 9.98 GB", ""}));
  EXPECT_EQ(InstallDir, "c:\\apps");

  // C: and E: without D: are one run; E: is queried as drive 5.
  Drives(
      {{'C', plat::kDriveFixed, 30 * kGB, 3 * kGB}, {'E', plat::kDriveFixed, 40 * kGB, 4 * kGB}});
  w.Edit_Path.UserTyped("E:\\Apps");
  Refresh();
  EXPECT_EQ(Column(0), (V{"C:\\", "E:\\"}));
  EXPECT_EQ(Column(2), (V{"3.00 GB", "4.00 GB"}));
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(w.DiskGrid.Cell(4, 1), " 3.98 GB");
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, RemainingSpaceFollowsTheShownFreeSpace) {
  struct Case {
    std::uint64_t free;
    const char* shown;
    const char* remaining;
  };
  const Case cases[] = {{5368709120ull, "5.00 GB", " 4.98 GB"},
                        {10737418240ull, "10.0 GB", " 9.98 GB"},
                        {80023715840ull, "74.5 GB", " 74.5 GB"},
                        {15728640ull, "0.01 GB", " -0.01 GB"}};
  StartOnDestination();
  for (const auto& c : cases) {
    system.FindDrive('D')->free = c.free;
    Refresh();
    EXPECT_EQ(wizard->DiskGrid.Cell(2, 1), c.shown);
    EXPECT_EQ(wizard->DiskGrid.Cell(4, 1), c.remaining) << c.shown;
  }
}

TEST_F(WizardTest, UsageCellTakesTheConfigTextAsItIs) {
  StartOnDestination();
  std::string config = kConfig;
  config.replace(config.find("RJSize=15"), 9, "RJSize=");
  system.AddFile(Scratch(kScratchConfig), config);
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.Cell(3, 1), "  MB");
}

TEST_F(WizardTest, OneFixedDiskAlwaysPutsTheDestinationOnDriveC) {
  Drives({{'C', plat::kDriveFixed, 100 * kGB, 20 * kGB}, {'E', plat::kDriveCdRom, 0, 0}});
  system.AddDir("C:\\Other");
  StartOnDestination();
  Refresh();
  const char kC[] = "C:\\Program Files\\Korvn25";
  EXPECT_EQ(InstallDir, kC);
  EXPECT_EQ(wizard->Edit_Path.Text(), kC);
  EXPECT_EQ(Column(0), V{"C:\\"});
  EXPECT_EQ(wizard->DiskGrid.Cell(4, 0), " 20.0 GB");  // 19.981 shown with one decimal

  // Browsing starts nowhere (the folder does not exist) and the choice is replaced.
  backend.browseAnswers.push_back(std::string("C:\\Other"));
  wizard->Button1.Click();
  ASSERT_EQ(backend.browses.size(), 1u);
  EXPECT_EQ(backend.browses[0].title, "选择安装路径");
  EXPECT_EQ(backend.browses[0].initial, "");
  EXPECT_EQ(InstallDir, kC);
  EXPECT_EQ(wizard->Edit_Path.Text(), kC);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, BrowseStartsAtAnExistingDestinationAndKeepsItOnCancel) {
  system.AddDir(kDefaultDir);
  StartOnDestination();
  backend.browseAnswers.push_back(std::nullopt);
  wizard->Button1.Click();
  ASSERT_EQ(backend.browses.size(), 1u);
  EXPECT_EQ(backend.browses[0].initial, kDefaultDir);
  EXPECT_EQ(InstallDir, kDefaultDir);
  EXPECT_EQ(wizard->Edit_Path.Text(), kDefaultDir);

  backend.browseAnswers.push_back(std::string("C:\\"));
  wizard->Button1.Click();
  EXPECT_EQ(InstallDir, "C:\\");
  EXPECT_EQ(wizard->Edit_Path.Text(), "C:\\");
  EXPECT_EQ(wizard->DiskGrid.Row(), 0);
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, DrivesWithoutCAreNumberedByTheirLetters) {
  // D: first, no C:; a second fixed disk right after it.
  system.windowsDirectory = "D:\\WINDOWS";
  Drives(
      {{'D', plat::kDriveFixed, 30 * kGB, 3 * kGB}, {'E', plat::kDriveFixed, 40 * kGB, 4 * kGB}});
  system.AddDir("D:\\WINDOWS");
  StartOnDestination();
  Refresh();
  EXPECT_EQ(Column(0), (V{"D:\\", "E:\\"}));
  EXPECT_EQ(Column(1), (V{"30.0 GB", "40.0 GB"}));
  EXPECT_EQ(wizard->DiskGrid.Row(), 0);
  EXPECT_TRUE(backend.boxes.empty());

  // D: alone: one row, and the drive-C default that comes with it has no row.
  system.RemoveDrive('E');
  Refresh();
  EXPECT_EQ(Column(0), V{"D:\\"});
  EXPECT_EQ(Column(1), V{"30.0 GB"});
  EXPECT_EQ(InstallDir, "C:\\Program Files\\Korvn25");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  EXPECT_EQ(Column(3), V{""});
}

TEST_F(WizardTest, DestinationOnAnUnlistedDiskEndsTheRefreshInTheErrorBox) {
  Drives({{'C', plat::kDriveFixed, 30 * kGB, 3 * kGB},
          {'D', plat::kDriveFixed, 40 * kGB, 4 * kGB},
          {'G', plat::kDriveRemovable, 1 * kGB, 1 * kGB}});
  StartOnDestination();
  backend.browseAnswers.push_back(std::string("G:\\Stuff"));
  wizard->Button1.Click();
  EXPECT_EQ(InstallDir, "G:\\Stuff");
  EXPECT_EQ(wizard->Edit_Path.Text(), "G:\\Stuff");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
  EXPECT_EQ(Column(3), (V{"", ""}));
  EXPECT_EQ(Column(4), (V{"", ""}));
  EXPECT_EQ(Column(2), (V{"3.00 GB", "4.00 GB"}));  // written before the selection
}

TEST_F(WizardTest, EnteringTheDestinationPageWithAnUnmatchedFolderStillShowsThePage) {
  StartShown();
  std::string config = kConfig;
  config.replace(config.find("SetupPath=D:"), 12, "SetupPath=Q:");
  system.AddFile(Scratch(kScratchConfig), config);
  app->NoteActivated(nullptr);
  wizard->ShowForm();  // activation: the destination from the config
  EXPECT_EQ(InstallDir, "Q:\\Program Files\\Korvn25");
  wizard->BtnNext.Click();
  wizard->RadioButton1.Click();
  wizard->BtnNext.Click();
  EXPECT_EQ(wizard->ScheBook.PageIndex(), 2);
  EXPECT_EQ(wizard->Label4.Text(), "选择安装文件夹");
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Grid index out of range.");
  wizard->BtnNext.Click();  // the folder is not checked here
  EXPECT_EQ(wizard->ScheBook.PageIndex(), 3);
}

TEST_F(WizardTest, FailedSpaceQueriesLeaveTheCellsOfThePreviousRefresh) {
  StartOnDestination();
  Refresh();
  EXPECT_EQ(Column(2), (V{"10.0 GB", "5.00 GB"}));
  system.FindDrive('D')->freeSpaceFails = true;
  system.FindDrive('C')->free = 1 * kGB;
  Refresh();
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB"}));
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB"}));
  EXPECT_EQ(Column(4), (V{"", " 4.98 GB"}));

  // Rows beyond the row count keep their texts and come back with them.
  system.FindDrive('D')->freeSpaceFails = false;
  system.SetDrive({'E', plat::kDriveFixed, 2 * kGB, 2 * kGB});
  Refresh();
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB", "2.00 GB"}));
  system.RemoveDrive('E');
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.RowCount(), 2);
  system.SetDrive({'E', plat::kDriveFixed, 9 * kGB, 9 * kGB, true});
  wizard->Edit_Path.UserTyped("e:\\x");
  Refresh();
  EXPECT_EQ(Column(0), (V{"C:\\", "D:\\", "E:\\"}));
  EXPECT_EQ(Column(1), (V{"74.5 GB", "10.00 GB", "2.00 GB"}));
  EXPECT_EQ(Column(2), (V{"1.00 GB", "5.00 GB", "2.00 GB"}));
  EXPECT_EQ(wizard->DiskGrid.Row(), 2);
  EXPECT_EQ(Column(4), (V{"", "", " 1.98 GB"}));
}

TEST_F(WizardTest, FreeSpaceUnreadableFromTheStartLeavesTheRemainingCellEmpty) {
  system.FindDrive('D')->freeSpaceFails = true;
  StartOnDestination();
  Refresh();
  EXPECT_EQ(wizard->DiskGrid.Row(), 1);
  EXPECT_EQ(Column(1), (V{"74.5 GB", ""}));
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));
  EXPECT_EQ(Column(4), (V{"", ""}));
  EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(WizardTest, DoubleClickPutsTheDiskLetterInFrontOfTheEditText) {
  StartOnDestination();
  Refresh();
  TFormSchedule& w = *wizard;
  w.Edit_Path.UserTyped("C:\\Program Files\\X");
  w.DiskGrid.UserSelect(1);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "D:\\Program Files\\X");
  EXPECT_EQ(InstallDir, "D:\\Program Files\\X");
  EXPECT_EQ(w.DiskGrid.Row(), 1);
  EXPECT_EQ(Column(3), (V{"", " 15 MB"}));

  // A double-byte first character gives way as a whole.
  w.Edit_Path.UserTyped("安装");
  w.DiskGrid.UserSelect(0);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "C装");
  EXPECT_EQ(backend.boxes.size(), 1u);  // "C装" names no listed disk

  // An empty edit becomes the letter alone, which matches no row.
  w.Edit_Path.UserTyped("");
  w.DiskGrid.UserSelect(1);
  w.DiskGrid.DblClick();
  EXPECT_EQ(w.Edit_Path.Text(), "D");
  EXPECT_EQ(InstallDir, "D");
  ASSERT_EQ(backend.boxes.size(), 2u);
  EXPECT_EQ(backend.boxes[1].text, "Grid index out of range.");
}

TEST_F(WizardTest, DoubleClickWithoutAListedDiskDoesNothing) {
  Drives({{'C', plat::kDriveRemovable, 1 * kGB, 1 * kGB}});
  StartOnDestination();
  Refresh();  // nothing listed: the C: default matches no row
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(wizard->DiskGrid.RowCount(), 1);
  EXPECT_EQ(wizard->DiskGrid.Cell(0, 0), "");
  std::string before = wizard->Edit_Path.Text();
  int queries = system.CallCount(plat::FakeOp::DiskFreeSpace);
  wizard->DiskGrid.DblClick();
  EXPECT_EQ(wizard->Edit_Path.Text(), before);
  EXPECT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(system.CallCount(plat::FakeOp::DiskFreeSpace), queries);
}

TEST_F(WizardTest, TypingAndTheShortcutBoxFollowIntoTheSharedState) {
  StartOnDestination();
  wizard->Edit_Path.UserTyped(" D:\\With Blanks ");
  EXPECT_EQ(InstallDir, " D:\\With Blanks ");
  EXPECT_TRUE(backend.boxes.empty());  // typing does not refresh
  wizard->chbdesktop.Click();
  EXPECT_FALSE(WantDesktopLink);
  wizard->chbdesktop.Click();
  EXPECT_TRUE(WantDesktopLink);
}

}  // namespace
