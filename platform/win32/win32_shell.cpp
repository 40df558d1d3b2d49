// Shell folders, shell links, association change notice and ShellExecute.
#include "platform/win32/win32_windows.h"

#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/system_dlls.h"
#include "winkit/text.h"

namespace plat {

using winkit::Narrow;
using winkit::Widen;

namespace {

// A shell item list returned by the shell, freed with the COM allocator.
using Pidl = winkit::CoTaskMem<ITEMIDLIST>;

[[noreturn]] void ThrowComError(HRESULT hr) {
  std::string text = winkit::SystemMessage(static_cast<unsigned long>(hr));
  if (text.empty()) {
    // "OLE error %08lX", written without the C library's formatter (about 25 KB).
    text = "OLE error ";
    for (int shift = 28; shift >= 0; shift -= 4)
      text += "0123456789ABCDEF"[(static_cast<unsigned long>(hr) >> shift) & 0xF];
  }
  throw Error(text);
}

// Null for an empty text, so that ShellExecute takes its default (verb, folder).
const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The automation strings' allocator, from oleaut32, loaded when first needed: only the start
// of the application through the shell uses it, so the library is not loaded with the program.
struct BstrFunctions {
  BSTR(WINAPI* alloc)(const OLECHAR*, UINT) = nullptr;
  void(WINAPI* free)(BSTR) = nullptr;
};
const BstrFunctions& Bstr() {
  static const BstrFunctions functions = [] {
    BstrFunctions f;
    if (HMODULE automation = winkit::LoadSystemDll(L"oleaut32.dll")) {
      f.alloc = reinterpret_cast<decltype(f.alloc)>(
          reinterpret_cast<void*>(GetProcAddress(automation, "SysAllocStringLen")));
      f.free = reinterpret_cast<decltype(f.free)>(
          reinterpret_cast<void*>(GetProcAddress(automation, "SysFreeString")));
    }
    return f;
  }();
  return functions;
}

// A VARIANT that owns what it holds: a string (a BSTR), a number, or nothing.
class Variant {
 public:
  Variant() { v_.vt = VT_EMPTY; }
  explicit Variant(const std::wstring& text) {
    v_.vt = VT_BSTR;
    v_.bstrVal = Bstr().alloc(text.data(), static_cast<UINT>(text.size()));
  }
  explicit Variant(long number) {
    v_.vt = VT_I4;
    v_.lVal = number;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() {
    if (v_.vt == VT_BSTR && v_.bstrVal) Bstr().free(v_.bstrVal);
  }
  VARIANT* ptr() { return &v_; }
  const VARIANT& get() const { return v_; }
  bool ok() const { return v_.vt != VT_BSTR || v_.bstrVal; }

 private:
  VARIANT v_{};
};

// The automation object of the desktop shell's own process (its window on the desktop), or
// nothing when no desktop shell answers.
bool DesktopShellDispatch(winkit::ComPtr<IShellDispatch2>& shell) {
  winkit::ComPtr<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                              windows.out())) ||
      !windows.get()) {
    return false;
  }
  Variant desktopFolder(static_cast<long>(CSIDL_DESKTOP));
  Variant none;
  long window = 0;
  winkit::ComPtr<IDispatch> desktop;
  if (windows->FindWindowSW(desktopFolder.ptr(), none.ptr(), SWC_DESKTOP, &window,
                            SWFO_NEEDDISPATCH,
                            reinterpret_cast<IDispatch**>(desktop.out())) != S_OK ||
      !desktop.get()) {
    return false;
  }
  winkit::ComPtr<IServiceProvider> provider;
  winkit::ComPtr<IShellBrowser> browser;
  winkit::ComPtr<IShellView> view;
  winkit::ComPtr<IDispatch> background;
  winkit::ComPtr<IShellFolderViewDual> folderView;
  winkit::ComPtr<IDispatch> application;
  return SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, provider.out())) &&
         SUCCEEDED(
             provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.out())) &&
         SUCCEEDED(browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.out()))) &&
         view.get() &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.out())) &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.out())) &&
         SUCCEEDED(folderView->get_Application(reinterpret_cast<IDispatch**>(application.out()))) &&
         application.get() &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.out())) && shell.get();
}

}  // namespace

std::optional<std::string> Win32Platform::CommonDesktopDirectory() {
  Pidl pidl;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, pidl.out())) ||
      !pidl.get()) {
    return std::nullopt;
  }
  wchar_t path[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListW(pidl.get(), path)) return std::nullopt;
  std::wstring folder(path);
  if (folder.empty()) return std::nullopt;
  if (folder.back() == L'\\') folder.pop_back();
  return Narrow(folder);
}

void Win32Platform::CreateShellLink(const std::string& target, const std::string& workingDir,
                                    const std::optional<std::string>& savePath) {
  winkit::ComPtr<IShellLinkW> link;
  HRESULT hr =
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       IID_IShellLinkW, link.out());
  if (FAILED(hr) || !link.get()) ThrowComError(FAILED(hr) ? hr : E_NOINTERFACE);
  winkit::ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.out());
  if (FAILED(hr) || !file.get()) ThrowComError(FAILED(hr) ? hr : E_NOINTERFACE);

  // The outcomes of these three are deliberately not looked at: a target that does not exist
  // yet makes SetPath answer S_FALSE, and a failed save leaves no message.
  link->SetPath(Widen(target).c_str());
  link->SetWorkingDirectory(Widen(workingDir).c_str());
  if (savePath) file->Save(Widen(*savePath).c_str(), FALSE);
}

void Win32Platform::NotifyAssociationsChanged() {
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void Win32Platform::ShellExecute(std::uintptr_t owner, const std::string& verb,
                                 const std::string& file, const std::string& params,
                                 const std::string& dir, int show) {
  const std::wstring wverb = Widen(verb);
  const std::wstring wfile = Widen(file);
  const std::wstring wparams = Widen(params);
  const std::wstring wdir = Widen(dir);
  ShellExecuteW(reinterpret_cast<HWND>(owner), OrNull(wverb), wfile.c_str(), OrNull(wparams),
                OrNull(wdir), show);
}

bool Win32Platform::ShellExecuteAsUser(const std::string& verb, const std::string& file,
                                       const std::string& params, const std::string& dir,
                                       int show) {
  if (!Bstr().alloc || !Bstr().free) return false;
  winkit::ComPtr<IShellDispatch2> shell;
  if (!DesktopShellDispatch(shell)) return false;
  Variant name(Widen(file));
  Variant args(Widen(params));
  Variant folder(Widen(dir));
  Variant operation(Widen(verb));
  Variant showCommand(static_cast<long>(show));
  if (!name.ok() || !args.ok() || !folder.ok() || !operation.ok()) return false;
  const HRESULT hr = shell->ShellExecute(name.get().bstrVal, args.get(), folder.get(),
                                         operation.get(), showCommand.get());
  return SUCCEEDED(hr);
}

}  // namespace plat
