// The benchmark's floor for the installer's start-up: the least that any program showing the
// installer's first screen with real windows must do, written directly against Win32 with
// nothing of our own in between. It starts COM, requests version 6 common controls through
// Setup's own application manifest, makes the hidden application window that owns the forms
// (with a stock icon in place of Setup's), shows a maximised backdrop (one solid fill instead of
// the stretched picture), and has a worker thread hand the wizard over to the GUI thread. The
// wizard shows its welcome page as six windows: the page, its two texts and the three buttons; the
// left picture and the rule above the buttons are painted by the wizard itself, and no other page
// exists yet.
//
// Comparing Setup with this program says how much of Setup's start-up is ours; comparing
// this program with the minimal window program says what the first screen costs by itself.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

namespace {

HWND g_app, g_backdrop, g_wizard;
HFONT g_font, g_bold;

constexpr int kStripWidth = 165, kBarHeight = 46;

LRESULT CALLBACK AppProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NULL && g_wizard && !IsWindowVisible(g_wizard)) {  // the worker's hand-over
    EnableWindow(g_backdrop, FALSE);
    ShowWindow(g_wizard, SW_SHOW);
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(h, &r);
      HDC dc = reinterpret_cast<HDC>(wp);
      FillRect(dc, &r, GetSysColorBrush(h == g_backdrop ? COLOR_HIGHLIGHT : COLOR_WINDOW));
      if (h == g_wizard) {  // the left picture's place and the rule above the buttons
        RECT strip{0, 0, kStripWidth, r.bottom - kBarHeight};
        FillRect(dc, &strip, GetSysColorBrush(COLOR_HIGHLIGHT));
        RECT rule{0, r.bottom - kBarHeight - 2, r.right, r.bottom - kBarHeight};
        DrawEdge(dc, &rule, BDR_SUNKENOUTER, BF_RECT);
      }
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return DefWindowProcW(h, msg, wp, lp);
}

DWORD WINAPI Worker(LPVOID) {
  PostMessageW(g_app, WM_NULL, 0, 0);
  return 0;
}

HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, RECT b, HWND parent, HFONT font) {
  HWND h =
      CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, b.left, b.top, b.right - b.left,
                      b.bottom - b.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return h;
}

HFONT Font(int height, bool bold) {
  LOGFONTW lf{};
  lf.lfHeight = -height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = GB2312_CHARSET;
  lstrcpyW(lf.lfFaceName, L"\x5B8B\x4F53");  // 宋体
  return CreateFontIndirectW(&lf);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  OleInitialize(nullptr);
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));       // IDI_APPLICATION, for Setup's
  HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  const struct {
    const wchar_t* name;
    WNDPROC proc;
  } classes[] = {{L"KorvFloorApp", AppProc}, {L"KorvFloorForm", FormProc}};
  for (const auto& k : classes) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = k.proc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = arrow;
    wc.lpszClassName = k.name;
    RegisterClassExW(&wc);
  }
  g_font = Font(12, false);
  g_bold = Font(14, true);
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);

  g_app = CreateWindowExW(0, L"KorvFloorApp", L"VantaSetup",
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                          screenW / 2, screenH / 2, 0, 0, nullptr, nullptr, instance, nullptr);
  g_backdrop = CreateWindowExW(0, L"KorvFloorForm", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 500, 408,
                               g_app, nullptr, instance, nullptr);

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD ex = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, 526, 352};
  AdjustWindowRectEx(&frame, style, FALSE, ex);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  g_wizard = CreateWindowExW(ex, L"KorvFloorForm", L"Korvanev2.5\xFF08\x4E13\x4E1A\x7248\xFF09",
                             style, (screenW - w) / 2, (screenH - h) / 2, w, h, g_app, nullptr,
                             instance, nullptr);
  HWND page = Child(L"KorvFloorForm", L"page1", WS_CLIPCHILDREN,
                    {kStripWidth, 0, 526, 352 - kBarHeight - 2}, g_wizard, g_font);
  Child(L"STATIC", L"\x6B22\x8FCE\x4F7F\x7528 Korvanev2.5\xFF08\x4E13\x4E1A\x7248\xFF09",
        SS_NOPREFIX, {24, 22, 264, 36}, page, g_bold);  // 欢迎使用 …
  Child(L"STATIC",
        L"\x5373\x5C06\x5728\x60A8\x7684\x7535\x8111\x4E0A\x5B89\x88C5\x201C"
        L"Korvanev2.5\xFF08\x4E13\x4E1A\x7248\xFF09\x201D \x8BF7\x70B9\x51FB\x201C\x4E0B\x4E00"
        L"\x6B65\x201D\x6309\x94AE\x7EE7\x7EED\x3002",  // 即将在您的电脑上安装… 请点击“下一步”…
        SS_NOPREFIX | SS_LEFT, {24, 66, 312, 114}, page, g_font);
  const wchar_t* buttons[] = {L"< \x8FD4\x56DE", L"\x4E0B\x4E00\x6B65 >", L"\x9000\x51FA"};
  for (int i = 0; i < 3; ++i) {
    const int left = 252 + 88 * i, top = 352 - kBarHeight + 11;
    HWND b = Child(L"BUTTON", buttons[i], BS_PUSHBUTTON | WS_TABSTOP,
                   {left, top, left + 77, top + 23}, g_wizard, g_font);
    if (i == 0) EnableWindow(b, FALSE);
  }

  ShowWindow(g_app, SW_SHOWNA);
  ShowWindow(g_backdrop, SW_SHOWMAXIMIZED);
  CloseHandle(CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr));
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  OleUninitialize();
  return 0;
}
