// The installer's start-up: scratch files, config reads, the worker that shows the wizard,
// closing the backdrop, and the single-instance guard.
#include <gtest/gtest.h>

#include <functional>

#include "installer/run_once.h"
#include "tests/unit/installer_fixture.h"

namespace {

const char kTemp[] = "C:\\WINDOWS\\Temp\\";

TEST_F(InstallerTest, BackdropUnpacksScratchFilesAndClosingRemovesThem) {
  sys.AddFile(std::string(kTemp) + "korvSetup.ini", "stale and much longer than the config");
  Start();
  EXPECT_EQ(backdrop->ScratchDir, kTemp);
  EXPECT_EQ(sys.Content(std::string(kTemp) + "korvSetup.log"), Manifest());
  EXPECT_EQ(sys.Content(std::string(kTemp) + "korvSetup.ini"), kProductConfig);
  EXPECT_EQ(sys.Content(std::string(kTemp) + "SQXY.txt"), entries[2].bytes);
  EXPECT_EQ(backdrop->ReadSetupValue("SetupDir", "SetupPath"), kDefaultDir);
  EXPECT_EQ(backdrop->ReadSetupValue("Run", "FileName"), "KVRN.exe");
  EXPECT_EQ(wizard->Caption(), kCaption);

  backdrop->Close();
  EXPECT_TRUE(app.Terminated());
  for (const char* name : {"korvSetup.log", "korvSetup.ini", "SQXY.txt"})
    EXPECT_FALSE(sys.FileExists(std::string(kTemp) + name)) << name;
  EXPECT_EQ(backdrop->ReadSetupValue("Run", "FileName"), "");
  backdrop->Close();  // a second close finds nothing and says nothing
  EXPECT_TRUE(backend.boxes.empty());
  app.Run();  // the worker's hand-over comes to nothing once terminated
}

TEST_F(InstallerTest, MissingTempFolderIsCreated) {
  sys.windowsDirectory = "D:\\WIN";
  sys.AddDir("D:\\WIN");
  Start();
  EXPECT_EQ(backdrop->ScratchDir, "D:\\WIN\\Temp\\");
  EXPECT_TRUE(sys.DirExists("D:\\WIN\\Temp"));
  EXPECT_TRUE(sys.FileExists("D:\\WIN\\Temp\\SQXY.txt"));
}

TEST_F(InstallerTest, WizardIsShownOnceOnlyAfterTheLoopStarts) {
  Start();
  EXPECT_FALSE(wizard->Visible());
  EXPECT_TRUE(backdrop->Thread1.Running());
  int shown = 0;
  backend.When([this] { return wizard->Visible(); },
               [&] {
                 ++shown;
                 EXPECT_TRUE(backdrop->Visible());
                 EXPECT_FALSE(backdrop->Enabled());  // the wizard runs modally over it
                 EXPECT_EQ(wizard->Label6.Text(), std::string("欢迎使用 ") + kCaption);
                 backdrop->Close();
               });
  app.Run();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(backend.stuck.empty()) << backend.stuck;
  backdrop.reset();  // waits for the worker, which has ended with the modal run
}

TEST_F(InstallerTest, MissingEntryAtStartShowsTheErrorBoxAndNoWizard) {
  RemoveEntry("FileTxt4");
  Start();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(backend.boxes[0].text, "Resource FileTxt4 not found.");
  EXPECT_EQ(backend.boxes[0].caption, "VantaSetup");
  EXPECT_EQ(backend.boxes[0].flags, ui::kMbOk | ui::kMbIconError);
  // All three are opened before any is written, and the worker never starts.
  EXPECT_FALSE(sys.FileExists(std::string(kTemp) + "korvSetup.log"));
  EXPECT_FALSE(backdrop->Thread1.Running());
  backend.Then([this] {
    EXPECT_TRUE(backdrop->Visible());
    EXPECT_FALSE(wizard->Visible());
    backdrop->Close();
  });
  app.Run();
}

TEST_F(InstallerTest, UnwritableScratchFileStopsTheLaterOnes) {
  sys.AddFile(std::string(kTemp) + "korvSetup.ini", "x");
  sys.SetLocked(std::string(kTemp) + "korvSetup.ini");
  Start();
  ASSERT_EQ(backend.boxes.size(), 1u);
  EXPECT_EQ(
      backend.boxes[0].text.rfind("Cannot create file \"C:\\WINDOWS\\Temp\\korvSetup.ini\". ", 0),
      0u)
      << backend.boxes[0].text;
  EXPECT_TRUE(sys.FileExists(std::string(kTemp) + "korvSetup.log"));
  EXPECT_FALSE(sys.FileExists(std::string(kTemp) + "SQXY.txt"));
  EXPECT_FALSE(backdrop->Thread1.Running());
}

// --- single-instance guard ----------------------------------------------------------------

class GuardTest : public ::testing::Test {
 protected:
  std::shared_ptr<plat::FakeSections> sections = std::make_shared<plat::FakeSections>();
  plat::FakePlatform first{sections};
  plat::FakePlatform second{sections};
  void TearDown() override {
    InstanceSlot = nullptr;
    InstanceMapping.Reset();
  }
};

TEST_F(GuardTest, FirstCopyClaimsLaterCopyBringsItForward) {
  OpenInstanceMapping(first);
  ASSERT_NE(InstanceSlot, nullptr);
  EXPECT_EQ(*InstanceSlot, 0u);
  EXPECT_FALSE(ActivatePreviousInstance(first, 0x1234));
  EXPECT_EQ(*InstanceSlot, 0x1234u);
  auto firstMapping = std::move(InstanceMapping);
  auto* firstSlot = InstanceSlot;

  // The second process opens the existing section and leaves its content alone.
  OpenInstanceMapping(second);
  EXPECT_EQ(*InstanceSlot, 0x1234u);
  second.lastActivePopup = 0x5678;  // the wizard, owned by the first copy's window
  EXPECT_TRUE(ActivatePreviousInstance(second, 0x9999));
  EXPECT_EQ(second.restored, (std::vector<std::uintptr_t>{0x1234}));
  EXPECT_EQ(second.foreground, (std::vector<std::uintptr_t>{0x5678}));
  EXPECT_EQ(*InstanceSlot, 0x1234u);
  CloseInstanceMapping();
  EXPECT_EQ(second.OpenSectionCount(), 0u);
  EXPECT_EQ(second.MappedViewCount(), 0u);

  // The first copy ends: the section goes with the last handle, and a new start runs.
  InstanceMapping = std::move(firstMapping);
  InstanceSlot = firstSlot;
  CloseInstanceMapping();
  plat::FakePlatform third{sections};
  OpenInstanceMapping(third);
  EXPECT_FALSE(ActivatePreviousInstance(third, 0x4444));
  CloseInstanceMapping();
}

TEST_F(GuardTest, HiddenOrDisabledPopupIsOnlyRestoredAndAStaleHandleIsTrusted) {
  sections->byName[kInstanceSectionName] = std::make_shared<plat::FakeSections::Section>();
  sections->byName[kInstanceSectionName]->value = 0x1234;  // a copy that has gone
  sections->byName[kInstanceSectionName]->refs = 1;
  second.lastActivePopup = 0x5678;
  second.windowVisibleAndEnabled = false;
  OpenInstanceMapping(second);
  EXPECT_TRUE(ActivatePreviousInstance(second, 0x9999));
  EXPECT_EQ(second.restored.size(), 1u);
  EXPECT_TRUE(second.foreground.empty());
  CloseInstanceMapping();
  // The popup being the stored window itself is not brought forward either.
  plat::FakePlatform other{sections};
  OpenInstanceMapping(other);
  EXPECT_TRUE(ActivatePreviousInstance(other, 0x9999));
  EXPECT_TRUE(other.foreground.empty());
  CloseInstanceMapping();

  // The slot holds a handle's 32 significant bits; a 64-bit copy gets them sign-extended.
  sections->byName[kInstanceSectionName]->value = 0xFFFF1234u;
  plat::FakePlatform wide{sections};
  OpenInstanceMapping(wide);
  EXPECT_TRUE(ActivatePreviousInstance(wide, 0x9999));
  EXPECT_EQ(wide.restored, (std::vector<std::uintptr_t>{static_cast<std::uintptr_t>(
                               static_cast<std::intptr_t>(std::int32_t{-0xEDCC}))}));
  CloseInstanceMapping();
}

// A copy whose open finds no section, while another copy makes it and claims it before this
// one's create: the create hands back that section, and its claim must survive.
TEST_F(GuardTest, CreateAfterAnotherCopysClaimKeepsThatClaim) {
  class LateCopy : public plat::FakePlatform {
   public:
    using FakePlatform::FakePlatform;
    std::function<void()> meanwhile;
    std::uintptr_t OpenSharedSection(const std::string&) override {
      meanwhile();
      return 0;
    }
  } late{sections};
  plat::OwnedSection firstCopys;  // the other process's own hold on the section
  late.meanwhile = [&] {
    OpenInstanceMapping(first);
    EXPECT_FALSE(ActivatePreviousInstance(first, 0x1234));
    firstCopys = std::move(InstanceMapping);
    InstanceSlot = nullptr;
  };
  OpenInstanceMapping(late);
  ASSERT_NE(InstanceSlot, nullptr);
  EXPECT_EQ(*InstanceSlot, 0x1234u);
  EXPECT_TRUE(ActivatePreviousInstance(late, 0x9999));
  EXPECT_EQ(late.restored, (std::vector<std::uintptr_t>{0x1234}));
  CloseInstanceMapping();  // before `late` goes
}

TEST_F(GuardTest, FailingSectionTurnsTheGuardOff) {
  first.FailAlways(plat::FakeOp::CreateSharedSection);
  OpenInstanceMapping(first);
  EXPECT_EQ(InstanceSlot, nullptr);
  EXPECT_FALSE(ActivatePreviousInstance(first, 0x1234));
  EXPECT_FALSE(ActivatePreviousInstance(first, 0x5678));  // every copy runs
  CloseInstanceMapping();

  second.FailAlways(plat::FakeOp::MapSharedSection);
  OpenInstanceMapping(second);
  EXPECT_EQ(InstanceSlot, nullptr);
  EXPECT_FALSE(InstanceMapping);
  EXPECT_EQ(second.OpenSectionCount(), 0u);  // the handle was closed again
  EXPECT_FALSE(ActivatePreviousInstance(second, 0x1234));
}

}  // namespace
