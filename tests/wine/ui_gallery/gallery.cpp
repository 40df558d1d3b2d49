// The ui gallery: a program that puts every control kind of the Win32 ui backend on real
// windows, drives itself through them with a timer and checks what the windows show and do:
// texts (Chinese, through code page 936), fonts, layout, clicks and typing, the grid, pictures,
// the animation, nested modal runs, the program's own dialogs against system message boxes
// (which activations run again), the folder browser, minimise and restore, a worker thread
// handing a modal form to the GUI thread, and a request to terminate that ends nested modal
// runs. It writes one line per check to the log (GALLERY_LOG, default ui_gallery.log), then
// "N passed, M failed", and exits 0 only when every check passed.
//
// At each "SNAP <name>" point, with GALLERY_ACK naming a file, it waits until that file holds
// the name, so that a screenshot can be taken first (run.sh does that with GALLERY_SHOTS);
// GALLERY_TRACE logs every step as it runs.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#undef MessageBox

#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui/win32/win32_backend.h"
#include "ui/wizard_frame.h"
#include "winkit/text.h"

namespace {

FILE* g_log = nullptr;
int g_passed = 0, g_failed = 0;
std::string g_ack;  // a file whose text names the last SNAP point a screenshot was taken of

void Log(const std::string& line) {
  if (g_log) {
    std::fprintf(g_log, "%s\n", line.c_str());
    std::fflush(g_log);
  }
}

void Check(bool ok, const std::string& what) {
  (ok ? g_passed : g_failed)++;
  Log((ok ? "PASS " : "FAIL ") + what);
}

std::wstring W(const std::string& gbk) { return winkit::Widen(gbk); }

std::wstring TextOf(HWND h) {
  wchar_t buf[4096];
  int n = GetWindowTextW(h, buf, 4096);
  return std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[128];
  int n = GetClassNameW(h, buf, 128);
  return std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

HWND H(const ui::Control& c) { return static_cast<HWND>(c.native); }

RECT InParent(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SameRect(HWND h, const ui::Rect& b) {
  RECT r = InParent(h);
  return r.left == b.left && r.top == b.top && r.right - r.left == b.width &&
         r.bottom - r.top == b.height;
}

LOGFONTW FontOf(HWND h) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

COLORREF PixelAt(HWND h, int x, int y) {
  RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  HDC dc = GetDC(h);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(h, dc);
  return c;
}

bool Near(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) < 40 && std::abs(GetGValue(a) - GetGValue(b)) < 40 &&
         std::abs(GetBValue(a) - GetBValue(b)) < 40;
}

std::string Hex(COLORREF c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06lX", static_cast<unsigned long>(c));
  return buf;
}

// A checksum of what a window shows, read back through its device context.
unsigned long Picture(HWND h) {
  RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW);
  RECT r;
  GetClientRect(h, &r);
  HDC dc = GetDC(h);
  unsigned long sum = 0;
  for (int y = 0; y < r.bottom; y += 2)
    for (int x = 0; x < r.right; x += 2) sum = sum * 31 + GetPixel(dc, x, y);
  ReleaseDC(h, dc);
  return sum;
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> all;
  EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

DWORD WINAPI Watchdog(LPVOID) {
  ::Sleep(240000);
  Log("FAIL watchdog: the gallery did not finish");
  if (g_log) std::fclose(g_log);
  ExitProcess(3);
}

std::wstring CellText(HWND lv, int row, int col) {
  wchar_t buf[128] = L"";
  LVITEMW item{};
  item.iSubItem = col;
  item.pszText = buf;
  item.cchTextMax = 128;
  SendMessageW(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buf;
}

// A visible top-level window of this thread with that class, owned by `owner` when given.
HWND FindTop(const std::wstring& cls, HWND owner) {
  for (HWND h : TopWindows())
    if (IsWindowVisible(h) && ClassOf(h) == cls && (!owner || GetWindow(h, GW_OWNER) == owner))
      return h;
  return nullptr;
}

// --- the self-driving script --------------------------------------------------------------

struct Step {
  std::string name;
  std::function<bool()> ready;
  std::function<void()> action;
  bool started = false;
  DWORD since = 0;
};
std::deque<Step> g_steps;
bool g_trace = false;  // GALLERY_TRACE: log each step as it runs
DWORD g_start = GetTickCount();

void When(std::string name, std::function<bool()> ready, std::function<void()> action) {
  g_steps.push_back(Step{std::move(name), std::move(ready), std::move(action), false, 0});
}
void Then(std::string name, std::function<void()> action) {
  When(
      std::move(name), [] { return true; }, std::move(action));
}
// Lets the program run on (messages, timers, painting) for a while before the next step.
// Ready once `ms` have passed since the step was first looked at.
std::function<bool()> After(DWORD ms, std::function<bool()> also = nullptr) {
  auto start = std::make_shared<std::pair<bool, DWORD>>(false, 0);
  return [start, ms, also] {
    if (!start->first) *start = {true, GetTickCount()};
    return GetTickCount() - start->second >= ms || (also && also());
  };
}
void Idle(DWORD ms) {
  When("idle", After(ms), [] {});
}
std::string AckText() {
  std::string text;
  if (FILE* f = std::fopen(g_ack.c_str(), "rb")) {
    char buf[128];
    std::size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    text.assign(buf, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  }
  return text;
}

// A point worth a screenshot: with GALLERY_ACK set, waits (at most 20 s) until the runner
// has taken it.
void Snap(const std::string& name) {
  Then("snap " + name, [name] { Log("SNAP " + name); });
  if (g_ack.empty()) return;
  When("screenshot " + name, After(20000, [name] { return AckText() == name; }), [] {});
}

void Tick() {
  if (g_steps.empty()) return;
  Step& s = g_steps.front();
  if (!s.started) {
    s.started = true;
    s.since = GetTickCount();
  }
  if (!s.ready()) {
    if (GetTickCount() - s.since > 60000) {
      Check(false, "step '" + s.name + "' never became ready");
      g_steps.pop_front();
    }
    return;
  }
  Step step = std::move(s);
  g_steps.pop_front();
  if (g_trace) Log("STEP " + step.name + " at " + std::to_string(GetTickCount() - g_start) + " ms");
  step.action();  // may run a nested modal loop, in which the following steps run
}

// --- forms ---------------------------------------------------------------------------------

struct Wizard : ui::Form {
  ui::WizardFrame frame{this};
  ui::Label subtitle{&frame.header};
  ui::Notebook book{this};
  ui::Page p0{&book, "p0"};
  ui::Panel p0panel{&p0};
  ui::Label welcome{&p0panel};
  ui::Label wrapped{&p0panel};
  ui::Label face{&p0panel};
  ui::Button thrower{&p0panel};
  ui::Button oddThrower{&p0panel};
  ui::Page p1{&book, "p1"};
  ui::Panel p1panel{&p1};
  ui::Memo memo{&p1panel};
  ui::RadioButton agree{&p1panel}, disagree{&p1panel};
  ui::Page p2{&book, "p2"};
  ui::Panel p2panel{&p2};
  ui::Label l3{&p2panel};
  ui::Edit path{&p2panel};
  ui::Button browse{&p2panel};
  ui::Label l1{&p2panel};
  ui::Separator sep{&p2panel};
  ui::Label heads[5] = {ui::Label{&p2panel}, ui::Label{&p2panel}, ui::Label{&p2panel},
                        ui::Label{&p2panel}, ui::Label{&p2panel}};
  ui::Shape gridFrame{&p2panel};
  ui::Grid grid{&p2panel};
  ui::CheckBox desk{&p2panel};

  int activations = 0, clicks = 0, changes = 0, radioClicks = 0, dblClicks = 0, dblRow = -1;

  Wizard() {
    SetCaption("界面样板 - 向导");
    border = ui::BorderStyle::Sizeable;
    position = ui::Position::Designed;
    SetBounds(30, 30, 526, 352);
    style.color = ui::kWhite;
    onActivate = [this] { ++activations; };

    // The programs' wizard frame, its header shown from the start.
    frame.Build({.width = 526,
                 .headerBitmap = "GALLERYBMP",
                 .headerPicture = {-9, 3, 540, 54},
                 .title = {16, 12, 0, 0},
                 .titleText = "许可协议",
                 .buttonsLeft = 252,
                 .quitCaption = "退出",
                 .stripBitmap = "GALLERYBMP",
                 .stripWidth = 156,
                 .stripHeight = 100});
    frame.header.Show();
    subtitle.SetBounds(16, 32, 0, 0);
    subtitle.SetText("请仔细阅读下面的协议条款");
    frame.back.onClick = [this] { book.SetPageIndex(book.PageIndex() - 1); };
    frame.next.onClick = [this] {
      ++clicks;
      book.SetPageIndex(book.PageIndex() + 1);
      frame.back.SetEnabled(true);
    };
    book.SetAlign(ui::Align::Client);
    for (ui::Page* p : {&p0, &p1, &p2}) p->SetAlign(ui::Align::Client);
    for (ui::Panel* p : {&p0panel, &p1panel, &p2panel}) {
      p->style.color = ui::kWhite;
      p->SetAlign(ui::Align::Client);
    }

    welcome.style.bold = true;
    welcome.SetBounds(24, 22, 0, 0);
    welcome.SetText("欢迎使用 界面样板");
    wrapped.style.wordWrap = true;
    wrapped.SetBounds(24, 66, 288, 24);
    wrapped.SetText(
        "即将在您的电脑上安装“界面样板” 请点击“下一步”按钮继续。这一行很长，会自动换行。");
    face.SetBounds(24, 140, 0, 0);
    face.SetText("宋体 12 像素：中文字体显示正常");
    thrower.SetBounds(24, 170, 120, 23);
    thrower.SetText("出错");
    thrower.onClick = [] { throw std::runtime_error("Grid index out of range"); };
    oddThrower.SetBounds(160, 170, 120, 23);
    oddThrower.SetText("异常");
    oddThrower.onClick = [this] {
      ++clicks;
      throw 42;  // not a std::exception: stopped at the window procedure
    };

    memo.style.scrollBar = true;
    memo.SetBounds(13, 16, 340, 140);
    agree.SetBounds(24, 168, 200, 17);
    agree.SetText("我同意以上条款");
    agree.onClick = [this] { ++radioClicks; };
    disagree.SetBounds(24, 190, 200, 17);
    disagree.SetText("我不同意以上条款");
    disagree.SetChecked(true);

    l3.SetBounds(20, 22, 0, 0);
    l3.SetText("请选择安装路径及文件夹，然后点击“下一步”");
    path.SetBounds(20, 48, 260, 20);
    path.SetText("D:\\Program Files\\Korvn25");
    path.onChange = [this] { ++changes; };
    browse.SetBounds(290, 45, 60, 25);
    browse.SetText("浏览");
    l1.SetBounds(20, 82, 0, 0);
    l1.SetText("磁盘空间(双击鼠标选择)");
    sep.SetBounds(158, 88, 190, 3);
    const char* headTexts[5] = {"卷标", "磁盘大小", "可用空间", "使用", " 剩余空间"};
    int headLeft[5] = {17, 67, 147, 227, 294}, headWidth[5] = {53, 83, 83, 70, 50};
    for (int i = 0; i < 5; ++i) {
      heads[i].style.autoSize = false;
      heads[i].style.color = ui::kGradientInactiveCaption;
      heads[i].SetBounds(headLeft[i], 99, headWidth[i], 14);
      heads[i].SetText(headTexts[i]);
    }
    gridFrame.style.color = ui::kWhite;
    gridFrame.style.frameColor = ui::kBlack;
    gridFrame.style.frameWidth = 1;
    gridFrame.SetBounds(18, 117, 330, 92);
    grid.SetBounds(20, 119, 326, 88);
    grid.style.hint = "双击鼠标选择磁盘名称（卷标）";
    grid.onDblClick = [this] {
      ++dblClicks;
      dblRow = grid.Row();
    };
    desk.SetBounds(22, 217, 140, 17);
    desk.SetText("创建桌面快捷方式");
    desk.SetChecked(true);
    book.SetPageIndex(0);
  }
};

// Like the install dialog: no border, a framed shape under everything, the animation.
struct Progress : ui::Form {
  ui::Shape shape{this};
  ui::Label status{this};
  ui::Animation anim{this};
  ui::ProgressBar bar{this};
  ui::Button cancel{this};
  Progress() {
    SetCaption("安装");
    border = ui::BorderStyle::None;
    position = ui::Position::ScreenCenter;
    SetBounds(0, 0, 359, 205);
    style.color = ui::kWhite;
    shape.style.color = ui::kWhite;
    shape.style.frameColor = 0xC25310;  // RGB(16, 83, 194)
    shape.style.frameWidth = 3;
    shape.SetBounds(0, 0, 359, 205);
    status.style.autoSize = false;
    status.SetBounds(40, 92, 269, 13);
    status.SetText("正在安装...");
    anim.style.color = ui::kWhite;
    anim.SetBounds(40, 12, 272, 60);
    bar.SetBounds(40, 112, 277, 17);
    cancel.SetBounds(132, 156, 89, 25);
    cancel.SetText("取消");
  }
};

// Like the installer's backdrop: borderless, maximised, one stretched picture filling it.
struct Backdrop : ui::Form {
  ui::Image picture{this};
  Backdrop() {
    border = ui::BorderStyle::None;
    position = ui::Position::Maximized;
    style.color = ui::kButtonFace;
    SetBounds(0, 0, 500, 408);
    picture.style.bitmap = "GALLERYBMP";
    picture.style.stretch = true;
    picture.SetAlign(ui::Align::Client);
  }
};

struct Small : ui::Form {
  ui::Label text{this};
  ui::Button close{this};
  int refusals = 0;  // close requests refused before one is granted
  explicit Small(const std::string& caption) {
    SetCaption(caption);
    border = ui::BorderStyle::Dialog;
    position = ui::Position::ScreenCenter;
    SetBounds(0, 0, 300, 110);
    style.color = ui::kWhite;
    text.SetBounds(20, 20, 0, 0);
    text.SetText("这是一个模态窗口：" + caption);
    close.SetBounds(110, 60, 80, 25);
    close.SetText("关闭");
    close.onClick = [this] { modalResult = 1; };
    onCloseQuery = [this](bool& can) {
      if (refusals > 0) {
        --refusals;
        can = false;
      }
    };
  }
};

void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

HWND DialogButton(HWND dlg, int id) { return GetDlgItem(dlg, id); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char buf[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("GALLERY_LOG", buf, MAX_PATH);
  g_log = std::fopen(n && n < MAX_PATH ? buf : "ui_gallery.log", "wb");
  n = GetEnvironmentVariableA("GALLERY_ACK", buf, MAX_PATH);
  if (n && n < MAX_PATH) g_ack = buf;
  g_trace = GetEnvironmentVariableA("GALLERY_TRACE", buf, MAX_PATH) > 0;
  // A stuck run must end anyway: a watchdog ends the process with a failure.
  CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);

  ui::Win32Backend backend;
  ui::App app(backend);
  app.SetTitle("界面样板");
  Wizard wiz;
  Progress prog;
  Small modalA("甲"), modalB("乙"), modalC("丙");
  Backdrop backdrop;
  HWND appWnd = reinterpret_cast<HWND>(app.Handle());
  const DWORD gui = GetCurrentThreadId();

  ui::Timer tick;
  tick.interval = 25;
  tick.onTimer = Tick;
  tick.SetEnabled(true);

  // Results that are only known after Run has returned.
  int terminateA = -1, terminateB = -1;
  std::vector<std::string> order;

  Then("start", [&] {
    Check(IsWindow(appWnd) && TextOf(appWnd) == W("界面样板"),
          "application window carries the title");
    Check(GetWindow(H(wiz), GW_OWNER) == appWnd, "forms are owned by the application window");
    Check(TextOf(H(wiz)) == W("界面样板 - 向导"), "form caption in Chinese");
    RECT cr;
    GetClientRect(H(wiz), &cr);
    Check(cr.right == 526 && cr.bottom == 352, "client size is the form's size");
    Check(app.ActiveForm() == &wiz && wiz.activations == 1,
          "showing the main form activates it once");
    Check(ClassOf(H(wiz.welcome)) == L"Static" || ClassOf(H(wiz.welcome)) == L"STATIC",
          "labels are static controls");
    Check(!wiz.grid.native && !wiz.path.native,
          "the controls of a hidden page are made only when it is first shown");
  });
  Snap("welcome");
  Then("texts and fonts", [&] {
    std::wstring t = TextOf(H(wiz.face));
    Check(!t.empty() && t[0] == 0x5B8B && t[1] == 0x4F53, "GBK text reaches the window as UTF-16");
    Check(t == W(wiz.face.Text()), "label text round trip");
    LOGFONTW lf = FontOf(H(wiz.face));
    Check(lf.lfHeight == -12 && lf.lfCharSet == GB2312_CHARSET &&
              std::wstring(lf.lfFaceName) == L"\x5B8B\x4F53",
          "controls use 宋体 12 px, GB2312");
    LOGFONTW bold = FontOf(H(wiz.welcome));
    Check(bold.lfHeight == -14 && bold.lfWeight == FW_BOLD &&
              std::wstring(bold.lfFaceName) == L"\x5B8B\x4F53",
          "bold labels use the same face at 14 px bold");
    Check(wiz.welcome.bounds().width > 0 && SameRect(H(wiz.welcome), wiz.welcome.bounds()),
          "an auto-sized label follows its text");
    int before = wiz.welcome.bounds().width;
    wiz.welcome.SetText("欢迎使用 界面样板 加长的标题");
    Check(wiz.welcome.bounds().width > before && SameRect(H(wiz.welcome), wiz.welcome.bounds()),
          "a longer text widens an auto-sized label");
    Check(wiz.wrapped.bounds().width == 288 && wiz.wrapped.bounds().height >= 24,
          "a word-wrapped label keeps its width and grows in height");
  });
  Then("layout", [&] {
    Check(SameRect(H(wiz.frame.bar), wiz.frame.bar.bounds()) &&
              wiz.frame.bar.bounds().top == 352 - 46,
          "bottom-aligned bar placed at the bottom");
    Check(SameRect(H(wiz.frame.rule), wiz.frame.rule.bounds()) &&
              wiz.frame.rule.bounds().top == 352 - 48,
          "the rule sits above the bar");
    Check(SameRect(H(wiz.book), wiz.book.bounds()) && wiz.book.bounds().left == 156,
          "the notebook fills what the strip leaves");
    Check(!IsWindowVisible(H(wiz.p1)) && IsWindowVisible(H(wiz.p0)), "only the active page shows");
    RECT wr;
    GetWindowRect(H(wiz), &wr);
    SetWindowPos(H(wiz), nullptr, 0, 0, wr.right - wr.left + 40, wr.bottom - wr.top + 30,
                 SWP_NOMOVE | SWP_NOZORDER);
    Check(wiz.bounds().width == 566 && wiz.bounds().height == 382,
          "resizing the window updates the form's size");
    Check(wiz.frame.bar.bounds().top == 382 - 46 &&
              SameRect(H(wiz.frame.bar), wiz.frame.bar.bounds()) &&
              SameRect(H(wiz.frame.next), wiz.frame.next.bounds()),
          "resizing re-lays out the aligned controls");
    wiz.SetClientSize(526, 352);
    RECT cr;
    GetClientRect(H(wiz), &cr);
    Check(cr.right == 526 && cr.bottom == 352 && wiz.frame.bar.bounds().top == 352 - 46,
          "setting the client size resizes the window");
  });
  Then("errors", [&] {
    PostClick(H(wiz.thrower));  // its handler throws: the generic error box comes up
  });
  When(
      "error box", [&] { return FindTop(L"#32770", H(wiz)) != nullptr; },
      [&] {
        HWND box = FindTop(L"#32770", H(wiz));
        Check(TextOf(box) == W("界面样板"), "the error box is titled with the application title");
        Check(TextOf(GetDlgItem(box, 0xFFFF)) == L"Grid index out of range.",
              "the error box shows the text with a full stop");
        PostClick(GetDlgItem(box, IDOK));
      });
  When(
      "error box gone", [&] { return FindTop(L"#32770", H(wiz)) == nullptr; },
      [&] {
        int c = wiz.clicks;
        SendMessageW(H(wiz.oddThrower), BM_CLICK, 0, 0);
        Check(wiz.clicks == c + 1, "an exception of another type stops at the window procedure");
      });
  Then("keyboard", [&] {
    SetFocus(H(wiz.thrower));
    PostMessageW(H(wiz.thrower), WM_KEYDOWN, VK_TAB, 0);
  });
  Then("tab moved", [&] {
    Check(GetFocus() == H(wiz.oddThrower), "Tab moves the focus to the next control");
    int before = wiz.clicks;
    SendMessageW(H(wiz.frame.next), BM_CLICK, 0, 0);
    Check(wiz.clicks == before + 1 && wiz.book.PageIndex() == 1, "a button click runs its handler");
    Check(IsWindowVisible(H(wiz.p1)) && !IsWindowVisible(H(wiz.p0)), "the new page shows");
    Check(IsWindowEnabled(H(wiz.frame.back)), "enabling shows on the button");
  });
  Then("memo and radios", [&] {
    wiz.memo.LoadFromBytes("第一行\r\n第二行\n第三行\r第四行");
    Check(TextOf(H(wiz.memo)) == W("第一行\r\n第二行\r\n第三行\r\n第四行") &&
              SendMessageW(H(wiz.memo), EM_GETLINECOUNT, 0, 0) == 4,
          "memo shows the loaded lines");
    SendMessageW(H(wiz.memo), EM_SETSEL, 0, -1);  // as if the user had typed over it
    SendMessageW(H(wiz.memo), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(W("甲\r\n乙").c_str()));
    Check(wiz.memo.Lines().size() == 2 && wiz.memo.Lines()[1] == "乙", "typing in the memo");
    SendMessageW(H(wiz.agree), BM_CLICK, 0, 0);
    Check(wiz.agree.Checked() && !wiz.disagree.Checked() && wiz.radioClicks == 1,
          "clicking a radio button checks it");
    Check(SendMessageW(H(wiz.agree), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              SendMessageW(H(wiz.disagree), BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "the radio buttons show their states");
    wiz.memo.LoadFromBytes("用户授权协议\r\n\r\n请仔细阅读以下条款。本软件仅供测试。\r\n第二段。");
  });
  Snap("agreement");
  Then("destination", [&] {
    SendMessageW(H(wiz.frame.next), BM_CLICK, 0, 0);
    Check(wiz.book.PageIndex() == 2, "on the destination page");
    int c = wiz.changes;
    SetWindowTextW(H(wiz.path), W("D:\\软件\\Korvane").c_str());
    Check(wiz.path.Text() == "D:\\软件\\Korvane" && wiz.changes == c + 1,
          "typing in the edit reaches the program as GBK, once");
    wiz.path.SetText("C:\\Program Files\\界面");
    Check(TextOf(H(wiz.path)) == W("C:\\Program Files\\界面") && wiz.changes == c + 2,
          "a program change shows and notifies once");
    SendMessageW(H(wiz.desk), BM_CLICK, 0, 0);
    Check(!wiz.desk.Checked() && SendMessageW(H(wiz.desk), BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "clicking the check box clears it");
    SendMessageW(H(wiz.desk), BM_CLICK, 0, 0);
    Check(wiz.desk.Checked(), "clicking it again checks it");
  });
  Then("grid", [&] {
    ui::Grid& g = wiz.grid;
    g.SetColCount(5);
    g.SetColWidth(0, 50);
    g.SetColWidth(1, 80);
    g.SetColWidth(2, 80);
    g.SetRowCount(3);
    const char* roots[3] = {"C:\\", "D:\\", "E:\\"};
    for (int r = 0; r < 3; ++r) {
      g.SetCell(0, r, roots[r]);
      g.SetCell(1, r, "74.5 GB");
      g.SetCell(2, r, "5.00 GB");
    }
    g.SetCell(3, 1, " 15 MB");
    g.SetCell(4, 1, " 4.98 GB");
    g.SelectRow(1);
    HWND lv = H(g);
    Check(ClassOf(lv) == L"SysListView32", "the grid is a list view");
    Check(ListView_GetItemCount(lv) == 3, "grid rows");
    bool widths = true;
    int want[5] = {50, 80, 80, 64, 64};
    for (int c = 0; c < 5; ++c) widths = widths && ListView_GetColumnWidth(lv, c) == want[c];
    Check(widths, "grid column widths");
    Check(CellText(lv, 1, 4) == L" 4.98 GB" && CellText(lv, 2, 0) == L"E:\\", "grid cell texts");
    Check(ListView_GetNextItem(lv, -1, LVNI_SELECTED) == 1, "the selected row is highlighted");
    RECT r0, r1;
    ListView_GetItemRect(lv, 0, &r0, LVIR_BOUNDS);
    ListView_GetItemRect(lv, 1, &r1, LVIR_BOUNDS);
    Check(r1.top - r0.top == 15,
          "rows are 14 px with a 1 px gap (pitch " + std::to_string(r1.top - r0.top) + ")");
    Check(r0.left == 0, "the first column starts at the grid's left edge");
    // A click on the third row, then a double-click on the first.
    LPARAM at2 = MAKELPARAM(20, (r1.top + 15 + r1.bottom + 15) / 2);
    SendMessageW(lv, WM_LBUTTONDOWN, MK_LBUTTON, at2);
    SendMessageW(lv, WM_LBUTTONUP, 0, at2);
    Check(g.Row() == 2 && ListView_GetNextItem(lv, -1, LVNI_SELECTED) == 2,
          "clicking a row selects it");
    LPARAM at0 = MAKELPARAM(20, (r0.top + r0.bottom) / 2);
    SendMessageW(lv, WM_LBUTTONDOWN, MK_LBUTTON, at0);
    SendMessageW(lv, WM_LBUTTONUP, 0, at0);
    SendMessageW(lv, WM_LBUTTONDBLCLK, MK_LBUTTON, at0);
    SendMessageW(lv, WM_LBUTTONUP, 0, at0);
    Check(wiz.dblClicks == 1 && wiz.dblRow == 0, "a double-click selects the row and reports it");
    g.SelectRow(1);
    bool outOfRange = false;
    try {
      g.SelectRow(7);
    } catch (const std::exception&) {
      outOfRange = true;
    }
    Check(outOfRange && ListView_GetNextItem(lv, -1, LVNI_SELECTED) == 1,
          "an out-of-range selection is refused and changes nothing");
    // The hint is a tooltip on the grid.
    bool tip = false;
    for (HWND t : TopWindows())
      if (ClassOf(t) == TOOLTIPS_CLASSW && SendMessageW(t, TTM_GETTOOLCOUNT, 0, 0) > 0) {
        TTTOOLINFOW ti{};
        wchar_t text[128] = L"";
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.lpszText = text;
        SendMessageW(t, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&ti));
        tip = tip || (ti.uId == reinterpret_cast<UINT_PTR>(lv) &&
                      std::wstring(text) == W("双击鼠标选择磁盘名称（卷标）"));
      }
    Check(tip, "the grid's hint is a tooltip");
  });
  Snap("destination");
  Then("pictures", [&] {
    HWND img = H(wiz.frame.headerPicture);
    COLORREF left = PixelAt(img, 100, 27), right = PixelAt(img, 440, 27);
    Check(Near(left, RGB(220, 40, 40)) && Near(right, RGB(40, 60, 220)),
          "a stretched picture fills its control (" + Hex(left) + ", " + Hex(right) + ")");
    // The left strip is drawn unscaled from its top-left corner; the rest is the background.
    HWND strip = H(wiz.frame.strip);
    COLORREF a = PixelAt(strip, 4, 4), b = PixelAt(strip, 24, 4), c = PixelAt(strip, 60, 60);
    Check(Near(a, RGB(220, 40, 40)) && Near(b, RGB(40, 60, 220)) && Near(c, RGB(255, 255, 255)),
          "an unscaled picture is drawn from the top left (" + Hex(a) + ", " + Hex(b) + ", " +
              Hex(c) + ")");
    HWND sep = H(wiz.sep);
    COLORREF mid = PixelAt(sep, 95, 1), end = PixelAt(sep, 0, 1);
    Check(Near(mid, RGB(17, 122, 217)) && Near(end, RGB(255, 255, 255)),
          "the separator's blue highlight (" + Hex(mid) + ", " + Hex(end) + ")");
    HWND fr = H(wiz.gridFrame);
    Check(Near(PixelAt(fr, 0, 40), RGB(0, 0, 0)) && Near(PixelAt(fr, 1, 40), RGB(255, 255, 255)),
          "the frame shape outlines the grid");
    HWND head = H(wiz.heads[1]);
    Check(PixelAt(head, 78, 2) == GetSysColor(COLOR_GRADIENTINACTIVECAPTION),
          "column headers in the inactive caption gradient colour");
  });
  Then("progress form", [&] {
    prog.ShowForm();
    HWND bar = H(prog.bar);
    Check(ClassOf(bar) == L"KorvProgress", "the progress bar is our own");
    prog.bar.SetPosition(40);
    prog.anim.SetActive(true);
    // 277 px wide: a 1 px frame, then 40 % of the 275 px inside filled (110 px).
    const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT), rest = GetSysColor(COLOR_WINDOW);
    Check(SendMessageW(bar, PBM_GETPOS, 0, 0) == 40 &&
              SendMessageW(bar, PBM_GETRANGE, FALSE, 0) == 100 &&
              SendMessageW(bar, PBM_GETRANGE, TRUE, 0) == 0,
          "the progress bar tells its position within 0..100");
    Check(PixelAt(bar, 0, 8) == GetSysColor(COLOR_BTNSHADOW) && PixelAt(bar, 110, 8) == fill &&
              PixelAt(bar, 111, 8) == rest && PixelAt(bar, 275, 8) == rest,
          "the progress bar fills 40 % of its inside");
    prog.bar.SetRange(0, 80);
    Check(SendMessageW(bar, PBM_GETRANGE, FALSE, 0) == 80 && PixelAt(bar, 137, 8) == fill &&
              PixelAt(bar, 138, 8) == rest,
          "a new range shows at once, the position kept");
    prog.bar.SetRange(0, 100);
    RECT wr;
    GetWindowRect(H(prog), &wr);
    Check(wr.right - wr.left == 359 && wr.bottom - wr.top == 205 &&
              wr.left == (GetSystemMetrics(SM_CXSCREEN) - 359) / 2,
          "a borderless form, centred on the screen");
    Check(Near(PixelAt(H(prog.shape), 1, 100), RGB(16, 83, 194)) &&
              Near(PixelAt(H(prog.shape), 20, 180), RGB(255, 255, 255)),
          "the shape's 3 px frame and white fill");
  });
  auto sums = std::make_shared<std::vector<unsigned long>>();
  Then("animation 1", [&, sums] { sums->push_back(Picture(H(prog.anim))); });
  Idle(400);
  Then("animation 2", [&, sums] { sums->push_back(Picture(H(prog.anim))); });
  Snap("progress");
  Then("animation 3", [&, sums] {
    prog.anim.SetActive(false);
    sums->push_back(Picture(H(prog.anim)));
  });
  Idle(300);
  Then("animation 4", [&, sums] {
    sums->push_back(Picture(H(prog.anim)));
    Check((*sums)[0] != (*sums)[1], "the animation moves while active");
    Check((*sums)[2] == (*sums)[3], "and stands still when stopped");
    PostMessageW(H(prog), WM_CLOSE, 0, 0);
  });
  Then("close request", [&] {
    Check(!prog.Visible() && !IsWindowVisible(H(prog)), "a close request hides a modeless form");
    Check(app.ActiveForm() == &wiz && GetActiveWindow() == H(wiz),
          "activation goes back to the wizard");
  });

  Then("backdrop", [&] {
    backdrop.ShowForm();
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    RECT cr;
    GetClientRect(H(backdrop), &cr);
    Check(cr.right == sw && cr.bottom == sh && backdrop.bounds().width == sw &&
              backdrop.bounds().height == sh,
          "a maximised borderless form fills the screen");
    Check(SameRect(H(backdrop.picture), ui::Rect{0, 0, sw, sh}),
          "its client-aligned picture follows the new size");
    COLORREF l = PixelAt(H(backdrop.picture), sw / 4, sh / 2);
    COLORREF r = PixelAt(H(backdrop.picture), sw * 3 / 4, sh / 2);
    Check(Near(l, RGB(220, 40, 40)) && Near(r, RGB(40, 60, 220)),
          "and is stretched over it (" + Hex(l) + ", " + Hex(r) + ")");
  });
  Snap("backdrop");
  Then("backdrop hidden", [&] {
    backdrop.HideForm();
    Check(!IsWindowVisible(H(backdrop)) && GetActiveWindow() == H(wiz),
          "hiding it hands activation back to the wizard");
  });

  // A timer of the program's own: fires until disabled.
  auto ticks = std::make_shared<int>(0);
  auto timer = std::make_shared<ui::Timer>();
  Then("timer", [&, ticks, timer] {
    timer->interval = 30;
    timer->onTimer = [ticks] { ++*ticks; };
    timer->SetEnabled(true);
  });
  When(
      "timer fired", [ticks] { return *ticks >= 3; },
      [ticks, timer] {
        timer->SetEnabled(false);
        *ticks = 100;
      });
  Idle(200);
  Then("timer stopped", [ticks] {
    Check(*ticks == 100, "a timer fires until it is disabled (" + std::to_string(*ticks) + ")");
  });

  // Nested modal runs: A over the wizard, B over A.
  Then("modal A", [&] {
    int before = wiz.activations;
    modalA.refusals = 1;
    int r = modalA.ShowModal();
    order.push_back("A");
    Check(r == ui::kMrCancel, "the modal run of A ends as cancelled by its close box");
    Check(IsWindowEnabled(H(wiz)) && !IsWindowVisible(H(modalA)),
          "after A the wizard is enabled again and A hidden");
    Check(wiz.activations == before + 1 && GetActiveWindow() == H(wiz),
          "the wizard is activated again after a modal form (" +
              std::to_string(wiz.activations - before) + ")");
  });
  When(
      "A up", [&] { return modalA.Visible() && GetActiveWindow() == H(modalA); },
      [&] {
        Check(!IsWindowEnabled(H(wiz)), "a modal form disables the others");
        Check(GetWindow(H(modalA), GW_OWNER) == appWnd, "A is owned by the application window");
        LONG st = GetWindowLongW(H(modalA), GWL_STYLE);
        Check((st & WS_CAPTION) == WS_CAPTION && (st & WS_SYSMENU) &&
                  !(st & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)),
              "a dialog border: caption and close box only");
      });
  Snap("modal");
  Then("modal B", [&] {
    int r = modalB.ShowModal();
    order.push_back("B");
    Check(r == 1, "B's button ends its modal run with its result");
    Check(IsWindowEnabled(H(modalA)) && !IsWindowEnabled(H(wiz)),
          "after B, A is enabled again and the wizard still waits");
    Check(app.ActiveForm() == &modalA, "A is the active form again");
  });
  When(
      "B up", [&] { return modalB.Visible(); },
      [&] {
        Check(!IsWindowEnabled(H(modalA)) && !IsWindowEnabled(H(wiz)),
              "B disables A and the wizard");
        PostClick(H(modalB.close));
      });
  Then("close A, refused", [&] { PostMessageW(H(modalA), WM_CLOSE, 0, 0); });
  Idle(100);
  Then("close A", [&] {
    Check(modalA.Visible() && IsWindowVisible(H(modalA)), "a refused close leaves A open");
    PostMessageW(H(modalA), WM_CLOSE, 0, 0);
  });

  // The program's own dialog against a system message box: only the former runs the
  // owner's activation again when it closes.
  Then("confirm", [&] {
    int before = wiz.activations;
    int r = app.OwnDialog(&wiz, ui::DialogKind::Confirm, "确定要退出本程序的安装吗?");
    Check(r == ui::kIdNo, "Confirm answered No returns 7");
    Check(IsWindowEnabled(H(wiz)) && GetActiveWindow() == H(wiz), "the wizard is back");
    Check(wiz.activations == before + 1,
          "closing the Confirm dialog runs the wizard's activation again");
    Log(std::string("INFO activations after Confirm: ") + std::to_string(wiz.activations - before));
  });
  When(
      "confirm up", [&] { return FindTop(L"KorvDialog", nullptr) != nullptr; },
      [&] {
        HWND d = FindTop(L"KorvDialog", nullptr);
        Check(TextOf(d) == L"Confirm", "the dialog is titled Confirm");
        Check(TextOf(DialogButton(d, IDYES)) == L"&Yes" && TextOf(DialogButton(d, IDNO)) == L"&No",
              "with the buttons &Yes and &No");
        Check(TextOf(GetDlgItem(d, 0xFFFF)) == W("确定要退出本程序的安装吗?"), "and the question");
        Check(SendMessageW(GetDlgItem(d, 0x100), STM_GETICON, 0, 0) != 0, "and an icon");
        RECT r;
        GetWindowRect(d, &r);
        Check(std::abs((r.left + r.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
                  std::abs((r.top + r.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1,
              "centred on the screen");
        Check(!IsWindowEnabled(H(wiz)) && GetActiveWindow() == d && app.ActiveForm() == nullptr,
              "modal: the wizard waits, the dialog is active");
      });
  Snap("confirm");
  Then("confirm no", [&] { PostClick(DialogButton(FindTop(L"KorvDialog", nullptr), IDNO)); });
  Then("confirm by keyboard", [&] {
    int r = app.OwnDialog(&wiz, ui::DialogKind::Confirm, "再问一次?");
    Check(r == ui::kIdYes, "Enter answers Yes (6)");
    r = app.OwnDialog(&wiz, ui::DialogKind::Error, "出错了");
    Check(r == ui::kIdOk, "the Error dialog returns 1");
  });
  When(
      "confirm 2 up", [&] { return FindTop(L"KorvDialog", nullptr) != nullptr; },
      [&] { PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0); });
  When(
      "error up",
      [&] {
        HWND d = FindTop(L"KorvDialog", nullptr);
        return d && TextOf(d) == L"Error";
      },
      [&] {
        HWND d = FindTop(L"KorvDialog", nullptr);
        Check(TextOf(DialogButton(d, IDOK)) == L"OK" && !DialogButton(d, IDYES),
              "the Error dialog has one button OK");
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
      });
  Then("message box", [&] {
    int before = wiz.activations;
    int r = app.MessageBox(&wiz, "确定要退出本程序的安装吗?", "退出安装", ui::kMbOkCancel);
    Check(r == ui::kIdCancel, "the message box returns Cancel (2)");
    Check(IsWindowEnabled(H(wiz)) && GetActiveWindow() == H(wiz), "the wizard is back after it");
    Check(wiz.activations == before, "closing a system message box runs no activation");
    Log(std::string("INFO activations after MessageBox: ") +
        std::to_string(wiz.activations - before));
  });
  When(
      "box up", [&] { return FindTop(L"#32770", H(wiz)) != nullptr; },
      [&] {
        HWND box = FindTop(L"#32770", H(wiz));
        Check(TextOf(box) == W("退出安装") &&
                  TextOf(GetDlgItem(box, 0xFFFF)) == W("确定要退出本程序的安装吗?"),
              "the message box shows the Chinese caption and text");
      });
  Snap("msgbox");
  Then("box cancel", [&] { PostClick(GetDlgItem(FindTop(L"#32770", H(wiz)), IDCANCEL)); });

  // The folder browser: preselects the initial folder, which OK then returns.
  Then("browse", [&] {
    int before = wiz.activations;
    auto chosen = backend.BrowseForFolder("选择安装路径", "C:\\windows");
    Check(chosen && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, chosen->c_str(), -1,
                                   "C:\\windows", -1) == CSTR_EQUAL,
          "the browser starts on the initial folder and returns it (" + chosen.value_or("none") +
              ")");
    Check(IsWindowEnabled(H(wiz)) && wiz.activations == before,
          "after the browser the wizard is enabled and its activation did not run");
    auto none = backend.BrowseForFolder("选择安装路径", "");
    Check(!none, "a cancelled browse returns nothing");
  });
  When(
      "browser up", [&] { return FindTop(L"#32770", appWnd) != nullptr; },
      [&] {
        HWND b = FindTop(L"#32770", appWnd);
        Check(!IsWindowEnabled(H(wiz)), "the program's windows are disabled while it is open");
        (void)b;
      });
  Snap("browse");
  When(
      "browser ok", [&] { return FindTop(L"#32770", appWnd) != nullptr; },
      [&] { PostClick(GetDlgItem(FindTop(L"#32770", appWnd), IDOK)); });
  When(
      "browser 2 up", [&] { return FindTop(L"#32770", appWnd) != nullptr; },
      [&] { PostClick(GetDlgItem(FindTop(L"#32770", appWnd), IDCANCEL)); });

  // Minimise and restore: the forms go with the application and come back.
  Then("minimise", [&] {
    int before = wiz.activations;
    SendMessageW(H(wiz), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Check(IsIconic(appWnd) && !IsWindowVisible(H(wiz)), "minimising hides the forms");
    SendMessageW(appWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    Check(!IsIconic(appWnd) && IsWindowVisible(H(wiz)) && wiz.Visible(),
          "SC_RESTORE brings them back");
    RECT r1, r2;
    GetWindowRect(H(wiz), &r1);
    SendMessageW(appWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    GetWindowRect(H(wiz), &r2);
    Check(IsWindowVisible(H(wiz)) && EqualRect(&r1, &r2) && !IsIconic(appWnd),
          "SC_RESTORE when not minimised changes nothing");
    Check(wiz.activations == before, "restoring runs no activation");
  });

  // A worker hands the showing of a modal form to the GUI thread and waits for its end.
  auto ranOnGui = std::make_shared<bool>(false);
  auto workerDone = std::make_shared<volatile bool>(false);
  auto thread = std::make_shared<std::unique_ptr<ui::Thread>>();
  Then("worker", [&, ranOnGui, workerDone, thread] {
    *thread = backend.StartThread([&, ranOnGui, workerDone] {
      backend.Synchronize([&, ranOnGui] {
        *ranOnGui = GetCurrentThreadId() == gui;
        modalC.ShowModal();
      });
      *workerDone = true;
    });
  });
  When(
      "C up", [&] { return modalC.Visible() && IsWindowVisible(H(modalC)); },
      [&, ranOnGui, workerDone] {
        Check(*ranOnGui, "the handed-over call runs on the GUI thread");
        Check(!*workerDone, "the worker waits while the call runs");
        PostClick(H(modalC.close));
      });
  When(
      "worker done", [workerDone] { return *workerDone; }, [&, thread] { thread->reset(); });
  Then("join serves hand-overs", [&] {
    auto served = std::make_shared<volatile bool>(false);
    std::unique_ptr<ui::Thread> t = backend.StartThread([&backend, served] {
      ::Sleep(100);
      backend.Synchronize([served] { *served = true; });
    });
    t.reset();  // joins
    Check(*served, "joining a worker runs the calls it hands over");
  });

  // Terminate ends nested modal runs: A, then B inside it, then the request.
  Then("terminate", [&] {
    terminateA = modalA.ShowModal();
    order.push_back("A2");
  });
  When(
      "A2 up", [&] { return modalA.Visible(); },
      [&] {
        terminateB = modalB.ShowModal();
        order.push_back("B2");
      });
  When(
      "B2 up", [&] { return modalB.Visible(); }, [&] { app.Terminate(); });

  app.Run();

  Check(terminateA == ui::kMrCancel && terminateB == ui::kMrCancel,
        "terminating ends both nested modal runs as cancelled");
  std::string seq;
  for (auto& s : order) seq += s + " ";
  Check(seq == "B A B2 A2 ", "the modal runs ended inner first (" + seq + ")");
  Check(g_steps.empty(), "every step ran");
  tick.SetEnabled(false);

  char summary[64];
  std::snprintf(summary, sizeof summary, "%d passed, %d failed", g_passed, g_failed);
  Log(summary);
  if (g_log) std::fclose(g_log);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) {
    DWORD written;
    std::string line = std::string(summary) + "\n";
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
