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
#include "ui/headless/headless.h"

inline const char kTestConfig[] =
    "[***]\r\n\r\n[Form]\r\nCaption=Korvanev2.5（专业版）\r\nVersion=2.5（专业版）\r\n"
    "SQXY=用户授权协议\r\ndesKtopLink=\\Korvanev2.5(专业版).lnk\r\n\r\n[SetupDir]\r\n"
    "Drive=D:\r\nDirName=Korvn25\r\nSetupPath=D:\\Program Files\\Korvn25\r\n\r\n[Run]\r\n"
    "FileName=KVRN.exe\r\nRJSize=15\r\n\r\n";
inline const char kCaption[] = "Korvanev2.5（专业版）";
inline const char kDefaultDir[] = "D:\\Program Files\\Korvn25";

class InstallerTest : public ::testing::Test {
 protected:
  ui::HeadlessBackend backend;
  ui::App app{backend};
  plat::FakePlatform sys;
  std::unique_ptr<TFormain> backdrop;
  std::unique_ptr<TFormSchedule> wizard;

  // The payload entries and the manifest lines that write them.
  struct Entry {
    std::string name, type, relPath, bytes;
    bool stored = true;  // false: the manifest names it, the payload lacks it
  };
  std::vector<Entry> entries = {
      {"FileExe", "exename", "KVRN.exe", "MZ program"},
      {"uninstall", "exename", "Uninstall.exe", "MZ uninstaller"},
      {"FileTxt4", "txtname", "用户授权协议.txt", "协议\r\n第一条"},
      {"FileTxt5", "txtname", "Setup.log", ""},  // the manifest itself, filled in below
      {"FileTxt6", "txtname", "Setup.ini", kTestConfig},
      {"SdbFileDB1d", "DBname1", "SdbFile\\词库.dat", std::string(300, '\x01')},
      {"SdbFileDB1i", "DBname1", "SdbFile\\词库.idx", std::string(64, '\x02')},
      {"UserFile", "name1", "UserFile\\示例 文档.Kvx", "KVX1"},
  };

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

  std::string Manifest() const {
    std::string text;
    for (const Entry& e : entries) {
      if (!text.empty()) text += "\r\n";
      text += e.name + " " + e.type + " " + e.relPath;
    }
    return text + manifestTail;
  }

  // Puts the payload into the fake program and starts the installer as its entry does.
  void Start() {
    for (Entry& e : entries) {
      if (e.name == "FileTxt5") e.bytes = Manifest();
      if (e.stored) sys.AddPayload(e.name, e.type, e.bytes);
    }
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
