#include "installer/unit_schedule.h"

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "common/formats.h"
#include "common/gbk.h"
#include "common/manifest.h"
#include "installer/registry.h"
#include "installer/unit_main.h"

TFormSchedule* FormSchedule = nullptr;

namespace {

const char kFinishCaption[] = "完毕";
const char kExitQuestion[] = "确定要退出本程序的安装吗?";
const char kAgreementSubtitle[] = "请仔细阅读下面的协议条款";

// The pages of the notebook, in the order of their indexes.
enum WizardPage {
  kWelcomePage,
  kAgreementPage,
  kDestinationPage,
  kReadyPage,
  kWorkingPage,
  kFinishedPage
};

// The grid's first three column widths, set on every refresh.
constexpr int kColWidths[3] = {50, 80, 80};

// A label's design bounds for its text. Labels size themselves to their text; the design
// size here is what the text takes in the 12-pixel face (6 pixels a byte), or in the 14-pixel
// bold face (7 pixels a byte).
ui::Rect DesignBounds(int left, int top, const std::string& text, bool bold) {
  const int perByte = bold ? 7 : 6;
  return {left, top, static_cast<int>(text.size()) * perByte, bold ? 14 : 12};
}

// A label at a design position with its text.
void PlaceLabel(ui::Label& label, int left, int top, const std::string& text, bool bold = false) {
  label.style.bold = bold;
  const ui::Rect b = DesignBounds(left, top, text, bold);
  label.SetBounds(b.left, b.top, b.width, b.height);
  label.SetText(text);
}

// A flat column-header label: fixed width, painted in the inactive-caption gradient colour.
void PlaceHeader(ui::Label& label, int left, int width, const std::string& text) {
  label.style.autoSize = false;
  label.style.color = ui::kGradientInactiveCaption;
  label.SetBounds(left, 99, width, 15);
  label.SetText(text);
}

// A label of a fixed size whose text wraps within it.
void PlaceWrapped(ui::Label& label, const ui::Rect& bounds, const std::string& text) {
  label.style.wordWrap = true;
  label.style.autoSize = false;
  label.SetBounds(bounds.left, bounds.top, bounds.width, bounds.height);
  label.SetText(text);
}

// A borderless panel filling a notebook page.
void FillPage(ui::Panel& panel, bool white) {
  if (white) panel.style.color = ui::kWhite;
  panel.SetAlign(ui::Align::Client);
}

}  // namespace

TFormSchedule::TFormSchedule(plat::Platform& system) : system_(system) {
  BuildLayout();
  DdeClientConv1 = system_.NewDdeConversation();  // connected only when the engine needs it
  WireHandlers();
  ui::Application().Dispatch([this] { FormCreate(); });
}

TFormSchedule::~TFormSchedule() {
  if (FormSchedule == this) FormSchedule = nullptr;
}

void TFormSchedule::BuildLayout() {
  border = ui::BorderStyle::Dialog;
  position = ui::Position::ScreenCenter;
  style.color = ui::kWhite;
  SetClientSize(526, 352);

  // The header stays hidden until the user leaves the welcome page; the strip starts at the
  // picture's full 165 x 300 and is narrowed at creation.
  const char title[] = "许可协议";
  frame.Build({.width = 526,
               .headerBitmap = "HEADER",
               .headerPicture = {-9, 3, 540, 54},
               .title = DesignBounds(16, 12, title, true),
               .titleText = title,
               .buttonsLeft = 252,
               .quitCaption = "退出",
               .stripBitmap = "LEFTSTRIP",
               .stripWidth = 165,
               .stripHeight = 300});
  PlaceLabel(Label5, 16, 32, kAgreementSubtitle);
  defaultButton = &BtnNext;  // Enter
  cancelButton = &btnexit;   // Esc, with its confirmation

  ScheBook.SetAlign(ui::Align::Client);

  // Welcome.
  FillPage(WelcomePanel, true);
  PlaceLabel(Label6, 24, 22, "欢迎使用 ...", true);
  PlaceWrapped(Label7, {24, 66, 288, 48}, "即将在您的电脑上安装“...” 请点击“下一步”按钮继续。");

  // Agreement.
  FillPage(AgreementPanel, false);
  Memo1.style.scrollBar = true;
  Memo1.SetBounds(13, 16, 488, 169);
  Memo1.labelledBy = &Label4;  // the agreement's title in the header
  RadioButton1.SetBounds(24, 198, 150, 17);
  RadioButton1.SetText("我同意以上条款");
  RadioButton2.SetBounds(24, 220, 150, 17);
  RadioButton2.SetText("我不同意以上条款");
  RadioButton2.SetChecked(true);

  // Destination (a page of 515 x 247).
  FillPage(DestinationPanel, false);
  PlaceLabel(Label3, 20, 22, "请选择安装路径及文件夹，然后点击“下一步”");
  Edit_Path.SetBounds(20, 48, 385, 20);
  Edit_Path.labelledBy = &Label3;
  Button1.SetBounds(416, 45, 73, 25);
  Button1.SetText("浏览");
  PlaceLabel(Label1, 20, 82, "磁盘空间(双击鼠标选择)");
  DiskRule.style.color = 14252561;  // red 17, green 122, blue 217
  DiskRule.SetBounds(118, 94, 286, 3);
  PlaceHeader(HeadVolume, 17, 53, "卷标");
  PlaceHeader(HeadSize, 67, 83, "磁盘大小");
  PlaceHeader(HeadFree, 147, 83, "可用空间");
  PlaceHeader(HeadUse, 227, 70, "使用");
  PlaceHeader(HeadRemain, 294, 113, " 剩余空间");
  GridFrame.style.frameColor = ui::kBlack;
  GridFrame.style.frameWidth = 1;
  GridFrame.SetBounds(18, 117, 388, 92);
  DiskGrid.style.hint = "双击鼠标选择磁盘名称（卷标）";
  DiskGrid.rowHeight = 14;
  DiskGrid.gridLineWidth = 1;
  DiskGrid.SetBounds(20, 119, 385, 88);
  DiskGrid.labelledBy = &Label1;
  DiskGrid.SetColCount(4);
  DiskGrid.SetRowCount(1);
  chbdesktop.SetBounds(22, 217, 120, 17);
  chbdesktop.SetText("创建桌面快捷方式");
  chbdesktop.SetChecked(true);

  // Ready.
  FillPage(ReadyPanel, false);
  PlaceLabel(Label2, 40, 56, "安装程序已经准备好在您的计算机上安装...");

  // Finished.
  FillPage(FinishedPanel, true);
  PlaceLabel(Label8, 88, 22, "... 安装完毕", true);
  PlaceWrapped(Label9, {88, 54, 300, 36}, "请点击“完毕”按钮退出安装程序。");
  chbrun.SetBounds(92, 106, 97, 17);
  chbrun.SetText("运行软件");
  chbrun.SetChecked(true);
}

void TFormSchedule::WireHandlers() {
  onActivate = [this] { FormActivate(); };
  onCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
  onClose = [this](ui::CloseAction& action) { FormClose(action); };
  BtnNext.onClick = [this] { BtnNextClick(); };
  btnpri.onClick = [this] { btnpriClick(); };
  btnexit.onClick = [this] { btnexitClick(); };
  RadioButton1.onClick = [this] { RadioButton1Click(); };
  RadioButton2.onClick = [this] { RadioButton2Click(); };
  chbrun.onClick = [this] { chbrunClick(); };
  Button1.onClick = [this] { Button1Click(); };
  Edit_Path.onChange = [this] { Edit_PathChange(); };
  DiskGrid.onDblClick = [this] { DiskGridDblClick(); };
  chbdesktop.onClick = [this] { chbdesktopClick(); };
}

std::string TFormSchedule::Config(const std::string& section, const std::string& key) {
  return Formain ? Formain->ReadSetupValue(section, key) : std::string();
}

// ---------------------------------------------------------------------------------------
// Creation, activation, closing

void TFormSchedule::FormCreate() {
  SetupRegistry = std::make_unique<TRegistry>(system_, plat::kCurrentUser);
  Panel_Top.Hide();
  ImagLeft.SetWidth(156);
  Realign();  // the notebook follows the narrower strip
  ScheBook.SetPageIndex(kWelcomePage);
  Committed = false;
  WantRunAfter = true;
  WantDesktopLink = true;
  SetCaption(Config("Form", "Caption"));
}

void TFormSchedule::FormActivate() {
  Label6.SetText("欢迎使用 " + Caption());
  Label7.SetText("即将在您的电脑上安装“" + Caption() + "” 请点击“下一步”按钮继续。");
  if (!Committed) {
    InstallDir = Config("SetupDir", "SetupPath");
    Edit_Path.SetText(InstallDir);
  }
}

void TFormSchedule::FormCloseQuery(bool& canClose) {
  if (Committed) {
    // Only the finished page can be closed while committed (the wizard is hidden during the
    // run). Granting the close alone would leave the user in front of the finished install
    // dialog, so the program ends here, without starting the application.
    canClose = true;
    if (Formain) Formain->Close();
    return;
  }
  if (ui::Application().MessageBox(this, kExitQuestion, "退出安装", ui::kMbOkCancel) == ui::kIdOk) {
    if (Formain) Formain->Close();
    canClose = true;
  } else {
    canClose = false;
  }
}

void TFormSchedule::FormClose(ui::CloseAction& action) { action = ui::CloseAction::Free; }

// ---------------------------------------------------------------------------------------
// Navigation

void TFormSchedule::BtnNextClick() {
  if (BtnNext.Text() == kFinishCaption) {
    // The name is read again here: a config changed since the install starts nothing outside
    // the destination folder (an unreadable, empty name opens the folder itself, as before).
    const std::string name = Config("Run", "FileName");
    // The application runs with the rights of the user, not the installer's: the desktop
    // shell starts it. Where no shell answers, it is started from here.
    if (WantRunAfter && Committed && (name.empty() || IsContainedRelPath(name))) {
      const std::string file = InstallDir + "\\" + name;
      if (!system_.ShellExecuteAsUser("open", file, "", "", plat::kSwShow))
        system_.ShellExecute(Handle(), "open", file, "", "", plat::kSwShow);
    }
    if (Formain) Formain->Close();
    return;
  }
  // There is no page after the finished one.
  if (ScheBook.PageIndex() >= kFinishedPage) return;

  ScheBook.SetPageIndex(ScheBook.PageIndex() + 1);
  // Each test looks at the index as it is at that moment: the ready page's Next passes
  // through the working page straight on to the finished page.
  if (ScheBook.PageIndex() > kWelcomePage) {
    ImagLeft.Hide();
    Panel_Top.Show();
  }
  if (ScheBook.PageIndex() == kAgreementPage) {
    std::string path = (Formain ? Formain->ScratchDir : std::string()) + kScratchAgreement;
    // An unreadable agreement file shows an empty text box; the page works as usual.
    if (auto bytes = system_.TryReadFile(path))
      Memo1.LoadFromBytes(*bytes);
    else
      Memo1.SetText("");
    RadioButton2.SetChecked(true);
    Label4.SetText(Config("Form", "SQXY"));
    Label5.Show();
    Label5.SetText(kAgreementSubtitle);
    BtnNext.SetEnabled(false);
  }
  if (ScheBook.PageIndex() == kDestinationPage) {
    Label4.SetText("选择安装文件夹");
    Label5.Hide();
    RefreshDiskGrid();
  }
  if (ScheBook.PageIndex() == kReadyPage) {
    Label4.SetText("安装确认");
    Label2.SetText("安装程序已经准备好在您的计算机上安装" + Caption());
    Label5.Show();
    Label5.SetText("点击“下一步”开始安装" + Caption());
  }
  if (ScheBook.PageIndex() == kWorkingPage) {
    Committed = true;
    ScheBook.SetPageIndex(kFinishedPage);
    HideForm();
    ui::Application().ProcessMessages();  // the wizard is off the screen before the run
    if (Formain) Formain->showsec();
  }
  if (ScheBook.PageIndex() == kAgreementPage) btnpri.SetEnabled(true);
}

void TFormSchedule::btnpriClick() {
  if (ScheBook.PageIndex() <= kWelcomePage) return;
  ScheBook.SetPageIndex(ScheBook.PageIndex() - 1);
  // Only the way back to the welcome page restores anything: the header keeps what the page
  // being left had set, and the agreement and destination pages keep their state.
  if (ScheBook.PageIndex() == kWelcomePage) {
    Panel_Top.Hide();
    ImagLeft.Show();
    BtnNext.SetEnabled(true);
    btnpri.SetEnabled(false);
  }
}

void TFormSchedule::btnexitClick() {
  Committed = false;
  if (ui::Application().OwnDialog(this, ui::DialogKind::Confirm, kExitQuestion) == ui::kIdYes) {
    if (Formain) Formain->Close();
  }
}

void TFormSchedule::RadioButton1Click() { BtnNext.SetEnabled(true); }

void TFormSchedule::RadioButton2Click() { BtnNext.SetEnabled(false); }

void TFormSchedule::chbrunClick() { WantRunAfter = chbrun.Checked(); }

// ---------------------------------------------------------------------------------------
// Destination page

void TFormSchedule::RefreshDiskGrid() {
  std::vector<std::string> disks;  // "C:\:3": root, ":", drive number
  for (int c = 0; c < 3; ++c) DiskGrid.SetColWidth(c, kColWidths[c]);

  // Only the first unbroken run of fixed disks is listed.
  std::string roots = system_.LogicalDriveStrings();
  bool seenFixed = false;
  for (std::size_t pos = 0; pos + 3 <= roots.size() && roots[pos] != '\0'; pos += 4) {
    std::string root = roots.substr(pos, 3);
    if (system_.DriveType(root) == plat::kDriveFixed) {
      int number = std::toupper(static_cast<unsigned char>(root[0])) - 'A' + 1;
      disks.push_back(root + ":" + std::to_string(number));
      seenFixed = true;
    } else if (seenFixed) {
      break;
    }
  }

  if (disks.size() < 2) {
    // A folder name that leads out of Program Files leaves the destination as it was.
    const std::string name = Config("SetupDir", "DirName");
    if (name.empty() || IsContainedRelPath(name)) {
      InstallDir = "C:\\Program Files\\" + name;
      Edit_Path.SetText(InstallDir);
    }
  } else {
    InstallDir = Edit_Path.Text();
  }

  DiskGrid.SetRowCount(0);  // the grid keeps at least one row
  DiskGrid.SetColCount(5);
  for (std::size_t i = 0; i < disks.size(); ++i) {
    const std::string& disk = disks[i];
    int row = static_cast<int>(i);
    int number = std::stoi(disk.substr(4, 2));
    std::string root = std::string(1, static_cast<char>(64 + number)) + ":\\";
    double size = -1, freeBytes = -1;
    std::uint64_t freeToCaller = 0, total = 0;
    if (system_.DiskFreeSpace(root, freeToCaller, total)) {
      size = static_cast<double>(total);
      freeBytes = static_cast<double>(freeToCaller);
    }
    DiskGrid.SetRowCount(row + 1);
    DiskGrid.SetCell(0, row, disk.substr(0, 3));
    if (size > 0) DiskGrid.SetCell(1, row, FormatGigabytes(size) + " GB");
    DiskGrid.SetCell(3, row, "");
    if (freeBytes > 0) DiskGrid.SetCell(2, row, FormatGigabytes(freeBytes) + " GB");
    DiskGrid.SetCell(4, row, "");
  }

  // The destination's disk; with none listed the grid refuses the selection and the
  // refresh ends with its error.
  std::string drive = InstallDir.substr(0, 3);
  int selected = 0;
  while (selected < DiskGrid.RowCount() && !gbk::EqualsNoCase(DiskGrid.Cell(0, selected), drive))
    ++selected;
  DiskGrid.SelectRow(selected);

  DiskGrid.SetCell(3, selected, " " + Config("Run", "RJSize") + " MB");
  std::string remaining = RemainingSpaceText(DiskGrid.Cell(2, selected));
  if (!remaining.empty()) DiskGrid.SetCell(4, selected, remaining);
}

void TFormSchedule::Button1Click() {
  std::string initial = system_.DirExists(InstallDir) ? InstallDir : std::string();
  auto chosen = ui::Application().backend().BrowseForFolder("选择安装路径", initial);
  if (!chosen) return;
  InstallDir = *chosen;
  Edit_Path.SetText(InstallDir);
  RefreshDiskGrid();
}

void TFormSchedule::Edit_PathChange() { InstallDir = Edit_Path.Text(); }

void TFormSchedule::DiskGridDblClick() {
  std::string volume = DiskGrid.Cell(0, DiskGrid.Row());
  // A grid without a listed disk has nothing to choose.
  if (volume.empty()) return;
  std::string text = Edit_Path.Text();
  // The edit's first character gives way to the drive letter; a double-byte first
  // character goes as a whole, so that no half character is left behind.
  std::size_t first = 0;
  if (!text.empty()) first = gbk::IsLeadByte(static_cast<unsigned char>(text[0])) ? 2 : 1;
  Edit_Path.SetText(volume.substr(0, 1) + (first < text.size() ? text.substr(first) : ""));
  InstallDir = Edit_Path.Text();
  RefreshDiskGrid();
}

void TFormSchedule::chbdesktopClick() { WantDesktopLink = chbdesktop.Checked(); }
