// Common dialogs: the system's message box, our own Confirm and Error dialog, and the folder
// dialog. Each one makes the program's other windows wait while it is open.
// clang-format off
#include "ui/win32/win32_internal.h"
#include <ole2.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>

namespace ui {

using namespace ui::win32;

namespace win32 {

namespace {

struct DialogData {
  DialogKind kind = DialogKind::Confirm;
  int result = -1;
  int defaultId = IDYES;
};

// The program's forms that wait while a dialog is open: the visible, enabled ones (but
// `except`) are disabled, and those that are still there are enabled again at the end.
class FormsWaiting {
 public:
  explicit FormsWaiting(HWND except) {
    for (auto& [c, data] : g_s->forms) {
      HWND h = Hwnd(*c);
      if (h && h != except && IsWindowVisible(h) && IsWindowEnabled(h)) {
        EnableWindow(h, FALSE);
        disabled_.push_back(h);
      }
    }
  }
  FormsWaiting(const FormsWaiting&) = delete;
  FormsWaiting& operator=(const FormsWaiting&) = delete;
  ~FormsWaiting() {
    for (HWND h : disabled_)
      if (IsWindow(h)) EnableWindow(h, TRUE);
  }

 private:
  std::vector<HWND> disabled_;
};

HWND OwnerWindow(Form* owner) {
  if (owner && owner->native) return Hwnd(*owner);
  Form* active = g_s->app->ActiveForm();
  if (active && active->native) return Hwnd(*active);
  return g_s->appWnd.get();
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

LRESULT DialogMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(
        h, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    g_s->roots.insert(h);
  }
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
}

}  // namespace win32

int Win32Backend::MessageBox(Form* owner, const std::string& text, const std::string& caption,
                             unsigned flags) {
  HWND o = OwnerWindow(owner);
  // The box disables its owner itself; the program's other windows wait too.
  const FormsWaiting waiting(o);
  return MessageBoxW(o, Wide(text).c_str(), Wide(caption).c_str(), flags);
}

int Win32Backend::OwnDialog(Form* owner, DialogKind kind, const std::string& text) {
  DialogData d;
  d.kind = kind;
  d.defaultId = kind == DialogKind::Confirm ? IDYES : IDOK;
  bool confirm = kind == DialogKind::Confirm;
  HWND o = OwnerWindow(owner);
  const winkit::Window dialog(CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT,
                                              kDialogClass, confirm ? L"Confirm" : L"Error",
                                              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                                              0, 0, 100, 100, o, nullptr, s_->inst, &d));
  HWND dlg = dialog.get();
  if (!dlg) return kIdCancel;

  // Lay out: icon at the top left, the text beside it, the buttons centred below.
  std::wstring wtext = Wide(text);
  RECT tr{0, 0, 360, 0};
  {
    winkit::WindowDc dc(dlg);
    winkit::Selected font(dc.get(), s_->dialogFont.get());
    DrawTextW(dc.get(), wtext.empty() ? L" " : wtext.c_str(), -1, &tr,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
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

  // Declared after the dialog, so that the others are enabled first: the system then hands
  // activation back to the owner (whose activation runs again) when the dialog goes.
  const FormsWaiting waiting(nullptr);
  ShowWindow(dlg, SW_SHOW);
  SetForegroundWindow(dlg);
  while (d.result < 0 && !s_->app->Terminated()) WaitAndDispatch();
  return d.result < 0 ? kIdCancel : d.result;
}

std::optional<std::string> Win32Backend::BrowseForFolder(const std::string& title,
                                                         const std::string& initial) {
  std::wstring wtitle = Wide(title), winitial = Wide(initial);
  wchar_t name[MAX_PATH] = L"";
  BROWSEINFOW bi{};
  bi.hwndOwner = s_->appWnd.get();
  bi.pszDisplayName = name;
  bi.lpszTitle = wtitle.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = BrowseCallback;
  bi.lParam = winitial.empty() ? 0 : reinterpret_cast<LPARAM>(winitial.c_str());
  winkit::CoTaskMem<ITEMIDLIST> pidl;
  {
    const winkit::ErrorMode mode(SEM_FAILCRITICALERRORS);
    const FormsWaiting waiting(nullptr);
    pidl.Reset(SHBrowseForFolderW(&bi));
  }
  ForwardActivation();
  if (!pidl.get()) return std::nullopt;
  wchar_t path[MAX_PATH] = L"";
  if (!SHGetPathFromIDListW(pidl.get(), path)) return std::nullopt;
  return Narrow(path);
}

}  // namespace ui
