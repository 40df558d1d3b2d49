// Drives and free space, the single-instance section and the window activation calls.
#include "platform/win32/win32_windows.h"

#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace plat {

using winkit::Narrow;
using winkit::Widen;

namespace {
HWND ToHwnd(std::uintptr_t window) { return reinterpret_cast<HWND>(window); }
}  // namespace

std::string Win32Platform::LogicalDriveStrings() {
  constexpr DWORD kBufferChars = 260;
  wchar_t buffer[kBufferChars] = {};
  const DWORD written = GetLogicalDriveStringsW(kBufferChars, buffer);
  // A result above the buffer size means nothing was written.
  if (written == 0 || written > kBufferChars) return {};
  return Narrow(std::wstring_view(buffer, written));
}

int Win32Platform::DriveType(const std::string& root) {
  return static_cast<int>(GetDriveTypeW(Widen(root).c_str()));
}

bool Win32Platform::DiskFreeSpace(const std::string& root, std::uint64_t& freeToCaller,
                                  std::uint64_t& total) {
  ULARGE_INTEGER available{};
  ULARGE_INTEGER size{};
  if (!GetDiskFreeSpaceExW(Widen(root).c_str(), &available, &size, nullptr)) return false;
  freeToCaller = available.QuadPart;
  total = size.QuadPart;
  return true;
}

std::uintptr_t Win32Platform::OpenSharedSection(const std::string& name) {
  return reinterpret_cast<std::uintptr_t>(
      OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Widen(name).c_str()));
}

std::uintptr_t Win32Platform::CreateSharedSection(const std::string& name) {
  return reinterpret_cast<std::uintptr_t>(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, Widen(name).c_str()));
}

std::uint32_t* Win32Platform::MapSharedSection(std::uintptr_t section) {
  return static_cast<std::uint32_t*>(
      MapViewOfFile(reinterpret_cast<HANDLE>(section), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
}

void Win32Platform::UnmapSharedSection(std::uint32_t* view) { winkit::View::Drop(view); }

void Win32Platform::CloseSharedSection(std::uintptr_t section) {
  winkit::Handle::Drop(reinterpret_cast<HANDLE>(section));
}

void Win32Platform::SendRestore(std::uintptr_t window) {
  SendMessageW(ToHwnd(window), WM_SYSCOMMAND, SC_RESTORE, 0);
}

std::uintptr_t Win32Platform::LastActivePopup(std::uintptr_t window) {
  return reinterpret_cast<std::uintptr_t>(GetLastActivePopup(ToHwnd(window)));
}

bool Win32Platform::IsWindowVisibleAndEnabled(std::uintptr_t window) {
  return IsWindowVisible(ToHwnd(window)) && IsWindowEnabled(ToHwnd(window));
}

void Win32Platform::SetForegroundWindow(std::uintptr_t window) {
  ::SetForegroundWindow(ToHwnd(window));
}

}  // namespace plat
