// A whole installer on the headless backend and the fake platform: the payload of a small
// product, two fixed disks, and helpers to walk the wizard as a user would.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "installer/unit_sec.h"
#include "platform/fake/fake_platform.h"
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"

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

  bool Finished() { return WizardOn(5) && wizard->BtnNext.Text() == "完毕"; }

  void ScriptFinish() {
    backend.When([this] { return Finished(); }, [this] { wizard->BtnNext.Click(); });
  }

  std::string Installed(const std::string& rel) {
    return sys.Content(std::string(kDefaultDir) + "\\" + rel).value_or("<missing>");
  }
};
