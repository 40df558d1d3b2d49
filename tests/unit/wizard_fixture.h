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
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"
#include "ui/ui.h"

inline constexpr std::uint64_t kGB = 1024ull * 1024 * 1024;

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() {
    // Without the program and the uninstaller: an install run stops at its first step unless
    // a test adds them.
    std::vector<PayloadEntry> entries = ProductEntries();
    for (PayloadEntry& e : entries) e.stored = e.type != "exename";
    StorePayload(system, entries, ManifestOf(entries));
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
