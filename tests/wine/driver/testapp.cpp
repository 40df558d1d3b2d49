// driver_testapp.exe: a small GUI program with the kinds of controls the real programs use
// (buttons, a check box, an edit, a report list view, a system message box and an own
// "Confirm" window), so that the driver's own tests have something known to drive.
// Every reaction is written into the label of id 110, which the tests read.
#include <windows.h>
// windows.h first
#include <commctrl.h>

#include <string>

namespace {

constexpr int kGo = 101, kCheck = 102, kEdit = 103, kOff = 104, kList = 105, kAsk = 106;
constexpr int kResult = 110;

HWND g_main = nullptr;
HINSTANCE g_instance = nullptr;
int g_confirmAnswer = 0;

std::wstring FromGbk(const char* s) {
  int n = MultiByteToWideChar(936, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, s, -1, w.data(), n);
  w.resize(n > 0 ? static_cast<std::size_t>(n) - 1 : 0);
  return w;
}

void SetResult(const std::wstring& text) { SetDlgItemTextW(g_main, kResult, text.c_str()); }

HWND Make(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
          int w, int h, int id) {
  return CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

LRESULT CALLBACK ConfirmProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && (LOWORD(wp) == IDYES || LOWORD(wp) == IDNO)) {
    g_confirmAnswer = LOWORD(wp);
    DestroyWindow(h);
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

// An own modal question window, made the way the programs make theirs: a top-level window
// titled "Confirm" with "&Yes" and "&No", run in a nested loop while the owner is disabled.
int AskConfirm() {
  HWND box = CreateWindowExW(WS_EX_DLGMODALFRAME, L"KorvTestConfirm", L"Confirm",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 200, 200, 260, 120,
                             g_main, nullptr, g_instance, nullptr);
  Make(box, L"STATIC", FromGbk("确定要继续吗?"), 0, 10, 10, 200, 20, 0xFFFF);
  Make(box, L"BUTTON", L"&Yes", BS_PUSHBUTTON, 20, 50, 80, 24, IDYES);
  Make(box, L"BUTTON", L"&No", BS_PUSHBUTTON, 120, 50, 80, 24, IDNO);
  g_confirmAnswer = 0;
  EnableWindow(g_main, FALSE);
  MSG m;
  while (IsWindow(box) && GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  EnableWindow(g_main, TRUE);
  return g_confirmAnswer;
}

void FillList(HWND lv) {
  const char* heads[] = {"盘符", "大小", "空闲"};
  for (int c = 0; c < 3; ++c) {
    std::wstring t = FromGbk(heads[c]);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = 70;
    col.pszText = t.data();
    SendMessageW(lv, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
  }
  const char* rows[][3] = {{"C:\\", "10 GB", "5 GB"}, {"D:\\", "20 GB", "七 GB"}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      std::wstring t = FromGbk(rows[r][c]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = r;
      item.iSubItem = c;
      item.pszText = t.data();
      SendMessageW(lv, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
}

LRESULT CALLBACK MainProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      g_main = h;
      Make(h, L"BUTTON", L"&Go", BS_PUSHBUTTON, 10, 10, 80, 24, kGo);
      Make(h, L"BUTTON", FromGbk("选项"), BS_AUTOCHECKBOX, 100, 10, 80, 24, kCheck);
      Make(h, L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, 10, 40, 200, 22, kEdit);
      HWND off = Make(h, L"BUTTON", L"Off", BS_PUSHBUTTON, 220, 40, 60, 24, kOff);
      EnableWindow(off, FALSE);
      Make(h, L"BUTTON", L"Ask", BS_PUSHBUTTON, 290, 40, 60, 24, kAsk);
      HWND lv = Make(h, WC_LISTVIEWW, L"", WS_BORDER | LVS_REPORT | LVS_SINGLESEL, 10, 70, 260, 90,
                     kList);
      SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      FillList(lv);
      Make(h, L"STATIC", L"ready", 0, 10, 170, 300, 20, kResult);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == kGo) {
        int r = MessageBoxW(h, FromGbk("中文的问题").c_str(), FromGbk("提示").c_str(),
                            MB_OKCANCEL | MB_ICONQUESTION);
        SetResult(L"msgbox=" + std::to_wstring(r));
      } else if (LOWORD(wp) == kAsk) {
        SetResult(L"confirm=" + std::to_wstring(AskConfirm()));
      } else if (LOWORD(wp) == kEdit && HIWORD(wp) == EN_CHANGE) {
        wchar_t buf[256] = {};
        GetDlgItemTextW(h, kEdit, buf, 256);
        SetResult(std::wstring(L"echo:") + buf);
      } else if (LOWORD(wp) == kOff) {
        SetResult(L"off pressed");
      }
      return 0;
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<NMHDR*>(lp);
      if (n->idFrom == kList && n->code == NM_DBLCLK) {
        auto* item = reinterpret_cast<NMITEMACTIVATE*>(lp);
        SetResult(L"dblclick=" + std::to_wstring(item->iItem));
      }
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(5);
      return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSW wc{};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"KorvDriverTest";
  RegisterClassW(&wc);
  wc.lpfnWndProc = ConfirmProc;
  wc.lpszClassName = L"KorvTestConfirm";
  RegisterClassW(&wc);
  CreateWindowExW(0, L"KorvDriverTest", FromGbk("驱动测试").c_str(),
                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 240, nullptr, nullptr, instance,
                  nullptr);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}
