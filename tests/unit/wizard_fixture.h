// The installation wizard on the headless backend and the fake platform: the payload and
// disks it starts with, and helpers to start it, play a script and read the disk grid.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "platform/fake/fake_platform.h"
#include "ui/headless/headless.h"
#include "ui/ui.h"

inline const char kConfig[] =
    "[***]\r\n\r\n[Form]\r\nCaption=Korvanev2.5（专业版）\r\nVersion=2.5（专业版）\r\n"
    "SQXY=用户授权协议\r\ndesKtopLink=\\Korvanev2.5(专业版).lnk\r\n\r\n[SetupDir]\r\n"
    "Drive=D:\r\nDirName=Korvn25\r\nSetupPath=D:\\Program Files\\Korvn25\r\n\r\n[Run]\r\n"
    "FileName=KVRN.exe\r\nRJSize=15\r\n\r\n";
inline const char kManifest[] =
    "FileExe exename KVRN.exe\r\nuninstall exename Uninstall.exe\r\n"
    "FileTxt5 txtname Setup.log\r\nFileTxt6 txtname Setup.ini";
inline const char kAgreement[] = "第一条 授权\r\n第二条 限制";
inline const char kCaption[] = "Korvanev2.5（专业版）";
inline const char kDefaultDir[] = "D:\\Program Files\\Korvn25";

inline constexpr std::uint64_t kGB = 1024ull * 1024 * 1024;

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
