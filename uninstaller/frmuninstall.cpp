#include "uninstaller/frmuninstall.h"

#include <optional>
#include <vector>

#include "common/gbk.h"
#include "common/manifest.h"
#include "common/product.h"
#include "common/progman.h"

namespace {

// The registry keys of the product, removed in this order with everything below them.
struct ProductKey {
  plat::RegKey root;
  const char* path;
};
constexpr ProductKey kProductKeys[] = {
    {plat::kLocalMachine, product::kApplicationKey},
    {plat::kCurrentUser, product::kUninstallKey},
    {plat::kClassesRoot, product::kDocumentExtension},
    {plat::kClassesRoot, product::kDocumentClass},
    {plat::kCurrentUser, product::kDocumentClass},
};

void PlaceLabel(ui::Label& label, int left, int top, bool bold = false) {
  label.style.bold = bold;
  label.SetBounds(left, top, 0, 0);
}

}  // namespace

std::string BatchFileText(const std::string& program, const std::string& systemDir) {
  const std::string quoted = "\"" + program + "\"";
  // Retries about once a second (ping is the pause that every cmd has) and gives up after a
  // bounded number of attempts, so that a file that can never be deleted does not keep a
  // hidden command interpreter spinning; the batch file deletes itself in every case.
  return "set /a tries=0\r\n"
         ":try\r\n"
         "del " +
         quoted +
         "\r\n"
         "if not exist " +
         quoted +
         " goto done\r\n"
         "set /a tries+=1\r\n"
         "if %tries% geq " +
         std::to_string(kBatchAttempts) +
         " goto done\r\n"
         "\"" +
         systemDir +
         "\\ping.exe\" -n 2 127.0.0.1 >nul\r\n"
         "goto try\r\n"
         ":done\r\n"
         "del %0\r\n";
}

std::string BatchProgramPath(plat::Platform& system) {
  const std::string program = system.ModuleFileName();
  auto ascii = [](const std::string& s) {
    for (unsigned char c : s)
      if (c >= 0x80) return false;
    return true;
  };
  // The command interpreter reads the batch file in the console's code page, which need not
  // be 936: a Chinese folder name would reach "del" garbled and the uninstaller would stay.
  // The 8.3 form of such a path is plain ASCII and reads the same in every code page.
  if (ascii(program)) return program;
  const std::string shortPath = system.ShortPathName(program);
  return ascii(shortPath) ? shortPath : program;
}

Tfrmuninstall::Tfrmuninstall(plat::Platform& system) : system_(system) {
  BuildLayout();
  DdeClientConv1 = system_.NewDdeConversation();
  BtnNext.onClick = [this] { BtnNextClick(); };
  Button1.onClick = [this] { Button1Click(); };
  onClose = [this](ui::CloseAction& action) { FormClose(action); };
  ui::Application().Dispatch([this] { FormCreate(); });
}

Tfrmuninstall::~Tfrmuninstall() = default;

void Tfrmuninstall::BuildLayout() {
  SetCaption("软件卸载");
  border = ui::BorderStyle::Sizeable;
  position = ui::Position::Designed;
  style.color = ui::kWhite;
  icon = "MAINICON";
  boldHeight = 12;                // its bold labels are the 12-pixel face in bold
  SetBounds(171, 153, 502, 335);  // client area at its designed screen place

  // The 165 x 300 strip is drawn in a 156-wide column.
  frame.Build({.width = 502,
               .headerBitmap = "UNHEADER",
               .headerPicture = {101, 2, 400, 54},
               .title = {16, 16, 0, 0},
               .titleText = "",  // set at creation
               .buttonsLeft = 232,
               .quitCaption = "取消",
               .stripBitmap = "LEFTSTRIP",
               .stripWidth = 156,
               .stripHeight = 287});
  defaultButton = &BtnNext;  // Enter
  cancelButton = &Button1;   // Esc

  NoteBook1.SetAlign(ui::Align::Client);
  for (ui::Page* page : {&p1, &p2, &p3}) page->SetAlign(ui::Align::Client);

  Panel1.style.color = ui::kWhite;
  Panel1.SetAlign(ui::Align::Client);
  PlaceLabel(Label6, 20, 32, true);
  Label7.style.wordWrap = true;
  Label7.SetBounds(20, 76, 288, 24);
  Label7.SetText("请确认后点击“下一步”按钮继续。如果您不要卸载，请点击“取消”按钮。");

  RzPanel2.SetAlign(ui::Align::Client);
  lblinfo.style.autoSize = false;
  lblinfo.SetBounds(60, 44, 353, 13);
  lblinfo.SetText("正在卸载......");
  pgb1.SetBounds(60, 68, 381, 19);
  pgb1.SetRange(0, 100);
  pgb1.SetPosition(0);

  PlaceLabel(Label4, 48, 36, true);
  PlaceLabel(Label2, 50, 80);
  Label2.SetText("请点击“完成”按钮退出本程序");

  NoteBook1.SetPageIndex(0);
}

void Tfrmuninstall::FormCreate() {
  Panel_Top.Hide();
  std::string self = system_.ModuleFileName();
  std::size_t sep = gbk::LastSeparator(self);
  AppDir = sep == std::string::npos ? std::string() : self.substr(0, sep + 1);
  NoteBook1.SetPageIndex(0);
  ProductCaption = ReadSetupValue("Form", "Caption");
  DesktopLinkName = ReadSetupValue("Form", "desKtopLink");
  Label1.SetText("正在卸载" + ProductCaption);
  Label6.SetText("即将从您的电脑中卸载 " + ProductCaption);
  Label4.SetText(ProductCaption + " 卸载完毕.");
}

std::string Tfrmuninstall::ReadSetupValue(const std::string& section, const std::string& key) {
  return plat::ReadIniFileValue(system_, AppDir + product::kConfigFile, section, key);
}

// The four tests run one after the other on the state the earlier ones left, so one click
// on the confirmation page runs the removal and lands on the done page.
void Tfrmuninstall::BtnNextClick() {
  if (BtnNext.Text() == "完成") {
    // Started in the system folder, so that nothing in the folder this program was started
    // from can stand in for a command the batch file calls.
    system_.ShellExecute(Handle(), "open", kBatchFile, "", system_.SystemDirectory(),
                         plat::kSwHide);
    Close();
  }
  if (NoteBook1.PageIndex() == 0) {
    ImagLeft.Hide();
    Panel_Top.Show();
    NoteBook1.SetPageIndex(NoteBook1.PageIndex() + 1);
  }
  if (NoteBook1.PageIndex() == 1) {
    BtnNext.SetEnabled(false);
    Button1.SetEnabled(false);
    NoteBook1.SetActivePage("p2");
    bool done = false;
    try {
      done = Un_install();
    } catch (...) {
      Close();
      throw;
    }
    if (!done) Close();
  }
  if (NoteBook1.PageIndex() == 2) {
    ImagLeft.Show();
    Panel_Top.Hide();
    BtnNext.SetEnabled(true);
    BtnNext.SetText("完成");
  }
}

void Tfrmuninstall::Button1Click() { Close(); }

void Tfrmuninstall::FormClose(ui::CloseAction& action) { action = ui::CloseAction::Free; }

void Tfrmuninstall::Message(const std::string& text) {
  ui::Application().MessageBox(this, text, ui::Application().Title(), ui::kMbOk);
}

bool Tfrmuninstall::Un_install() {
  try {
    Pump();
    lblinfo.SetText("删除文件...");
    const std::string manifest = AppDir + product::kManifestFile;
    if (!system_.FileExists(manifest)) return false;
    {
      // Read whole before anything is deleted: the manifest lists itself.
      std::vector<std::string> lines = SplitLines(system_.ReadFile(manifest));
      for (std::size_t i = 0; i < lines.size(); ++i)
        DeleteListedFile(AppDir, ParseManifestLine(lines[i]).RelPath, static_cast<int>(i));
    }

    lblinfo.SetText("删除文件夹");
    DeleteFolderFiles(AppDir + "SdbFile\\");
    DeleteFolderFiles(AppDir + "UserFile\\");
    pgb1.SetPosition(90);
    Pause(50);
    Pump();

    lblinfo.SetText("清除注册表信息...");
    for (const ProductKey& key : kProductKeys) DeleteKeyTree(key.root, key.path);
    pgb1.SetPosition(93);
    Pause(100);
    Pump();

    lblinfo.SetText("删除桌面程序图标...");
    DeleteDesktopLink();
    pgb1.SetPosition(95);
    Pause(100);
    Pump();

    lblinfo.SetText("删除[开始]菜单程序群组...");
    // A caption that is no single name names no group of ours: like a missing one.
    ProgManCommand(IsProgManGroupName(ProductCaption) ? ProductCaption : "", "DeleteGroup");
    pgb1.SetPosition(98);
    Pause(100);
    Pump();

    lblinfo.SetText("删除批处理文件...");
    WriteBatchFile();
    pgb1.SetPosition(100);
    Pause(50);
  } catch (const std::exception&) {
    Message("卸载程序出错!可能是正在使用要删除的文件");
    return false;
  }
  NoteBook1.SetActivePage("p3");
  return true;
}

// Any user may create a folder, or a link, in the root of C:. The batch file is made new, never
// written through whatever lies at its name: a folder of that name (a link to one included) is
// removed first, a file or file link goes inside CreateHeldFile; what cannot go fails the write.
void Tfrmuninstall::WriteBatchFile() {
  const std::optional<std::uint32_t> attributes = system_.Attributes(kBatchFile);
  if (attributes && (*attributes & plat::kAttrDirectory) && !system_.RemoveDir(kBatchFile))
    throw plat::Error(std::string("Cannot create file \"") + kBatchFile +
                      "\". A folder of that name cannot be removed");
  system_.CreateHeldFile(kBatchFile,
                         BatchFileText(BatchProgramPath(system_), system_.SystemDirectory()));
  system_.ReleaseHeldFile(kBatchFile);
}

// A path from the manifest that is absolute, names a drive or climbs out of the folder is
// skipped like a missing file: a damaged manifest must not delete anything elsewhere. Nor is
// anything deleted through a folder on the way that is a junction or symbolic link, which
// could lead anywhere; a listed file that is itself a link goes as the link.
void Tfrmuninstall::DeleteListedFile(const std::string& folder, const std::string& relPath,
                                     int index) {
  Pump();
  if (IsContainedRelPath(relPath) && system_.FileExists(folder + relPath)) {
    lblinfo.SetText("删除文件: " + relPath);
    // A file in use or read-only stays, without a word.
    system_.DeleteFileBelow(folder, relPath);
  }
  pgb1.SetPosition(index + 5);
  Pause(50);
}

// The folder is held open while its files go, so that a box waiting in between lets nobody
// put a link in its place. A data folder that is a link loses the link itself; where it leads
// stays untouched. Links among its files are deleted as links; folders in it are not entered.
void Tfrmuninstall::DeleteFolderFiles(const std::string& folder) {
  const std::unique_ptr<plat::HeldFolder> held = system_.OpenFolder(folder);
  if (!held) return;
  if (held->IsLink()) {
    held->Remove();
    return;
  }
  for (const plat::DirEntry& entry : held->List()) {
    if (entry.attributes & (plat::kAttrDirectory | plat::kAttrVolumeLabel)) continue;
    if (!held->DeleteFile(entry.name)) Message("删除 " + folder + entry.name + " 文件失败!");
  }
  if (!held->Remove()) Message("删除 \\" + folder + " 文件夹失败! ");
}

// Deletes a key with everything below it; every failure is ignored. `root` is a root or
// the open parent key of a recursion step.
void Tfrmuninstall::DeleteKeyTree(plat::RegKey root, std::string path) {
  if (!path.empty() && path[0] == '\\') path.erase(0, 1);
  {
    const plat::OwnedKey key = plat::OpenKey(system_, root, path);
    std::uint32_t subkeys = 0, maxNameLen = 0;
    if (key.get() && system_.RegQueryInfo(key.get(), subkeys, maxNameLen)) {
      for (std::uint32_t i = subkeys; i-- > 0;) {
        std::optional<std::string> name = system_.RegEnumKey(key.get(), i);
        if (name) DeleteKeyTree(key.get(), *name);
      }
    }
  }
  system_.RegDeleteKey(root, path);
}

// The link name is appended to the desktop folder; one that leaves that folder (a damaged
// config) or a desktop the shell cannot name deletes nothing.
void Tfrmuninstall::DeleteDesktopLink() {
  std::optional<std::string> desktop = system_.CommonDesktopDirectory();
  if (!desktop) return;
  const std::string& name = DesktopLinkName;
  if (!IsContainedLinkName(name)) return;
  system_.DeleteFile(*desktop + DesktopLinkName);
}

bool Tfrmuninstall::ProgManCommand(const std::string& argument, const std::string& command) {
  // No argument names no group of ours; one that no form carries (or one that does not fit)
  // is not sent.
  const std::optional<std::string> text =
      ComposeProgManCommand(command, {argument}, "\r\n", kUninstallerCommandBuffer);
  if (!text) return argument.empty();
  bool result = true;
  if (DdeClientConv1->Open("ProgMan", "ProgMan") && !DdeClientConv1->Execute(*text)) result = false;
  DdeClientConv1->Close();
  return result;
}
