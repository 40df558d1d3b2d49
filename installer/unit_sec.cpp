#include "installer/unit_sec.h"

#include <algorithm>
#include <iterator>

#include "common/formats.h"
#include "common/gbk.h"
#include "common/product.h"
#include "common/progman.h"
#include "common/scope_exit.h"
#include "installer/payload.h"
#include "installer/registry.h"
#include "installer/unit_main.h"
#include "installer/unit_schedule.h"

namespace {

// Raised at a pump point once the program is ending (the user confirmed 取消): the sequence
// stops there, so nothing is written and nothing registered after that. Not an error.
struct InstallStopped {};

void PumpOrStop() {
  ui::Application().ProcessMessages();
  if (ui::Application().Terminated()) throw InstallStopped{};
}

void Pause() { ui::Application().Sleep(50); }

// Creates a folder and every missing parent, noting each one made; false when any level
// cannot be made. The levels of `protectedTop` and above that it makes are protected as the
// system's program folder is (made on a second drive they would let every user change the
// installed programs); those below inherit from them. A folder that exists keeps its access.
bool ForceDirectories(plat::Platform& system, InstallUndo& undo, std::string path,
                      std::size_t protectedTop) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty()) return false;
  if (path.size() == 2 && path[1] == ':') return system.DirExists(path + "\\");
  if (system.DirExists(path)) return true;
  std::string parent = gbk::FolderPart(path);
  if (!parent.empty() && !ForceDirectories(system, undo, parent, protectedTop)) return false;
  if (!(path.size() <= protectedTop ? system.CreateProtectedDir(path) : system.CreateDir(path)))
    return false;
  undo.MadeFolder(path);
  return true;
}

// The folder of a path with its trailing "\" ("D:\A\KVRN.exe" -> "D:\A\").
std::string FolderWithSlash(const std::string& path) {
  std::size_t sep = gbk::LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

TFormsec::TFormsec(plat::Platform& system) : system_(system) {
  SetCaption("安装");
  border = ui::BorderStyle::None;
  position = ui::Position::ScreenCenter;
  font = "MS Sans Serif";
  fontHeight = 0;
  fontPoints = 8;
  style.color = ui::kWhite;
  SetClientSize(359, 205);

  Shape1.SetBounds(0, 0, 359, 205);
  Shape1.style.color = ui::kWhite;
  Shape1.style.frameColor = 12735248;  // #1053C2
  Shape1.style.frameWidth = 3;
  lbls.SetBounds(40, 92, 269, 13);
  lbls.style.autoSize = false;
  lbls.SetText("正在安装...");
  ams.SetBounds(40, 12, 272, 60);
  ams.style.color = ui::kWhite;
  pgbs.SetBounds(40, 112, 277, 17);
  pgbs.SetRange(0, 100);
  btncel.SetBounds(132, 156, 89, 25);
  btncel.SetText("取消");
  btncel.onClick = [this] { btncelClick(); };
  cancelButton = &btncel;  // Esc, with its confirmation
  Timer1.interval = 1000;
  Timer1.onTimer = [this] { Timer1Timer(); };

  onActivate = [this] { FormActivate(); };
  onClose = [this](ui::CloseAction& action) { FormClose(action); };
  ui::Application().Dispatch([this] { FormCreate(); });
}

TFormsec::~TFormsec() = default;

void TFormsec::FormCreate() {
  ams.SetActive(true);
  Succeeded = false;
}

void TFormsec::FormActivate() {
  if (activated_) return;  // the sequence runs once per dialog
  activated_ = true;
  ProgramFile = Formain->ReadSetupValue("Run", "FileName");
  try {
    RunInstall();
  } catch (const InstallStopped&) {
    UndoInstall();  // the program is ending
  } catch (const std::exception& e) {
    // The error is shown as for any handler; then what the run changed is taken back.
    ui::Application().ShowException(e);
    UndoInstall();
  }
}

void TFormsec::UndoInstall() {
  // With no change noted there may still be a folder for saved copies to remove.
  const bool changed = !undo_.Empty();
  if (changed) {
    lbls.Show();
    lbls.SetText("正在撤销安装...");
  }
  undo_.Undo();
  if (changed) lbls.SetText("安装已撤销");
}

void TFormsec::FormClose(ui::CloseAction& action) { action = ui::CloseAction::Free; }

void TFormsec::RunInstall() {
  PumpOrStop();
  pgbs.SetPosition(1);
  const std::string_view program = OpenPayloadEntry(system_, "FileExe", "exename");
  undo_.SaveCopiesIn(InstallDir);
  try {
    lbls.SetText(DisplayPath(InstallDir, ProgramFile));
    if (!EnsureInstallDir(InstallDir)) {
      UndoInstall();  // parents made before the failing level
      return;
    }
    // The name comes from a config file in a folder every user can write: one that leads
    // out of the destination is refused like a file that cannot be created.
    if (!IsContainedRelPath(ProgramFile))
      throw plat::Error("Cannot create file \"" + InstallDir + "\\" + ProgramFile +
                        "\". The path leads outside the destination folder");
    undo_.BeforeWrite(InstallDir, ProgramFile);
    SavePayloadEntry(system_, program, InstallDir, ProgramFile);
    pgbs.SetPosition(5);
    Pause();
  } catch (const std::exception&) {
    // The program file is in use (the application is running) or cannot be written.
    ui::Application().MessageBox(this, "所要安装的程序正在运行中,请退出后再安装!",
                                 ui::Application().Title(), ui::kMbOk);
    UndoInstall();
    FormSchedule->Committed = false;
    Formain->Close();
    return;
  }

  std::vector<std::string> lines =
      SplitLines(system_.ReadFile(Formain->ScratchDir + kScratchManifest));
  PumpOrStop();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ManifestEntry entry = ParseManifestLine(lines[i]);
    // A manifest must not steer a write outside the destination (an absolute path, a drive,
    // "..", a device name). An empty path is left to fail where the entry is looked up.
    if (!entry.RelPath.empty() && !IsContainedRelPath(entry.RelPath))
      throw plat::Error("Cannot create file \"" + InstallDir + "\\" + entry.RelPath +
                        "\". The path leads outside the destination folder");
    if (EnsureSubDir(gbk::FolderPart(entry.RelPath))) ExtractEntry(entry, static_cast<int>(i));
  }

  lbls.SetText("创建反安装程序...");
  WriteUninstallEntry();
  pgbs.SetPosition(87);
  Pause();
  PumpOrStop();
  lbls.SetText("创建桌面快捷方式");
  CreateDesktopLink();
  pgbs.SetPosition(90);
  Pause();
  lbls.SetText("创建程序群组...");
  CreateProgramGroup();
  pgbs.SetPosition(95);
  Pause();
  lbls.SetText("写入注册信息");
  PumpOrStop();
  RegisterFileType(product::kDocumentExtension, product::kDocumentClass, FormSchedule->Caption(),
                   InstallDir + "\\" + ProgramFile, 0);
  pgbs.SetPosition(100);
  Pause();
  lbls.SetText("");
  lbls.Hide();
  PumpOrStop();
  undo_.Keep();
  Succeeded = true;
  Timer1.SetEnabled(true);
}

bool TFormsec::EnsureInstallDir(const std::string& folder) {
  if (!folder.empty() && system_.DirExists(folder)) return true;
  lbls.SetText("安装主程序文件");
  if (ForceDirectories(system_, undo_, folder, folder.size())) return true;
  ui::Application().OwnDialog(this, ui::DialogKind::Error, "创建主文件夹\\" + folder + " 失败");
  return false;
}

bool TFormsec::EnsureSubDir(const std::string& dir) {
  PumpOrStop();
  const std::string path = InstallDir + "\\" + dir;
  if (system_.DirExists(path)) return true;
  lbls.SetText("创建文件夹\\" + dir);
  if (ForceDirectories(system_, undo_, path, InstallDir.size())) return true;
  ui::Application().OwnDialog(this, ui::DialogKind::Error, "创建文件夹\\" + dir + " 失败");
  return false;
}

void TFormsec::ExtractEntry(const ManifestEntry& entry, int index) {
  lbls.SetText(DisplayPath(InstallDir, entry.RelPath));
  PumpOrStop();
  const std::string_view bytes = OpenPayloadEntry(system_, entry.ResName, entry.ResType);
  undo_.BeforeWrite(InstallDir, entry.RelPath);
  SavePayloadEntry(system_, bytes, InstallDir, entry.RelPath);
  pgbs.SetPosition(index + 5);
  Pause();
}

void TFormsec::btncelClick() {
  if (ui::Application().MessageBox(this, "安装程序进行中,确定要退出安装吗?", "退出安装",
                                   ui::kMbOkCancel) != ui::kIdOk)
    return;
  UndoInstall();
  FormSchedule->Committed = false;
  Formain->Close();
}

void TFormsec::Timer1Timer() {
  Timer1.SetEnabled(false);
  if (!Succeeded) return;
  TFormSchedule& wizard = *FormSchedule;
  wizard.Committed = true;
  wizard.ShowForm();
  wizard.ScheBook.SetPageIndex(5);
  wizard.Label5.SetLeft(wizard.Label5.bounds().left + 16);
  wizard.Label5.SetText(wizard.Caption() + " 已经成功安装在您的电脑中");
  wizard.Label4.Hide();
  wizard.BtnNext.SetText("完毕");
  wizard.Label8.SetText(wizard.Caption() + " 安装完毕.");
  wizard.btnpri.SetEnabled(false);
  wizard.btnexit.SetEnabled(false);
}

// --- registration with the system ------------------------------------------------------

void TFormsec::WriteUninstallEntry() {
  SetupRegistry->CloseKey();
  // The key is closed on every way out, a refused write included.
  const ScopeExit closeKey([] {
    SetupRegistry->CloseKey();
    SetupRegistry->NoteIn(nullptr);
  });
  SetupRegistry->NoteIn(&undo_);
  SetupRegistry->OpenKey(product::kUninstallKey, true);
  SetupRegistry->WriteString("displayname", "Korvane卸载");
  // Quoted: Windows runs this command line, and the default folder has a blank in it.
  const std::string uninstaller = InstallDir + "\\" + product::kUninstallerFile;
  SetupRegistry->WriteString("uninstallstring", Quoted(uninstaller));
  const std::string_view bytes = OpenPayloadEntry(system_, "uninstall", "exename");
  undo_.BeforeWrite(InstallDir, product::kUninstallerFile);
  SavePayloadEntry(system_, bytes, InstallDir, product::kUninstallerFile);
}

void TFormsec::CreateDesktopLink() {
  const std::string target = InstallDir + "\\" + ProgramFile;
  std::optional<std::string> link;
  if (WantDesktopLink) {
    // Without a known desktop folder there is nowhere to put the link.
    // A link name that leads out of the desktop folder saves no link. An empty one names the
    // folder itself, where saving fails.
    const std::string name = Formain->ReadSetupValue("Form", "desKtopLink");
    auto desktop = system_.CommonDesktopDirectory();
    if (desktop && (name.empty() || IsContainedLinkName(name))) {
      link = *desktop + name;
      if (!name.empty()) undo_.BeforeWrite(*desktop, name.substr(1));
    }
  }
  system_.CreateShellLink(target, FolderWithSlash(target), link);
}

void TFormsec::CreateProgramGroup() {
  const std::string caption = FormSchedule->Caption();
  auto command = [](const char* name, const std::vector<std::string>& arguments) {
    return ComposeProgManCommand(name, arguments, "", kInstallerCommandBuffer);
  };
  const std::optional<std::string> commands[] = {
      command("creategroup", {caption, caption}),
      command("additem", {InstallDir + "\\" + ProgramFile, caption}),
      command("additem", {InstallDir + "\\" + product::kUninstallerFile, "卸载" + caption}),
      command("additem", {InstallDir + "\\用户授权协议.txt", "用户授权协议"}),
  };
  plat::DdeConversation& conv = *FormSchedule->DdeClientConv1;
  conv.Close();
  // All four or none. Without the group (no caption, one that is no single name, an argument
  // that no form carries, a command too long for the buffer, or a server that refuses it)
  // the items would be filed into whatever group Program Manager has current.
  const bool complete =
      IsProgManGroupName(caption) && std::all_of(std::begin(commands), std::end(commands),
                                                 [](const auto& c) { return c.has_value(); });
  if (complete && conv.Open("ProgMan", "ProgMan") && conv.Execute(*commands[0])) {
    undo_.MadeGroup(caption);
    for (std::size_t i = 1; i < std::size(commands); ++i) conv.Execute(*commands[i]);
  }
  conv.Close();
}

void TFormsec::RegisterFileType(const std::string& extension, const std::string& classKey,
                                const std::string& description, const std::string& programPath,
                                int iconIndex) {
  TRegistry reg(system_, plat::kClassesRoot);
  reg.NoteIn(&undo_);
  auto write = [&reg](const std::string& key, const std::string& name, const std::string& value) {
    reg.OpenKey(key, true);
    reg.WriteString(name, value);
    reg.CloseKey();
  };
  write(extension, "", classKey);
  write(classKey, "", description);
  write(classKey + "\\DefaultIcon", "", programPath + "," + std::to_string(iconIndex));
  write(classKey + "\\Shell\\Open", "", "&Open");
  // Quoted program and document: both may contain blanks.
  write(classKey + "\\Shell\\Open\\Command", "", Quoted(programPath) + " " + Quoted("%1"));
  system_.NotifyAssociationsChanged();
  reg.SetRootKey(plat::kCurrentUser);
  write(classKey + "\\Shell\\PathName", "Path", FolderWithSlash(programPath));
  write(classKey + "\\Shell\\Version", "Version", Formain->ReadSetupValue("Form", "Version"));
}
