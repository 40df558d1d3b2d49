// The benchmark's stopwatch, run under the same wineserver as the programs it times. It
// looks at windows only through calls that the server answers (visibility, texts read with
// InternalGetWindowText), so the timed program never handles a message for it, and polls
// once a millisecond.
//
//   watch startup EXE TITLE [CHILD]   starts EXE; milliseconds until a visible top-level
//                                     window TITLE of it (with a visible child window whose
//                                     text is CHILD) answers a message; then ends EXE
//   watch install PID NEXT PAGE       clicks the wizard's Next (window NEXT) on its ready
//                                     page; milliseconds from the first sight of the progress
//                                     dialog to the finished page (PAGE visible, NEXT "完毕")
//   watch uninstall NEXT PAGE         clicks Next (window NEXT); milliseconds until PAGE shows
//   watch trace WINDOW END            prints each change of the texts of WINDOW and its
//                                     children with its time, until window END shows
//
// Each prints one line of JSON. Exit 0 done, 1 usage, 2 not seen within two minutes.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kTimeoutMs = 120000;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[256];
  int n = InternalGetWindowText(hwnd, buffer, 256);
  return std::wstring(buffer, n > 0 ? n : 0);
}

struct Search {
  DWORD pid;
  const wchar_t* title;
  const wchar_t* child;
  HWND found;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (IsWindowVisible(hwnd) && TextOf(hwnd) == s->child) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindTop(HWND hwnd, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || !IsWindowVisible(hwnd) || TextOf(hwnd) != s->title) return TRUE;
  if (s->child) {
    Search inner{pid, nullptr, s->child, nullptr};
    EnumChildWindows(hwnd, FindChild, reinterpret_cast<LPARAM>(&inner));
    if (!inner.found) return TRUE;
  }
  s->found = hwnd;
  return FALSE;
}

HWND FindWindowOf(DWORD pid, const wchar_t* title, const wchar_t* child) {
  Search s{pid, title, child, nullptr};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// Polls `ready` once a millisecond; false when it never became true.
template <class F>
bool WaitFor(F&& ready) {
  const double deadline = Now() + kTimeoutMs;
  while (!ready()) {
    if (Now() > deadline) return false;
    Sleep(1);
  }
  return true;
}

HWND HandleArg(const wchar_t* text) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoull(text, nullptr, 0)));
}

int Startup(const wchar_t* exe, const wchar_t* title, const wchar_t* child) {
  std::wstring command = L"\"" + std::wstring(exe) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const double start = Now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "watch: cannot start the program (error %lu)\n", GetLastError());
    return 2;
  }
  HWND window = nullptr;
  bool seen = WaitFor([&] { return (window = FindWindowOf(pi.dwProcessId, title, child)); });
  if (seen) {
    DWORD_PTR result;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
  }
  const double ms = Now() - start;
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!seen) return 2;
  std::printf("{\"ms\": %.1f, \"pid\": %lu}\n", ms, pi.dwProcessId);
  return 0;
}

int Install(DWORD pid, HWND next, HWND page) {
  const double click = Now();
  PostMessageW(next, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return FindWindowOf(pid, L"安装", nullptr) != nullptr; })) return 2;
  const double shown = Now();
  if (!WaitFor([&] { return IsWindowVisible(page) && TextOf(next) == L"完毕"; })) return 2;
  const double done = Now();
  std::printf("{\"ms\": %.1f, \"click_to_dialog_ms\": %.1f}\n", done - shown, shown - click);
  return 0;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

// Prints every change of the texts of a window and its children, with milliseconds since
// the start, until the window `end` shows (or the two minutes are over).
int Trace(HWND window, HWND end) {
  const double start = Now();
  std::map<HWND, std::wstring> seen;
  WaitFor([&] {
    std::vector<HWND> all{window};
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&all));
    for (HWND h : all) {
      std::wstring text = TextOf(h);
      auto it = seen.find(h);
      if (it == seen.end() || it->second != text) {
        seen[h] = text;
        char utf8[512];
        int n =
            WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
        std::printf("%9.1f %s\n", Now() - start, n > 0 ? utf8 : "");
      }
    }
    return IsWindowVisible(end) != FALSE;
  });
  std::printf("%9.1f end\n", Now() - start);
  return 0;
}

int Uninstall(HWND next, HWND page) {
  const double click = Now();
  PostMessageW(next, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return IsWindowVisible(page) != FALSE; })) return 2;
  std::printf("{\"ms\": %.1f}\n", Now() - click);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  int code = 1;
  if (command == L"startup" && (argc == 4 || argc == 5)) {
    code = Startup(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  } else if (command == L"install" && argc == 5) {
    code = Install(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 0)), HandleArg(argv[3]),
                   HandleArg(argv[4]));
  } else if (command == L"trace" && argc == 4) {
    code = Trace(HandleArg(argv[2]), HandleArg(argv[3]));
  } else if (command == L"uninstall" && argc == 4) {
    code = Uninstall(HandleArg(argv[2]), HandleArg(argv[3]));
  } else {
    std::fprintf(stderr,
                 "usage: watch startup EXE TITLE [CHILD] | install PID NEXT PAGE | "
                 "uninstall NEXT PAGE\n");
  }
  LocalFree(argv);
  std::fflush(stdout);
  return code;
}
