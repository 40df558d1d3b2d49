// The window procedures of our classes. Every one goes through one thunk, which keeps the map
// of controls and lets no exception leave a procedure; each class's own procedure then
// handles only what is particular to it.
#include <algorithm>
#include <utility>

#include "ui/win32/win32_internal.h"
#include "ui/win32/win32_paint.h"

namespace ui::win32 {

namespace {

// Which windows of a class join the map of controls (from their creation parameter), and
// whether they are roots for keyboard navigation.
enum class Tracking { None, Child, Root };

void Track(HWND h, UINT msg, LPARAM lp, Tracking tracking) {
  if (!g_s || tracking == Tracking::None) return;
  if (msg == WM_NCCREATE) {
    g_s->controls[h] = static_cast<Control*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    if (tracking == Tracking::Root) g_s->roots.insert(h);
  } else if (msg == WM_NCDESTROY) {
    Forget(h);
  }
}

using Procedure = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

template <Procedure procedure, Tracking tracking>
LRESULT CALLBACK Thunk(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Track(h, msg, lp, tracking);
  try {
    return procedure(h, msg, wp, lp);
  } catch (const std::exception& e) {
    try {
      if (g_s && g_s->app) g_s->app->ShowException(e);
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
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
      const winkit::Painting painting(h);
      if (self && self->style.lowered) {
        RECT rc;
        GetClientRect(h, &rc);
        DrawEdge(painting.get(), &rc, BDR_SUNKENOUTER, BF_RECT);
      }
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC: {
      Control* c = ControlOf(reinterpret_cast<HWND>(lp));
      if (!c || !TraitsOf(c->kind()).transparentText) return false;
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
      HWND from = reinterpret_cast<HWND>(lp);
      Control* c = ControlOf(from);
      if (!c) return false;
      auto command = TraitsOf(c->kind()).command;
      if (!command) return false;
      result = 0;
      return command(*c, from, HIWORD(wp));
    }
    default:
      return GridParentMessage(h, msg, lp, result);
  }
}

LRESULT PanelMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT r = 0;
  if (ControlOf(h) && ContainerMessage(h, msg, wp, lp, r)) return r;
  return DefWindowProcW(h, msg, wp, lp);
}

// Pictures, shapes, separators, animations and the progress bar: painted by us.
LRESULT PaintedMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Control* c = ControlOf(h);
  if (!c) return DefWindowProcW(h, msg, wp, lp);
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const winkit::Painting painting(h);
      HDC dc = painting.get();
      if (c->kind() == Kind::Animation) {
        PaintAnimation(dc, *c, g_s->frames[c]);
      } else if (c->kind() == Kind::ProgressBar) {
        PaintProgress(dc, static_cast<ProgressBar&>(*c));
      } else {
        if (!(c->kind() == Kind::Image && c->style.stretch)) PaintUnder(dc, *c, true);
        PaintDecoration(dc, *c);
      }
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
        SetTimer(h, kAnimationTimer, kAnimationMs, nullptr);  // from now, see AppMessage
      }
      return 0;
    default:
      return DefWindowProcW(h, msg, wp, lp);
  }
}

LRESULT FormMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Control* c = ControlOf(h);
  if (!c) return DefWindowProcW(h, msg, wp, lp);
  auto* form = static_cast<Form*>(c);
  FormData* fd = DataOf(c);
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        // The form remembers where the focus was (a click may have moved it).
        NoteFocus(GetFocus());
        return 0;
      }
      if (HIWORD(wp)) return 0;  // minimised
      {
        auto& z = g_s->zorder;
        z.erase(std::remove(z.begin(), z.end(), c), z.end());
        z.push_back(c);
      }
      // A form that was already the active one (back from a system box) gets its focus
      // back here; a newly active one gets it through the activation.
      if (g_s->app->ActiveForm() == form) form->FocusOnActivation();
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
        SendMessageW(g_s->appWnd.get(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
      }
      return DefWindowProcW(h, msg, wp, lp);
    default:
      return PanelMessage(h, msg, wp, lp);
  }
}

LRESULT AppMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
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
}

bool IsOurForm(HWND h) {
  Control* c = ControlOf(h);
  return c && c->kind() == Kind::Form;
}

}  // namespace

void RegisterClasses(HICON icon) {
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
      {kAppClass, Thunk<AppMessage, Tracking::None>, 0, nullptr, icon},
      {kFormClass, Thunk<FormMessage, Tracking::Root>, CS_DBLCLKS, nullptr, icon},
      {kPanelClass, Thunk<PanelMessage, Tracking::Child>, CS_DBLCLKS, nullptr, nullptr},
      {kPaintClass, Thunk<PaintedMessage, Tracking::Child>, 0, nullptr, nullptr},
      {kProgressClass, Thunk<PaintedMessage, Tracking::Child>, 0, nullptr, nullptr},
      // The dialog keeps its own data (it is no control) and makes itself a root.
      {kDialogClass, Thunk<DialogMessage, Tracking::None>, 0,
       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr},
  };
  for (auto& k : classes) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = k.style;
    wc.lpfnWndProc = k.proc;
    wc.hInstance = g_s->inst;
    wc.hCursor = arrow;
    wc.hbrBackground = k.bg;
    wc.hIcon = k.icon;
    wc.lpszClassName = k.name;
    RegisterClassExW(&wc);
  }
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
  if (active && active != g_s->appWnd.get()) return;
  if (HWND h = FrontForm(nullptr)) Activate(h);
}

void NoteFocus(HWND focus) {
  Control* c = ControlOf(focus);
  Form* f = c ? c->form() : nullptr;
  if (f && f != c) f->NoteFocus(c);
}

namespace {

bool KeyOf(WPARAM vk, Key& key) {
  static const std::pair<WPARAM, Key> kKeys[] = {{VK_TAB, Key::Tab},       {VK_RETURN, Key::Enter},
                                                 {VK_ESCAPE, Key::Escape}, {VK_SPACE, Key::Space},
                                                 {VK_UP, Key::Up},         {VK_DOWN, Key::Down},
                                                 {VK_LEFT, Key::Left},     {VK_RIGHT, Key::Right}};
  for (const auto& [code, k] : kKeys)
    if (code == vk) {
      key = k;
      return true;
    }
  return false;
}

// The keys a form handles itself (see Form::KeyDown); true when the key was used up.
bool FormKey(HWND root, const MSG& m) {
  Control* rc = ControlOf(root);
  Key key;
  if (!rc || rc->kind() != Kind::Form || !KeyOf(m.wParam, key)) return false;
  ShowKeyboardCues(root);
  if (GetKeyState(VK_MENU) < 0 || GetKeyState(VK_CONTROL) < 0) return false;
  auto* form = static_cast<Form*>(rc);
  NoteFocus(m.hwnd);  // a key goes to the window that has the focus
  return form->KeyDown(key, GetKeyState(VK_SHIFT) < 0);
}

}  // namespace

void ShowKeyboardCues(HWND root) {
  if (SendMessageW(root, WM_QUERYUISTATE, 0, 0) & (UISF_HIDEFOCUS | UISF_HIDEACCEL))
    SendMessageW(root, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

// Keyboard navigation for our forms and dialogs, then the usual translation and dispatch.
void Route(MSG& m) {
  if (m.hwnd) {
    HWND root = GetAncestor(m.hwnd, GA_ROOT);
    if (root && g_s->roots.count(root)) {
      if (m.message == WM_KEYDOWN && FormKey(root, m)) return;
      if (m.message == WM_SYSKEYDOWN) ShowKeyboardCues(root);  // Alt shows the underlines
      if (IsDialogMessageW(root, &m)) return;
    }
  }
  TranslateMessage(&m);
  DispatchMessageW(&m);
  // A click may have moved the focus: the form follows it.
  if (m.message == WM_LBUTTONDOWN || m.message == WM_RBUTTONDOWN || m.message == WM_LBUTTONDBLCLK)
    NoteFocus(GetFocus());
}

}  // namespace ui::win32
