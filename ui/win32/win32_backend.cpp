#include "ui/win32/win32_backend.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
// clang-format on
#undef MessageBox

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ui/win32/win32_paint.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace ui {

using namespace ui::win32;

namespace {

constexpr UINT kMsgRunCalls = WM_APP + 1;      // a worker handed a call to the GUI thread
constexpr UINT kMsgForwardFocus = WM_APP + 2;  // the application window passes activation on
constexpr UINT_PTR kAnimationTimer = 1;

const wchar_t kAppClass[] = L"KorvApp";
const wchar_t kFormClass[] = L"KorvForm";
const wchar_t kPanelClass[] = L"KorvPanel";
const wchar_t kPaintClass[] = L"KorvPaint";
const wchar_t kProgressClass[] = L"KorvProgress";  // our progress bar (PaintProgress)
const wchar_t kDialogClass[] = L"KorvDialog";

using winkit::Narrow;
std::wstring Wide(const std::string& s) { return winkit::Widen(s); }

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, w.data(), n + 1);
  return Narrow(std::wstring_view(w.data(), static_cast<std::size_t>(n)));
}

HWND Hwnd(const Control& c) { return static_cast<HWND>(c.native); }
Control* ControlOf(HWND h);

// What a memo window shows: its lines joined with CR LF, as the edit control wants them.
std::wstring MemoText(const Memo& memo) {
  std::string joined;
  const auto& lines = memo.Lines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) joined += "\r\n";
    joined += lines[i];
  }
  return Wide(joined);
}

struct FormData {
  winkit::Gdi<HFONT> font, bold;
  HWND lastFocus = nullptr;
  bool sizing = false;  // inside WM_SIZE: the new bounds come from the window
};

struct DialogData {
  DialogKind kind = DialogKind::Confirm;
  int result = -1;
  int defaultId = IDYES;
};

struct Call {
  const std::function<void()>* fn = nullptr;
  HANDLE done = nullptr;
};

}  // namespace

struct Win32Backend::State {
  App* app = nullptr;
  HINSTANCE inst = nullptr;
  HWND appWnd = nullptr;
  winkit::Gdi<HFONT> dialogFont;
  bool ole = false;
  DWORD guiThread = 0;
  std::map<Control*, FormData> forms;
  std::vector<Control*> zorder;  // our forms in activation order, the front one last
  std::set<Timer*> timers;
  std::map<Control*, int> frames;  // animation frame per animation control
  std::map<Control*, HWND> tips;
  std::map<Control*, int> gridCols;
  // The control of each of our windows, and our forms and dialogs (keyboard navigation).
  // Kept here rather than as window properties: under Wine every property look-up is a
  // request to the server, and the wizard's start made over 400 of them.
  std::map<HWND, Control*> controls;
  std::set<HWND> roots;
  int quiet = 0;  // > 0 while the backend itself changes native controls
  int nextId = 100;
  CRITICAL_SECTION lock;
  std::deque<Call> calls;
  winkit::Handle callEvent;  // auto-reset; set when a call is queued
};

namespace {

Win32Backend::State* g_s = nullptr;
WNDPROC g_listViewProc = nullptr;  // the list view class's own procedure
Grid* g_creatingGrid = nullptr;    // asked for its row height while its window is created

Control* ControlOf(HWND h) {
  if (!h || !g_s) return nullptr;
  auto it = g_s->controls.find(h);
  return it == g_s->controls.end() ? nullptr : it->second;
}

void Forget(HWND h) {
  if (!g_s) return;
  g_s->controls.erase(h);
  g_s->roots.erase(h);
}

// Each of our window procedures keeps the map of controls: its window joins it on its first
// message and leaves it on its last.
void Track(HWND h, UINT msg, LPARAM lp, bool root) {
  if (!g_s) return;
  if (msg == WM_NCCREATE) {
    g_s->controls[h] = static_cast<Control*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    if (root) g_s->roots.insert(h);
  } else if (msg == WM_NCDESTROY) {
    Forget(h);
  }
}

struct Quiet {
  Quiet() { ++g_s->quiet; }
  ~Quiet() { --g_s->quiet; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
};

// Runs a window procedure's work so that no exception leaves it.
template <class F>
LRESULT Guarded(F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      if (g_s && g_s->app) g_s->app->ShowException(e);
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
}

void RunCalls() {
  for (;;) {
    Call call;
    {
      winkit::Lock lock(g_s->lock);
      if (g_s->calls.empty()) return;
      call = g_s->calls.front();
      g_s->calls.pop_front();
    }
    try {
      g_s->app->Dispatch(*call.fn);
    } catch (...) {
    }
    SetEvent(call.done);
  }
}

FormData* DataOf(Control* c) {
  if (!c) return nullptr;
  Form* f = c->form();
  if (!f) return nullptr;
  auto it = g_s->forms.find(f);
  return it == g_s->forms.end() ? nullptr : &it->second;
}

bool IsOurForm(HWND h) {
  Control* c = ControlOf(h);
  return c && c->kind() == Kind::Form;
}

// The front-most of our forms that can take activation, other than `except`.
HWND FrontForm(HWND except) {
  for (auto it = g_s->zorder.rbegin(); it != g_s->zorder.rend(); ++it) {
    HWND h = Hwnd(**it);
    if (h && h != except && IsWindowVisible(h) && IsWindowEnabled(h)) return h;
  }
  return nullptr;
}

void Activate(HWND h) {
  SetForegroundWindow(h);
  SetActiveWindow(h);
  if (GetActiveWindow() == h && IsOurForm(h))
    g_s->app->NoteActivated(static_cast<Form*>(ControlOf(h)));
}

// When the application window itself became active (an owned window went away), hand
// activation on to the form the user was working with.
void ForwardActivation() {
  HWND active = GetActiveWindow();
  if (active && active != g_s->appWnd) return;
  if (HWND h = FrontForm(nullptr)) Activate(h);
}

std::vector<HWND> DisableForms(HWND except) {
  std::vector<HWND> disabled;
  for (auto& [c, data] : g_s->forms) {
    HWND h = Hwnd(*c);
    if (h && h != except && IsWindowVisible(h) && IsWindowEnabled(h)) {
      EnableWindow(h, FALSE);
      disabled.push_back(h);
    }
  }
  return disabled;
}

void EnableAgain(const std::vector<HWND>& windows) {
  for (HWND h : windows)
    if (IsWindow(h)) EnableWindow(h, TRUE);
}

HWND OwnerWindow(Form* owner) {
  if (owner && owner->native) return Hwnd(*owner);
  Form* active = g_s->app->ActiveForm();
  if (active && active->native) return Hwnd(*active);
  return g_s->appWnd;
}

HFONT MakeFont(const std::wstring& face, int height, bool bold) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

// Labels that size themselves follow their text: the width of the longest line (the given
// width when they wrap) and the height of all lines.
void AutoSize(Control& c) {
  if (c.kind() != Kind::Label || !c.style.autoSize || !c.native) return;
  HWND h = Hwnd(c);
  std::wstring text = Wide(c.Text());
  if (text.empty()) text = L" ";
  winkit::WindowDc dc(h);
  HGDIOBJ old = SelectObject(dc.get(), reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
  RECT r{0, 0, c.style.wordWrap ? c.bounds().width : 0, 0};
  UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (c.style.wordWrap ? DT_WORDBREAK : 0);
  DrawTextW(dc.get(), text.c_str(), -1, &r, flags);
  SelectObject(dc.get(), old);
  const Rect& b = c.bounds();
  int width = c.style.wordWrap ? b.width : r.right;
  if (width != b.width || r.bottom != b.height) c.SetBounds(b.left, b.top, width, r.bottom);
}

void SyncSelection(Grid& g) {
  HWND lv = Hwnd(g);
  Quiet q;
  ListView_SetItemState(lv, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(lv, g.Row(), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(lv, g.Row(), FALSE);
  InvalidateRect(lv, nullptr, FALSE);  // the highlight is drawn from the grid's row
}

void RefreshGrid(Grid& g) {
  HWND lv = Hwnd(g);
  Quiet q;
  int& have = g_s->gridCols[&g];
  while (have < g.ColCount()) {
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.cx = g.ColWidth(have);
    SendMessageW(lv, LVM_INSERTCOLUMNW, static_cast<WPARAM>(have), reinterpret_cast<LPARAM>(&col));
    ++have;
  }
  while (have > g.ColCount()) ListView_DeleteColumn(lv, --have);
  for (int c = 0; c < have; ++c) ListView_SetColumnWidth(lv, c, g.ColWidth(c));
  int rows = ListView_GetItemCount(lv);
  while (rows < g.RowCount()) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = rows++;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  while (rows > g.RowCount()) ListView_DeleteItem(lv, --rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < have; ++c) {
      std::wstring text = Wide(g.Cell(c, r));
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = text.data();
      SendMessageW(lv, LVM_SETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
    }
  SyncSelection(g);
}

void AddTip(Control& c, HWND formWnd, HFONT font) {
  if (c.style.hint.empty()) return;
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, formWnd, nullptr, g_s->inst, nullptr);
  std::wstring text = Wide(c.style.hint);
  TTTOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = formWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(Hwnd(c));
  ti.lpszText = text.data();
  SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  g_s->tips[&c] = tip;
}

// The grid scrolls vertically only: the list view's horizontal scroll bar is kept off.
LRESULT CALLBACK GridProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCALCSIZE) {
    LONG style = GetWindowLongW(h, GWL_STYLE);
    if (style & WS_HSCROLL) SetWindowLongW(h, GWL_STYLE, style & ~WS_HSCROLL);
  }
  return CallWindowProcW(g_listViewProc, h, msg, wp, lp);
}

// Rows are drawn by us: the selected row highlighted across its cells whether or not the
// grid has the focus, each cell's text from its left edge, and the gap below each row in the
// grid's background.
void DrawGridRow(Grid& g, const DRAWITEMSTRUCT& d) {
  HDC dc = d.hDC;
  int row = static_cast<int>(d.itemID);
  bool selected = row == g.Row();
  RECT rc = d.rcItem;
  int bottom = std::min(static_cast<int>(rc.bottom), static_cast<int>(rc.top) + g.rowHeight);
  std::uint32_t back = g.style.color == kNoColor ? kWhite : g.style.color;
  FillRect(dc, &rc, SolidBrush(back));
  int width = 0;
  for (int c = 0; c < g.ColCount(); ++c) width += g.ColWidth(c);
  RECT cells{rc.left, rc.top, rc.left + width, bottom};
  if (selected) FillRect(dc, &cells, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(d.hwndItem, WM_GETFONT, 0, 0)));
  int x = rc.left;
  for (int c = 0; c < g.ColCount(); ++c) {
    int w = g.ColWidth(c);
    RECT cell{x + 2, rc.top, x + w, bottom};
    std::wstring text = Wide(g.Cell(c, row));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cell,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    x += w;
  }
  SelectObject(dc, old);
}

void CreateTree(Control& parent, FormData& fd);

void CreateOne(Control& c, HWND parentWnd, FormData& fd) {
  if (!c.native) {
    const Rect& b = c.bounds();
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0) |
                  (c.Enabled() ? 0 : WS_DISABLED);
    DWORD ex = 0;
    const wchar_t* cls = kPaintClass;
    std::wstring text = Wide(c.Text());
    switch (c.kind()) {
      case Kind::Panel:
      case Kind::Page:
      case Kind::Notebook:
      case Kind::Form:
        cls = kPanelClass;
        style |= WS_CLIPCHILDREN;
        ex |= WS_EX_CONTROLPARENT;
        break;
      case Kind::Label:
        cls = L"STATIC";
        style |= SS_NOPREFIX | (c.style.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
        break;
      case Kind::Button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case Kind::CheckBox:
        cls = L"BUTTON";
        style |= BS_CHECKBOX | WS_TABSTOP;
        break;
      case Kind::RadioButton:
        cls = L"BUTTON";
        style |= BS_RADIOBUTTON | WS_TABSTOP;
        break;
      case Kind::Edit:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        ex |= WS_EX_CLIENTEDGE;
        break;
      case Kind::Memo:
        cls = L"EDIT";
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP |
                 (c.style.scrollBar ? WS_VSCROLL : 0);
        text = MemoText(static_cast<Memo&>(c));
        break;
      case Kind::ProgressBar:
        cls = kProgressClass;
        break;
      case Kind::Grid:
        cls = WC_LISTVIEWW;
        style |= LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                 LVS_OWNERDRAWFIXED | WS_TABSTOP;
        text.clear();
        g_creatingGrid = static_cast<Grid*>(&c);
        break;
      default:  // pictures, shapes, separators, animations: painted by us
        break;
    }
    bool ours = cls == kPanelClass || cls == kPaintClass || cls == kProgressClass;
    Quiet q;
    HWND h =
        CreateWindowExW(ex, cls, text.c_str(), style, b.left, b.top, b.width, b.height, parentWnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(g_s->nextId++)), g_s->inst,
                        ours ? &c : nullptr);
    g_creatingGrid = nullptr;
    if (!h) return;
    g_s->controls[h] = &c;
    c.native = h;
    // Wine already puts a new child beneath its siblings; the documented place is on top.
    // Asking first saves a SetWindowPos per window (several server requests) under Wine.
    if (GetWindow(h, GW_HWNDNEXT))
      SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>((c.style.bold ? fd.bold : fd.font).get()),
                 FALSE);
    switch (c.kind()) {
      case Kind::Label:
        AutoSize(c);
        break;
      case Kind::CheckBox:
        SendMessageW(h, BM_SETCHECK, static_cast<CheckBox&>(c).Checked() ? BST_CHECKED : 0, 0);
        break;
      case Kind::RadioButton:
        SendMessageW(h, BM_SETCHECK, static_cast<RadioButton&>(c).Checked() ? BST_CHECKED : 0, 0);
        break;
      case Kind::Memo:
        SendMessageW(h, EM_SETLIMITTEXT, 0, 0);
        SetWindowTextW(h, text.c_str());
        break;
      case Kind::Grid: {
        auto& g = static_cast<Grid&>(c);
        ListView_SetExtendedListViewStyle(h, LVS_EX_FULLROWSELECT);
        if (!g_listViewProc)
          g_listViewProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GridProc));
        // A change of size makes the list view measure its rows again (WM_MEASUREITEM).
        const Rect& b = c.bounds();
        SetWindowPos(h, nullptr, 0, 0, b.width, b.height + 1,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(h, nullptr, 0, 0, b.width, b.height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RefreshGrid(g);
        break;
      }
      case Kind::Animation:
        if (static_cast<Animation&>(c).Active())
          SetTimer(h, kAnimationTimer, kAnimationMs, nullptr);
        break;
      default:
        break;
    }
    if (Form* f = c.form()) AddTip(c, Hwnd(*f), fd.font.get());
  }
  // A hidden page gets its controls when it is first shown: a form shows one page of
  // several, and every window made costs about a millisecond under Wine (the wizard's other
  // pages, its disk table among them, took about 24 ms of its start).
  if (c.kind() == Kind::Page && !c.Visible()) return;
  CreateTree(c, fd);
}

// Children become windows in creation order, each below the ones before it, so that the
// tab order follows creation; decorations go beneath all other children, later ones above
// earlier ones, as they would be drawn.
void CreateTree(Control& parent, FormData& fd) {
  HWND h = Hwnd(parent);
  std::vector<Control*> decorations;
  for (Control* c : parent.children())
    if (IsDecoration(c->kind()))
      decorations.push_back(c);
    else
      CreateOne(*c, h, fd);
  for (auto it = decorations.rbegin(); it != decorations.rend(); ++it) CreateOne(**it, h, fd);
}

void Detach(Control& c) {
  for (Control* child : c.children()) Detach(*child);
  if (!c.native) return;
  HWND h = Hwnd(c);
  Forget(h);
  auto tip = g_s->tips.find(&c);
  if (tip != g_s->tips.end()) {
    DestroyWindow(tip->second);
    g_s->tips.erase(tip);
  }
  g_s->frames.erase(&c);
  g_s->gridCols.erase(&c);
  c.native = nullptr;
}

// --- messages shared by every window that holds controls (forms, panels, pages) ----------

bool ContainerMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  Control* self = ControlOf(h);
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(h, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, SolidBrush(Background(self)));
      result = 1;
      return true;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (self && self->style.lowered) {
        RECT rc;
        GetClientRect(h, &rc);
        DrawEdge(dc, &rc, BDR_SUNKENOUTER, BF_RECT);
      }
      EndPaint(h, &ps);
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC: {
      Control* c = ControlOf(reinterpret_cast<HWND>(lp));
      if (!c || (c->kind() != Kind::Label && c->kind() != Kind::CheckBox &&
                 c->kind() != Kind::RadioButton))
        return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      if (c->style.color != kNoColor) {
        SetBkColor(dc, ToColorRef(c->style.color));
        result = reinterpret_cast<LRESULT>(SolidBrush(c->style.color));
      } else {
        // Transparent: draw what lies beneath, let the control draw its text over it.
        PaintUnder(dc, *c, false);
        SetBkMode(dc, TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      return true;
    }
    case WM_SETCURSOR: {
      Control* c = ControlOf(reinterpret_cast<HWND>(wp));
      if (c && c->style.handCursor && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        result = TRUE;
        return true;
      }
      return false;
    }
    case WM_COMMAND: {
      Control* c = ControlOf(reinterpret_cast<HWND>(lp));
      if (!c) return false;
      result = 0;
      WORD code = HIWORD(wp);
      switch (c->kind()) {
        case Kind::Button:
          if (code == BN_CLICKED) static_cast<Button*>(c)->Click();
          break;
        case Kind::CheckBox:
          if (code == BN_CLICKED) static_cast<CheckBox*>(c)->Click();
          break;
        case Kind::RadioButton:
          if (code == BN_CLICKED) static_cast<RadioButton*>(c)->Click();
          break;
        case Kind::Edit:
          if (code == EN_CHANGE && !g_s->quiet)
            static_cast<Edit*>(c)->UserTyped(WindowText(reinterpret_cast<HWND>(lp)));
          break;
        case Kind::Memo:
          if (code == EN_CHANGE && !g_s->quiet)
            static_cast<Memo*>(c)->UserTyped(WindowText(reinterpret_cast<HWND>(lp)));
          break;
        default:
          return false;
      }
      return true;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis->CtlType != ODT_LISTVIEW) return false;
      Control* c = ControlOf(GetDlgItem(h, static_cast<int>(mis->CtlID)));
      Grid* g = c && c->kind() == Kind::Grid ? static_cast<Grid*>(c) : g_creatingGrid;
      if (!g) return false;
      mis->itemHeight = static_cast<UINT>(g->rowHeight + g->gridLineWidth);
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      Control* c = d->CtlType == ODT_LISTVIEW ? ControlOf(d->hwndItem) : nullptr;
      if (!c || c->kind() != Kind::Grid) return false;
      DrawGridRow(*static_cast<Grid*>(c), *d);
      result = TRUE;
      return true;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      Control* c = ControlOf(hdr->hwndFrom);
      if (!c || c->kind() != Kind::Grid) return false;
      auto* g = static_cast<Grid*>(c);
      result = 0;
      if (hdr->code == NM_CLICK || hdr->code == NM_DBLCLK) {
        int row = reinterpret_cast<NMITEMACTIVATE*>(lp)->iItem;
        if (row < 0) {  // some list views leave it out: ask where the click was
          LVHITTESTINFO hit{};
          hit.pt = reinterpret_cast<NMITEMACTIVATE*>(lp)->ptAction;
          row = ListView_HitTest(hdr->hwndFrom, &hit);
        }
        if (row >= 0) g->UserSelect(row);
        SyncSelection(*g);  // a grid always keeps its selected row highlighted
        if (hdr->code == NM_DBLCLK) g->DblClick();
      } else if (hdr->code == LVN_ITEMCHANGED && !g_s->quiet) {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((nm->uNewState & LVIS_SELECTED) && !(nm->uOldState & LVIS_SELECTED) && nm->iItem >= 0)
          g->UserSelect(nm->iItem);
      }
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK PanelProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Track(h, msg, lp, false);
  return Guarded([&]() -> LRESULT {
    LRESULT r = 0;
    if (ControlOf(h) && ContainerMessage(h, msg, wp, lp, r)) return r;
    return DefWindowProcW(h, msg, wp, lp);
  });
}

LRESULT CALLBACK PaintProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Track(h, msg, lp, false);
  return Guarded([&]() -> LRESULT {
    Control* c = ControlOf(h);
    if (!c) return DefWindowProcW(h, msg, wp, lp);
    switch (msg) {
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        if (c->kind() == Kind::Animation) {
          PaintAnimation(dc, *c, g_s->frames[c]);
        } else if (c->kind() == Kind::ProgressBar) {
          PaintProgress(dc, static_cast<ProgressBar&>(*c));
        } else {
          if (!(c->kind() == Kind::Image && c->style.stretch)) PaintUnder(dc, *c, true);
          PaintDecoration(dc, *c);
        }
        EndPaint(h, &ps);
        return 0;
      }
      // The progress bar answers the common control's queries, for tools that read it.
      case PBM_GETPOS:
        if (c->kind() != Kind::ProgressBar) return DefWindowProcW(h, msg, wp, lp);
        return static_cast<ProgressBar*>(c)->Position();
      case PBM_GETRANGE: {
        if (c->kind() != Kind::ProgressBar) return DefWindowProcW(h, msg, wp, lp);
        auto* p = static_cast<ProgressBar*>(c);
        if (auto* range = reinterpret_cast<PBRANGE*>(lp)) *range = {p->Min(), p->Max()};
        return wp ? p->Min() : p->Max();
      }
      case WM_TIMER:
        if (wp == kAnimationTimer) {
          g_s->frames[c] = (g_s->frames[c] + 1) % kAnimationFrames;
          InvalidateRect(h, nullptr, FALSE);
          SetTimer(h, kAnimationTimer, kAnimationMs, nullptr);  // from now, see AppProc
        }
        return 0;
      default:
        return DefWindowProcW(h, msg, wp, lp);
    }
  });
}

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Track(h, msg, lp, true);
  return Guarded([&]() -> LRESULT {
    Control* c = ControlOf(h);
    if (!c) return DefWindowProcW(h, msg, wp, lp);
    auto* form = static_cast<Form*>(c);
    FormData* fd = DataOf(c);
    switch (msg) {
      case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
          HWND focus = GetFocus();
          if (fd && focus && IsChild(h, focus)) fd->lastFocus = focus;
          return 0;
        }
        if (HIWORD(wp)) return 0;  // minimised
        {
          auto& z = g_s->zorder;
          z.erase(std::remove(z.begin(), z.end(), c), z.end());
          z.push_back(c);
          HWND focus = fd ? fd->lastFocus : nullptr;
          if (!focus || !IsWindow(focus) || !IsChild(h, focus) || !IsWindowVisible(focus) ||
              !IsWindowEnabled(focus))
            focus = GetNextDlgTabItem(h, nullptr, FALSE);
          SetFocus(focus && IsChild(h, focus) ? focus : h);
        }
        g_s->app->NoteActivated(form);
        return 0;
      case WM_CLOSE:
        form->Close();
        return 0;
      case WM_SIZE:
        if (wp != SIZE_MINIMIZED && fd) {
          int w = LOWORD(lp), hh = HIWORD(lp);
          const Rect& b = form->bounds();
          if (w != b.width || hh != b.height) {
            fd->sizing = true;
            form->SetBounds(b.left, b.top, w, hh);
            if (FormData* again = DataOf(c)) again->sizing = false;
          }
        }
        return 0;
      case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE && form == g_s->app->MainForm()) {
          SendMessageW(g_s->appWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
          return 0;
        }
        return DefWindowProcW(h, msg, wp, lp);
      default: {
        LRESULT r = 0;
        if (ContainerMessage(h, msg, wp, lp, r)) return r;
        return DefWindowProcW(h, msg, wp, lp);
      }
    }
  });
}

LRESULT CALLBACK AppProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded([&]() -> LRESULT {
    if (!g_s || !g_s->app) return DefWindowProcW(h, msg, wp, lp);
    switch (msg) {
      case WM_TIMER: {
        auto* t = reinterpret_cast<Timer*>(wp);
        if (!g_s->timers.count(t)) return 0;
        t->Fire();
        // Counted again from now: Wine keeps a late timer's old schedule, so a handler that
        // took longer than the interval would make it fire back to back and starve the
        // other timers.
        if (g_s->timers.count(t)) SetTimer(h, wp, t->interval ? t->interval : 1, nullptr);
        return 0;
      }
      case kMsgRunCalls:
        RunCalls();
        return 0;
      case kMsgForwardFocus:
        ForwardActivation();
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) PostMessageW(h, kMsgForwardFocus, 0, 0);
        return 0;
      case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
          case SC_MINIMIZE:
            // Owned windows go with the application; restoring brings them back.
            ShowOwnedPopups(h, FALSE);
            ShowWindow(h, SW_MINIMIZE);
            return 0;
          case SC_RESTORE:
            if (IsIconic(h)) {
              ShowWindow(h, SW_RESTORE);
              ShowOwnedPopups(h, TRUE);
              ForwardActivation();
            }
            return 0;
          default:
            return DefWindowProcW(h, msg, wp, lp);
        }
      case WM_CLOSE:
        if (Form* main = g_s->app->MainForm()) main->Close();
        return 0;
      default:
        return DefWindowProcW(h, msg, wp, lp);
    }
  });
}

LRESULT CALLBACK DialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(
        h, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    g_s->roots.insert(h);
  }
  return Guarded([&]() -> LRESULT {
    auto* d = reinterpret_cast<DialogData*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!d) return DefWindowProcW(h, msg, wp, lp);
    int cancel = d->kind == DialogKind::Confirm ? IDNO : IDOK;
    switch (msg) {
      case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) {
          HWND focus = GetFocus();
          if (!focus || !IsChild(h, focus)) SetFocus(GetDlgItem(h, d->defaultId));
          g_s->app->NoteActivated(nullptr);  // ours, but not a form
        }
        return 0;
      case WM_COMMAND:
        switch (LOWORD(wp)) {
          case IDYES:
          case IDNO:
          case IDOK:
            d->result = LOWORD(wp);
            return 0;
          case IDCANCEL:
            d->result = cancel;
            return 0;
          default:
            return 0;
        }
      case WM_CLOSE:
        d->result = cancel;
        return 0;
      case DM_GETDEFID:
        return MAKELRESULT(d->defaultId, DC_HASDEFID);
      case WM_NCDESTROY:
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        g_s->roots.erase(h);
        return DefWindowProcW(h, msg, wp, lp);
      default:
        return DefWindowProcW(h, msg, wp, lp);
    }
  });
}

void Route(MSG& m) {
  if (m.hwnd) {
    HWND root = GetAncestor(m.hwnd, GA_ROOT);
    if (root && g_s->roots.count(root) && IsDialogMessageW(root, &m)) return;
  }
  TranslateMessage(&m);
  DispatchMessageW(&m);
}

DWORD WINAPI ThreadMain(LPVOID param) {
  // WorkerThread reports a body's error as the GUI thread reports a handler's; anything else
  // ends the program here as it would there, the same in every backend.
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
  (*body)();
  return 0;
}

int CALLBACK BrowseCallback(HWND h, UINT msg, LPARAM, LPARAM data) {
  if (msg != BFFM_INITIALIZED) return 0;
  // Owned by the zero-sized application window, it would open off-centre: centre it.
  RECT r;
  GetWindowRect(h, &r);
  SetWindowPos(h, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (data) SendMessageW(h, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------

Win32Backend::Win32Backend() : s_(std::make_unique<State>()) {
  InitializeCriticalSection(&s_->lock);
  s_->callEvent = winkit::Handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  g_s = s_.get();
}

Win32Backend::~Win32Backend() {
  if (s_->appWnd) DestroyWindow(s_->appWnd);
  s_->forms.clear();  // their fonts
  s_->dialogFont.Reset();
  ReleasePaintResources();
  s_->callEvent.Reset();
  DeleteCriticalSection(&s_->lock);
  if (s_->ole) OleUninitialize();
  g_s = nullptr;
}

void Win32Backend::Attach(App& app) {
  s_->app = &app;
  s_->inst = GetModuleHandleW(nullptr);
  s_->guiThread = GetCurrentThreadId();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  s_->ole = SUCCEEDED(OleInitialize(nullptr));  // COM for the GUI thread (shell, links)

  HICON icon = LoadIconW(s_->inst, L"MAINICON");
  HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // Only the windows that show an icon (task bar, caption) get one: for every class with an
  // icon Wine also makes its small copy.
  struct {
    const wchar_t* name;
    WNDPROC proc;
    UINT style;
    HBRUSH bg;
    HICON icon;
  } classes[] = {
      {kAppClass, AppProc, 0, nullptr, icon},
      {kFormClass, FormProc, CS_DBLCLKS, nullptr, icon},
      {kPanelClass, PanelProc, CS_DBLCLKS, nullptr, nullptr},
      {kPaintClass, PaintProc, 0, nullptr, nullptr},
      {kProgressClass, PaintProc, 0, nullptr, nullptr},
      {kDialogClass, DialogProc, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr},
  };
  for (auto& k : classes) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = k.style;
    wc.lpfnWndProc = k.proc;
    wc.hInstance = s_->inst;
    wc.hCursor = arrow;
    wc.hbrBackground = k.bg;
    wc.hIcon = k.icon;
    wc.lpszClassName = k.name;
    RegisterClassExW(&wc);
  }
  s_->dialogFont.Reset(MakeFont(winkit::kSongTi, -12, false));
  // The application window: zero-sized, so nothing of it shows, but visible once a form is
  // shown, so that it carries the task-bar entry; every form is owned by it.
  s_->appWnd = CreateWindowExW(
      0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
      s_->inst, nullptr);
}

std::uintptr_t Win32Backend::AppWindow() { return reinterpret_cast<std::uintptr_t>(s_->appWnd); }

void Win32Backend::SetTitle(const std::string& title) {
  SetWindowTextW(s_->appWnd, Wide(title).c_str());
}

void Win32Backend::Realize(Form& form) {
  FormData& fd = s_->forms[&form];
  if (!form.native) {
    std::wstring face = form.font.empty() ? std::wstring(winkit::kSongTi) : Wide(form.font);
    int height = form.fontHeight;
    if (height <= 0) {
      winkit::WindowDc screen(nullptr);
      height = MulDiv(form.fontPoints > 0 ? form.fontPoints : 9,
                      GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
    }
    fd.font.Reset(MakeFont(face, -height, false));
    fd.bold.Reset(MakeFont(face, -form.boldHeight, true));

    DWORD style = WS_CLIPCHILDREN, ex = WS_EX_CONTROLPARENT;
    switch (form.border) {
      case BorderStyle::None:
        style |= WS_POPUP;
        break;
      case BorderStyle::Dialog:
        style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
        ex |= WS_EX_DLGMODALFRAME;
        break;
      case BorderStyle::Sizeable:
        style |= WS_OVERLAPPEDWINDOW;
        break;
    }
    const Rect& b = form.bounds();
    RECT r{0, 0, b.width, b.height};
    AdjustWindowRectEx(&r, style, FALSE, ex);
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = b.left, y = b.top;
    if (form.position != Position::Designed) {
      x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
      y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    HWND hwnd = CreateWindowExW(ex, kFormClass, Wide(form.Caption()).c_str(), style, x, y, w, h,
                                s_->appWnd, nullptr, s_->inst, &form);
    if (!hwnd) return;
    form.native = hwnd;
    if (!form.Enabled()) EnableWindow(hwnd, FALSE);
    if (!form.icon.empty()) {
      HICON icon = LoadIconW(s_->inst, Wide(form.icon).c_str());
      if (icon) SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
  }
  CreateTree(form, fd);
  if (form.Visible() && !IsWindowVisible(Hwnd(form))) Changed(form, Prop::Visible);
}

void Win32Backend::Unrealize(Control& control) {
  if (!control.native) return;
  HWND h = Hwnd(control);
  bool isForm = control.kind() == Kind::Form;
  Detach(control);
  if (isForm) {
    auto& z = s_->zorder;
    z.erase(std::remove(z.begin(), z.end(), &control), z.end());
  }
  if (IsWindow(h)) DestroyWindow(h);
  if (isForm) {
    auto it = s_->forms.find(&control);
    if (it != s_->forms.end()) s_->forms.erase(it);  // with its fonts
  }
}

void Win32Backend::Changed(Control& c, Prop prop) {
  HWND h = Hwnd(c);
  if (!h) return;
  switch (prop) {
    case Prop::Bounds: {
      const Rect& b = c.bounds();
      if (c.kind() != Kind::Form) {
        MoveWindow(h, b.left, b.top, b.width, b.height, TRUE);
        break;
      }
      FormData* fd = DataOf(&c);
      if ((fd && fd->sizing) || IsZoomed(h) || IsIconic(h)) break;
      auto& form = static_cast<Form&>(c);
      RECT cr;
      GetClientRect(h, &cr);
      RECT wr;
      GetWindowRect(h, &wr);
      bool move = form.position == Position::Designed && (wr.left != b.left || wr.top != b.top);
      if (cr.right == b.width && cr.bottom == b.height && !move) break;
      RECT r{0, 0, b.width, b.height};
      AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)));
      SetWindowPos(h, nullptr, b.left, b.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | (move ? 0 : SWP_NOMOVE));
      break;
    }
    case Prop::Visible:
      if (c.kind() != Kind::Form) {
        if (c.kind() == Kind::Page && c.Visible())
          if (FormData* fd = DataOf(&c)) CreateTree(c, *fd);
        ShowWindow(h, c.Visible() ? SW_SHOWNA : SW_HIDE);
      } else if (c.Visible()) {
        if (!IsWindowVisible(s_->appWnd) && !IsIconic(s_->appWnd))
          ShowWindow(s_->appWnd, SW_SHOWNA);
        ShowWindow(
            h, static_cast<Form&>(c).position == Position::Maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
      } else {
        bool wasActive = GetActiveWindow() == h;
        ShowWindow(h, SW_HIDE);
        if (wasActive) {
          // The system would hand activation to the application window: give it to the
          // front-most form that can take it instead, as the user expects.
          if (HWND next = FrontForm(h))
            Activate(next);
          else
            s_->app->NoteActivated(nullptr);
        }
      }
      break;
    case Prop::Enabled:
      EnableWindow(h, c.Enabled());
      break;
    case Prop::Text: {
      Quiet q;
      if (c.kind() == Kind::Memo)
        SetWindowTextW(h, MemoText(static_cast<Memo&>(c)).c_str());
      else
        SetWindowTextW(h, Wide(c.Text()).c_str());
      // A static control repaints itself for its new text (at once under Wine); another
      // repaint here would draw every status line twice.
      if (c.kind() == Kind::Label) AutoSize(c);
      break;
    }
    case Prop::Checked: {
      bool on = c.kind() == Kind::CheckBox ? static_cast<CheckBox&>(c).Checked()
                                           : static_cast<RadioButton&>(c).Checked();
      SendMessageW(h, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    }
    case Prop::Position:
      if (c.kind() == Kind::ProgressBar) {
        // Shown at once, as the common control does: a sequence that sleeps after each
        // step still shows where it is.
        InvalidateRect(h, nullptr, FALSE);
        UpdateWindow(h);
      } else if (c.kind() == Kind::Animation) {
        if (static_cast<Animation&>(c).Active())
          SetTimer(h, kAnimationTimer, kAnimationMs, nullptr);
        else
          KillTimer(h, kAnimationTimer);
      }
      break;
    case Prop::Grid:
      RefreshGrid(static_cast<Grid&>(c));
      break;
    case Prop::Selection:
      SyncSelection(static_cast<Grid&>(c));
      break;
    case Prop::Page:  // the pages' visibility is already set
      break;
  }
}

void Win32Backend::FocusForm(Form& form) {
  HWND h = Hwnd(form);
  if (!h || !IsWindowVisible(h)) return;
  SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (IsWindowEnabled(h)) Activate(h);
}

void Win32Backend::WaitAndDispatch() {
  MSG m;
  BOOL got = GetMessageW(&m, nullptr, 0, 0);
  if (got == 0) {  // somebody posted WM_QUIT: end the application rather than spin
    s_->app->Terminate();
    return;
  }
  if (got > 0) Route(m);
}

bool Win32Backend::DispatchPending() {
  MSG m;
  if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) return false;
  if (m.message == WM_QUIT)
    s_->app->Terminate();
  else
    Route(m);
  return true;
}

void Win32Backend::Sleep(unsigned ms) { ::Sleep(ms); }

void Win32Backend::StartTimer(Timer& timer) {
  s_->timers.insert(&timer);
  SetTimer(s_->appWnd, reinterpret_cast<UINT_PTR>(&timer), timer.interval ? timer.interval : 1,
           nullptr);
}

void Win32Backend::StopTimer(Timer& timer) {
  KillTimer(s_->appWnd, reinterpret_cast<UINT_PTR>(&timer));
  s_->timers.erase(&timer);
}

int Win32Backend::MessageBox(Form* owner, const std::string& text, const std::string& caption,
                             unsigned flags) {
  HWND o = OwnerWindow(owner);
  // The box disables its owner itself; the program's other windows wait too.
  std::vector<HWND> disabled = DisableForms(o);
  int r = MessageBoxW(o, Wide(text).c_str(), Wide(caption).c_str(), flags);
  EnableAgain(disabled);
  return r;
}

int Win32Backend::OwnDialog(Form* owner, DialogKind kind, const std::string& text) {
  DialogData d;
  d.kind = kind;
  d.defaultId = kind == DialogKind::Confirm ? IDYES : IDOK;
  bool confirm = kind == DialogKind::Confirm;
  HWND o = OwnerWindow(owner);
  HWND dlg = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDialogClass,
                             confirm ? L"Confirm" : L"Error",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0, 100, 100,
                             o, nullptr, s_->inst, &d);
  if (!dlg) return kIdCancel;

  // Lay out: icon at the top left, the text beside it, the buttons centred below.
  std::wstring wtext = Wide(text);
  RECT tr{0, 0, 360, 0};
  {
    winkit::WindowDc dc(dlg);
    HGDIOBJ old = SelectObject(dc.get(), s_->dialogFont.get());
    DrawTextW(dc.get(), wtext.empty() ? L" " : wtext.c_str(), -1, &tr,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc.get(), old);
  }
  const int margin = 14, icon = 32, gap = 12, bw = 75, bh = 23, bgap = 8;
  int buttons = confirm ? 2 : 1;
  int textTop = margin + std::max(0, (icon - static_cast<int>(tr.bottom)) / 2);
  int contentW = icon + gap + tr.right;
  int buttonsW = buttons * bw + (buttons - 1) * bgap;
  int cw = std::max({contentW, buttonsW, 160}) + 2 * margin;
  int by = std::max(margin + icon, textTop + static_cast<int>(tr.bottom)) + 16;
  int ch = by + bh + 12;

  auto child = [&](const wchar_t* cls, const wchar_t* t, DWORD style, int x, int y, int w, int h,
                   int id) {
    HWND c = CreateWindowExW(0, cls, t, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dlg,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), s_->inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(s_->dialogFont.get()), FALSE);
    return c;
  };
  HWND iconWnd = child(L"STATIC", nullptr, SS_ICON, margin, margin, icon, icon, 0x100);
  HICON ic = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(confirm ? IDI_QUESTION : IDI_ERROR));
  SendMessageW(iconWnd, STM_SETICON, reinterpret_cast<WPARAM>(ic), 0);
  child(L"STATIC", wtext.c_str(), SS_LEFT | SS_NOPREFIX, margin + icon + gap, textTop, tr.right,
        tr.bottom, 0xFFFF);
  int bx = (cw - buttonsW) / 2;
  if (confirm) {
    child(L"BUTTON", L"&Yes", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, bx, by, bw, bh, IDYES);
    child(L"BUTTON", L"&No", BS_PUSHBUTTON | WS_TABSTOP, bx + bw + bgap, by, bw, bh, IDNO);
  } else {
    child(L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, bx, by, bw, bh, IDOK);
  }
  RECT wr{0, 0, cw, ch};
  AdjustWindowRectEx(&wr, static_cast<DWORD>(GetWindowLongW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dlg, GWL_EXSTYLE)));
  int w = wr.right - wr.left, h = wr.bottom - wr.top;
  SetWindowPos(dlg, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);

  std::vector<HWND> disabled = DisableForms(nullptr);
  ShowWindow(dlg, SW_SHOW);
  SetForegroundWindow(dlg);
  while (d.result < 0 && !s_->app->Terminated()) WaitAndDispatch();
  // Enable the others first, so that the system hands activation back to the owner (whose
  // activation then runs again) when the dialog goes.
  EnableAgain(disabled);
  DestroyWindow(dlg);
  return d.result < 0 ? kIdCancel : d.result;
}

std::optional<std::string> Win32Backend::BrowseForFolder(const std::string& title,
                                                         const std::string& initial) {
  std::wstring wtitle = Wide(title), winitial = Wide(initial);
  wchar_t name[MAX_PATH] = L"";
  BROWSEINFOW bi{};
  bi.hwndOwner = s_->appWnd;
  bi.pszDisplayName = name;
  bi.lpszTitle = wtitle.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = BrowseCallback;
  bi.lParam = winitial.empty() ? 0 : reinterpret_cast<LPARAM>(winitial.c_str());
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  std::vector<HWND> disabled = DisableForms(nullptr);
  winkit::CoTaskMem<ITEMIDLIST> pidl(SHBrowseForFolderW(&bi));
  EnableAgain(disabled);
  SetErrorMode(oldMode);
  ForwardActivation();
  if (!pidl.get()) return std::nullopt;
  wchar_t path[MAX_PATH] = L"";
  if (!SHGetPathFromIDListW(pidl.get(), path)) return std::nullopt;
  return Narrow(path);
}

std::uintptr_t Win32Backend::StartThread(std::function<void()> body) {
  auto* param = new std::function<void()>(std::move(body));
  HANDLE h = CreateThread(nullptr, 0, ThreadMain, param, 0, nullptr);
  if (!h) delete param;
  return reinterpret_cast<std::uintptr_t>(h);
}

void Win32Backend::JoinThread(std::uintptr_t thread) {
  const winkit::Handle owned(reinterpret_cast<HANDLE>(thread));
  HANDLE h = owned.get();
  if (!h) return;
  HANDLE waits[2] = {h, s_->callEvent.get()};
  for (;;) {
    RunCalls();
    DWORD r = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
    if (r == WAIT_OBJECT_0 + 2) {  // a message sent from another thread: let it in
      MSG m;
      PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  RunCalls();
}

void Win32Backend::Synchronize(const std::function<void()>& call) {
  if (GetCurrentThreadId() == s_->guiThread) {
    s_->app->Dispatch(call);
    return;
  }
  const winkit::Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  {
    winkit::Lock lock(s_->lock);
    s_->calls.push_back(Call{&call, done.get()});
  }
  SetEvent(s_->callEvent.get());
  PostMessageW(s_->appWnd, kMsgRunCalls, 0, 0);
  WaitForSingleObject(done.get(), INFINITE);
}

void Win32Backend::Wake() { PostMessageW(s_->appWnd, WM_NULL, 0, 0); }

}  // namespace ui
