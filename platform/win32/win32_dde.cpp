// Program Manager conversations, held with the DDE messages themselves on a hidden window of
// the calling (GUI) thread. Executes are posted and not waited for, and closing posts the
// terminate and goes on: the server's acknowledgements and its answering terminate are handled
// whenever the thread next pumps messages. (The DDE management library would wait in its
// disconnect until the server had carried out every command sent.)
//
// Command text travels as UTF-16 to a Unicode server window, so that the shell reads Chinese
// group and item names the same under every system code page; an ANSI server gets the bytes
// of the system code page, which is what it reads.
//
// The programs run elevated, and Windows keeps messages of a process of lower integrity (the
// shell) from their windows: the client window lets the server's replies in.
//
// Wine's DDE layer cannot carry such commands: on the server side it takes execute data for
// UTF-16 only when no character is above U+00FF, and otherwise reads it as ANSI text in the
// server process's code page, so a Chinese UTF-16 command arrives cut to "[". Under Wine the
// command therefore goes as its GBK bytes, which Wine's shell reads correctly whenever its
// desktop process runs with code page 936 (whatever code page this program has); with any
// other code page there no form of the text would survive.
#include "platform/win32/win32_windows.h"

#include <dde.h>

#include <cstring>

#include "common/progman.h"
#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace plat {

namespace {

constexpr wchar_t kClientClass[] = L"KorvDdeClient";
// How long a broadcast initiate waits for each window, and how long a closing conversation
// object waits for the server's answering terminate.
constexpr UINT kInitiateTimeoutMs = 2000;
constexpr DWORD kTerminateWaitMs = 2000;

bool RunningOnWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

class Win32DdeConversation final : public DdeConversation {
 public:
  Win32DdeConversation() = default;
  Win32DdeConversation(const Win32DdeConversation&) = delete;
  Win32DdeConversation& operator=(const Win32DdeConversation&) = delete;
  ~Win32DdeConversation() override {
    Close();
    if (!window_) return;
    AwaitTerminateReplies();
    // Acknowledgements that never came leave their command blocks to the process's end.
    window_.Reset();
  }

  bool Open(const std::string& service, const std::string& topic) override {
    Close();
    if (!CreateClientWindow()) return false;
    server_ = Initiate(service, topic);
    if (!server_ && StartServer(service, topic)) server_ = Initiate(service, topic);
    return server_ != nullptr;
  }

  bool Execute(const std::string& command) override {
    if (!server_) return false;
    std::wstring wide;
    std::string narrow;
    const void* data = nullptr;
    SIZE_T bytes = 0;
    const std::string text = command.substr(0, command.find('\0'));
    switch (ExecuteTextForm(RunningOnWine(), IsWindowUnicode(server_) != FALSE)) {
      case DdeTextForm::Utf16:
        wide = winkit::Widen(text);
        data = wide.c_str();
        bytes = (wide.size() + 1) * sizeof(wchar_t);
        break;
      case DdeTextForm::SystemCodePage:
        narrow = winkit::ToCodePage(winkit::Widen(text), CP_ACP);
        data = narrow.c_str();
        bytes = narrow.size() + 1;
        break;
      case DdeTextForm::Gbk:
        data = text.c_str();
        bytes = text.size() + 1;
        break;
    }
    // The block goes to the server and comes back with its acknowledgement, which frees it.
    winkit::GlobalMem block(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes));
    if (!block.get()) return false;
    {
      const winkit::GlobalLocked locked(block.get());
      if (!locked) return false;
      std::memcpy(locked.get(), data, bytes);
    }
    if (!PostMessageW(server_, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(window_.get()),
                      reinterpret_cast<LPARAM>(block.get())))
      return false;
    block.release();  // the server has it now
    return true;
  }

  void Close() override {
    if (!server_) return;
    if (PostMessageW(server_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_.get()), 0)) {
      ++awaitedTerminates_;
    }
    server_ = nullptr;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32DdeConversation*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message >= WM_DDE_FIRST && message <= WM_DDE_LAST) {
      self->Received(message, reinterpret_cast<HWND>(wParam), lParam);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void Received(UINT message, HWND from, LPARAM lParam) {
    if (message == WM_DDE_ACK && initiating_) {
      // A server answering the initiate (sent, so the atoms are not packed): the first one
      // is the partner, any other is told goodbye.
      winkit::Atom::Drop(LOWORD(lParam));
      winkit::Atom::Drop(HIWORD(lParam));
      if (!answered_) {
        answered_ = from;
      } else {
        PostMessageW(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_.get()), 0);
      }
    } else if (message == WM_DDE_ACK) {
      // The acknowledgement of an execute hands its command block back.
      UINT_PTR status = 0;
      UINT_PTR block = 0;
      if (UnpackDDElParam(WM_DDE_ACK, lParam, &status, &block))
        winkit::GlobalMem returned(reinterpret_cast<HGLOBAL>(block));
      FreeDDElParam(WM_DDE_ACK, lParam);
    } else if (message == WM_DDE_TERMINATE) {
      if (from == server_) {
        // The server ends the conversation: answer, and it is closed.
        PostMessageW(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_.get()), 0);
        server_ = nullptr;
      } else if (awaitedTerminates_ > 0) {
        --awaitedTerminates_;
      }
    }
  }

  bool CreateClientWindow() {
    if (window_) return true;
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClientClass;
    RegisterClassW(&wc);  // fails harmlessly when an earlier conversation registered it
    window_.Reset(CreateWindowExW(0, kClientClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr));
    if (!window_) return false;
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    AllowServerReplies(window_.get());
    return true;
  }

  // Asks every top-level window for the service and topic; the first server that answers.
  HWND Initiate(const std::string& service, const std::string& topic) {
    const winkit::Atom app(GlobalAddAtomW(winkit::Widen(service).c_str()));
    const winkit::Atom subject(GlobalAddAtomW(winkit::Widen(topic).c_str()));
    answered_ = nullptr;
    if (app && subject) {
      initiating_ = true;
      SendMessageTimeoutW(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_.get()),
                          MAKELPARAM(app.get(), subject.get()), SMTO_ABORTIFHUNG,
                          kInitiateTimeoutMs, nullptr);
      initiating_ = false;
    }
    return answered_;
  }

  // Handles this window's DDE messages until every terminate posted has been answered, or a
  // while has passed.
  void AwaitTerminateReplies() {
    const ULONGLONG deadline = GetTickCount64() + kTerminateWaitMs;
    while (awaitedTerminates_ > 0) {
      MSG msg;
      while (awaitedTerminates_ > 0 &&
             PeekMessageW(&msg, window_.get(), WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
        DispatchMessageW(&msg);
      }
      const ULONGLONG now = GetTickCount64();
      if (awaitedTerminates_ == 0 || now >= deadline) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                QS_POSTMESSAGE);
    }
  }

  // Lets the server's answers (acknowledgements, data, terminates) reach the window from a
  // process of lower integrity. Looked up at run time: the call is there from Windows 7 on.
  static void AllowServerReplies(HWND window) {
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto filter = reinterpret_cast<Filter>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
    if (!filter) return;
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    for (UINT message : {WM_DDE_ACK, WM_DDE_DATA, WM_DDE_TERMINATE})
      filter(window, message, kAllow, nullptr);
  }

  // Starts the service's program by full path, from the system folder or else the Windows
  // folder (only if it is there), shown minimised without activation, and waits (as WinExec
  // does) until it is ready for input or a while has passed.
  static bool StartServer(const std::string& service, const std::string& topic) {
    Win32Platform system;
    for (const std::string& program :
         ServerProgramPaths(system.SystemDirectory(), system.WindowsDirectory(), service)) {
      const DWORD attributes = GetFileAttributesW(winkit::Widen(program).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return StartProgram(program, topic);
    }
    return false;
  }

  static bool StartProgram(const std::string& program, const std::string& topic) {
    const std::wstring path = winkit::Widen(program);
    std::wstring line = winkit::Widen(ServerCommandLine(program, topic));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return false;
    }
    winkit::Handle process(info.hProcess);
    winkit::Handle thread(info.hThread);
    WaitForInputIdle(process.get(), 30000);
    return true;
  }

  winkit::Window window_;
  HWND server_ = nullptr;    // the partner of the open conversation
  HWND answered_ = nullptr;  // the first server to answer the initiate under way
  bool initiating_ = false;
  int awaitedTerminates_ = 0;
};

}  // namespace

std::unique_ptr<DdeConversation> Win32Platform::NewDdeConversation() {
  return std::make_unique<Win32DdeConversation>();
}

}  // namespace plat
