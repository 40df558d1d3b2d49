// What the files of the Win32 backend share: the backend's state, the window classes and
// messages, and the helpers each part calls in another. Internal to ui/win32.
//
//   win32_backend.cpp      the Backend calls: realising forms, property changes, the loop
//   win32_window_proc.cpp  the one window-procedure thunk and the procedures of our classes
//   win32_kinds.cpp        what each kind of control is as a window
//   win32_create.cpp       making and forgetting the windows of a control tree, and fonts
//   win32_grid.cpp         the grid (an owner-drawn list view)
//   win32_dialogs.cpp      message boxes, our own dialog and the folder dialog
//   win32_threads.cpp      worker threads and calls handed to the GUI thread
//   win32_paint.cpp        painting of our own controls
#pragma once
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#undef MessageBox

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui/win32/win32_backend.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace ui {

namespace win32 {

constexpr UINT kMsgRunCalls = WM_APP + 1;      // a worker handed a call to the GUI thread
constexpr UINT kMsgForwardFocus = WM_APP + 2;  // the application window passes activation on
constexpr UINT_PTR kAnimationTimer = 1;

inline constexpr wchar_t kAppClass[] = L"KorvApp";
inline constexpr wchar_t kFormClass[] = L"KorvForm";
inline constexpr wchar_t kPanelClass[] = L"KorvPanel";
inline constexpr wchar_t kPaintClass[] = L"KorvPaint";
inline constexpr wchar_t kProgressClass[] = L"KorvProgress";  // our progress bar (PaintProgress)
inline constexpr wchar_t kDialogClass[] = L"KorvDialog";

// The fonts of one form.
struct FormData {
  winkit::Gdi<HFONT> font, bold;
  bool sizing = false;  // inside WM_SIZE: the new bounds come from the window
};

// A call a worker thread hands to the GUI thread, and the event that says it ran.
struct Call {
  const std::function<void()>* fn = nullptr;
  HANDLE done = nullptr;
};

}  // namespace win32

struct Win32Backend::State {
  App* app = nullptr;
  HINSTANCE inst = nullptr;
  winkit::Window appWnd;
  winkit::Gdi<HFONT> dialogFont;
  winkit::OleSession ole;  // COM for the GUI thread (shell, links)
  DWORD guiThread = 0;
  std::map<Control*, win32::FormData> forms;
  std::vector<Control*> zorder;  // our forms in activation order, the front one last
  std::set<Timer*> timers;
  std::map<Control*, int> frames;  // animation frame per animation control
  std::map<Control*, winkit::Window> tips;
  std::map<Control*, int> gridCols;
  // The control of each of our windows, and our forms and dialogs (keyboard navigation).
  // Kept here rather than as window properties: under Wine every property look-up is a
  // request to the server, and the wizard's start made over 400 of them.
  std::map<HWND, Control*> controls;
  std::set<HWND> roots;
  int quiet = 0;  // > 0 while the backend itself changes native controls
  int nextId = 100;
  winkit::CriticalSection lock;  // guards `calls`
  std::deque<win32::Call> calls;
  winkit::Handle callEvent;  // auto-reset; set when a call is queued
};

namespace win32 {

// The one backend of the process (there is one GUI thread); null before and after it.
extern Win32Backend::State* g_s;

inline std::wstring Wide(const std::string& s) { return winkit::Widen(s); }
using winkit::Narrow;
std::string WindowText(HWND h);

inline HWND Hwnd(const Control& c) { return static_cast<HWND>(c.native); }
Control* ControlOf(HWND h);
void Forget(HWND h);
FormData* DataOf(Control* c);  // the data of the form that holds `c`

// While it lives, notifications that the backend's own changes cause are not reported to the
// controls as the user's doing.
struct Quiet {
  Quiet() { ++g_s->quiet; }
  ~Quiet() { --g_s->quiet; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
};

// --- window procedures (win32_window_proc.cpp) ---
void RegisterClasses(HICON icon);
void Activate(HWND h);
void ForwardActivation();
HWND FrontForm(HWND except);
void Route(MSG& m);
// The focus moved to `focus` by the window system's doing: its form follows.
void NoteFocus(HWND focus);
// The focus rectangle and the underlines show from the first key on.
void ShowKeyboardCues(HWND root);

// --- control kinds (win32_kinds.cpp) ---
// What a kind of control is as a window, in one place for every kind.
struct KindTraits {
  const wchar_t* windowClass;  // a system class, or one of ours
  DWORD style = 0, exStyle = 0;
  // Style bits that depend on the control's own settings; may also replace the text.
  DWORD (*styleOf)(Control& c, std::wstring& text) = nullptr;
  void (*created)(Control& c, HWND h, const std::wstring& text) = nullptr;
  // Handles WM_COMMAND from the control's window; false for notifications it ignores.
  bool (*command)(Control& c, HWND h, WORD code) = nullptr;
  bool transparentText = false;  // a static-drawn control that shows what lies beneath
};
const KindTraits& TraitsOf(Kind kind);
std::wstring MemoText(const Memo& memo);
void SetChecked(Control& c);

// --- window creation (win32_create.cpp) ---
HFONT MakeFont(const std::wstring& face, int height, bool bold);
void CreateTree(Control& parent, FormData& fd);
void Detach(Control& c);
void AutoSize(Control& c);
// The push button that Enter would press shows the default frame: the focused button, else
// the form's default button.
void MarkDefaultButton(Form& form);
// A control named by a label gets that name for screen readers (a dynamic annotation of its
// window): the system's own guess looks only at the static text just before it among its
// siblings, and the agreement's text box has its title in the header. Renewed whenever the
// control takes the focus, so that it follows the label's text.
void AnnotateName(Control& c);

// --- the grid (win32_grid.cpp) ---
void PrepareGrid(Grid& g, HWND h);  // once its window exists
void RefreshGrid(Grid& g);
void SyncSelection(Grid& g);
// Messages a grid sends its parent; false when `msg` is not one of them.
bool GridParentMessage(HWND parent, UINT msg, LPARAM lp, LRESULT& result);
extern Grid* g_creatingGrid;  // asked for its row height while its window is created

// --- dialogs (win32_dialogs.cpp) ---
LRESULT DialogMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// --- threads (win32_threads.cpp) ---
void RunCalls();

}  // namespace win32
}  // namespace ui
