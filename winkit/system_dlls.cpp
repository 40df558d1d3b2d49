#include "winkit/system_dlls.h"

#include <string>

#include <windows.h>
// (after <windows.h>)
#include <commctrl.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace winkit {

namespace {

// The system folder's path with `name` appended; empty when it cannot be had.
std::wstring SystemPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT length = GetSystemDirectoryW(dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(dir, length) + L"\\" + name;
}

}  // namespace

// A system without the search flags (Vista and 7 without the update) refuses them: then by full
// path, which for a library that the manifest redirects gives the older version but never another
// folder's.
HMODULE LoadSystemDll(const wchar_t* name) {
  if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  const std::wstring path = SystemPath(name);
  return path.empty() ? nullptr
                      : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void UseSystemDllsOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // kernel32 is mapped in every process: this looks it up, it loads nothing.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
  // The system's own DLLs load these by name on first use (the theme library when the first
  // window is made, the drawing library when it first draws), and not every system applies the
  // search above to those loads (Vista and 7 without the update do not, nor does Wine for the
  // loads its DLLs put off until first use). Loaded from the system folder now, each is the one
  // every later load by its name finds; they stay loaded.
  LoadSystemDll(L"uxtheme.dll");
  LoadSystemDll(L"msimg32.dll");
}

bool InitCommonControlsFromSystem(unsigned long classes) {
  // By name, so that the manifest's side-by-side redirection to version 6 applies.
  const HMODULE controls = LoadSystemDll(L"comctl32.dll");
  if (!controls) return false;
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<InitFn>(
      reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControlsEx")));
  const INITCOMMONCONTROLSEX icc{sizeof icc, classes};
  return init && init(&icc);
}

}  // namespace winkit
