// Owners for every kind of Win32 handle the programs use, so that each is released on every
// path: kernel handles, searches, COM interfaces, COM, local and global memory, GDI objects,
// device contexts and critical sections. Part of the small Win32 toolkit.
#pragma once
#include <windows.h>
// (after <windows.h>)
#include <objbase.h>

#include <utility>

namespace winkit {

// A kernel handle closed with CloseHandle. Both failure values of the creating calls (null, and
// INVALID_HANDLE_VALUE for files) count as no handle.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }

  HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (valid()) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// A search handle of FindFirstFileW.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (valid()) FindClose(h_);
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }

 private:
  HANDLE h_;
};

// A COM interface pointer, released when it goes.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// Memory the shell or COM allocated for the caller, freed with CoTaskMemFree.
template <class T>
class CoTaskMem {
 public:
  CoTaskMem() = default;
  explicit CoTaskMem(T* p) : p_(p) {}
  CoTaskMem(const CoTaskMem&) = delete;
  CoTaskMem& operator=(const CoTaskMem&) = delete;
  ~CoTaskMem() {
    if (p_) CoTaskMemFree(p_);
  }
  T* get() const { return p_; }
  T** out() { return &p_; }

 private:
  T* p_ = nullptr;
};

// A buffer the system allocated for the caller with LocalAlloc (FormatMessage's), freed
// with LocalFree.
template <class T>
class LocalMem {
 public:
  LocalMem() = default;
  LocalMem(const LocalMem&) = delete;
  LocalMem& operator=(const LocalMem&) = delete;
  ~LocalMem() {
    if (p_) LocalFree(p_);
  }
  T* get() const { return p_; }
  T** out() { return &p_; }

 private:
  T* p_ = nullptr;
};

// A global memory block, freed with GlobalFree unless it was handed on (a DDE command block
// that the receiver frees).
class GlobalMem {
 public:
  explicit GlobalMem(HGLOBAL block) : block_(block) {}
  GlobalMem(const GlobalMem&) = delete;
  GlobalMem& operator=(const GlobalMem&) = delete;
  ~GlobalMem() {
    if (block_) GlobalFree(block_);
  }
  HGLOBAL get() const { return block_; }
  HGLOBAL release() { return std::exchange(block_, nullptr); }

 private:
  HGLOBAL block_;
};

// A GDI object (font, brush, bitmap) deleted with DeleteObject. Movable, so that caches can
// hold them.
template <class T>
class Gdi {
 public:
  Gdi() = default;
  explicit Gdi(T object) : object_(object) {}
  Gdi(Gdi&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Gdi& operator=(Gdi&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  Gdi(const Gdi&) = delete;
  Gdi& operator=(const Gdi&) = delete;
  ~Gdi() { Reset(); }
  T get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset(T object = nullptr) {
    if (object_) DeleteObject(object_);
    object_ = object;
  }

 private:
  T object_ = nullptr;
};

// A window's device context from GetDC (the screen's for a null window), released with
// ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory device context compatible with another, deleted with DeleteDC.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A critical section, initialised on construction and deleted on destruction.
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
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  explicit Lock(CriticalSection& section) : Lock(section.get()) {}
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION& section_;
};

// Selects a GDI object into a device context and puts the one it replaced back at the end of
// the scope, before the object or the DC is released.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;
  ~Selected() {
    if (old_) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace winkit
