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

// A kernel handle (file, event, mapping, process, thread). Both failure values of the creating
// calls (null, and INVALID_HANDLE_VALUE for files) count as no handle.
struct CloseKernelHandle {
  static bool Holds(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = Owner<HANDLE, CloseKernelHandle>;

// Closes a kernel handle now and tells whether the system did (closing a written file flushes
// it, and a full disk may say no then). The owner holds nothing afterwards.
inline bool CloseNow(Handle& handle) { return CloseHandle(handle.release()) != FALSE; }

// A search of FindFirstFileW.
struct CloseSearch {
  static bool Holds(HANDLE h) { return CloseKernelHandle::Holds(h); }
  void operator()(HANDLE h) const { FindClose(h); }
};
using FindHandle = Owner<HANDLE, CloseSearch>;

// A registry key. The predefined root keys are never closed.
struct CloseKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = Owner<HKEY, CloseKey>;

// A window, destroyed with its children.
struct DestroyWindowOf {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using Window = Owner<HWND, DestroyWindowOf>;

// A global atom.
struct DeleteGlobalAtom {
  void operator()(ATOM atom) const { GlobalDeleteAtom(atom); }
};
using Atom = Owner<ATOM, DeleteGlobalAtom>;

// A GDI object (font, brush, bitmap).
struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template <class T>
using Gdi = Owner<T, DeleteGdiObject>;

// A view of a mapped file.
struct UnmapView {
  void operator()(void* view) const { UnmapViewOfFile(view); }
};
using View = Owner<void*, UnmapView>;

// Memory the system allocated for the caller: with LocalAlloc (FormatMessage's, a security
// descriptor's), with GlobalAlloc (a DDE command block, unless it was handed on), or by the
// shell or COM.
struct FreeLocal {
  void operator()(void* p) const { LocalFree(p); }
};
template <class T>
using LocalMem = Owner<T*, FreeLocal>;
struct FreeGlobal {
  void operator()(HGLOBAL block) const { GlobalFree(block); }
};
using GlobalMem = Owner<HGLOBAL, FreeGlobal>;
struct FreeCoTaskMem {
  void operator()(void* p) const { CoTaskMemFree(p); }
};
template <class T>
using CoTaskMem = Owner<T*, FreeCoTaskMem>;

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
struct ReleaseDcOf {
  HWND window = nullptr;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};
struct WindowDc : Owner<HDC, ReleaseDcOf> {
  explicit WindowDc(HWND window) : Owner(GetDC(window), ReleaseDcOf{window}) {}
};
struct DeleteDcObject {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct MemoryDc : Owner<HDC, DeleteDcObject> {
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
struct RestoreDcState {
  HDC dc = nullptr;
  void operator()(int saved) const { RestoreDC(dc, saved); }
};
struct SavedDc : Owner<int, RestoreDcState> {
  explicit SavedDc(HDC dc) : Owner(SaveDC(dc), RestoreDcState{dc}) {}
};

// A GDI object selected into a device context; the one it replaced goes back in, before the
// object or the DC is released.
struct SelectBack {
  HDC dc = nullptr;
  void operator()(HGDIOBJ old) const { SelectObject(dc, old); }
};
struct Selected : Owner<HGDIOBJ, SelectBack> {
  Selected(HDC dc, HGDIOBJ object) : Owner(SelectObject(dc, object), SelectBack{dc}) {}
};

// The process's error mode, set and put back.
struct SetErrorModeBack {
  static UINT None() { return ~0u; }  // no mode is all bits
  void operator()(UINT old) const { SetErrorMode(old); }
};
struct ErrorMode : Owner<UINT, SetErrorModeBack> {
  explicit ErrorMode(UINT mode) : Owner(SetErrorMode(mode)) {}
};

// A global memory block locked for access.
struct UnlockGlobal {
  HGLOBAL block = nullptr;
  void operator()(void*) const { GlobalUnlock(block); }
};
struct GlobalLocked : Owner<void*, UnlockGlobal> {
  explicit GlobalLocked(HGLOBAL block) : Owner(GlobalLock(block), UnlockGlobal{block}) {}
};

// COM for the calling thread: OLE's (clipboard, drag and drop, the shell's dialogs) or COM's
// alone; ended only if it started.
struct EndOle {
  void operator()(bool) const { OleUninitialize(); }
};
struct OleSession : Owner<bool, EndOle> {
  OleSession() = default;
  static OleSession Start() { return OleSession(SUCCEEDED(OleInitialize(nullptr))); }

 private:
  explicit OleSession(bool started) : Owner(started) {}
};
struct EndCom {
  void operator()(bool) const { CoUninitialize(); }
};
struct ComSession : Owner<bool, EndCom> {
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
struct LeaveSection {
  void operator()(CRITICAL_SECTION* section) const { LeaveCriticalSection(section); }
};
struct Lock : Owner<CRITICAL_SECTION*, LeaveSection> {
  explicit Lock(CriticalSection& section) : Owner(&section.get()) { EnterCriticalSection(get()); }
};

}  // namespace winkit
