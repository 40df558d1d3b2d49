// The installation wizard on the headless backend and the fake platform: page navigation,
// confirmations and the finished page.
#include <gtest/gtest.h>

#include "tests/unit/installer_fixture.h"

namespace {

const char kExitQuestion[] = "确定要退出本程序的安装吗?";

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
  system.WriteFile(Scratch(kScratchConfig), kProductConfig);
  w.Committed = true;
  InstallDir = "D:\\";
  w.BtnNext.Click();
  ASSERT_EQ(system.executes.size(), 1u);
  EXPECT_EQ(system.executes[0].file, "D:\\\\KVRN.exe");
}

TEST_F(WizardTest, FinishHasTheDesktopShellStartTheProgramWithTheUsersRights) {
  system.desktopShellAnswers = true;
  StartShown();
  TFormSchedule& w = *wizard;
  w.Committed = true;
  w.ScheBook.SetPageIndex(5);
  w.BtnNext.SetText("完毕");
  InstallDir = "D:\\Korv";
  w.BtnNext.Click();
  ASSERT_EQ(system.userExecutes.size(), 1u);
  const auto& run = system.userExecutes[0];
  EXPECT_EQ(run.verb, "open");
  EXPECT_EQ(run.file, "D:\\Korv\\KVRN.exe");
  EXPECT_EQ(run.params, "");
  EXPECT_EQ(run.dir, "");
  EXPECT_EQ(run.show, plat::kSwShow);
  EXPECT_TRUE(system.executes.empty()) << "nothing started with the installer's rights";
  EXPECT_TRUE(app->Terminated());
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

}  // namespace
