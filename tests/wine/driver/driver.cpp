// driver.exe: a console program that the Wine end-to-end tests run beside the program under
// test (same prefix, same wineserver) to look at its windows and act on them as a user would.
//
// Every text goes through the W functions. Command-line arguments arrive as UTF-16 (Wine
// converts them from the UTF-8 of the Linux side); everything printed is UTF-8, so that the
// Python harness reads it whatever the system code page of the prefix is. GBK bytes read with
// the A profile API are converted explicitly with code page 936.
//
// Output is one JSON document per command (or a plain line where noted); the exit code is 0
// on success, 1 for a usage error, 2 when something was not found in time, 3 when an action
// was refused (a disabled or hidden control) and 4 when an action had no effect in time.
#include <windows.h>
#include "tests/wine/common/json_text.h"
// windows.h first
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Text conversion and output

std::string Narrow(const std::wstring& w, UINT cp) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring Widen(const std::string& s, UINT cp) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Utf8(const std::wstring& w) { return Narrow(w, CP_UTF8); }

void WriteAll(DWORD which, const std::string& s) {
  HANDLE h = GetStdHandle(which);
  const char* p = s.data();
  DWORD left = static_cast<DWORD>(s.size());
  while (left > 0) {
    DWORD done = 0;
    if (!WriteFile(h, p, left, &done, nullptr) || done == 0) return;
    p += done;
    left -= done;
  }
}

void Print(const std::string& s) { WriteAll(STD_OUTPUT_HANDLE, s + "\n"); }

int Fail(int code, const std::wstring& message) {
  WriteAll(STD_ERROR_HANDLE, "driver: " + Utf8(message) + "\n");
  return code;
}

std::string JsonString(const std::wstring& w) { return JsonQuoted(Utf8(w)); }

std::string Num(long long v) { return std::to_string(v); }
std::string Bool(bool b) { return b ? "true" : "false"; }
std::string Handle(HWND h) { return Num(static_cast<long long>(reinterpret_cast<UINT_PTR>(h))); }

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string RectJson(const RECT& r) {
  return "[" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom) + "]";
}

// ---------------------------------------------------------------------------------------------
// Arguments

struct Args {
  std::vector<std::wstring> positional;
  std::vector<std::pair<std::wstring, std::wstring>> options;  // "--name value" or flags

  bool Has(const wchar_t* name) const {
    for (const auto& o : options)
      if (o.first == name) return true;
    return false;
  }
  std::wstring Get(const wchar_t* name, const std::wstring& fallback = std::wstring()) const {
    for (const auto& o : options)
      if (o.first == name) return o.second;
    return fallback;
  }
  DWORD Timeout(DWORD fallback) const {
    std::wstring t = Get(L"--timeout");
    return t.empty() ? fallback : static_cast<DWORD>(wcstoul(t.c_str(), nullptr, 10));
  }
};

// Options that are flags (take no value); every other "--x" takes the next argument.
bool IsFlag(const std::wstring& name) {
  return name == L"--visible" || name == L"--force" || name == L"--no-wait" || name == L"--all";
}

Args ParseArgs(int argc, wchar_t** argv, int first) {
  Args a;
  for (int i = first; i < argc; ++i) {
    std::wstring s = argv[i];
    if (s.size() > 2 && s.compare(0, 2, L"--") == 0) {
      if (IsFlag(s) || i + 1 >= argc) {
        a.options.emplace_back(s, std::wstring());
      } else {
        a.options.emplace_back(s, argv[++i]);
      }
    } else {
      a.positional.push_back(s);
    }
  }
  return a;
}

bool ParseNumber(const std::wstring& s, unsigned long long* out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  *out = wcstoull(s.c_str(), &end, 0);
  return end && *end == L'\0';
}

HWND ParseHandle(const std::wstring& s) {
  unsigned long long v = 0;
  if (!ParseNumber(s, &v)) return nullptr;
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(v));
}

// ---------------------------------------------------------------------------------------------
// Windows

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

// The caption as the window manager keeps it; never blocks on a busy program.
std::wstring TitleOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, s.data(), n + 1);
  s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return s;
}

// A control's text through WM_GETTEXT (the caption of an edit lives in the edit, not in the
// window manager); bounded so that a hung program cannot hang the driver.
std::wstring TextOf(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &len))
    return TitleOf(h);
  // The program may change the text between the two messages: a buffer that comes back
  // full is taken for a cut text and asked again, larger.
  for (std::size_t size = len + 256;; size *= 2) {
    std::wstring s(size, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, size, reinterpret_cast<LPARAM>(s.data()),
                             SMTO_ABORTIFHUNG, 3000, &got))
      return TitleOf(h);
    if (got + 1 < size || size > (1u << 24)) {
      s.resize(got < size ? got : size - 1);
      return s;
    }
  }
}

DWORD PidOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return pid;
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> v;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&v));
  return v;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> v;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&v));
  return v;
}

std::string WindowJson(HWND h) {
  RECT r{}, c{};
  GetWindowRect(h, &r);
  GetClientRect(h, &c);
  return "{\"hwnd\":" + Handle(h) + ",\"class\":" + JsonString(ClassOf(h)) +
         ",\"title\":" + JsonString(TitleOf(h)) + ",\"pid\":" + Num(PidOf(h)) +
         ",\"visible\":" + Bool(IsWindowVisible(h)) + ",\"enabled\":" + Bool(IsWindowEnabled(h)) +
         ",\"minimized\":" + Bool(IsIconic(h)) + ",\"maximized\":" + Bool(IsZoomed(h)) +
         ",\"style\":" +
         Num(static_cast<long long>(static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)))) +
         ",\"exstyle\":" +
         Num(static_cast<long long>(static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)))) +
         ",\"rect\":" + RectJson(r) + ",\"client\":[" + Num(c.right) + "," + Num(c.bottom) + "]" +
         ",\"owner\":" + Handle(GetWindow(h, GW_OWNER)) + "}";
}

// Texts compare with the mnemonic ampersands removed ("&Yes" matches "Yes"), ASCII letters
// without regard to case.
std::wstring Plain(const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'&') {
      if (i + 1 < s.size() && s[i + 1] == L'&') out += s[++i];
      continue;
    }
    wchar_t c = s[i];
    out += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  }
  return out;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return Plain(a) == Plain(b); }

struct WindowFilter {
  std::wstring title, cls;
  DWORD pid = 0;
  bool visibleOnly = false;

  bool Matches(HWND h) const {
    if (pid && PidOf(h) != pid) return false;
    if (visibleOnly && !IsWindowVisible(h)) return false;
    if (!cls.empty() && ClassOf(h) != cls) return false;
    if (!title.empty() && TitleOf(h) != title) return false;
    return true;
  }
};

DWORD PidOption(const Args& a) {
  return static_cast<DWORD>(wcstoul(a.Get(L"--pid", L"0").c_str(), nullptr, 0));
}

// Polls every 50 ms until `found` yields a window or the timeout passes.
template <typename F>
HWND WaitFor(DWORD timeoutMs, F found) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND h = found()) return h;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

// A top-level window given by handle or by exact title.
HWND ResolveWindow(const std::wstring& which) {
  if (HWND h = ParseHandle(which)) return IsWindow(h) ? h : nullptr;
  for (HWND h : TopLevelWindows())
    if (TitleOf(h) == which) return h;
  return nullptr;
}

bool IsCheckable(HWND h) {
  if (_wcsicmp(ClassOf(h).c_str(), L"Button") != 0) return false;
  LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
         type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
}

int CheckState(HWND h) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 3000, &state);
  return static_cast<int>(state);
}

std::string ControlJson(HWND h) {
  HWND root = GetAncestor(h, GA_ROOT);
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(HWND_DESKTOP, root, reinterpret_cast<POINT*>(&r), 2);
  std::string checked = IsCheckable(h) ? Bool(CheckState(h) == BST_CHECKED) : "null";
  return "{\"hwnd\":" + Handle(h) + ",\"parent\":" + Handle(GetParent(h)) +
         ",\"class\":" + JsonString(ClassOf(h)) + ",\"id\":" + Num(GetDlgCtrlID(h)) +
         ",\"text\":" + JsonString(TextOf(h)) + ",\"visible\":" + Bool(IsWindowVisible(h)) +
         ",\"enabled\":" + Bool(IsWindowEnabled(h)) + ",\"checked\":" + checked + ",\"style\":" +
         Num(static_cast<long long>(static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)))) +
         ",\"rect\":" + RectJson(r) + "}";
}

// A user can press only a control that is visible and enabled, in a window that is enabled
// (not disabled by a modal run of another form).
int RefuseUnlessUsable(HWND h, const Args& a) {
  if (a.Has(L"--force")) return 0;
  if (!IsWindowVisible(h)) return Fail(3, L"control is hidden: " + TextOf(h));
  if (!IsWindowEnabled(h)) return Fail(3, L"control is disabled: " + TextOf(h));
  HWND root = GetAncestor(h, GA_ROOT);
  if (root && root != h && !IsWindowEnabled(root))
    return Fail(3, L"window is disabled (a modal window is open): " + TitleOf(root));
  return 0;
}

// The first visible control under `window` whose text matches (hidden ones when no visible).
HWND FindControlByText(HWND window, const std::wstring& text) {
  HWND hidden = nullptr;
  for (HWND c : Descendants(window)) {
    if (!SameText(TextOf(c), text)) continue;
    if (IsWindowVisible(c)) return c;
    if (!hidden) hidden = c;
  }
  return hidden;
}

// ---------------------------------------------------------------------------------------------
// Commands

int CmdWindows(const Args& a) {
  WindowFilter f;
  f.pid = PidOption(a);
  f.visibleOnly = a.Has(L"--visible");
  std::string out = "[";
  for (HWND h : TopLevelWindows()) {
    if (!f.Matches(h)) continue;
    if (out.size() > 1) out += ",\n";
    out += WindowJson(h);
  }
  Print(out + "]");
  return 0;
}

int CmdWaitWindow(const Args& a) {
  WindowFilter f;
  f.title = a.Get(L"--title");
  f.cls = a.Get(L"--class");
  f.pid = PidOption(a);
  f.visibleOnly = a.Has(L"--visible");
  if (f.title.empty() && f.cls.empty()) return Fail(1, L"wait-window needs --title or --class");
  HWND h = WaitFor(a.Timeout(10000), [&]() -> HWND {
    for (HWND w : TopLevelWindows())
      if (f.Matches(w)) return w;
    return nullptr;
  });
  if (!h) return Fail(2, L"no window with title \"" + f.title + L"\" class \"" + f.cls + L"\"");
  Print(WindowJson(h));
  return 0;
}

int CmdWaitGone(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"wait-gone HWND [--timeout ms]");
  HWND target = ParseHandle(a.positional[0]);
  HWND still = WaitFor(a.Timeout(10000), [&]() -> HWND {
    return IsWindow(target) && IsWindowVisible(target) ? nullptr : target;
  });
  if (!still) return Fail(2, L"window still shown");
  return 0;
}

int CmdControls(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"controls HWND");
  HWND h = ResolveWindow(a.positional[0]);
  if (!h) return Fail(2, L"no such window");
  std::string out = "[";
  for (HWND c : Descendants(h)) {
    if (out.size() > 1) out += ",\n";
    out += ControlJson(c);
  }
  Print(out + "]");
  return 0;
}

// The control named by "HWND" or by "--window W --text T".
HWND TargetControl(const Args& a, int* error) {
  *error = 0;
  if (!a.positional.empty()) {
    HWND h = ParseHandle(a.positional[0]);
    if (h && IsWindow(h)) return h;
    *error = Fail(2, L"no such control: " + a.positional[0]);
    return nullptr;
  }
  HWND window = ResolveWindow(a.Get(L"--window"));
  if (!window) {
    *error = Fail(2, L"no such window: " + a.Get(L"--window"));
    return nullptr;
  }
  HWND c = FindControlByText(window, a.Get(L"--text"));
  if (!c) *error = Fail(2, L"no control with text: " + a.Get(L"--text"));
  return c;
}

int CmdClick(const Args& a) {
  int error = 0;
  HWND h = TargetControl(a, &error);
  if (!h) return error;
  if (int refused = RefuseUnlessUsable(h, a)) return refused;
  PostMessageW(h, BM_CLICK, 0, 0);
  Print(Handle(h));
  return 0;
}

int CmdSetText(const Args& a) {
  if (a.positional.size() < 2) return Fail(1, L"set-text HWND TEXT");
  HWND h = ParseHandle(a.positional[0]);
  if (!h || !IsWindow(h)) return Fail(2, L"no such control");
  if (int refused = RefuseUnlessUsable(h, a)) return refused;
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.positional[1].c_str()),
                           SMTO_ABORTIFHUNG, 10000, &r))
    return Fail(4, L"the program did not take the text");
  return 0;
}

int CmdGetText(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"get-text HWND");
  HWND h = ParseHandle(a.positional[0]);
  if (!h || !IsWindow(h)) return Fail(2, L"no such control");
  Print(Utf8(TextOf(h)));
  return 0;
}

int CmdCheck(const Args& a) {
  if (a.positional.size() < 2) return Fail(1, L"check HWND on|off");
  HWND h = ParseHandle(a.positional[0]);
  if (!h || !IsWindow(h) || !IsCheckable(h)) return Fail(2, L"no such check box");
  bool want = a.positional[1] == L"on";
  if ((CheckState(h) == BST_CHECKED) == want) return 0;
  if (int refused = RefuseUnlessUsable(h, a)) return refused;
  PostMessageW(h, BM_CLICK, 0, 0);
  HWND done = WaitFor(a.Timeout(5000), [&]() -> HWND {
    return (CheckState(h) == BST_CHECKED) == want ? h : nullptr;
  });
  if (!done) return Fail(4, L"the check state did not change");
  return 0;
}

// A block of memory inside another process, for the messages that carry pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND owner, SIZE_T size) : size_(size) {
    process_ = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
        FALSE, PidOf(owner));
    if (process_)
      base_ = static_cast<char*>(
          VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~RemoteBuffer() {
    if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return base_ != nullptr; }
  char* at(SIZE_T offset) const { return base_ + offset; }
  bool Write(SIZE_T offset, const void* data, SIZE_T n) const {
    return offset + n <= size_ && WriteProcessMemory(process_, base_ + offset, data, n, nullptr);
  }
  bool Read(SIZE_T offset, void* data, SIZE_T n) const {
    return offset + n <= size_ && ReadProcessMemory(process_, base_ + offset, data, n, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  char* base_ = nullptr;
  SIZE_T size_;
};

LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, 5000, &r)) return 0;
  return static_cast<LRESULT>(r);
}

constexpr SIZE_T kTextChars = 2048;
constexpr SIZE_T kTextOffset = 256;  // the structure lives in front of the text buffer

std::wstring ItemText(HWND lv, const RemoteBuffer& mem, int row, int column) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(mem.at(kTextOffset));
  item.cchTextMax = kTextChars;
  if (!mem.Write(0, &item, sizeof item)) return std::wstring();
  LRESULT n = Send(lv, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(mem.at(0)));
  if (n <= 0) return std::wstring();
  std::wstring s(static_cast<std::size_t>(n), L'\0');
  mem.Read(kTextOffset, s.data(), static_cast<SIZE_T>(n) * sizeof(wchar_t));
  return s;
}

int CmdListView(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"listview HWND");
  HWND lv = ParseHandle(a.positional[0]);
  if (!lv || !IsWindow(lv)) return Fail(2, L"no such list view");
  RemoteBuffer mem(lv, kTextOffset + kTextChars * sizeof(wchar_t));
  if (!mem.ok()) return Fail(2, L"cannot reach the list view's process");
  // Columns: asked one by one until the list view says there is no such column.
  std::string columns = "[";
  int columnCount = 0;
  for (; columnCount < 64; ++columnCount) {
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.pszText = reinterpret_cast<LPWSTR>(mem.at(kTextOffset));
    col.cchTextMax = kTextChars;
    wchar_t nul = 0;
    mem.Write(kTextOffset, &nul, sizeof nul);
    if (!mem.Write(0, &col, sizeof col)) break;
    if (!Send(lv, LVM_GETCOLUMNW, columnCount, reinterpret_cast<LPARAM>(mem.at(0)))) break;
    mem.Read(0, &col, sizeof col);
    std::wstring title(kTextChars, L'\0');
    mem.Read(kTextOffset, title.data(), kTextChars * sizeof(wchar_t));
    title.resize(wcsnlen(title.c_str(), kTextChars));
    if (columnCount) columns += ",";
    columns += "{\"width\":" + Num(col.cx) + ",\"text\":" + JsonString(title) + "}";
  }
  columns += "]";
  int rows = static_cast<int>(Send(lv, LVM_GETITEMCOUNT, 0, 0));
  int selected =
      static_cast<int>(Send(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  int textColumns = columnCount ? columnCount : 1;
  std::string items = "[";
  for (int r = 0; r < rows; ++r) {
    if (r) items += ",\n";
    items += "[";
    for (int c = 0; c < textColumns; ++c) {
      if (c) items += ",";
      items += JsonString(ItemText(lv, mem, r, c));
    }
    items += "]";
  }
  items += "]";
  Print("{\"count\":" + Num(rows) + ",\"columns\":" + Num(columnCount) + ",\"column_info\":" +
        columns + ",\"selected\":" + Num(selected) + ",\"items\":" + items + "}");
  return 0;
}

// Double-clicks a row of a list view: the first click selects the row under the pointer, the
// second one is the double-click, as a mouse would deliver them.
int CmdListViewDoubleClick(const Args& a) {
  if (a.positional.size() < 2) return Fail(1, L"lv-dblclick HWND ROW");
  HWND lv = ParseHandle(a.positional[0]);
  if (!lv || !IsWindow(lv)) return Fail(2, L"no such list view");
  if (int refused = RefuseUnlessUsable(lv, a)) return refused;
  int row = _wtoi(a.positional[1].c_str());
  RemoteBuffer mem(lv, sizeof(RECT));
  RECT r{};
  r.left = LVIR_LABEL;
  if (!mem.ok() || !mem.Write(0, &r, sizeof r)) return Fail(2, L"cannot reach the list view");
  if (!Send(lv, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(mem.at(0))))
    return Fail(2, L"no such row");
  mem.Read(0, &r, sizeof r);
  LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageW(lv, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(lv, WM_LBUTTONUP, 0, at);
  PostMessageW(lv, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(lv, WM_LBUTTONUP, 0, at);
  return 0;
}

// Message boxes: the system's (#32770, text in the static of id 0xFFFF) and the programs' own
// "Confirm" and "Error" windows.
bool IsBox(HWND h) {
  if (!IsWindowVisible(h)) return false;
  if (ClassOf(h) == L"#32770") return true;
  std::wstring t = TitleOf(h);
  return t == L"Confirm" || t == L"Error";
}

HWND FindBox(const Args& a) {
  DWORD pid = PidOption(a);
  return WaitFor(a.Timeout(10000), [&]() -> HWND {
    for (HWND h : TopLevelWindows())
      if (IsBox(h) && (!pid || PidOf(h) == pid)) return h;
    return nullptr;
  });
}

std::wstring BoxText(HWND box) {
  if (HWND s = GetDlgItem(box, 0xFFFF)) return TextOf(s);
  std::wstring text;
  for (HWND c : Descendants(box)) {
    if (_wcsicmp(ClassOf(c).c_str(), L"Button") == 0) continue;
    std::wstring t = TextOf(c);
    if (t.empty()) continue;
    if (!text.empty()) text += L"\n";
    text += t;
  }
  return text;
}

std::vector<HWND> BoxButtons(HWND box) {
  std::vector<HWND> v;
  for (HWND c : Descendants(box))
    if (_wcsicmp(ClassOf(c).c_str(), L"Button") == 0 && IsWindowVisible(c)) v.push_back(c);
  return v;
}

int CmdMsgBox(const Args& a) {
  HWND box = FindBox(a);
  if (!box) return Fail(2, L"no message box");
  std::string buttons = "[";
  for (HWND b : BoxButtons(box)) {
    if (buttons.size() > 1) buttons += ",";
    buttons += "{\"hwnd\":" + Handle(b) + ",\"id\":" + Num(GetDlgCtrlID(b)) +
               ",\"text\":" + JsonString(TextOf(b)) + ",\"enabled\":" + Bool(IsWindowEnabled(b)) +
               "}";
  }
  buttons += "]";
  Print("{\"hwnd\":" + Handle(box) + ",\"class\":" + JsonString(ClassOf(box)) +
        ",\"caption\":" + JsonString(TitleOf(box)) + ",\"text\":" + JsonString(BoxText(box)) +
        ",\"pid\":" + Num(PidOf(box)) + ",\"owner\":" + Handle(GetWindow(box, GW_OWNER)) +
        ",\"buttons\":" + buttons + "}");
  return 0;
}

int CmdAnswer(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"answer ID|OK|Cancel|Yes|No|TEXT");
  const std::wstring& what = a.positional[0];
  HWND box = FindBox(a);
  if (!box) return Fail(2, L"no message box");
  struct Named {
    const wchar_t* name;
    int id;
  };
  static const Named kNamed[] = {{L"ok", IDOK},       {L"cancel", IDCANCEL}, {L"abort", IDABORT},
                                 {L"retry", IDRETRY}, {L"ignore", IDIGNORE}, {L"yes", IDYES},
                                 {L"no", IDNO},       {L"close", IDCLOSE}};
  int id = -1;
  unsigned long long number = 0;
  if (ParseNumber(what, &number)) id = static_cast<int>(number);
  for (const Named& n : kNamed)
    if (Plain(what) == n.name) id = n.id;
  std::vector<HWND> buttons = BoxButtons(box);
  HWND pick = nullptr;
  for (HWND b : buttons)
    if (id >= 0 && GetDlgCtrlID(b) == id) pick = b;
  if (!pick)
    for (HWND b : buttons)
      if (SameText(TextOf(b), what)) pick = b;
  if (!pick) return Fail(2, L"the message box has no button " + what);
  if (int refused = RefuseUnlessUsable(pick, a)) return refused;
  PostMessageW(pick, BM_CLICK, 0, 0);
  Print(Handle(box));
  if (a.Has(L"--no-wait")) return 0;
  HWND gone = WaitFor(a.Timeout(10000), [&]() -> HWND {
    return IsWindow(box) && IsWindowVisible(box) ? nullptr : box;
  });
  return gone ? 0 : Fail(4, L"the message box is still open");
}

int CmdPostSys(const Args& a, WPARAM command) {
  if (a.positional.empty()) return Fail(1, L"needs HWND");
  HWND h = ResolveWindow(a.positional[0]);
  if (!h) return Fail(2, L"no such window");
  PostMessageW(h, WM_SYSCOMMAND, command, 0);
  return 0;
}

int CmdActivate(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"activate HWND");
  HWND h = ResolveWindow(a.positional[0]);
  if (!h) return Fail(2, L"no such window");
  if (!SetForegroundWindow(h)) return Fail(4, L"SetForegroundWindow failed");
  return 0;
}

// The name a screen reader gives a control, by the rule of the system's own support for
// standard controls: a button or box is named by its text; an edit or a list view by the
// nearest visible static text before it among its siblings, unless a tab stop comes first.
std::wstring AccessibleName(HWND h) {
  std::wstring cls = ClassOf(h);
  if (_wcsicmp(cls.c_str(), L"Edit") != 0 && _wcsicmp(cls.c_str(), L"SysListView32") != 0)
    return Plain(TextOf(h));
  for (HWND p = GetWindow(h, GW_HWNDPREV); p; p = GetWindow(p, GW_HWNDPREV)) {
    if (!IsWindowVisible(p)) continue;
    if (_wcsicmp(ClassOf(p).c_str(), L"Static") == 0) return Plain(TextOf(p));
    if (GetWindowLongW(p, GWL_STYLE) & WS_TABSTOP) break;
  }
  return L"";
}

// The control that has the keyboard focus in the thread of a top-level window, as the system
// reports it to other programs, with its name and the window's keyboard-cue state.
int CmdFocus(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"focus HWND|TITLE");
  HWND top = ResolveWindow(a.positional[0]);
  if (!top) return Fail(2, L"no such window");
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info))
    return Fail(4, L"GetGUIThreadInfo failed");
  HWND f = info.hwndFocus;
  DWORD_PTR cues = 0;
  if (f) SendMessageTimeoutW(f, WM_QUERYUISTATE, 0, 0, SMTO_ABORTIFHUNG, 3000, &cues);
  Print("{\"active\":" + Handle(info.hwndActive) +
        ",\"control\":" + (f ? ControlJson(f) : std::string("null")) +
        ",\"name\":" + JsonString(f ? AccessibleName(f) : L"") +
        ",\"cues_hidden\":" + Num(static_cast<long long>(cues)) + "}");
  return 0;
}

int CmdForeground(const Args&) {
  HWND h = GetForegroundWindow();
  Print(h ? WindowJson(h) : "null");
  return 0;
}

// Resource names and types: "#N" for a number, the string otherwise.
std::wstring ResName(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(name));
  return name;
}

LPCWSTR ResArg(const std::wstring& s) {
  if (s.size() > 1 && s[0] == L'#')
    return MAKEINTRESOURCEW(static_cast<WORD>(_wtoi(s.c_str() + 1)));
  return s.c_str();
}

struct Listing {
  HMODULE module;
  std::string out;
};

BOOL CALLBACK EachLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR lp) {
  auto* l = reinterpret_cast<Listing*>(lp);
  HRSRC r = FindResourceExW(module, type, name, lang);
  if (l->out.size() > 1) l->out += ",\n";
  l->out += "{\"type\":" + JsonString(ResName(type)) + ",\"name\":" + JsonString(ResName(name)) +
            ",\"lang\":" + Num(lang) + ",\"size\":" + Num(r ? SizeofResource(module, r) : -1) + "}";
  return TRUE;
}

BOOL CALLBACK EachName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR lp) {
  EnumResourceLanguagesW(module, type, name, EachLanguage, lp);
  return TRUE;
}

BOOL CALLBACK EachType(HMODULE module, LPWSTR type, LONG_PTR lp) {
  EnumResourceNamesW(module, type, EachName, lp);
  return TRUE;
}

HMODULE LoadAsData(const std::wstring& path) {
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

int CmdResources(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"resources EXE");
  HMODULE m = LoadAsData(a.positional[0]);
  if (!m) return Fail(2, L"cannot load " + a.positional[0]);
  Listing l{m, "["};
  EnumResourceTypesW(m, EachType, reinterpret_cast<LONG_PTR>(&l));
  FreeLibrary(m);
  Print(l.out + "]");
  return 0;
}

int CmdDumpResource(const Args& a) {
  if (a.positional.size() < 4) return Fail(1, L"dump-resource EXE NAME TYPE OUT");
  HMODULE m = LoadAsData(a.positional[0]);
  if (!m) return Fail(2, L"cannot load " + a.positional[0]);
  HRSRC r = FindResourceW(m, ResArg(a.positional[1]), ResArg(a.positional[2]));
  if (!r) {
    FreeLibrary(m);
    return Fail(2, L"no resource " + a.positional[1] + L" of type " + a.positional[2]);
  }
  DWORD size = SizeofResource(m, r);
  const void* bytes = LockResource(LoadResource(m, r));
  HANDLE f = CreateFileW(a.positional[3].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool ok = f != INVALID_HANDLE_VALUE &&
            (size == 0 || WriteFile(f, bytes, size, &written, nullptr)) && written == size;
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  FreeLibrary(m);
  if (!ok) return Fail(4, L"cannot write " + a.positional[3]);
  Print(Num(size));
  return 0;
}

// One value through the system's profile API, called as the programs' config reader is meant
// to behave: A function, empty default, 2048-byte buffer. Section and key are taken as
// GBK; the value is printed as hex and as UTF-8 of its GBK bytes.
int CmdIni(const Args& a) {
  if (a.positional.size() < 3) return Fail(1, L"ini FILE SECTION KEY");
  std::string file = Narrow(a.positional[0], 936);
  std::string section = Narrow(a.positional[1], 936);
  std::string key = Narrow(a.positional[2], 936);
  char buf[2048];
  DWORD n =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, sizeof buf, file.c_str());
  std::string value(buf, n);
  Print("{\"length\":" + Num(n) + ",\"hex\":\"" + Hex(value) +
        "\",\"text\":" + JsonString(Widen(value, 936)) + "}");
  return 0;
}

int CmdCodePage(const Args&) {
  Print("{\"acp\":" + Num(GetACP()) + ",\"oemcp\":" + Num(GetOEMCP()) + "}");
  return 0;
}

// Registry, read through the W functions so that Chinese values come back intact whatever
// the system code page.
HKEY RootOf(const std::wstring& name) {
  std::wstring n = Plain(name);
  if (n == L"hkcr" || n == L"hkey_classes_root") return HKEY_CLASSES_ROOT;
  if (n == L"hkcu" || n == L"hkey_current_user") return HKEY_CURRENT_USER;
  if (n == L"hklm" || n == L"hkey_local_machine") return HKEY_LOCAL_MACHINE;
  if (n == L"hku" || n == L"hkey_users") return HKEY_USERS;
  return nullptr;
}

int CmdReg(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"reg KEY");
  const std::wstring& path = a.positional[0];
  std::size_t slash = path.find(L'\\');
  HKEY root = RootOf(path.substr(0, slash));
  if (!root) return Fail(1, L"unknown root in " + path);
  std::wstring sub = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    Print("{\"exists\":false}");
    return 0;
  }
  std::string values = "[", subkeys = "[";
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLen = 16384, type = 0, dataLen = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &dataLen) != ERROR_SUCCESS)
      break;
    std::vector<BYTE> data(dataLen + 2, 0);
    nameLen = 16384;
    RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data.data(), &dataLen);
    std::string shown;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), dataLen / sizeof(wchar_t));
      while (!s.empty() && s.back() == L'\0') s.pop_back();
      shown = JsonString(s);
    } else if (type == REG_DWORD && dataLen == 4) {
      shown = Num(*reinterpret_cast<const DWORD*>(data.data()));
    } else {
      shown = "\"" + Hex(std::string(data.begin(), data.begin() + dataLen)) + "\"";
    }
    if (values.size() > 1) values += ",";
    values += "{\"name\":" + JsonString(std::wstring(name, nameLen)) + ",\"type\":" + Num(type) +
              ",\"data\":" + shown + "}";
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    if (subkeys.size() > 1) subkeys += ",";
    subkeys += JsonString(std::wstring(name, nameLen));
  }
  RegCloseKey(key);
  Print("{\"exists\":true,\"values\":" + values + "],\"subkeys\":" + subkeys + "]}");
  return 0;
}

// The drives as the programs see them: letter, GetDriveType, free and total bytes.
int CmdDrives(const Args&) {
  wchar_t buf[512] = {};
  GetLogicalDriveStringsW(511, buf);
  std::string out = "[";
  for (const wchar_t* d = buf; *d; d += wcslen(d) + 1) {
    ULARGE_INTEGER freeBytes{}, total{};
    bool sized = GetDiskFreeSpaceExW(d, &freeBytes, &total, nullptr);
    if (out.size() > 1) out += ",";
    out += "{\"root\":" + JsonString(d) + ",\"type\":" + Num(GetDriveTypeW(d)) +
           ",\"free\":" + (sized ? Num(static_cast<long long>(freeBytes.QuadPart)) : "null") +
           ",\"total\":" + (sized ? Num(static_cast<long long>(total.QuadPart)) : "null") + "}";
  }
  Print(out + "]");
  return 0;
}

// A shell link read back through IShellLinkW: target, working folder, arguments.
int CmdLink(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"link PATH");
  if (FAILED(CoInitialize(nullptr))) return Fail(4, L"CoInitialize failed");
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  int result = 0;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    result = Fail(4, L"no shell link object");
  } else if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    result = Fail(4, L"no IPersistFile");
  } else if (FAILED(file->Load(a.positional[0].c_str(), STGM_READ))) {
    result = Fail(2, L"cannot load the link " + a.positional[0]);
  } else {
    // The target as the link's item ID list names it; Wine keeps the path string of a link
    // in the system code page, so under 1252 that string loses Chinese characters while the
    // ID list keeps them.
    wchar_t target[MAX_PATH + 1] = {}, path[MAX_PATH + 1] = {}, dir[MAX_PATH + 1] = {};
    wchar_t args[1024] = {};
    link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(link->GetIDList(&items)) && items) {
      SHGetPathFromIDListW(items, target);
      CoTaskMemFree(items);
    }
    link->GetWorkingDirectory(dir, MAX_PATH);
    link->GetArguments(args, 1024);
    Print("{\"target\":" + JsonString(target) + ",\"path\":" + JsonString(path) +
          ",\"workdir\":" + JsonString(dir) + ",\"args\":" + JsonString(args) + "}");
  }
  if (file) file->Release();
  if (link) link->Release();
  CoUninitialize();
  return result;
}

// Holds a named kernel object (mutex, event or semaphore) until the timeout (default ten
// minutes) or until the process is ended: a name clash for programs that want that name for
// another kind of object. Prints one line once the object exists.
int CmdHoldName(const Args& a) {
  if (a.positional.size() < 2) return Fail(1, L"hold-name NAME mutex|event|semaphore");
  const std::wstring& name = a.positional[0];
  const std::wstring& kind = a.positional[1];
  HANDLE h = nullptr;
  if (kind == L"mutex")
    h = CreateMutexW(nullptr, TRUE, name.c_str());
  else if (kind == L"event")
    h = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  else if (kind == L"semaphore")
    h = CreateSemaphoreW(nullptr, 1, 1, name.c_str());
  else
    return Fail(1, L"unknown kind " + kind);
  DWORD error = GetLastError();
  if (!h) return Fail(4, L"cannot create the object");
  Print("{\"held\":" + JsonString(name) + ",\"kind\":" + JsonString(kind) +
        ",\"existed\":" + Bool(error == ERROR_ALREADY_EXISTS) + "}");
  Sleep(a.Timeout(600000));
  CloseHandle(h);
  return 0;
}

// Starts a program and watches it until it ends: its exit code and every top-level window it
// had while running (polled every 5 ms; "shown" when it was ever seen visible).
int CmdSpawn(const Args& a) {
  if (a.positional.empty()) return Fail(1, L"spawn EXE [ARGS...] [--timeout ms]");
  std::wstring line = L"\"" + a.positional[0] + L"\"";
  for (std::size_t i = 1; i < a.positional.size(); ++i) line += L" \"" + a.positional[i] + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return Fail(2, L"cannot start " + a.positional[0]);
  CloseHandle(pi.hThread);
  struct Seen {
    HWND hwnd;
    std::wstring cls, title;
    bool shown;
  };
  std::vector<Seen> seen;
  auto look = [&] {
    for (HWND h : TopLevelWindows()) {
      if (PidOf(h) != pi.dwProcessId) continue;
      bool visible = IsWindowVisible(h);
      bool known = false;
      for (Seen& s : seen)
        if (s.hwnd == h) {
          s.shown = s.shown || visible;
          known = true;
        }
      if (!known) seen.push_back({h, ClassOf(h), TitleOf(h), visible});
    }
  };
  DWORD start = GetTickCount(), limit = a.Timeout(60000);
  bool ended = false;
  for (;;) {
    look();
    if (WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    if (GetTickCount() - start >= limit) break;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::string windows = "[";
  for (const Seen& s : seen) {
    if (windows.size() > 1) windows += ",";
    windows += "{\"hwnd\":" + Handle(s.hwnd) + ",\"class\":" + JsonString(s.cls) +
               ",\"title\":" + JsonString(s.title) + ",\"shown\":" + Bool(s.shown) + "}";
  }
  Print("{\"pid\":" + Num(pi.dwProcessId) + ",\"ended\":" + Bool(ended) +
        ",\"exit_code\":" + (ended ? Num(code) : "null") + ",\"windows\":" + windows + "]}");
  CloseHandle(pi.hProcess);
  return ended ? 0 : Fail(4, L"the program still runs");
}

// A special folder's path (SHGetFolderPathW with a CSIDL number).
int CmdSpecialFolder(const Args& a) {
  unsigned long long csidl = 0;
  if (a.positional.empty() || !ParseNumber(a.positional[0], &csidl))
    return Fail(1, L"special-folder CSIDL");
  wchar_t path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, static_cast<int>(csidl), nullptr, 0, path)))
    return Fail(2, L"no such folder");
  Print(Utf8(path));
  return 0;
}

// Sends a message with number arguments and prints the result (PBM_GETPOS and the like).
int CmdSend(const Args& a) {
  unsigned long long msg = 0, wp = 0, lp = 0;
  if (a.positional.size() < 2 || !ParseNumber(a.positional[1], &msg) ||
      (a.positional.size() > 2 && !ParseNumber(a.positional[2], &wp)) ||
      (a.positional.size() > 3 && !ParseNumber(a.positional[3], &lp)))
    return Fail(1, L"send HWND MSG [WPARAM [LPARAM]]");
  HWND h = ParseHandle(a.positional[0]);
  if (!h || !IsWindow(h)) return Fail(2, L"no such window");
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, static_cast<UINT>(msg), static_cast<WPARAM>(wp),
                           static_cast<LPARAM>(lp), SMTO_ABORTIFHUNG, 5000, &r))
    return Fail(4, L"no answer");
  Print(Num(static_cast<long long>(static_cast<LONG_PTR>(r))));
  return 0;
}

// Waits for the window (--title, --class, --pid), then clicks its button of text --text as
// soon as its progress bar (the child of class --bar) shows at least N; prints the position
// it saw. Started before the window appears (it says "waiting" first), it does not depend on
// how long starting a process takes. A program answers a sent message only when it looks at
// its messages, and the click is posted right after such an answer, so the program meets it
// at its next look.
int CmdClickAtProgress(const Args& a) {
  unsigned long long at = 0;
  WindowFilter f;
  f.title = a.Get(L"--title");
  f.cls = a.Get(L"--class");
  f.pid = PidOption(a);
  f.visibleOnly = true;
  const std::wstring text = a.Get(L"--text"), barClass = a.Get(L"--bar");
  if (a.positional.empty() || !ParseNumber(a.positional[0], &at) || text.empty() ||
      barClass.empty())
    return Fail(1, L"click-at-progress --title T [--class C] [--pid P] --text B --bar C N");
  Print("waiting");
  HWND window = WaitFor(a.Timeout(60000), [&]() -> HWND {
    for (HWND w : TopLevelWindows())
      if (f.Matches(w)) return w;
    return nullptr;
  });
  if (!window) return Fail(2, L"no such window");
  HWND button = FindControlByText(window, text), bar = nullptr;
  for (HWND c : Descendants(window))
    if (ClassOf(c) == barClass) bar = c;
  if (!button || !bar) return Fail(2, L"no such button or progress bar");
  for (;;) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position))
      return Fail(4, L"no answer");
    if (position >= at) {
      PostMessageW(button, BM_CLICK, 0, 0);
      Print(Num(static_cast<long long>(position)));
      return 0;
    }
    Sleep(1);
  }
}

const char kUsage[] =
    "usage: driver COMMAND ...\n"
    "  windows [--pid P] [--visible]\n"
    "  wait-window --title T | --class C [--pid P] [--visible] [--timeout ms]\n"
    "  wait-gone HWND [--timeout ms]\n"
    "  controls HWND|TITLE\n"
    "  click HWND | --window W --text T   [--force]\n"
    "  set-text HWND TEXT | get-text HWND | check HWND on|off\n"
    "  listview HWND | lv-dblclick HWND ROW\n"
    "  msgbox [--pid P] [--timeout ms]\n"
    "  answer ID|OK|Cancel|Yes|No|TEXT [--pid P] [--timeout ms] [--no-wait]\n"
    "  sysclose HWND | minimize HWND | restore HWND | activate HWND | foreground\n"
    "  focus HWND|TITLE\n"
    "  resources EXE | dump-resource EXE NAME TYPE OUT\n"
    "  ini FILE SECTION KEY | codepage | reg KEY | drives\n"
    "  link LNK | special-folder CSIDL | send HWND MSG [WPARAM [LPARAM]]\n"
    "  click-at-progress --title T [--class C] [--pid P] --text B --bar C N\n"
    "  hold-name NAME mutex|event|semaphore [--timeout ms]\n"
    "  spawn EXE [ARGS...] [--timeout ms]\n";

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    WriteAll(STD_ERROR_HANDLE, kUsage);
    return 1;
  }
  std::wstring cmd = argv[1];
  Args a = ParseArgs(argc, argv, 2);
  if (cmd == L"windows") return CmdWindows(a);
  if (cmd == L"wait-window") return CmdWaitWindow(a);
  if (cmd == L"wait-gone") return CmdWaitGone(a);
  if (cmd == L"controls") return CmdControls(a);
  if (cmd == L"click") return CmdClick(a);
  if (cmd == L"set-text") return CmdSetText(a);
  if (cmd == L"get-text") return CmdGetText(a);
  if (cmd == L"check") return CmdCheck(a);
  if (cmd == L"listview") return CmdListView(a);
  if (cmd == L"lv-dblclick") return CmdListViewDoubleClick(a);
  if (cmd == L"msgbox") return CmdMsgBox(a);
  if (cmd == L"answer") return CmdAnswer(a);
  if (cmd == L"sysclose") return CmdPostSys(a, SC_CLOSE);
  if (cmd == L"minimize") return CmdPostSys(a, SC_MINIMIZE);
  if (cmd == L"restore") return CmdPostSys(a, SC_RESTORE);
  if (cmd == L"activate") return CmdActivate(a);
  if (cmd == L"foreground") return CmdForeground(a);
  if (cmd == L"focus") return CmdFocus(a);
  if (cmd == L"resources") return CmdResources(a);
  if (cmd == L"dump-resource") return CmdDumpResource(a);
  if (cmd == L"ini") return CmdIni(a);
  if (cmd == L"codepage") return CmdCodePage(a);
  if (cmd == L"reg") return CmdReg(a);
  if (cmd == L"drives") return CmdDrives(a);
  if (cmd == L"link") return CmdLink(a);
  if (cmd == L"hold-name") return CmdHoldName(a);
  if (cmd == L"spawn") return CmdSpawn(a);
  if (cmd == L"special-folder") return CmdSpecialFolder(a);
  if (cmd == L"send") return CmdSend(a);
  if (cmd == L"click-at-progress") return CmdClickAtProgress(a);
  WriteAll(STD_ERROR_HANDLE, kUsage);
  return 1;
}
