// Every platform operation of a whole install run and of a whole removal made to fail, one
// call at a time, at each of its calls (the calls counted in a clean run). For each case the
// program must show what it is meant to show, end or go on as it is meant to, never wait
// with nothing the user could do, and change nothing outside the product's places. An install
// run that does not finish, failed or cancelled at any of its steps, into a new folder or over
// an earlier installation, leaves files and registry as they were before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/gbk.h"
#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "installer/unit_sec.h"
#include "platform/fake/fake_platform.h"
#include "tests/unit/product_fixture.h"
#include "ui/headless/headless.h"
#include "uninstaller/frmuninstall.h"

namespace {

using Strings = std::vector<std::string>;

const auto& kDir = kDefaultDir;  // the destination
const auto& kLink = kDesktopLink;
const char kTemp[] = "C:\\WINDOWS\\Temp\\";

bool StartsWithNoCase(const std::string& s, const std::string& head) {
  return s.size() >= head.size() && gbk::EqualsNoCase(s.substr(0, head.size()), head);
}
bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

// `path` is `place` or lies below it.
bool Within(const std::string& path, const std::string& place) {
  return gbk::EqualsNoCase(path, place) ||
         (StartsWithNoCase(path, place) && path[place.size()] == '\\');
}

// A file or folder inside the scratch folder.
bool InTemp(const std::string& path) {
  return path.size() > sizeof kTemp - 1 && StartsWithNoCase(path, kTemp);
}

// The fake, recording which file each read asked for.
class ReadRecordingFake : public plat::FakePlatform {
 public:
  Strings reads;
  std::string ReadFile(const std::string& path) override {
    reads.push_back(path);
    return FakePlatform::ReadFile(path);
  }
};

// How a case ended.
enum class End { Finished, Stopped, ProgramFileRefused, StartupFailed };
const char* Name(End e) {
  switch (e) {
    case End::Finished:
      return "finished";
    case End::Stopped:
      return "stopped, left with cancel";
    case End::ProgramFileRefused:
      return "program-file message, ended";
    case End::StartupFailed:
      return "start-up error, backdrop closed";
  }
  return "?";
}

struct Summary {
  int calls = 0;
  std::map<std::string, int> outcomes;
};
// With KORV_FAULT_MATRIX_VERBOSE set, every case is listed with its outcome and messages.
void Detail(const char* program, const std::string& what, const std::string& target,
            const std::string& outcome, const Strings& boxes) {
  if (!std::getenv("KORV_FAULT_MATRIX_VERBOSE")) return;
  std::cout << "[fault case] " << program << " " << what << " (" << target << "): " << outcome;
  for (const auto& b : boxes) std::cout << " | " << b;
  std::cout << "\n";
}

void Print(const char* program, plat::FakeOp op, const Summary& s) {
  std::cout << "[fault matrix] " << program << " " << plat::OpName(op) << ": " << s.calls
            << " calls;";
  for (const auto& [what, n] : s.outcomes) std::cout << " " << n << " x " << what << ";";
  std::cout << "\n";
}

// ===== the installer ======================================================================

// Where a run starts: nothing of the product yet, or an earlier installation whose program,
// link and version differ from what the run writes.
enum class Base { Fresh, Over };
const char* Name(Base b) { return b == Base::Fresh ? "Fresh" : "Over"; }

// Every file with its bytes and every registry key and value, less the scratch files.
Strings State(const plat::FakePlatform& sys) {
  Strings out;
  for (const std::string& path : sys.Listing()) {
    if (InTemp(path)) continue;
    out.push_back(path + "=" + sys.Content(path).value_or("<folder>"));
  }
  for (const std::string& entry : sys.RegistryListing()) out.push_back(entry);
  return out;
}

// One whole installer run, played by a user who goes on wherever the program lets them:
// through the wizard, 完毕 on the finished page, 取消 when the run has stopped, the system
// close of the backdrop when start-up failed. With `cancelAt` set, 取消 (answered OK) at that
// point of the run where the program handles input.
class InstallCase {
 public:
  ui::HeadlessBackend backend;
  ui::App app{backend};
  ReadRecordingFake sys;
  std::unique_ptr<TFormain> backdrop;
  std::unique_ptr<TFormSchedule> wizard;
  bool stopped = false, startupFailed = false, finished = false, cancelled = false;
  int actions = 0;
  int cancelAt = 0, inputPoints = 0;  // counted while the run has not completed
  Strings before;

  explicit InstallCase(Base base = Base::Fresh) {
    app.SetTitle("VantaSetup");
    sys.SetDrive({'C', plat::kDriveFixed, 80023715840ull, 10737418240ull});
    sys.SetDrive({'D', plat::kDriveFixed, 5368709120ull, 5368709120ull});
    std::vector<PayloadEntry> entries = ProductEntries();
    StorePayload(sys, entries, ManifestOf(entries));
    if (base == Base::Over) {
      PutInstalledProduct(sys);
      sys.AddFile(std::string(kDir) + "\\KVRN.exe", "MZ program 2.4");
      sys.AddFile(kLink, "link 2.4");
      sys.SetValue(plat::kCurrentUser, "Software\\KORVX\\Shell\\Version", "Version", "2.4");
    }
    before = State(sys);
  }
  ~InstallCase() {
    wizard.reset();
    backdrop.reset();
    SetupRegistry.reset();
    InstallDir.clear();
    Formain = nullptr;
    FormSchedule = nullptr;
  }

  TFormsec* Dialog() {
    for (ui::Form* f : app.Forms())
      if (auto* d = dynamic_cast<TFormsec*>(f)) return d;
    return nullptr;
  }
  bool Finished() {
    return wizard && wizard->Visible() && wizard->ScheBook.PageIndex() == 5 &&
           wizard->BtnNext.Text() == "完毕";
  }
  bool WizardPage() {
    return wizard && wizard->Visible() && wizard->ScheBook.PageIndex() < 4 && !Dialog();
  }
  bool Running() { return Dialog() && !Dialog()->Succeeded && !stopped && !cancelled; }
  bool UserCanAct() {
    if (app.Terminated()) return false;
    if (Running() && ++inputPoints == cancelAt) return true;
    return Finished() || (Dialog() && stopped) || WizardPage() ||
           (startupFailed && !(wizard && wizard->Visible()) && !Dialog());
  }
  void Act() {
    // The next step is queued first: an action may run a whole modal run before it returns.
    if (++actions < 40) backend.When([this] { return UserCanAct(); }, [this] { Act(); });
    if (Running() && inputPoints == cancelAt) {
      cancelled = true;
      Dialog()->btncel.Click();  // answered OK
    } else if (Finished()) {
      finished = true;
      wizard->BtnNext.Click();
    } else if (Dialog() && stopped) {
      Dialog()->btncel.Click();  // answered OK
    } else if (WizardPage()) {
      if (wizard->ScheBook.PageIndex() == 1) wizard->RadioButton1.Click();
      wizard->BtnNext.Click();
    } else {
      backdrop->Close();
    }
  }

  void Run() {
    // The boxes after which the program waits for the user: the generic error box and the
    // destination folder's message, during the run; any box before the wizard was shown.
    backend.onBox = [this](const ui::HeadlessBackend::Box& box) {
      bool stops = (!box.own && box.flags == (ui::kMbOk | ui::kMbIconError)) ||
                   (box.own && StartsWith(box.text, "创建主文件夹"));
      if (!stops) return;
      if (Dialog())
        stopped = true;
      else if (!(wizard && wizard->Visible()))
        startupFailed = true;
    };
    backdrop = std::make_unique<TFormain>(sys);
    Formain = backdrop.get();
    wizard = std::make_unique<TFormSchedule>(sys);
    FormSchedule = wizard.get();
    backend.When([this] { return UserCanAct(); }, [this] { Act(); });
    app.Run();
  }

  End Outcome() const {
    if (finished) return End::Finished;
    if (startupFailed) return End::StartupFailed;
    if (stopped) return End::Stopped;
    return End::ProgramFileRefused;
  }
  Strings Boxes() const {
    Strings out;
    for (const auto& b : backend.boxes) out.push_back(b.text);
    return out;
  }
};

using plat::FakeOp;

const FakeOp kInstallOps[] = {FakeOp::CreateHeldFile,
                              FakeOp::WriteFile,
                              FakeOp::CreateDir,
                              FakeOp::DeleteFile,
                              FakeOp::RemoveDir,
                              FakeOp::ReadFile,
                              FakeOp::ReadPlainFile,
                              FakeOp::RegCreateKey,
                              FakeOp::RegSetString,
                              FakeOp::RegQueryValue,
                              FakeOp::RegOpenKey,
                              FakeOp::CreateShellLink,
                              FakeOp::CommonDesktopDirectory,
                              FakeOp::DiskFreeSpace,
                              FakeOp::DdeOpen,
                              FakeOp::DdeExecute};

// What every installer case must show, whatever failed.
void ExpectSoundInstall(InstallCase& c, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_TRUE(c.backend.stuck.empty()) << c.backend.stuck;
  EXPECT_TRUE(c.app.Terminated());
  EXPECT_LT(c.actions, 40);
  EXPECT_EQ(c.sys.OpenKeyCount(), 0u);
  EXPECT_EQ(c.sys.ddeConnected, 0);

  // Texts: the fixed messages, or a plat::Error's text in the generic error box.
  for (const auto& b : c.backend.boxes) {
    bool known =
        b.text == "所要安装的程序正在运行中,请退出后再安装!" ||
        b.text == "安装程序进行中,确定要退出安装吗?" ||
        (b.own && (StartsWith(b.text, "创建主文件夹\\") || StartsWith(b.text, "创建文件夹\\")));
    if (!b.own && b.flags == (ui::kMbOk | ui::kMbIconError)) {
      known = b.caption == "VantaSetup" &&
              (StartsWith(b.text, "Cannot create file \"") ||
               StartsWith(b.text, "Cannot open file \"") ||
               StartsWith(b.text, "Failed to set data for '") || StartsWith(b.text, "Resource ") ||
               b.text == "Grid index out of range." || b.text == "Class not registered.");
    }
    EXPECT_TRUE(known) << b.caption << ": " << b.text;
  }

  // Changes: the destination folder (and the parents made for it), the scratch files, the
  // registry keys of the table, the desktop link, the Program Manager group, the program.
  const std::string c8 = kCaption, dir = kDir;
  const Strings group = {
      "[creategroup(" + c8 + "," + c8 + ")]", "[additem(" + dir + "\\KVRN.exe," + c8 + ")]",
      "[additem(" + dir + "\\Uninstall.exe,卸载" + c8 + ")]",
      "[additem(" + dir + "\\用户授权协议.txt,用户授权协议)]", "[DeleteGroup(" + c8 + ")]"};
  const Strings keys = {"HKCU\\" + std::string(kUninstallKey), "HKCR\\.Kvx",
                        "HKCR\\Software\\KORVX", "HKCU\\Software\\KORVX\\Shell\\PathName",
                        "HKCU\\Software\\KORVX\\Shell\\Version"};
  for (const auto& j : c.sys.journal) {
    if (!j.ok) continue;
    bool inside = false;
    if (j.op == "WriteFile" || j.op == "CreateHeldFile" || j.op == "DeleteFile") {
      inside = Within(j.target, dir) || j.target == kLink ||
               gbk::EqualsNoCase(j.target, kTemp + std::string("korvSetup.log")) ||
               gbk::EqualsNoCase(j.target, kTemp + std::string("korvSetup.ini")) ||
               gbk::EqualsNoCase(j.target, kTemp + std::string("SQXY.txt"));
    } else if (j.op == "CreateDir" || j.op == "RemoveDir") {
      inside = Within(j.target, dir) || Within(dir, j.target);
    } else if (j.op == "RegCreateKey" || j.op == "RegDeleteKey") {
      // A product key or a parent made for it.
      inside = std::any_of(keys.begin(), keys.end(),
                           [&](auto& k) { return Within(j.target, k) || Within(k, j.target); });
    } else if (j.op == "RegSetString" || j.op == "RegSetValue" || j.op == "RegDeleteValue") {
      inside = std::any_of(keys.begin(), keys.end(), [&](auto& k) { return Within(j.target, k); });
    } else if (j.op == "CreateShellLink") {
      inside = j.target.empty() || j.target == kLink;
    } else if (j.op == "DdeExecute") {
      inside = std::find(group.begin(), group.end(), j.target) != group.end();
    } else if (j.op == "ShellExecute") {
      // The program; the folder itself when the program's name could not be read.
      inside = Within(j.target, dir);
    }
    EXPECT_TRUE(inside) << j.op << " " << j.target << " " << j.name;
  }
  // A run that did not finish leaves everything as it was; a group it asked for is deleted.
  if (!c.finished) {
    EXPECT_EQ(State(c.sys), c.before);
    const auto& dde = c.sys.ddeCommands;
    if (std::find(dde.begin(), dde.end(), group[0]) != dde.end())
      EXPECT_EQ(dde.back(), group[4]);
    else
      EXPECT_TRUE(std::find(dde.begin(), dde.end(), group[4]) == dde.end());
  }
  // No failure reported as success: the finished page comes only after a complete run.
  if (c.finished) {
    EXPECT_TRUE(c.sys.Value(plat::kCurrentUser, "Software\\KORVX\\Shell\\Version", "Version"));
    EXPECT_EQ(c.sys.Content(dir + "\\Uninstall.exe"), "MZ uninstaller");
    EXPECT_EQ(c.sys.executes.size(), 1u);
  } else {
    EXPECT_TRUE(c.sys.executes.empty());
  }
}

// A clean install run: how often it calls each operation, and what each call was about.
struct CleanInstall {
  std::map<FakeOp, int> counts;
  Strings reads, writes, dirs, scratch;  // scratch: every held file, the saved copies too
  int firstProgramWrite = -1;
  int inputPoints = 0;
  bool sound = false;
};

CleanInstall MeasureCleanInstall(Base base) {
  {
    CleanInstall r;
    InstallCase clean(base);
    clean.Run();
    ExpectSoundInstall(clean, std::string("clean run ") + Name(base));
    r.inputPoints = clean.inputPoints;
    r.sound = clean.Outcome() == End::Finished && clean.backend.boxes.empty();
    for (FakeOp op : kInstallOps) r.counts[op] = clean.sys.CallCount(op);
    r.reads = clean.sys.reads;
    for (const auto& j : clean.sys.journal) {
      if (j.op == plat::OpName(FakeOp::CreateDir)) r.dirs.push_back(j.target);
      if (j.op == plat::OpName(FakeOp::CreateHeldFile)) r.scratch.push_back(j.target);
      if (j.op != plat::OpName(FakeOp::WriteFile)) continue;
      if (r.firstProgramWrite < 0 && j.target == std::string(kDir) + "\\KVRN.exe")
        r.firstProgramWrite = static_cast<int>(r.writes.size());
      r.writes.push_back(j.target);
    }
    return r;
  }
}

const CleanInstall& CleanInstallRun(Base base) {
  static const CleanInstall fresh = MeasureCleanInstall(Base::Fresh);
  static const CleanInstall over = MeasureCleanInstall(Base::Over);
  return base == Base::Fresh ? fresh : over;
}

TEST(FaultMatrix, CleanInstallRunFinishesAndUsesEveryOperation) {
  const CleanInstall &fresh = CleanInstallRun(Base::Fresh), &over = CleanInstallRun(Base::Over);
  EXPECT_TRUE(fresh.sound);
  EXPECT_TRUE(over.sound);
  for (FakeOp op : kInstallOps) {
    if (op != FakeOp::RegOpenKey) {
      EXPECT_GT(fresh.counts.at(op) + over.counts.at(op), 0) << plat::OpName(op);
    }
  }
}

// 取消, answered OK, at every point of the run where the program looks at input: the
// installer ends and everything is as it was.
class InstallCancel : public ::testing::TestWithParam<Base> {};

TEST_P(InstallCancel, AtEveryPointLeavesNothing) {
  const int points = CleanInstallRun(GetParam()).inputPoints;
  EXPECT_GT(points, 20);
  for (int k = 1; k <= points; ++k) {
    const std::string what = "cancel at input point " + std::to_string(k);
    InstallCase c(GetParam());
    c.cancelAt = k;
    c.Run();
    ExpectSoundInstall(c, what);
    SCOPED_TRACE(what);
    EXPECT_TRUE(c.cancelled);
    EXPECT_FALSE(c.finished);
    EXPECT_EQ(c.Boxes(), Strings{"安装程序进行中,确定要退出安装吗?"});
  }
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, InstallCancel, ::testing::Values(Base::Fresh, Base::Over),
                         [](const auto& info) { return std::string(Name(info.param)); });

class InstallFault : public ::testing::TestWithParam<std::tuple<FakeOp, Base>> {};

TEST_P(InstallFault, EveryCallThatFailsIsMet) {
  const auto [op, base] = GetParam();
  const CleanInstall& clean = CleanInstallRun(base);
  const Strings &reads = clean.reads, &writes = clean.writes, &dirs = clean.dirs,
                &scratch = clean.scratch;
  const int firstProgramWrite = clean.firstProgramWrite;
  Summary summary;
  summary.calls = clean.counts.at(op);
  for (int n = 1; n <= summary.calls; ++n) {
    const std::string what = std::string(plat::OpName(op)) + " #" + std::to_string(n);
    InstallCase c(base);
    c.sys.FailNth(op, n);
    c.Run();
    ExpectSoundInstall(c, what);
    const End end = c.Outcome();
    const Strings boxes = c.Boxes();
    summary.outcomes[Name(end)]++;
    std::string target = op == FakeOp::WriteFile        ? writes[n - 1]
                         : op == FakeOp::CreateHeldFile ? scratch[n - 1]
                         : op == FakeOp::CreateDir      ? dirs[n - 1]
                         : op == FakeOp::ReadFile       ? reads[n - 1]
                                                        : "";
    Detail("install", what, target, Name(end), boxes);
    SCOPED_TRACE(what);

    // What each failure is meant to do.
    if (op == FakeOp::CreateHeldFile && !InTemp(scratch[n - 1])) {
      // The saved copy of a file the run replaces: that file is not replaced.
      const std::string text = "Cannot create file \"" + scratch[n - 1] + "\". Access is denied.";
      if (n == 4) {
        EXPECT_EQ(end, End::ProgramFileRefused);  // the first copy is the program file's
      } else {
        EXPECT_EQ(end, End::Stopped);
        EXPECT_EQ(boxes.at(0), text);
      }
    } else if (op == FakeOp::CreateHeldFile) {
      // A scratch file: start-up fails; the files written before are deleted by the close,
      // and nothing else was written.
      EXPECT_EQ(end, End::StartupFailed);
      EXPECT_EQ(boxes, Strings{"Cannot create file \"" + scratch[n - 1] + "\". Access is denied."});
      for (const char* name : {"korvSetup.log", "korvSetup.ini", "SQXY.txt"})
        EXPECT_FALSE(c.sys.FileExists(kTemp + std::string(name)));
    } else if (op == FakeOp::WriteFile) {
      const std::string& target = writes[n - 1];
      const std::string text = "Cannot create file \"" + target + "\". Access is denied.";
      if (n - 1 == firstProgramWrite) {
        EXPECT_EQ(end, End::ProgramFileRefused);
        EXPECT_EQ(boxes, Strings{"所要安装的程序正在运行中,请退出后再安装!"});
        EXPECT_FALSE(c.wizard->Committed);
      } else {
        EXPECT_EQ(end, End::Stopped);
        ASSERT_GE(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], text);
        EXPECT_TRUE(c.sys.ddeCommands.empty());
      }
    } else if (op == FakeOp::ReadPlainFile) {
      // What is there before a write cannot be saved, so it is not replaced.
      if (n == 1) {
        EXPECT_EQ(end, End::ProgramFileRefused);
      } else {
        EXPECT_EQ(end, End::Stopped);
        EXPECT_TRUE(StartsWith(boxes.at(0), "Cannot open file \"")) << boxes[0];
      }
    } else if (op == FakeOp::CreateDir) {
      if (dirs[n - 1].find("~KorvUndo") != std::string::npos) {
        // The folder for saved copies takes the next name.
        EXPECT_EQ(end, End::Finished);
        EXPECT_TRUE(boxes.empty());
      } else if (Within(kDir, dirs[n - 1])) {
        // The destination or a parent of it: the run ends with nothing written there.
        EXPECT_EQ(end, End::Stopped);
        EXPECT_EQ(boxes.at(0), "创建主文件夹\\" + std::string(kDir) + " 失败");
        EXPECT_FALSE(c.sys.FileExists(std::string(kDir) + "\\KVRN.exe"));
      } else {
        // A sub-folder: its first entry is skipped, the next one in it makes the folder.
        EXPECT_EQ(end, End::Finished);
        EXPECT_EQ(boxes, Strings{"创建文件夹\\" + dirs[n - 1].substr(sizeof kDir) + " 失败"});
      }
    } else if (op == FakeOp::DeleteFile) {
      // A scratch file that cannot be deleted at the end stays; nothing is said.
      EXPECT_EQ(end, End::Finished);
      EXPECT_TRUE(boxes.empty());
    } else if (op == FakeOp::ReadFile) {
      const std::string& path = reads[n - 1];
      if (path == kTemp + std::string("korvSetup.log")) {
        EXPECT_EQ(end, End::Stopped);
        ASSERT_GE(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], "Cannot open file \"" + path + "\". Access is denied.");
      } else if (path == kTemp + std::string("SQXY.txt")) {
        EXPECT_EQ(end, End::Finished);  // an empty agreement text
      }
      // A config read that fails reads as an empty value: each reader copes in its way,
      // checked by the rules above.
    } else if (op == FakeOp::RegCreateKey || op == FakeOp::RegSetString ||
               op == FakeOp::RegQueryValue) {
      EXPECT_EQ(end, End::Stopped);
      ASSERT_GE(boxes.size(), 1u);
      EXPECT_TRUE(StartsWith(boxes[0], "Failed to set data for '")) << boxes[0];
    } else if (op == FakeOp::CreateShellLink) {
      EXPECT_EQ(end, End::Stopped);
      EXPECT_EQ(boxes.at(0), "Class not registered.");
      EXPECT_TRUE(c.sys.ddeCommands.empty());
    } else {
      // The desktop folder, free space and Program Manager fail silently.
      EXPECT_EQ(end, End::Finished);
      EXPECT_TRUE(boxes.empty());
    }
  }
  Print(base == Base::Fresh ? "install" : "install over", op, summary);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, InstallFault,
                         ::testing::Combine(::testing::ValuesIn(kInstallOps),
                                            ::testing::Values(Base::Fresh, Base::Over)),
                         [](const auto& info) {
                           return std::string(plat::OpName(std::get<0>(info.param))) + "_" +
                                  Name(std::get<1>(info.param));
                         });

// ===== the uninstaller ====================================================================

const std::string kAppDir = std::string(kDir) + "\\";
const char kBatch[] = "C:\\_destoryme.bat";
const Strings kListed = RelPathsOf(ProductEntries());

// An installed product as the uninstaller finds it, with files the user added in the data
// folders and things of others beside it; the removal runs with one click and is finished
// with another when it reached the done page.
class RemovalCase {
 public:
  ui::HeadlessBackend backend;
  ui::App app{backend};
  ReadRecordingFake sys;
  std::unique_ptr<Tfrmuninstall> frm;
  bool done = false;

  RemovalCase() {
    app.SetTitle("软件卸载");
    PutInstalledProduct(sys);
    RunUninstallerFrom(sys, kAppDir);
    sys.AddFile(kAppDir + "SdbFile\\learned.dat", "user");
    sys.AddFile(kAppDir + "UserFile\\mine.Kvx", "user");
    PutThingsOfOthers(sys);
  }

  void Run() {
    frm = std::make_unique<Tfrmuninstall>(sys);
    frm->ShowForm();
    frm->BtnNext.Click();
    done = frm->NoteBook1.PageIndex() == 2;
    if (done) frm->BtnNext.Click();  // 完成: starts the batch file
  }
  Strings Boxes() const {
    Strings out;
    for (const auto& b : backend.boxes) out.push_back(b.text);
    return out;
  }
};

const FakeOp kRemovalOps[] = {
    FakeOp::ReadFile,     FakeOp::DeleteFile, FakeOp::RemoveDir,     FakeOp::RegOpenKey,
    FakeOp::RegQueryInfo, FakeOp::RegEnumKey, FakeOp::RegDeleteKey,  FakeOp::CommonDesktopDirectory,
    FakeOp::DdeOpen,      FakeOp::DdeExecute, FakeOp::CreateHeldFile};

const char kRemovalError[] = "卸载程序出错!可能是正在使用要删除的文件";

void ExpectSoundRemoval(RemovalCase& c, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_TRUE(c.app.Terminated());
  EXPECT_EQ(c.sys.OpenKeyCount(), 0u);
  EXPECT_EQ(c.sys.ddeConnected, 0);
  const std::string dir = kAppDir;
  for (const auto& t : c.Boxes()) {
    bool known = t == kRemovalError ||
                 (StartsWith(t, "删除 " + dir) && t.size() > 10 &&
                  t.compare(t.size() - 10, 10, " 文件失败!") == 0) ||
                 t == "删除 \\" + dir + "SdbFile\\ 文件夹失败! " ||
                 t == "删除 \\" + dir + "UserFile\\ 文件夹失败! ";
    EXPECT_TRUE(known) << t;
  }
  const Strings keys = {"HKLM\\software\\Korvane", "HKCU\\" + std::string(kUninstallKey),
                        "HKCR\\.Kvx", "HKCR\\software\\KORVX", "HKCU\\software\\KORVX"};
  for (const auto& j : c.sys.journal) {
    if (!j.ok) continue;
    bool inside = false;
    if (j.op == "DeleteFile" || j.op == "RemoveDir")
      inside = Within(j.target, std::string(kDir)) && !gbk::EqualsNoCase(j.target, kDir);
    if (j.op == "DeleteFile") inside = inside || j.target == kLink;
    if (j.op == "CreateHeldFile" || j.op == "ShellExecute")
      inside = gbk::EqualsNoCase(j.target, kBatch);
    if (j.op == "RegDeleteKey")
      inside = std::any_of(keys.begin(), keys.end(), [&](auto& k) { return Within(j.target, k); });
    if (j.op == "DdeExecute")
      inside = j.target == "[DeleteGroup(" + std::string(kCaption) + ")]\r\n";
    EXPECT_TRUE(inside) << j.op << " " << j.target;
  }
  // Whatever failed, the things of others are all still there.
  EXPECT_TRUE(c.sys.FileExists("D:\\Program Files\\Other\\keep.txt"));
  EXPECT_TRUE(c.sys.FileExists("C:\\users\\Public\\Desktop\\Other.lnk"));
  EXPECT_TRUE(c.sys.KeyExists(plat::kCurrentUser, "Software\\Other"));
  EXPECT_TRUE(c.sys.DirExists(kDir));
  // The batch file is started only after a removal that reached the done page.
  if (c.done) {
    EXPECT_EQ(c.sys.Content(kBatch), BatchFileText(c.sys.moduleFileName, c.sys.SystemDirectory()));
    ASSERT_EQ(c.sys.executes.size(), 1u);
    EXPECT_EQ(c.sys.executes[0].file, "c:\\_destoryme.bat");
  } else {
    EXPECT_TRUE(c.sys.executes.empty());
  }
}

struct CleanRemoval {
  std::map<FakeOp, int> counts;
  Strings reads, deletes, removes;
  bool sound = false;
};

const CleanRemoval& CleanRemovalRun() {
  static const CleanRemoval run = [] {
    CleanRemoval r;
    RemovalCase clean;
    clean.Run();
    ExpectSoundRemoval(clean, "clean run");
    r.sound = clean.done && clean.backend.boxes.empty();
    for (FakeOp op : kRemovalOps) r.counts[op] = clean.sys.CallCount(op);
    r.reads = clean.sys.reads;
    for (const auto& j : clean.sys.journal) {
      if (j.op == plat::OpName(FakeOp::DeleteFile)) r.deletes.push_back(j.target);
      if (j.op == plat::OpName(FakeOp::RemoveDir)) r.removes.push_back(j.target);
    }
    return r;
  }();
  return run;
}

TEST(FaultMatrix, CleanRemovalReachesTheDonePageAndUsesEveryOperation) {
  const CleanRemoval& clean = CleanRemovalRun();
  EXPECT_TRUE(clean.sound);
  for (FakeOp op : kRemovalOps) EXPECT_GT(clean.counts.at(op), 0) << plat::OpName(op);
}

class RemovalFault : public ::testing::TestWithParam<FakeOp> {};

TEST_P(RemovalFault, EveryCallThatFailsIsMet) {
  const FakeOp op = GetParam();
  const CleanRemoval& clean = CleanRemovalRun();
  const Strings &reads = clean.reads, &deletes = clean.deletes, &removes = clean.removes;
  const std::string dir = kAppDir;
  Summary summary;
  summary.calls = clean.counts.at(op);
  for (int n = 1; n <= summary.calls; ++n) {
    const std::string what = std::string(plat::OpName(op)) + " #" + std::to_string(n);
    RemovalCase c;
    c.sys.FailNth(op, n);
    c.Run();
    ExpectSoundRemoval(c, what);
    const Strings boxes = c.Boxes();
    const char* outcome = c.done          ? "done page, batch started"
                          : boxes.empty() ? "closed"
                                          : "error message, closed";
    summary.outcomes[outcome]++;
    Detail("removal", what,
           op == FakeOp::DeleteFile  ? deletes[n - 1]
           : op == FakeOp::RemoveDir ? removes[n - 1]
           : op == FakeOp::ReadFile  ? reads[n - 1]
                                     : "",
           outcome, boxes);
    SCOPED_TRACE(what);

    if (op == FakeOp::ReadFile && reads[n - 1] == dir + "Setup.log") {
      // The manifest cannot be read: nothing is removed.
      EXPECT_FALSE(c.done);
      EXPECT_EQ(boxes, Strings{kRemovalError});
      for (const auto& j : c.sys.journal) EXPECT_NE(j.op, "DeleteFile");
    } else if (op == FakeOp::CreateHeldFile) {
      // The batch file cannot be written: everything else is gone, the message is shown.
      EXPECT_FALSE(c.done);
      EXPECT_EQ(boxes, Strings{kRemovalError});
      EXPECT_FALSE(c.sys.FileExists(kLink));
    } else if (op == FakeOp::DeleteFile) {
      const std::string& target = deletes[n - 1];
      EXPECT_TRUE(c.done);
      const std::string rel = target.substr(std::min(target.size(), dir.size()));
      const bool listed = std::find(kListed.begin(), kListed.end(), rel) != kListed.end();
      const bool inDataFolder = gbk::FolderPart(rel) != "";
      if (listed || target == kLink) {
        // Ignored without a word; a listed data file goes with its folder a moment later.
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(c.sys.FileExists(target), !inDataFolder) << target;
      } else {
        const std::string folder = target.substr(0, gbk::LastSeparator(target) + 1);
        EXPECT_EQ(boxes,
                  (Strings{"删除 " + target + " 文件失败!", "删除 \\" + folder + " 文件夹失败! "}));
        EXPECT_TRUE(c.sys.FileExists(target)) << target;
      }
    } else if (op == FakeOp::RemoveDir) {
      EXPECT_TRUE(c.done);
      EXPECT_EQ(boxes, Strings{"删除 \\" + removes[n - 1] + "\\ 文件夹失败! "});
    } else {
      // A config value that cannot be read, the registry, the desktop folder and Program
      // Manager: every failure is passed over in silence and the removal goes on.
      EXPECT_TRUE(c.done);
      EXPECT_TRUE(boxes.empty());
      if (op == FakeOp::CommonDesktopDirectory) {
        EXPECT_TRUE(c.sys.FileExists(kLink));
      }
    }
  }
  Print("removal", op, summary);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, RemovalFault, ::testing::ValuesIn(kRemovalOps),
                         [](const auto& info) { return std::string(plat::OpName(info.param)); });

}  // namespace
