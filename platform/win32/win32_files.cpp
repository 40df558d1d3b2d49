// Files, folders, the Windows directory, the module path and the payload resources.
#include "platform/win32/win32_windows.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace plat {

using winkit::Narrow;
using winkit::Widen;

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

// The full path the system makes of `path` (relative to the current folder), for error texts.
std::string FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return Narrow(path);
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return Narrow(path);
  full.resize(written);
  return Narrow(full);
}

// This program's own file.
std::wstring OwnPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Where `bytes` lie in this program's own file, when they are part of its loaded image and
// of one section's bytes from the file (a payload resource is).
std::optional<LONGLONG> OwnFileOffset(std::string_view bytes) {
  const auto* base = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
  const auto start = reinterpret_cast<std::uintptr_t>(base);
  if (bytes.empty() || at < start || at - start >= nt->OptionalHeader.SizeOfImage) {
    return std::nullopt;
  }
  const auto rva = static_cast<DWORD>(at - start);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (rva < section->VirtualAddress) continue;
    const DWORD into = rva - section->VirtualAddress;
    if (into < section->SizeOfRawData && bytes.size() <= section->SizeOfRawData - into) {
      return static_cast<LONGLONG>(section->PointerToRawData) + into;
    }
  }
  return std::nullopt;
}

std::string FileError(const char* what, const std::wstring& path, DWORD code) {
  return std::string(what) + " \"" + FullPath(path) + "\". " + winkit::SystemMessage(code);
}

// Reads an open file to its end into `out`; returns 0 or the system error code.
DWORD ReadRest(HANDLE file, std::string& out) {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    out.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char chunk[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return GetLastError();
    if (got == 0) break;
    out.append(chunk, got);
  }
  return 0;
}

// Reads the whole file into `out`; returns 0 or the system error code.
DWORD ReadWhole(const std::wstring& path, std::string& out) {
  winkit::Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return GetLastError();
  return ReadRest(file.get(), out);
}

void WriteWhole(const std::wstring& wide, std::string_view bytes, DWORD disposition);

}  // namespace

bool Win32Platform::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32Platform::DirExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::CreateDir(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool Win32Platform::DeleteFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) != 0;
}

bool Win32Platform::RemoveDir(const std::string& path) {
  return RemoveDirectoryW(Widen(path).c_str()) != 0;
}

std::vector<DirEntry> Win32Platform::ListDir(const std::string& pattern) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAW data{};
  winkit::FindHandle search(FindFirstFileW(Widen(pattern).c_str(), &data));
  if (!search.valid()) return entries;
  do {
    entries.push_back(DirEntry{Narrow(data.cFileName), data.dwFileAttributes});
  } while (FindNextFileW(search.get(), &data));
  return entries;
}

std::optional<std::uint32_t> Win32Platform::Attributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == kNoAttributes) return std::nullopt;
  return attributes;
}

std::string Win32Platform::ReadFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  std::string bytes;
  if (const DWORD error = ReadWhole(wide, bytes)) {
    throw Error(FileError("Cannot open file", wide, error));
  }
  return bytes;
}

std::optional<std::string> Win32Platform::TryReadFile(const std::string& path) {
  std::string bytes;
  if (ReadWhole(Widen(path), bytes) != 0) return std::nullopt;
  return bytes;
}

std::optional<std::string> Win32Platform::ReadPlainFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  // The name itself is opened, a link included, so that what is read is what lies here.
  winkit::Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD error = file.valid() ? 0 : GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!error && !GetFileInformationByHandle(file.get(), &info)) error = GetLastError();
  // A link, or a file that is also known by other names, is not the product's own.
  if (!error &&
      ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
       info.nNumberOfLinks > 1)) {
    error = ERROR_ACCESS_DENIED;
  }
  std::string bytes;
  if (!error) error = ReadRest(file.get(), bytes);
  if (error) throw Error(FileError("Cannot open file", wide, error));
  return bytes;
}

void Win32Platform::WriteFile(const std::string& path, std::string_view bytes) {
  WriteWhole(Widen(path), bytes, CREATE_ALWAYS);
}

namespace {

// Creates the file with `disposition`, held without sharing while all bytes are written.
void WriteWhole(const std::wstring& wide, std::string_view bytes, DWORD disposition) {
  winkit::Handle file(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw Error(FileError("Cannot create file", wide, GetLastError()));
  auto write = [&](const char* data, std::size_t size) {
    DWORD written = 0;
    if (!::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
        written != size) {
      DWORD error = GetLastError();
      if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;
      throw Error(FileError("Cannot create file", wide, error));
    }
  };
  constexpr std::size_t kChunk = 1024u << 10;
  // Bytes of this program's own image (a payload entry) are copied from its file, so that
  // their pages are not brought into memory; should the file not read, the rest comes from
  // memory.
  if (const std::optional<LONGLONG> offset = OwnFileOffset(bytes)) {
    winkit::Handle own(CreateFileW(OwnPath().c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = *offset;
    if (own.valid() && SetFilePointerEx(own.get(), at, nullptr, FILE_BEGIN)) {
      std::string buffer(std::min(bytes.size(), kChunk), '\0');
      while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD got = 0;
        if (!::ReadFile(own.get(), buffer.data(), want, &got, nullptr) || got != want) break;
        write(buffer.data(), got);
        bytes.remove_prefix(got);
      }
    }
  }
  while (!bytes.empty()) {
    const std::size_t size = std::min(bytes.size(), kChunk);
    write(bytes.data(), size);
    bytes.remove_prefix(size);
  }
  // Closing flushes; a failure there (a full network disk, say) is a failed write too.
  if (!CloseHandle(file.release())) {
    throw Error(FileError("Cannot create file", wide, GetLastError()));
  }
}

}  // namespace

void Win32Platform::CreateHeldFile(const std::string& path, std::string_view bytes) {
  const std::wstring wide = Widen(path);
  // Whoever made a file of this name before keeps no say over it: it goes, whatever its
  // attributes, and the new file is made only where none exists, so it is ours.
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(wide.c_str());
  WriteWhole(wide, bytes, CREATE_NEW);
  // Held read-only with readers admitted and writers and deleters refused, so that the
  // program's own reads (which refuse other writers) still open it. A writer slipping in
  // between the write and this open is caught by reading the bytes back through the hold.
  winkit::Handle hold(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!hold.valid()) throw Error(FileError("Cannot create file", wide, GetLastError()));
  std::string back(bytes.size() + 1, '\0');
  DWORD got = 0;
  if (!::ReadFile(hold.get(), back.data(), static_cast<DWORD>(back.size()), &got, nullptr) ||
      std::string_view(back.data(), got) != bytes) {
    throw Error(FileError("Cannot create file", wide, ERROR_ACCESS_DENIED));
  }
  held_[path] = std::shared_ptr<void>(hold.release(), CloseHandle);
}

void Win32Platform::ReleaseHeldFile(const std::string& path) { held_.erase(path); }

std::string Win32Platform::WindowsDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  std::wstring dir;
  if (length > MAX_PATH) {
    dir.assign(length, L'\0');
    length = GetWindowsDirectoryW(dir.data(), length);
    dir.resize(length);
  } else {
    dir.assign(buffer, length);
  }
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return Narrow(dir);
}

std::string Win32Platform::ModuleFileName() { return Narrow(OwnPath()); }

std::string Win32Platform::ShortPathName(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (length == 0) return path;
  std::wstring buffer(length, L'\0');
  const DWORD written = GetShortPathNameW(wide.c_str(), buffer.data(), length);
  if (written == 0 || written >= length) return path;
  buffer.resize(written);
  return Narrow(buffer);
}

std::optional<std::string_view> Win32Platform::FindPayload(const std::string& name,
                                                           const std::string& type) {
  // Resources belong to the running program and stay mapped for its whole life: nothing is
  // released here.
  HRSRC info = FindResourceW(nullptr, Widen(name).c_str(), Widen(type).c_str());
  if (!info) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, info);
  if (!loaded) return std::nullopt;
  const DWORD size = SizeofResource(nullptr, info);
  const void* bytes = LockResource(loaded);
  if (!bytes) {
    if (size == 0) return std::string_view();
    return std::nullopt;
  }
  return std::string_view(static_cast<const char*>(bytes), size);
}

}  // namespace plat
