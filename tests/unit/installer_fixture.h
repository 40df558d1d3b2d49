// The installer on the headless backend and the fake platform. InstallerTest: the whole
// product's payload, two fixed disks, and helpers to walk the wizard as a user would.
// WizardTest: the payload without the program files, and helpers to start the wizard, play a
// script and read the destination page's disk grid.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "installer/unit_sec.h"
#include "platform/fake/fake_platform.h"
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"
#include "ui/ui.h"

class InstallerTest : public ::testing::Test {
 protected:
  ui::HeadlessBackend backend;
  ui::App app{backend};
  plat::FakePlatform sys;
  std::unique_ptr<TFormain> backdrop;
  std::unique_ptr<TFormSchedule> wizard;

  // The payload entries and the manifest lines that write them.
  using Entry = PayloadEntry;
  std::vector<Entry> entries = ProductEntries();

  void SetUp() override {
    app.SetTitle("VantaSetup");
    sys.SetDrive({'C', plat::kDriveFixed, 80023715840ull, 10737418240ull});
    sys.SetDrive({'D', plat::kDriveFixed, 5368709120ull, 5368709120ull});
  }

  void TearDown() override {
    wizard.reset();
    backdrop.reset();
    SetupRegistry.reset();
    InstallDir.clear();
  }

  std::string manifestTail;  // raw text appended to the manifest

  std::string Manifest() const { return ManifestOf(entries) + manifestTail; }

  // Puts the payload into the fake program and starts the installer as its entry does.
  void Start() {
    StorePayload(sys, entries, Manifest());
    backdrop = std::make_unique<TFormain>(sys);
    Formain = backdrop.get();
    wizard = std::make_unique<TFormSchedule>(sys);
    FormSchedule = wizard.get();
  }

  void RemoveEntry(const std::string& name) {
    std::erase_if(entries, [&](const Entry& e) { return e.name == name; });
  }

  bool WizardOn(int page) { return wizard->Visible() && wizard->ScheBook.PageIndex() == page; }

  // Scripts the walk from the welcome page to the ready page's Next, which starts the run.
  void ScriptWalkToInstall() {
    backend.When([this] { return WizardOn(0); }, [this] { wizard->BtnNext.Click(); });
    backend.Then([this] { wizard->RadioButton1.Click(); });
    backend.Then([this] { wizard->BtnNext.Click(); });  // destination
    backend.Then([this] { wizard->BtnNext.Click(); });  // ready
    backend.Then([this] { wizard->BtnNext.Click(); });  // the install dialog runs
  }

  // The same walk with `folder` typed into the destination page's path.
  void ScriptWalkToInstallInto(const std::string& folder) {
    backend.When([this] { return WizardOn(0); }, [this] { wizard->BtnNext.Click(); });
    backend.Then([this] { wizard->RadioButton1.Click(); });
    backend.Then([this] { wizard->BtnNext.Click(); });
    backend.Then([this, folder] { wizard->Edit_Path.SetText(folder); });
    backend.Then([this] { wizard->BtnNext.Click(); });
    backend.Then([this] { wizard->BtnNext.Click(); });
  }

  bool Finished() { return WizardOn(5) && wizard->BtnNext.Text() == "完毕"; }

  void ScriptFinish() {
    backend.When([this] { return Finished(); }, [this] { wizard->BtnNext.Click(); });
  }

  std::string Installed(const std::string& rel) {
    return sys.Content(std::string(kDefaultDir) + "\\" + rel).value_or("<missing>");
  }
};

inline constexpr std::uint64_t kGB = 1024ull * 1024 * 1024;

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() {
    // No program files: an install run stops at its first step unless a test adds them.
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
