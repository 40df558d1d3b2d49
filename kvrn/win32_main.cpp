// KVRN.exe: the application's window. It names the product and the document it was opened
// with (its command-line argument, as the ".Kvx" file type passes it), or says that none was
// given. Texts are GBK literals converted with code page 936, so the window reads the same
// whatever the system code page is.
#include <windows.h>

#include <string>

#include "kvrn/doc_arg.h"
#include "winkit/handles.h"
#include "winkit/system_dlls.h"
#include "winkit/text.h"

namespace {

constexpr wchar_t kClassName[] = L"KorvaneAppWindow";
// Control ids, fixed so that a test driver can read the texts.
constexpr int kIdDocLabel = 1000;
constexpr int kIdDocPath = 1001;  // read-only edit: the full path, empty when none
constexpr int kIdStatus = 1002;   // a note on the document
constexpr COLORREF kNavy = RGB(10, 47, 102);
constexpr COLORREF kPale = RGB(170, 196, 230);
constexpr int kClientWidth = 560;
constexpr int kClientHeight = 226;

bool FileExists(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return path;
  full.resize(n);
  return full;
}

struct Gdi {
  winkit::Gdi<HFONT> text, title, subtitle;
  winkit::Gdi<HBRUSH> white, navy;
};

struct AppState {
  Gdi gdi;
  std::wstring document;  // full path, empty when none was given
  bool found = false;
};

AppState* g_state = nullptr;

HWND AddControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                int x, int y, int w, int h, DWORD exStyle = 0) {
  HWND c = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(g_state->gdi.text.get()), FALSE);
  return c;
}

void CreateControls(HWND hwnd) {
  AppState& s = *g_state;
  AddControl(hwnd, L"STATIC", winkit::Widen("当前文档："), SS_LEFT, kIdDocLabel, 20, 84, 520, 16);
  AddControl(hwnd, L"EDIT", s.document, ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, kIdDocPath, 20,
             104, 520, 22, WS_EX_CLIENTEDGE);
  std::string note;
  if (s.document.empty())
    note = "未指定文档：程序启动时没有给出要打开的文档。";
  else if (s.found)
    note = "已打开此文档。";
  else
    note = "找不到此文档，请检查文件是否存在。";
  AddControl(hwnd, L"STATIC", winkit::Widen(note), SS_LEFT, kIdStatus, 20, 136, 520, 16);
  HWND close = AddControl(hwnd, L"BUTTON", winkit::Widen("关闭"), BS_DEFPUSHBUTTON | WS_TABSTOP,
                          IDCANCEL, 450, 182, 90, 26);
  SetFocus(close);
}

void Paint(HWND hwnd) {
  const winkit::Painting painting(hwnd);
  HDC dc = painting.get();
  RECT band = {0, 0, kClientWidth, 64};
  FillRect(dc, &band, g_state->gdi.navy.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  {
    winkit::Selected font(dc, g_state->gdi.title.get());
    TextOutW(dc, 20, 14, L"Korvane", 7);
    SelectObject(dc, g_state->gdi.subtitle.get());  // the original font comes back all the same
    SetTextColor(dc, kPale);
    std::wstring edition = winkit::Widen("v2.5（专业版）");
    RECT right = {0, 26, kClientWidth - 20, 50};
    DrawTextW(dc, edition.c_str(), static_cast<int>(edition.size()), &right,
              DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      CreateControls(hwnd);
      return 0;
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, RGB(255, 255, 255));
      SetTextColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(g_state->gdi.white.get());
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) SendMessageW(hwnd, WM_CLOSE, 0, 0);  // as the close box
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

HFONT MakeFont(int height, int weight, BYTE charset, const std::wstring& face) {
  return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     face.c_str());
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  winkit::UseSystemDllsOnly();
  AppState state;
  g_state = &state;
  state.gdi.text.Reset(MakeFont(12, FW_NORMAL, GB2312_CHARSET, winkit::kSongTi));
  state.gdi.title.Reset(MakeFont(30, FW_BOLD, DEFAULT_CHARSET, L"Tahoma"));
  state.gdi.subtitle.Reset(MakeFont(14, FW_NORMAL, GB2312_CHARSET, winkit::kSongTi));
  state.gdi.white.Reset(CreateSolidBrush(RGB(255, 255, 255)));
  state.gdi.navy.Reset(CreateSolidBrush(kNavy));

  std::wstring self(MAX_PATH, L'\0');
  DWORD selfLen = GetModuleFileNameW(nullptr, self.data(), MAX_PATH);
  self.resize(selfLen < MAX_PATH ? selfLen : 0);
  if (auto doc = kvrn::DocumentArgument(GetCommandLineW(), self, FileExists)) {
    state.document = FullPath(*doc);
    state.found = FileExists(state.document);
  }

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, L"MAINICON");
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 16, 16, 0));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = state.gdi.white.get();
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return 1;

  std::wstring title = L"Korvane";
  if (!state.document.empty()) {
    std::size_t slash = state.document.find_last_of(L"\\/");
    title = state.document.substr(slash == std::wstring::npos ? 0 : slash + 1) + L" - " + title;
  }
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  HWND hwnd =
      CreateWindowExW(0, kClassName, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  g_state = nullptr;
  return static_cast<int>(msg.wParam);
}
