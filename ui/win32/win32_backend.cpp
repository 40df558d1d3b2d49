// The Backend calls of the Win32 backend: realising forms, passing property changes on to
// their windows, and the message loop with its timers. The other parts are described in
// win32_internal.h.
#include "ui/win32/win32_backend.h"

// clang-format off
#include "ui/win32/win32_internal.h"
#include <ole2.h>
// clang-format on

#include <algorithm>

#include "ui/win32/win32_paint.h"
#include "winkit/system_dlls.h"

namespace ui {

using namespace ui::win32;

namespace win32 {

Win32Backend::State* g_s = nullptr;

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, w.data(), n + 1);
  return Narrow(std::wstring_view(w.data(), static_cast<std::size_t>(n)));
}

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

FormData* DataOf(Control* c) {
  if (!c) return nullptr;
  Form* f = c->form();
  if (!f) return nullptr;
  auto it = g_s->forms.find(f);
  return it == g_s->forms.end() ? nullptr : &it->second;
}

}  // namespace win32

Win32Backend::Win32Backend() : s_(std::make_unique<State>()) {
  s_->callEvent = winkit::Handle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  g_s = s_.get();
}

Win32Backend::~Win32Backend() {
  s_->tips.clear();  // before the windows that own them
  s_->appWnd.Reset();
  s_->forms.clear();  // their fonts
  s_->dialogFont.Reset();
  ReleasePaintResources();
  s_->callEvent.Reset();
  s_->ole.Reset();
  g_s = nullptr;
}

void Win32Backend::Attach(App& app) {
  s_->app = &app;
  s_->inst = GetModuleHandleW(nullptr);
  s_->guiThread = GetCurrentThreadId();
  winkit::InitCommonControlsFromSystem(ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES);
  s_->ole = winkit::OleSession::Start();

  RegisterClasses(LoadIconW(s_->inst, L"MAINICON"));
  s_->dialogFont.Reset(MakeFont(winkit::kSongTi, -12, false));
  // The application window: zero-sized, so nothing of it shows, but visible once a form is
  // shown, so that it carries the task-bar entry; every form is owned by it.
  s_->appWnd.Reset(CreateWindowExW(
      0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
      s_->inst, nullptr));
}

std::uintptr_t Win32Backend::AppWindow() {
  return reinterpret_cast<std::uintptr_t>(s_->appWnd.get());
}

void Win32Backend::SetTitle(const std::string& title) {
  SetWindowTextW(s_->appWnd.get(), Wide(title).c_str());
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
                                s_->appWnd.get(), nullptr, s_->inst, &form);
    if (!hwnd) return;
    form.native = hwnd;
    // As in a dialog, the focus rectangle and the underlines wait for the first key.
    SendMessageW(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    if (!form.Enabled()) EnableWindow(hwnd, FALSE);
    if (!form.icon.empty()) {
      HICON icon = LoadIconW(s_->inst, Wide(form.icon).c_str());
      if (icon) SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
  }
  CreateTree(form, fd);
  MarkDefaultButton(form);
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
  if (IsWindow(h)) winkit::Window::Drop(h);
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
        if (!IsWindowVisible(s_->appWnd.get()) && !IsIconic(s_->appWnd.get()))
          ShowWindow(s_->appWnd.get(), SW_SHOWNA);
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
    case Prop::Checked:
      SetChecked(c);
      break;
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
    case Prop::Focus: {
      Form* f = c.kind() == Kind::Form ? static_cast<Form*>(&c) : c.form();
      HWND fh = f ? Hwnd(*f) : nullptr;
      if (f) MarkDefaultButton(*f);
      AnnotateName(c);
      // An inactive form gets it when it is activated (FocusOnActivation).
      if (fh && GetActiveWindow() == fh && GetFocus() != h) SetFocus(h);
      break;
    }
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
  SetTimer(s_->appWnd.get(), reinterpret_cast<UINT_PTR>(&timer),
           timer.interval ? timer.interval : 1, nullptr);
}

void Win32Backend::StopTimer(Timer& timer) {
  KillTimer(s_->appWnd.get(), reinterpret_cast<UINT_PTR>(&timer));
  s_->timers.erase(&timer);
}

}  // namespace ui
