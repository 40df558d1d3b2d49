// Checks the Win32 platform against a real system (Wine in the tests), in a scratch folder
// C:\korvplat and a scratch registry key. Modes:
//   platform_check                 every check, cleaning up after itself
//   platform_check witness-create  leaves a Chinese file, key and Program Manager group for
//                                  run.sh to look at from Linux
//   platform_check witness-delete  removes them again through the platform
// Prints one line per check and "N passed, M failed"; exits 1 when a check failed.
#include "platform/win32/win32_windows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace {

int g_passed = 0;
int g_failed = 0;

// The test's own conversion, written out separately from the platform's.
std::wstring Wide(const std::string& gbk) {
  std::wstring w(gbk.size() + 1, L'\0');
  const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(),
                                    static_cast<int>(w.size()));
  w.resize(n > 0 ? n : 0);
  return w;
}

std::string Gbk(const std::wstring& w) {
  std::string s(w.size() * 2 + 1, '\0');
  const int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), s.data(),
                                    static_cast<int>(s.size()), nullptr, nullptr);
  s.resize(n > 0 ? n : 0);
  return s;
}

std::string Utf8(const std::wstring& w) {
  std::string s(w.size() * 3 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(),
                                    static_cast<int>(s.size()), nullptr, nullptr);
  s.resize(n > 0 ? n : 0);
  return s;
}

// Reports one check; `detail` is GBK and is printed as UTF-8.
bool Check(bool ok, const char* name, const std::string& detail = {}) {
  (ok ? g_passed : g_failed)++;
  std::printf("%s - %s", ok ? "ok" : "FAIL", name);
  if (!ok && !detail.empty()) std::printf(": %s", Utf8(Wide(detail)).c_str());
  std::printf("\n");
  std::fflush(stdout);
  return ok;
}

bool NoCaseEqual(const std::string& a, const std::string& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, Wide(a).c_str(), -1, Wide(b).c_str(),
                        -1) == CSTR_EQUAL;
}

// The system's raw text for an error code, trailing line break and all.
std::wstring RawMessage(DWORD code) {
  wchar_t buffer[1024] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 buffer, 1024, nullptr);
  return buffer;
}

// `text` must be `prefix` followed by the system's message for `code`, cut before its line
// break and final full stop (and not cut any shorter).
bool HasErrorText(const std::string& text, const std::string& prefix, DWORD code) {
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  const std::wstring tail = Wide(text.substr(prefix.size()));
  std::wstring raw = RawMessage(code);
  if (tail.empty() || raw.compare(0, tail.size(), tail) != 0) return false;
  raw.erase(0, tail.size());
  for (wchar_t c : raw) {
    if (c != L'.' && c > L' ') return false;
  }
  return tail.back() != L'.' && tail.back() > L' ';
}

template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const plat::Error& e) {
    return e.what();
  }
  return "(no error)";
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = dir + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(h, &data));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}

HANDLE OpenNative(const std::string& path, DWORD access, DWORD share) {
  return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Waits (handling messages, which DDE needs) until `done` holds or about `ms` have passed.
template <class F>
bool WaitFor(F&& done, int ms) {
  for (int waited = 0;; waited += 100) {
    if (done()) return true;
    if (waited >= ms) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(100);
  }
}

const std::string kRoot = "C:\\korvplat";
const std::string kSuite = kRoot + "\\suite";

// --- files ----------------------------------------------------------------------------------

void CheckFiles(plat::Win32Platform& p) {
  Check(p.CreateDir(kSuite) && p.DirExists(kSuite) && !p.FileExists(kSuite),
        "CreateDir makes a folder that DirExists sees and FileExists does not");
  Check(!p.CreateDir(kSuite), "CreateDir of an existing folder fails");
  Check(!p.CreateDir(kSuite + "\\a\\b"), "CreateDir creates one level only");

  const std::string dir = kSuite + "\\中文目录";
  const std::string file = dir + "\\测试文件（俓嘰）.txt";
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  p.CreateDir(dir);
  p.WriteFile(file, all);
  Check(p.FileExists(file) && !p.DirExists(file) && p.ReadFile(file) == all &&
            p.TryReadFile(file) == all,
        "a Chinese file name round-trips with every byte value");
  Check(GetFileAttributesW(L"C:\\korvplat\\suite\\中文目录\\测试文件（俓嘰）.txt") !=
            INVALID_FILE_ATTRIBUTES,
        "the file carries the right UTF-16 name");
  p.CreateDir(dir + "\\子目录");

  bool dot = false, dotdot = false, sawFile = false, sawSub = false;
  for (const plat::DirEntry& e : p.ListDir(dir + "\\*.*")) {
    const bool isDir = (e.attributes & plat::kAttrDirectory) != 0;
    dot |= e.name == "." && isDir;
    dotdot |= e.name == ".." && isDir;
    sawFile |= e.name == "测试文件（俓嘰）.txt" && !isDir;
    sawSub |= e.name == "子目录" && isDir;
  }
  Check(dot && dotdot && sawFile && sawSub, "ListDir gives '.', '..', the file and the folder");
  Check(p.ListDir(dir + "\\*.none").empty() && p.ListDir(kSuite + "\\无此目录\\*.*").empty(),
        "ListDir of nothing is empty");

  p.WriteFile(file, "short");
  Check(p.ReadFile(file) == "short", "WriteFile replaces and truncates");
  p.WriteFile(file, "");
  Check(p.FileExists(file) && p.ReadFile(file).empty(), "an empty file is written and read");

  std::string big(8u << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 13));
  p.WriteFile(dir + "\\大文件.bin", big);
  Check(p.ReadFile(dir + "\\大文件.bin") == big, "an 8 MiB file round-trips");

  // Full path in the texts: give a relative name from inside the folder.
  SetCurrentDirectoryW(L"C:\\korvplat\\suite\\中文目录");
  const std::string fullFile = file;
  {
    HANDLE reader = OpenNative(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const std::string text = ErrorOf([&] { p.WriteFile("测试文件（俓嘰）.txt", "x"); });
    Check(HasErrorText(text, "Cannot create file \"" + fullFile + "\". ", ERROR_SHARING_VIOLATION),
          "WriteFile of a file open elsewhere fails with its full path and the system text", text);
    Check(p.ReadFile(file).empty(), "the refused write left the file alone");
    CloseHandle(reader);
  }
  p.WriteFile(file, "content");
  {
    HANDLE writer =
        OpenNative(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const std::string text = ErrorOf([&] { p.ReadFile("测试文件（俓嘰）.txt"); });
    Check(HasErrorText(text, "Cannot open file \"" + fullFile + "\". ", ERROR_SHARING_VIOLATION),
          "ReadFile of a file held for writing fails with its full path and the system text", text);
    Check(!p.TryReadFile(file), "TryReadFile of a file held for writing gives nothing");
    CloseHandle(writer);
  }
  {
    HANDLE reader = OpenNative(file, GENERIC_READ, FILE_SHARE_READ);
    Check(p.ReadFile(file) == "content", "ReadFile shares with another reader");
    CloseHandle(reader);
  }
  SetCurrentDirectoryW(L"C:\\");
  {
    const std::string missing = kSuite + "\\无此文件.txt";
    std::string text = ErrorOf([&] { p.ReadFile(missing); });
    Check(HasErrorText(text, "Cannot open file \"" + missing + "\". ", ERROR_FILE_NOT_FOUND),
          "ReadFile of a missing file names it", text);
    Check(!p.TryReadFile(missing) && !p.FileExists(missing) && !p.DirExists(missing),
          "a missing file is neither file nor folder");
    const std::string noDir = kSuite + "\\无此目录\\文件.txt";
    text = ErrorOf([&] { p.WriteFile(noDir, "x"); });
    Check(HasErrorText(text, "Cannot create file \"" + noDir + "\". ", ERROR_PATH_NOT_FOUND),
          "WriteFile into a missing folder fails", text);
  }

  if (const char* full = std::getenv("KORV_FULL_DRIVE")) {
    // A drive of about 1 MiB: the write runs out of space after the file was created.
    const std::string path = std::string(full) + "\\满盘.bin";
    const std::string text = ErrorOf([&] { p.WriteFile(path, big); });
    Check(HasErrorText(text, "Cannot create file \"" + path + "\". ", ERROR_DISK_FULL),
          "a write that fills the disk fails with the disk-full text", text);
    p.DeleteFile(path);
    p.WriteFile(path, "small");
    Check(p.ReadFile(path) == "small" && p.DeleteFile(path), "a small file fits afterwards");
  } else {
    std::printf("skip - disk full (KORV_FULL_DRIVE not set)\n");
  }

  {
    // A file made anew and held: an earlier read-only file of that name (someone else's)
    // goes; while held, others may read but not write or delete, and the program's own
    // ReadFile still works; released, it can be deleted.
    const std::string held = dir + "\\暂存.ini";
    p.WriteFile(held, "planted");
    SetFileAttributesW(Wide(held).c_str(), FILE_ATTRIBUTE_READONLY);
    p.CreateHeldFile(held, "[Run]\r\nFileName=KVRN.exe\r\n");
    Check(p.ReadFile(held) == "[Run]\r\nFileName=KVRN.exe\r\n" &&
              (GetFileAttributesW(Wide(held).c_str()) & FILE_ATTRIBUTE_READONLY) == 0,
          "CreateHeldFile replaces a read-only file someone made before");
    HANDLE writer = OpenNative(held, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const DWORD writeError = GetLastError();
    Check(writer == INVALID_HANDLE_VALUE && writeError == ERROR_SHARING_VIOLATION,
          "a held file cannot be opened for writing");
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    Check(!p.DeleteFile(held) && p.FileExists(held), "a held file cannot be deleted");
    // The hold is the handle that wrote the file: a reader lets that writer be.
    HANDLE reader = OpenNative(held, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    Check(reader != INVALID_HANDLE_VALUE, "a held file can be read by others");
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    p.ReleaseHeldFile(held);
    Check(p.DeleteFile(held), "a released file can be deleted");
    Check(p.Attributes(dir) && (*p.Attributes(dir) & plat::kAttrDirectory) &&
              !(*p.Attributes(dir) & plat::kAttrReparsePoint) && !p.Attributes(held),
          "Attributes of a folder, and of nothing");
  }

  {
    // A file with another hard link is replaced, not truncated: the other name keeps its
    // bytes. Below a folder, files are written through the folders held and deleted by one
    // handle; a held folder lists and deletes its files and then itself.
    const std::string other = dir + "\\别名.txt", mine = dir + "\\硬链接.txt";
    p.WriteFile(other, "someone else's");
    CreateHardLinkW(Wide(mine).c_str(), Wide(other).c_str(), nullptr);
    p.WriteFileBelow(dir, "硬链接.txt", "mine");
    Check(p.ReadFile(mine) == "mine" && p.ReadFile(other) == "someone else's",
          "WriteFileBelow replaces a file with another hard link instead of truncating it");
    Check(p.DeleteFile(mine) && p.DeleteFile(other), "both names can be deleted");
    const std::string sub = dir + "\\下层";
    Check(p.CreateDir(sub), "a folder to write below");
    p.WriteFileBelow(dir, "下层\\甲.txt", "a");
    p.WriteFileBelow(dir + "\\", "下层\\乙.txt", "b");
    Check(p.ReadFile(sub + "\\甲.txt") == "a" && p.DeleteFileBelow(dir, "下层\\甲.txt") &&
              !p.FileExists(sub + "\\甲.txt") && !p.DeleteFileBelow(dir, "下层\\甲.txt"),
          "WriteFileBelow and DeleteFileBelow through a folder on the way");
    Check(!p.DeleteFileBelow(dir, "下层"), "DeleteFileBelow does not remove a folder");
    auto held = p.OpenFolder(sub + "\\");
    const std::vector<plat::DirEntry> entries = held ? held->List() : std::vector<plat::DirEntry>{};
    Check(held && !held->IsLink() && entries.size() == 1 && entries[0].name == "乙.txt",
          "OpenFolder holds a folder and lists it without '.' and '..'");
    Check(held && !held->Remove() && held->DeleteFile("乙.txt") && held->Remove() &&
              !p.DirExists(sub),
          "a held folder deletes its file, then itself once empty");
    Check(!p.OpenFolder(sub) && !p.OpenFolder(dir + "\\只读.txt"), "OpenFolder of no folder");
  }

  p.WriteFile(dir + "\\只读.txt", "x");
  SetFileAttributesW(Wide(dir + "\\只读.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  Check(!p.DeleteFile(dir + "\\只读.txt") && p.FileExists(dir + "\\只读.txt"),
        "DeleteFile refuses a read-only file");
  SetFileAttributesW(Wide(dir + "\\只读.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  Check(!p.RemoveDir(dir), "RemoveDir refuses a folder with entries");
  Check(p.DeleteFile(file) && !p.FileExists(file) && !p.DeleteFile(file),
        "DeleteFile deletes once");
  p.DeleteFile(dir + "\\只读.txt");
  p.DeleteFile(dir + "\\大文件.bin");
  Check(!p.DeleteFile(dir + "\\子目录"), "DeleteFile does not remove a folder");
  Check(p.RemoveDir(dir + "\\子目录") && p.RemoveDir(dir) && !p.DirExists(dir),
        "RemoveDir removes empty folders");

  const std::string windows = p.WindowsDirectory();
  Check(NoCaseEqual(windows, "C:\\windows") && p.DirExists(windows),
        "WindowsDirectory is C:\\windows without trailing backslash", windows);
  const std::string module = p.ModuleFileName();
  Check(module.size() > 19 && p.FileExists(module) &&
            NoCaseEqual(module.substr(module.size() - 19), "\\platform_check.exe"),
        "ModuleFileName is this program", module);
}

// --- payload resources ----------------------------------------------------------------------

void CheckPayload(plat::Win32Platform& p) {
  static const char kSample[] = "Korvane payload sample\r\nsecond line\r\n\0\xff after a NUL byte";
  const auto lower = p.FindPayload("kvsample", "kvdata");
  const auto upper = p.FindPayload("KVSAMPLE", "KVDATA");
  Check(lower && *lower == std::string_view(kSample, sizeof kSample - 1),
        "FindPayload gives the entry's exact bytes, case-insensitively");
  Check(upper && lower && upper->data() == lower->data(), "FindPayload gives the same bytes again");
  Check(!p.FindPayload("kvsample", "other") && !p.FindPayload("none", "kvdata"),
        "FindPayload of an absent entry is nothing");
}

// --- registry -------------------------------------------------------------------------------

std::wstring NativeValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD& type,
                         DWORD& bytes) {
  wchar_t data[256] = {};
  bytes = sizeof data;
  type = 0;
  if (RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &bytes) !=
      ERROR_SUCCESS) {
    return L"(missing)";
  }
  return data;
}

void CheckRegistry(plat::Win32Platform& p) {
  const std::string base = "Software\\KorvPlatCheck";
  const plat::RegKey leaf = p.RegCreateKey(plat::kCurrentUser, base + "\\中文键\\子键甲");
  Check(leaf != 0, "RegCreateKey creates a key with its missing parents");
  Check(p.RegSetString(leaf, "名称", "值：中文 ok") && p.RegSetString(leaf, "", "默认值"),
        "RegSetString writes named and default values");
  DWORD type = 0, bytes = 0;
  const std::wstring named = NativeValue(
      HKEY_CURRENT_USER, L"Software\\KorvPlatCheck\\中文键\\子键甲", L"名称", type, bytes);
  Check(named == L"值：中文 ok" && type == REG_SZ && bytes == (named.size() + 1) * 2,
        "the value is REG_SZ UTF-16 with its terminating NUL");
  const std::wstring def = NativeValue(
      HKEY_CURRENT_USER, L"Software\\KorvPlatCheck\\中文键\\子键甲", nullptr, type, bytes);
  Check(def == L"默认值", "the default value reads back");
  p.RegCloseKey(leaf);
  p.RegCloseKey(p.RegCreateKey(plat::kCurrentUser, base + "\\中文键\\子键乙乙乙"));

  const plat::RegKey parent = p.RegOpenKey(plat::kCurrentUser, base + "\\中文键");
  std::uint32_t count = 0, longest = 0;
  Check(parent != 0 && p.RegQueryInfo(parent, count, longest) && count == 2 && longest == 5,
        "RegQueryInfo counts the subkeys and the longest name");
  const auto first = p.RegEnumKey(parent, 0);
  const auto second = p.RegEnumKey(parent, 1);
  // The registry hands subkeys back sorted by name, not in the order of creation.
  Check(
      first && second && *first == "子键乙乙乙" && *second == "子键甲" && !p.RegEnumKey(parent, 2),
      "RegEnumKey gives the Chinese names sorted, then nothing",
      first.value_or("-") + "/" + second.value_or("-"));
  Check(!p.RegDeleteKey(plat::kCurrentUser, base + "\\中文键"),
        "RegDeleteKey refuses a key with subkeys");
  Check(p.RegDeleteKey(parent, "子键甲") && p.RegDeleteKey(parent, "子键乙乙乙"),
        "RegDeleteKey deletes leaf keys relative to an open key");
  Check(p.RegQueryInfo(parent, count, longest) && count == 0, "no subkeys are left");
  p.RegCloseKey(parent);
  Check(!p.RegSetString(parent, "x", "y"), "RegSetString on a closed key fails");
  Check(p.RegDeleteKey(plat::kCurrentUser, base + "\\中文键") &&
            p.RegOpenKey(plat::kCurrentUser, base + "\\中文键") == 0,
        "the deleted key cannot be opened");

  p.RegCloseKey(plat::kCurrentUser);  // the roots are never closed
  p.RegCloseKey(plat::kClassesRoot);
  const plat::RegKey ext = p.RegCreateKey(plat::kClassesRoot, ".kvxplatcheck");
  Check(ext != 0 && p.RegSetString(ext, "", "Software\\KORVPLAT"), "HKEY_CLASSES_ROOT is usable");
  p.RegCloseKey(ext);
  Check(NativeValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.kvxplatcheck", nullptr, type,
                    bytes) == L"Software\\KORVPLAT",
        "a class written through HKEY_CLASSES_ROOT lands in HKLM\\Software\\Classes");
  p.NotifyAssociationsChanged();
  Check(p.RegDeleteKey(plat::kClassesRoot, ".kvxplatcheck") &&
            p.RegDeleteKey(plat::kCurrentUser, base),
        "the scratch keys are removed");
}

// --- shell ----------------------------------------------------------------------------------

struct ThreadCall {
  plat::Win32Platform* platform;
  std::string error;
};

DWORD WINAPI LinkWithoutCom(void* param) {
  auto* call = static_cast<ThreadCall*>(param);
  call->error = ErrorOf([&] { call->platform->CreateShellLink("C:\\x.exe", "C:\\", "C:\\x.lnk"); });
  return 0;
}

// The target as the link's item list names it. (Wine's GetPath answers from an ANSI copy of
// the path instead, which loses Chinese names under code page 1252.)
bool ReadLink(const std::string& path, std::wstring& target, std::wstring& workDir) {
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  bool ok = false;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ))) {
    wchar_t buffer[MAX_PATH] = {};
    LPITEMIDLIST items = nullptr;
    ok = SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, buffer);
    CoTaskMemFree(items);
    target = buffer;
    buffer[0] = 0;
    ok = ok && SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH));
    workDir = buffer;
  }
  if (file) file->Release();
  if (link) link->Release();
  return ok;
}

void CheckShell(plat::Win32Platform& p) {
  const auto desktop = p.CommonDesktopDirectory();
  Check(desktop && NoCaseEqual(*desktop, "C:\\users\\Public\\Desktop") && p.DirExists(*desktop),
        "CommonDesktopDirectory is the all-users desktop, no trailing backslash",
        desktop.value_or("(none)"));
  if (!desktop) return;

  const std::string target = kSuite + "\\目标 程序.exe";
  CopyFileW(Wide(p.ModuleFileName()).c_str(), Wide(target).c_str(), FALSE);
  const std::string link = *desktop + "\\平台检查链接.lnk";
  p.CreateShellLink(target, kSuite + "\\", link);
  std::wstring gotTarget, gotDir;
  const bool saved = p.FileExists(link);
  Check(saved && ReadLink(link, gotTarget, gotDir) &&
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, gotTarget.c_str(), -1,
                           Wide(target).c_str(), -1) == CSTR_EQUAL &&
            gotDir == Wide(kSuite + "\\"),
        "the saved link on the common desktop resolves to its target and folder",
        std::string(saved ? "saved" : "not saved") + ", target " + Gbk(gotTarget) + ", folder " +
            Gbk(gotDir));
  p.DeleteFile(link);
  const std::size_t before = p.ListDir(*desktop + "\\*").size();
  p.CreateShellLink(target, kSuite + "\\", std::nullopt);
  Check(p.ListDir(*desktop + "\\*").size() == before, "a link without save path writes nothing");
  p.CreateShellLink(kSuite + "\\尚无.exe", kSuite, kSuite + "\\无目标.lnk");
  Check(p.FileExists(kSuite + "\\无目标.lnk"), "a link to a target not yet there is still saved");

  ThreadCall call{&p, {}};
  HANDLE thread = CreateThread(nullptr, 0, LinkWithoutCom, &call, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Check(call.error != "(no error)" && !call.error.empty() && !p.FileExists("C:\\x.lnk"),
        "CreateShellLink without COM raises an error", call.error);

  // The batch file writes its marker into its working folder.
  const std::string batch = kSuite + "\\运行 测试.bat";
  p.WriteFile(batch, "@echo off\r\necho done> marker.txt\r\n");
  p.ShellExecute(0, "open", batch, "", kSuite, plat::kSwHide);
  Check(WaitFor([&] { return p.FileExists(kSuite + "\\marker.txt"); }, 20000),
        "ShellExecute runs a batch file with a Chinese name in the given folder");
}

// --- drives, section, windows ---------------------------------------------------------------

void CheckDrives(plat::Win32Platform& p) {
  const std::string drives = p.LogicalDriveStrings();
  bool wellFormed = !drives.empty() && drives.size() % 4 == 0;
  for (std::size_t i = 0; wellFormed && i < drives.size(); i += 4) {
    wellFormed = drives[i] >= 'A' && drives[i] <= 'Z' &&
                 drives.compare(i + 1, 3, ":\\\0", 3) == 0 && (i == 0 || drives[i] > drives[i - 4]);
  }
  Check(wellFormed && drives.find(std::string("C:\\\0", 4)) != std::string::npos &&
            drives.find(std::string("Z:\\\0", 4)) != std::string::npos,
        "LogicalDriveStrings lists C: and Z: as X:\\<NUL> entries in order");
  Check(p.DriveType("C:\\") == plat::kDriveFixed && p.DriveType("Q:\\") == plat::kDriveNoRootDir,
        "DriveType: C: fixed, an absent drive has no root");
  std::uint64_t free = 0, total = 0;
  Check(p.DiskFreeSpace("C:\\", free, total) && total > 0 && free <= total,
        "DiskFreeSpace of C: gives free and total bytes");
  Check(!p.DiskFreeSpace("Q:\\", free, total), "DiskFreeSpace of an absent drive fails");
}

void CheckSection(plat::Win32Platform& p) {
  const std::string name = "KorvPlatCheck段-" + std::to_string(GetCurrentProcessId());
  Check(p.OpenSharedSection(name) == 0, "OpenSharedSection of an absent section gives 0");
  const std::uintptr_t created = p.CreateSharedSection(name);
  std::uint32_t* view = created ? p.MapSharedSection(created) : nullptr;
  const std::uintptr_t opened = p.OpenSharedSection(name);
  std::uint32_t* second = opened ? p.MapSharedSection(opened) : nullptr;
  bool shared = false;
  if (view && second) {
    *view = 0x12345678u;
    shared = *second == 0x12345678u;
    *second = 0xCAFEu;
    shared = shared && *view == 0xCAFEu && view != second;
  }
  Check(created && view && opened && second && shared,
        "a section created once and opened again shares its 4 bytes");
  p.UnmapSharedSection(second);
  p.CloseSharedSection(opened);
  p.UnmapSharedSection(view);
  p.CloseSharedSection(created);
  Check(p.OpenSharedSection(name) == 0, "the section is gone once every handle is closed");
}

void CheckWindows(plat::Win32Platform& p) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KorvPlatCheckWindow";
  RegisterClassW(&wc);
  HWND main = CreateWindowW(wc.lpszClassName, L"平台检查", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                            nullptr, nullptr, wc.hInstance, nullptr);
  const auto w = reinterpret_cast<std::uintptr_t>(main);
  Check(main && !p.IsWindowVisibleAndEnabled(w), "a hidden window is not visible and enabled");
  ShowWindow(main, SW_SHOW);
  EnableWindow(main, FALSE);
  Check(!p.IsWindowVisibleAndEnabled(w), "a disabled window is not visible and enabled");
  EnableWindow(main, TRUE);
  Check(p.IsWindowVisibleAndEnabled(w), "a shown, enabled window is");
  Check(p.LastActivePopup(w) == w, "LastActivePopup of a window without popups is itself");
  ShowWindow(main, SW_MINIMIZE);
  const bool wasIconic = IsIconic(main);
  p.SendRestore(w);
  Check(wasIconic && !IsIconic(main), "SendRestore restores a minimised window");
  p.SetForegroundWindow(w);
  Check(GetForegroundWindow() == main, "SetForegroundWindow brings it to the front");
  DestroyWindow(main);
}

// --- Program Manager ------------------------------------------------------------------------

std::wstring ProgramsFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, 0, path);
  return path;
}

// The name Wine's shell gives a group or item sent as GBK bytes: it reads them in its own code
// page, which is this program's when both run in one session (run.sh makes sure of that).
// Under 936 that is the Chinese name itself.
std::wstring NameAsFiled(const std::string& gbk) {
  std::wstring w(gbk.size() + 1, L'\0');
  w.resize(MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(),
                               static_cast<int>(w.size())));
  return w;
}

bool WideExists(const std::wstring& path, bool folder) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// Creates `group` with one item pointing at `target`; checks that the folder and link appear.
bool DdeCreateGroup(plat::Win32Platform& p, const std::string& group, const std::string& item,
                    const std::string& target) {
  const std::wstring folder = ProgramsFolder() + L"\\" + NameAsFiled(group);
  auto conv = p.NewDdeConversation();
  const bool opened = conv->Open("ProgMan", "ProgMan");
  Check(opened, "the Program Manager conversation opens");
  if (!opened) return false;
  Check(conv->Execute("[CreateGroup(" + group + ")]") &&
            conv->Execute("[AddItem(" + target + "," + item + ")]"),
        "the execute commands are handed over");
  conv->Close();
  Check(!conv->Execute("[CreateGroup(x)]"), "Execute after Close is refused");
  const bool made = WaitFor([&] { return WideExists(folder, true); }, 15000);
  Check(made, "CreateGroup makes the Start Menu folder", Gbk(folder));
  return Check(
      made &&
          WaitFor([&] { return WideExists(folder + L"\\" + NameAsFiled(item) + L".lnk", false); },
                  15000),
      "AddItem makes the link in it");
}

bool DdeDeleteGroup(plat::Win32Platform& p, const std::string& group) {
  const std::wstring folder = ProgramsFolder() + L"\\" + NameAsFiled(group);
  const bool existed = WideExists(folder, true);
  auto conv = p.NewDdeConversation();
  Check(conv->Open("ProgMan", "ProgMan") && conv->Execute("[DeleteGroup(" + group + ")]"),
        "DeleteGroup is handed over");
  // The object goes with its conversation still open: its destructor must end it.
  conv.reset();
  return Check(existed && WaitFor([&] { return !WideExists(folder, true); }, 15000),
               "DeleteGroup removes the folder");
}

void CheckDde(plat::Win32Platform& p) {
  auto none = p.NewDdeConversation();
  Check(!none->Open("KorvNoSuchServer", "NoTopic") && !none->Execute("[x]"),
        "a conversation with no server does not open");
  none.reset();
  // Wine's shell finds AddItem's target by its path, read in its own code page: keep it ASCII.
  const std::string target = kSuite + "\\target.exe";
  CopyFileW(Wide(p.ModuleFileName()).c_str(), Wide(target).c_str(), FALSE);
  if (DdeCreateGroup(p, "Korv Plat Check", "Plain item", target)) {
    DdeDeleteGroup(p, "Korv Plat Check");
  }
  if (DdeCreateGroup(p, "平台检查组（套件）", "检查项", target)) {
    DdeDeleteGroup(p, "平台检查组（套件）");
  }
}

// --- witnesses for run.sh -------------------------------------------------------------------

const std::string kWitness = kRoot + "\\witness";

void WitnessCreate(plat::Win32Platform& p) {
  p.CreateDir(kRoot);
  p.CreateDir(kWitness);
  Check(p.CreateDir(kWitness + "\\见证目录"), "witness folder created");
  p.WriteFile(kWitness + "\\见证目录\\见证文件.txt", "见证");
  const plat::RegKey key = p.RegCreateKey(plat::kCurrentUser, "Software\\KorvPlatWitness\\见证键");
  Check(key && p.RegSetString(key, "名称", "见证值"), "witness key written");
  p.RegCloseKey(key);
  const std::string target = kWitness + "\\target.exe";
  CopyFileW(Wide(p.ModuleFileName()).c_str(), Wide(target).c_str(), FALSE);
  DdeCreateGroup(p, "平台见证组", "见证项", target);
}

void WitnessDelete(plat::Win32Platform& p) {
  const std::string dir = kWitness + "\\见证目录";
  Check(p.DeleteFile(dir + "\\见证文件.txt") && p.RemoveDir(dir) &&
            p.DeleteFile(kWitness + "\\target.exe") && p.RemoveDir(kWitness),
        "witness files removed");
  Check(p.RegDeleteKey(plat::kCurrentUser, "Software\\KorvPlatWitness\\见证键") &&
            p.RegDeleteKey(plat::kCurrentUser, "Software\\KorvPlatWitness"),
        "witness keys removed");
  DdeDeleteGroup(p, "平台见证组");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "all";
  CoInitialize(nullptr);
  std::printf("system code page %u\n", GetACP());
  plat::Win32Platform p;
  // A group that raises is one failed check; the others still run.
  auto run = [&](const char* group, void (*checks)(plat::Win32Platform&)) {
    try {
      checks(p);
    } catch (const std::exception& e) {
      Check(false, group, std::string("raised: ") + e.what());
    }
  };
  if (mode == "witness-create") {
    run("witness-create", WitnessCreate);
  } else if (mode == "witness-delete") {
    run("witness-delete", WitnessDelete);
  } else {
    RemoveTree(Wide(kSuite));
    CreateDirectoryW(Wide(kRoot).c_str(), nullptr);
    run("files", CheckFiles);
    run("payload", CheckPayload);
    run("registry", CheckRegistry);
    run("shell", CheckShell);
    run("drives", CheckDrives);
    run("section", CheckSection);
    run("windows", CheckWindows);
    run("dde", CheckDde);
    RemoveTree(Wide(kSuite));
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
