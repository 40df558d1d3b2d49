// Program Manager conversations. The DDE instance is a Unicode one (DdeInitializeW, string
// handles in CP_WINUNICODE) and execute commands travel as UTF-16, so that the shell, a Unicode
// server, reads Chinese group and item names the same under every system code page; an ANSI
// instance would have them converted with the system code page on the way.
//
// Wine's DDE layer cannot carry such commands: on the server side it takes execute data for
// UTF-16 only when no character is above U+00FF, and otherwise reads it as ANSI text in the
// server process's code page, so a Chinese UTF-16 command arrives cut to "[". Under Wine the
// command therefore goes as its GBK bytes, which Wine's shell reads correctly whenever its
// desktop process runs with code page 936 (whatever code page this program has); with any
// other code page there no form of the text would survive.
#include "platform/win32/win32_windows.h"

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"

namespace plat {

namespace {

// A client receives nothing it has to answer: acknowledgements of the asynchronous executes
// arrive as XTYP_XACT_COMPLETE and are ignored.
HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

bool RunningOnWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

class Win32DdeConversation final : public DdeConversation {
 public:
  Win32DdeConversation() {
    if (DdeInitializeW(&instance_, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
      instance_ = 0;
    }
  }
  Win32DdeConversation(const Win32DdeConversation&) = delete;
  Win32DdeConversation& operator=(const Win32DdeConversation&) = delete;
  ~Win32DdeConversation() override {
    Close();
    if (instance_) DdeUninitialize(instance_);
  }

  bool Open(const std::string& service, const std::string& topic) override {
    Close();
    if (!instance_) return false;
    service_ = DdeCreateStringHandleW(instance_, win32::Widen(service).c_str(), CP_WINUNICODE);
    topic_ = DdeCreateStringHandleW(instance_, win32::Widen(topic).c_str(), CP_WINUNICODE);
    if (!service_ || !topic_) return false;
    conv_ = DdeConnect(instance_, service_, topic_, nullptr);
    if (!conv_ && StartServer(service + " " + topic)) {
      conv_ = DdeConnect(instance_, service_, topic_, nullptr);
    }
    return conv_ != nullptr;
  }

  bool Execute(const std::string& command) override {
    if (!conv_) return false;
    std::wstring wide;
    std::string narrow;
    BYTE* data = nullptr;
    DWORD bytes = 0;
    UINT format = CF_UNICODETEXT;
    if (RunningOnWine()) {
      narrow = command.substr(0, command.find('\0'));
      data = reinterpret_cast<BYTE*>(narrow.data());
      bytes = static_cast<DWORD>(narrow.size() + 1);
      format = CF_TEXT;
    } else {
      wide = win32::Widen(command);
      data = reinterpret_cast<BYTE*>(wide.data());
      bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    }
    DWORD transaction = 0;
    // The data is copied into the transaction; the server's answer is not waited for.
    return DdeClientTransaction(data, bytes, conv_, nullptr, format, XTYP_EXECUTE, TIMEOUT_ASYNC,
                                &transaction) != nullptr;
  }

  void Close() override {
    if (conv_) DdeDisconnect(conv_);
    conv_ = nullptr;
    if (service_) DdeFreeStringHandle(instance_, service_);
    if (topic_) DdeFreeStringHandle(instance_, topic_);
    service_ = topic_ = nullptr;
  }

 private:
  // Starts the server's program, shown minimised without activation, and waits (as WinExec
  // does) until it is ready for input or a while has passed.
  static bool StartServer(const std::string& commandLine) {
    std::wstring line = win32::Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return false;
    }
    win32::Handle process(info.hProcess);
    win32::Handle thread(info.hThread);
    WaitForInputIdle(process.get(), 30000);
    return true;
  }

  DWORD instance_ = 0;
  HSZ service_ = nullptr;
  HSZ topic_ = nullptr;
  HCONV conv_ = nullptr;
};

}  // namespace

std::unique_ptr<DdeConversation> Win32Platform::NewDdeConversation() {
  return std::make_unique<Win32DdeConversation>();
}

}  // namespace plat
