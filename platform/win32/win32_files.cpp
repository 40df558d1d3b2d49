// Files, folders, the Windows directory, the module path and the payload resources.
#include "platform/win32/win32_windows.h"
// (after <windows.h>)
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "common/links.h"
#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace plat {

using winkit::Narrow;
using winkit::Widen;

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Opens the name itself, a link as the link, and a folder as well as a file.
constexpr DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
// A folder held open so that it can be read and walked through but not renamed, moved or
// deleted by anyone else while the handle lives (no FILE_SHARE_DELETE).
constexpr DWORD kHoldAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// What a handle tells of what it has open.
struct HandleFacts {
  DWORD attributes = 0;
  DWORD tag = 0;
  DWORD links = 1;
  DWORD volume = 0;
  ULONGLONG id = 0;
};

bool FactsOf(HANDLE handle, HandleFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  facts.attributes = info.dwFileAttributes;
  facts.links = info.nNumberOfLinks;
  facts.volume = info.dwVolumeSerialNumber;
  facts.id = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
    facts.tag = tag.ReparseTag;
  return true;
}

// Whether what `handle` has open at `path` is a link. Opened without following, the handle is
// the link itself and tells its tag. Wine's open follows a link to a folder and only the name
// carries the reparse-point attribute: then the name decides, without a tag.
bool IsLinkAt(const HandleFacts& facts, const std::wstring& path) {
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return IsLinkReparse(facts.attributes, facts.tag);
  const DWORD byName = GetFileAttributesW(path.c_str());
  return byName != kNoAttributes && IsLinkReparse(byName, 0);
}

bool DeleteThrough(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// The folders on the way from a base folder to a path below it, each opened without following
// a link and held, so that the path leads through exactly these folders while they are held.
// Open returns 0, a system error code, or kLinkOnTheWay.
constexpr DWORD kLinkOnTheWay = 0xFFFFFFFF;
class FoldersHeld {
 public:
  DWORD Open(const std::wstring& base, const std::string& relPath) {
    for (const std::string& folder : FoldersOnTheWay(relPath)) {
      const std::wstring path = base + L"\\" + Widen(folder);
      winkit::Handle held(CreateFileW(path.c_str(), kHoldAccess, kHoldShare, nullptr, OPEN_EXISTING,
                                      kNoFollow, nullptr));
      if (!held) return GetLastError();
      HandleFacts facts;
      if (!FactsOf(held.get(), facts)) return GetLastError();
      if (IsLinkAt(facts, path)) return kLinkOnTheWay;
      if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_PATH_NOT_FOUND;
      held_.push_back(std::move(held));
    }
    return 0;
  }

 private:
  std::vector<winkit::Handle> held_;
};

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

// This program's own file, opened by its name, when it is proven to be the file that the
// running image was mapped from. The name may lead elsewhere by now: the file may have been
// renamed and another put in its place while the program ran, or before its first line (during
// the elevation prompt). The system compares a view of the opened file with the image.
winkit::Handle OpenOwnImageFile() {
  using SameFileFn = LONG(NTAPI*)(PVOID, PVOID);
  // ntdll is mapped in every process: this looks it up, it loads nothing.
  const auto sameFile = reinterpret_cast<SameFileFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtAreMappedFilesTheSame")));
  if (!sameFile) return {};
  winkit::Handle own(CreateFileW(OwnPath().c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!own) return {};
  const winkit::Handle mapping(
      CreateFileMappingW(own.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return {};
  const winkit::View view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1));
  // STATUS_SUCCESS only: the same file.
  if (!view || sameFile(GetModuleHandleW(nullptr), view.get()) != 0) return {};
  return own;
}

// The file above, proven once and held for the program's life, or null. A handle stays on the
// file it was opened on whatever becomes of the name, and while it is held nobody can open the
// file for writing; so every payload entry is copied from it without proving it again.
HANDLE OwnImageFile() {
  static const winkit::Handle own = OpenOwnImageFile();
  return own ? own.get() : nullptr;
}

std::string FileError(const char* what, const std::wstring& path, DWORD code) {
  return std::string(what) + " \"" + FullPath(path) + "\". " + winkit::SystemMessage(code);
}

// Reads the whole of an open file from its start into `out`; returns 0 or the error code.
DWORD ReadAll(HANDLE file, std::string& out) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return GetLastError();
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
  if (!file) return GetLastError();
  return ReadAll(file.get(), out);
}

void WriteWhole(const std::wstring& wide, std::string_view bytes, DWORD disposition,
                winkit::Handle* keep = nullptr);

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

bool Win32Platform::CreateProtectedDir(const std::string& path) {
  // Protected (P): nothing inherited from above. SYSTEM and Administrators full control, Users
  // read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE), each for the folder, its
  // sub-folders and files (OICI).
  constexpr wchar_t kAccess[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  winkit::LocalMem<void> descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAccess, SDDL_REVISION_1,
                                                            descriptor.out(), nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor.get(), FALSE};
  return CreateDirectoryW(Widen(path).c_str(), &security) != 0;
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
  if (!search) return entries;
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

// A file this program holds is read through its hold, which no other opener could share.
DWORD Win32Platform::ReadPath(const std::string& path, std::string& out) {
  const auto held = held_.find(path);
  if (held != held_.end()) return ReadAll(held->second.get(), out);
  return ReadWhole(Widen(path), out);
}

std::string Win32Platform::ReadFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  std::string bytes;
  if (const DWORD error = ReadPath(path, bytes)) {
    throw Error(FileError("Cannot open file", wide, error));
  }
  return bytes;
}

std::optional<std::string> Win32Platform::TryReadFile(const std::string& path) {
  std::string bytes;
  if (ReadPath(path, bytes) != 0) return std::nullopt;
  return bytes;
}

std::optional<std::string> Win32Platform::ReadPlainFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  // The name itself is opened, a link included, so that what is read is what lies here.
  winkit::Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD error = file ? 0 : GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
  HandleFacts facts;
  if (!error && !FactsOf(file.get(), facts)) error = GetLastError();
  // A link, or a file that is also known by other names, is not the product's own.
  if (!error &&
      ((facts.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
       facts.links > 1)) {
    error = ERROR_ACCESS_DENIED;
  }
  std::string bytes;
  if (!error) error = ReadAll(file.get(), bytes);
  if (error) throw Error(FileError("Cannot open file", wide, error));
  return bytes;
}

void Win32Platform::WriteFile(const std::string& path, std::string_view bytes) {
  WriteWhole(Widen(path), bytes, OPEN_ALWAYS);
}

namespace {

// Opens the file for writing without following a link at its name: OPEN_ALWAYS replaces what
// is there and CREATE_NEW makes a file only where nothing is. A reparse point at the name is
// refused, and a file with other hard links is deleted and made anew rather than truncated,
// so that no other name's file changes with it. Held without sharing.
winkit::Handle OpenForWriting(const std::wstring& wide, DWORD disposition, DWORD share) {
  // Deleting is asked for only where a file may be there to replace: a reader of a new file
  // that is kept open then need not let a deleter be.
  const DWORD kAccess = GENERIC_READ | GENERIC_WRITE | (disposition == CREATE_NEW ? 0 : DELETE);
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  auto fail = [&](DWORD code) { throw Error(FileError("Cannot create file", wide, code)); };
  winkit::Handle file(
      CreateFileW(wide.c_str(), kAccess, share, nullptr, disposition, kFlags, nullptr));
  if (!file) fail(GetLastError());
  HandleFacts facts;
  if (!FactsOf(file.get(), facts)) fail(GetLastError());
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    throw Error("Cannot create file \"" + FullPath(wide) + "\". The name is a link");
  }
  if (facts.links > 1) {
    if (!DeleteThrough(file.get())) fail(GetLastError());
    file.Reset();
    file = winkit::Handle(
        CreateFileW(wide.c_str(), kAccess, share, nullptr, CREATE_NEW, kFlags, nullptr));
    if (!file) fail(GetLastError());
  } else if (!SetEndOfFile(file.get())) {
    fail(GetLastError());
  }
  return file;
}

// Creates the file with `disposition`, held without sharing while all bytes are written. With
// `keep`, the handle is handed over open instead of closed.
void WriteWhole(const std::wstring& wide, std::string_view bytes, DWORD disposition,
                winkit::Handle* keep) {
  // Bytes of this program's own image (a payload entry) are copied from its file, so that
  // their pages are not brought into memory, but only through the handle proven to be the
  // file the image was mapped from; otherwise, and should the file not read, they come from
  // memory.
  const std::optional<LONGLONG> offset = OwnFileOffset(bytes);
  const HANDLE own = offset ? OwnImageFile() : nullptr;
  // A file kept open lets readers in while it is held; otherwise nobody shares it.
  winkit::Handle file = OpenForWriting(wide, disposition, keep ? FILE_SHARE_READ : 0);
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
  // One copy at a time moves the shared handle's file position. Plain reads from it: reads
  // that each name their offset cost Wine a quarter more time for a 64 MB entry.
  static winkit::CriticalSection ownFileInUse;
  const std::optional<winkit::Lock> copying =
      own ? std::optional<winkit::Lock>(std::in_place, ownFileInUse) : std::nullopt;
  LARGE_INTEGER at;
  at.QuadPart = offset.value_or(0);
  if (own && SetFilePointerEx(own, at, nullptr, FILE_BEGIN)) {
    std::string buffer(std::min(bytes.size(), kChunk), '\0');
    while (!bytes.empty()) {
      const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
      DWORD got = 0;
      if (!::ReadFile(own, buffer.data(), want, &got, nullptr) || got != want) break;
      write(buffer.data(), got);
      bytes.remove_prefix(got);
    }
  }
  while (!bytes.empty()) {
    const std::size_t size = std::min(bytes.size(), kChunk);
    write(bytes.data(), size);
    bytes.remove_prefix(size);
  }
  if (keep) {
    *keep = std::move(file);
    return;
  }
  // Closing flushes; a failure there (a full network disk, say) is a failed write too.
  if (!winkit::CloseNow(file)) {
    throw Error(FileError("Cannot create file", wide, GetLastError()));
  }
}

}  // namespace

void Win32Platform::CreateHeldFile(const std::string& path, std::string_view bytes) {
  const std::wstring wide = Widen(path);
  held_.erase(path);
  // Whoever made a file of this name before keeps no say over it: it goes, whatever its
  // attributes, opened as itself (a link as the link, never what it leads to) and deleted
  // through that handle. A folder of the name stays, and then no file can be made.
  {
    winkit::Handle old(CreateFileW(wide.c_str(),
                                   DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                   nullptr, OPEN_EXISTING, kNoFollow, nullptr));
    HandleFacts facts;
    if (old && FactsOf(old.get(), facts) &&
        (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
         (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
      FILE_BASIC_INFO basic{};
      basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      if (facts.attributes & FILE_ATTRIBUTE_READONLY)
        SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic);
      DeleteThrough(old.get());
    }
  }
  // Made only where nothing is now, so it is ours, and held by the very handle that wrote
  // it: readers admitted, no other writer or deleter, and no gap in which one could slip in.
  winkit::Handle hold;
  WriteWhole(wide, bytes, CREATE_NEW, &hold);
  held_[path] = HeldFile(hold.release());
}

void Win32Platform::ReleaseHeldFile(const std::string& path) { held_.erase(path); }

void Win32Platform::CloseHeldFile::operator()(void* handle) const { winkit::Handle::Drop(handle); }

// --- below a folder, without following links --------------------------------------------

void Win32Platform::WriteFileBelow(const std::string& base, const std::string& relPath,
                                   std::string_view bytes) {
  const std::wstring top = WithoutTrailingSeparators(Widen(base));
  const std::wstring wide = top + L"\\" + Widen(relPath);
  FoldersHeld folders;
  if (const DWORD error = folders.Open(top, relPath)) {
    if (error == kLinkOnTheWay)
      throw Error("Cannot create file \"" + FullPath(wide) + "\". The path passes through a link");
    throw Error(FileError("Cannot create file", wide, error));
  }
  WriteWhole(wide, bytes, OPEN_ALWAYS);
}

namespace {

// Deletes what `path` names if it is a file (or a link, as the link), by one handle.
bool DeleteFileAt(const std::wstring& path) {
  winkit::Handle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, kNoFollow, nullptr));
  if (!file) return false;
  HandleFacts facts;
  if (!FactsOf(file.get(), facts)) return false;
  // A folder is not deleted here; a link to one only where the handle has the link itself
  // open (a handle that Wine opened through it has the folder it leads to).
  if ((facts.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !IsLinkReparse(facts.attributes, facts.tag)) {
    SetLastError(ERROR_ACCESS_DENIED);  // as DeleteFile answers for a folder
    return false;
  }
  return DeleteThrough(file.get());
}

class Win32HeldFolder final : public HeldFolder {
 public:
  Win32HeldFolder(std::wstring path, winkit::Handle handle, const HandleFacts& facts)
      : path_(std::move(path)), handle_(std::move(handle)), facts_(facts) {
    link_ = IsLinkAt(facts_, path_);
  }

  bool IsLink() override { return link_; }

  std::vector<DirEntry> List() override {
    std::vector<DirEntry> entries;
    if (link_ || !StillHeld()) return entries;
    alignas(8) char buffer[16 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle_.get(), kind, buffer, sizeof buffer)) {
      kind = FileIdBothDirectoryInfo;
      for (std::size_t at = 0;;) {
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
        std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        if (name != L"." && name != L"..") {
          // With the reparse-point attribute, the extended-attribute size holds the tag.
          const DWORD tag =
              (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? entry->EaSize : 0;
          entries.push_back(DirEntry{Narrow(name), entry->FileAttributes, tag});
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
      }
    }
    return entries;
  }

  bool DeleteFile(const std::string& name) override {
    if (link_ || !StillHeld()) return false;
    return DeleteFileAt(path_ + L"\\" + Widen(name));
  }

  bool Remove() override {
    if (link_) {
      // Only a handle that has the link itself open removes it as a link; one that the
      // system opened through the link would remove what it leads to.
      if (!(facts_.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    } else if (!StillHeld()) {
      return false;
    }
    // Closing the handle carries the deletion out; a folder still full stays held.
    if (!DeleteThrough(handle_.get())) return false;
    handle_.Reset();
    return true;
  }

 private:
  // The folder's name still leads to the folder held and is no link. Always so where the
  // hold keeps others from renaming it (Windows); under Wine a Linux process can.
  bool StillHeld() {
    if (!handle_) return false;
    winkit::Handle now(CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, kNoFollow, nullptr));
    HandleFacts facts;
    return now && FactsOf(now.get(), facts) && !IsLinkAt(facts, path_) &&
           facts.volume == facts_.volume && facts.id == facts_.id;
  }

  std::wstring path_;
  winkit::Handle handle_;
  HandleFacts facts_;
  bool link_ = false;
};

}  // namespace

bool Win32Platform::DeleteFileBelow(const std::string& base, const std::string& relPath) {
  const std::wstring top = WithoutTrailingSeparators(Widen(base));
  FoldersHeld folders;
  if (folders.Open(top, relPath) != 0) return false;
  return DeleteFileAt(top + L"\\" + Widen(relPath));
}

std::unique_ptr<HeldFolder> Win32Platform::OpenFolder(const std::string& path) {
  std::wstring wide = WithoutTrailingSeparators(Widen(path));
  winkit::Handle handle(CreateFileW(wide.c_str(), kHoldAccess | DELETE, kHoldShare, nullptr,
                                    OPEN_EXISTING, kNoFollow, nullptr));
  HandleFacts facts;
  if (!handle || !FactsOf(handle.get(), facts) || !(facts.attributes & FILE_ATTRIBUTE_DIRECTORY))
    return nullptr;
  return std::make_unique<Win32HeldFolder>(std::move(wide), std::move(handle), facts);
}

namespace {
// A folder that GetWindowsDirectoryW or GetSystemDirectoryW gives, without trailing "\".
std::string SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1];
  UINT length = query(buffer, MAX_PATH + 1);
  std::wstring dir;
  if (length > MAX_PATH) {
    dir.assign(length, L'\0');
    length = query(dir.data(), length);
    dir.resize(length);
  } else {
    dir.assign(buffer, length);
  }
  if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
  return Narrow(dir);
}
}  // namespace

std::string Win32Platform::WindowsDirectory() { return SystemFolder(GetWindowsDirectoryW); }

std::string Win32Platform::SystemDirectory() { return SystemFolder(GetSystemDirectoryW); }

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
