// The owners of every kind of Win32 handle the programs use, and the scopes of the calls that
// come in pairs, so that each is given back on every path. All are owners of owner.h with a
// closer of their own. Part of the small Win32 toolkit.
#pragma once
#include <windows.h>
// (after <windows.h>)
#include <objbase.h>
#include <ole2.h>

#include "winkit/owner.h"

namespace winkit {

// Kernel handles (file, event, mapping, process, thread) and searches of FindFirstFileW.
// Both failure values of the creating calls (null, and INVALID_HANDLE_VALUE for files) count
// as no handle.
template <auto Close>
struct CloseHandleOrSearch : CloseWith<Close> {
  static bool Holds(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};
using Handle = Owner<HANDLE, CloseHandleOrSearch<&CloseHandle>>;
using FindHandle = Owner<HANDLE, CloseHandleOrSearch<&FindClose>>;

// Closes a kernel handle now and tells whether the system did (closing a written file flushes
// it, and a full disk may say no then). The owner holds nothing afterwards.
inline bool CloseNow(Handle& handle) { return CloseHandle(handle.release()) != FALSE; }

using Key = Owner<HKEY, CloseWith<&RegCloseKey>>;       // never a predefined root key
using Window = Owner<HWND, CloseWith<&DestroyWindow>>;  // destroyed with its children
using Atom = Owner<ATOM, CloseWith<&GlobalDeleteAtom>>;
template <class T>
using Gdi = Owner<T, CloseWith<&DeleteObject>>;          // font, brush, bitmap
using View = Owner<void*, CloseWith<&UnmapViewOfFile>>;  // of a mapped file

// Memory the system allocated for the caller: with LocalAlloc (FormatMessage's, a security
// descriptor's), with GlobalAlloc (a DDE command block, unless it was handed on), or by the
// shell or COM.
template <class T>
using LocalMem = Owner<T*, CloseWith<&LocalFree>>;
using GlobalMem = Owner<HGLOBAL, CloseWith<&GlobalFree>>;
template <class T>
using CoTaskMem = Owner<T*, CloseWith<&CoTaskMemFree>>;

// A COM interface pointer.
struct ReleaseInterface {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
class ComPtr : public Owner<T*, ReleaseInterface> {
 public:
  T* operator->() const { return this->get(); }
  // For QueryInterface and the creating calls, which return any interface as a void**.
  void** out() { return reinterpret_cast<void**>(Owner<T*, ReleaseInterface>::out()); }
};

// A device context: a window's from GetDC (the screen's for a null window), given back with
// ReleaseDC; or a memory one compatible with another, deleted.
struct WindowDc : Owner<HDC, CloseIn<HWND, &ReleaseDC>> {
  explicit WindowDc(HWND window) : Owner(GetDC(window), {window}) {}
};
struct MemoryDc : Owner<HDC, CloseWith<&DeleteDC>> {
  explicit MemoryDc(HDC like) : Owner(CreateCompatibleDC(like)) {}
};

// --- scopes of the calls that come in pairs: each holds what its first call returned -------

// A window's painting, from BeginPaint to EndPaint.
struct EndPainting {
  HWND window = nullptr;
  PAINTSTRUCT paint{};
  void operator()(HDC) const { EndPaint(window, &paint); }
};
struct Painting : Owner<HDC, EndPainting> {
  explicit Painting(HWND window) : Owner(nullptr, EndPainting{window, {}}) {
    Reset(BeginPaint(window, &closer().paint));
  }
};

// A device context's state, saved and put back.
struct SavedDc : Owner<int, CloseIn<HDC, &RestoreDC>> {
  explicit SavedDc(HDC dc) : Owner(SaveDC(dc), {dc}) {}
};

// A GDI object selected into a device context; the one it replaced goes back in, before the
// object or the DC is released.
struct Selected : Owner<HGDIOBJ, CloseIn<HDC, &SelectObject>> {
  Selected(HDC dc, HGDIOBJ object) : Owner(SelectObject(dc, object), {dc}) {}
};

// The process's error mode, set and put back.
struct SetErrorModeBack : CloseWith<&SetErrorMode> {
  static UINT None() { return ~0u; }  // no mode is all bits
};
struct ErrorMode : Owner<UINT, SetErrorModeBack> {
  explicit ErrorMode(UINT mode) : Owner(SetErrorMode(mode)) {}
};

// A global memory block locked for access.
struct GlobalLocked : Owner<void*, CloseIn<HGLOBAL, &GlobalUnlock>> {
  explicit GlobalLocked(HGLOBAL block) : Owner(GlobalLock(block), {block}) {}
};

// COM for the calling thread: OLE's (clipboard, drag and drop, the shell's dialogs) or COM's
// alone; ended only if it started.
struct OleSession : Owner<bool, CloseWith<&OleUninitialize>> {
  OleSession() = default;
  static OleSession Start() { return OleSession(SUCCEEDED(OleInitialize(nullptr))); }

 private:
  explicit OleSession(bool started) : Owner(started) {}
};
struct ComSession : Owner<bool, CloseWith<&CoUninitialize>> {
  ComSession() : Owner(SUCCEEDED(CoInitialize(nullptr))) {}
};

// A critical section; the system keeps its address, so it neither moves nor copies.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CRITICAL_SECTION& get() { return section_; }

 private:
  CRITICAL_SECTION section_;
};

// Holds a critical section for the lifetime of the lock.
struct Lock : Owner<CRITICAL_SECTION*, CloseWith<&LeaveCriticalSection>> {
  explicit Lock(CriticalSection& section) : Owner(&section.get()) { EnterCriticalSection(get()); }
};

}  // namespace winkit
