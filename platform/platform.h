// The system services both programs use, behind one interface: the real one talks to Win32
// (platform/win32), the fake one keeps files, registry, drives and Program Manager in memory
// for tests (platform/fake). Every string is GBK; the Win32 side converts with code page 936.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/ini.h"
#include "winkit/owner.h"

namespace plat {

// A failure that the programs do not handle themselves; its text is shown by the generic
// error box ("Cannot create file ...", "Resource ... not found", "Failed to set data ...").
class Error : public TextError {
 public:
  using TextError::TextError;
};

// Registry keys are handles as in Win32; the three roots are fixed values.
using RegKey = std::uintptr_t;
constexpr RegKey kClassesRoot = 0x80000000u;
constexpr RegKey kCurrentUser = 0x80000001u;
constexpr RegKey kLocalMachine = 0x80000002u;

// Drive types as GetDriveType returns them.
enum DriveKind : int {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6
};

// File attribute bits as FindFirstFile reports them.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrVolumeLabel = 0x08;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrReparsePoint = 0x400;  // a reparse point: a link, or another kind

// A registry value as stored: its type and its data bytes, in the form the platform keeps them.
// Read to be put back unchanged, never looked into.
struct RegValue {
  std::uint32_t type = 0;
  std::string data;
};

// What a look-up found.
enum class Lookup { Found, Missing, Failed };

struct DirEntry {
  std::string name;
  std::uint32_t attributes = 0;
  std::uint32_t reparseTag = 0;  // with kAttrReparsePoint; 0 when the system does not say
};

// A folder opened without following a link and held open, so that it cannot be renamed or
// replaced while it is held; what is done in it goes through the hold, not through its name
// again. Where the system cannot keep it from being replaced (a Linux process under Wine),
// every operation first checks that the name still leads to the folder held, and does nothing
// when it does not.
class HeldFolder {
 public:
  virtual ~HeldFolder() = default;
  // The folder is itself a link (a symbolic link or junction): nothing in it is touched.
  virtual bool IsLink() = 0;
  // Its entries, without "." and "..".
  virtual std::vector<DirEntry> List() = 0;
  // Deletes the entry `name` if it is a file, opened without following a link and deleted
  // through that same handle (a link goes as the link). False when it fails (a folder, a
  // read-only file, a file in use) or the folder is no longer the one held.
  virtual bool DeleteFile(const std::string& name) = 0;
  // Deletes the held folder through the hold (it must be empty); for a link, the link itself
  // where the system can take it as such, never what it leads to.
  virtual bool Remove() = 0;
};

// One Program Manager conversation (DDE client, service and topic "ProgMan").
class DdeConversation {
 public:
  virtual ~DdeConversation() = default;
  // Connects; when no server answers, starts "<service> <topic>" once (minimised, not
  // activated) and tries again. True when connected.
  virtual bool Open(const std::string& service, const std::string& topic) = 0;
  // Hands one execute command over without waiting for the server; false when refused.
  virtual bool Execute(const std::string& command) = 0;
  // Ends the conversation without waiting for the server to answer; harmless when not
  // connected.
  virtual void Close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- files and folders --------------------------------------------------------------
  virtual bool FileExists(const std::string& path) = 0;  // an existing file, not a folder
  virtual bool DirExists(const std::string& path) = 0;   // an existing folder
  virtual bool CreateDir(const std::string& path) = 0;   // one level, default security
  // One level, protected as the system's program folder is: SYSTEM and Administrators full
  // control, Users read and execute, inherited by what is made inside, nothing inherited from
  // the folder above (which on a second drive lets every user change what is made in it).
  virtual bool CreateProtectedDir(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool RemoveDir(const std::string& path) = 0;  // fails unless empty
  // Entries matching a FindFirstFile pattern such as "<folder>\*.*", with every attribute
  // admitted; "." and ".." come as folders.
  virtual std::vector<DirEntry> ListDir(const std::string& pattern) = 0;
  // The attributes of a file or folder (of a link itself, not of where it leads); nothing
  // when there is none.
  virtual std::optional<std::uint32_t> Attributes(const std::string& path) = 0;
  // Whole file, opened read-only with other writers refused; throws
  // Error("Cannot open file \"<full path>\". <system text>").
  virtual std::string ReadFile(const std::string& path) = 0;
  // Whole file or nothing (a missing or unreadable file), for the INI reader.
  virtual std::optional<std::string> TryReadFile(const std::string& path) = 0;
  // Creates or replaces the file, held without sharing while all bytes are written; a link at
  // its name is not followed (see WriteFileBelow). Throws
  // Error("Cannot create file \"<full path>\". <system text>").
  virtual void WriteFile(const std::string& path, std::string_view bytes) = 0;
  // Writes a new file that nobody else can change while this program runs: a file of that
  // name is deleted first (whoever made it; a link as the link, never what it leads to), the
  // file is created only where nothing is, without following a link, and the handle that
  // wrote it holds it until ReleaseHeldFile: others may read, nobody else may write or delete.
  // Reads through ReadFile go through that handle. Throws as WriteFile.
  virtual void CreateHeldFile(const std::string& path, std::string_view bytes) = 0;
  virtual void ReleaseHeldFile(const std::string& path) = 0;  // nothing if not held
  // The bytes of a file that is only itself: opened read-only, with other writers refused,
  // without following a link. Nothing when no file or folder of that name exists; throws
  // Error("Cannot open file \"<full path>\". <system text>") when it cannot be read, is a
  // folder or a link (a reparse point), or has further names (hard links).
  virtual std::optional<std::string> ReadPlainFile(const std::string& path) = 0;
  // Writes `bytes` to base + "\" + relPath as WriteFile does, but never through a link below
  // `base` (`base` itself may be one): each folder on the way is opened without following a
  // link and held until the file is written, and one that is a link fails the write. The file
  // is opened without following a link: a reparse point at its name fails the write, and a
  // file with more than one hard link is replaced (deleted, then created), not truncated.
  // Throws Error("Cannot create file \"<full path>\". <reason>").
  virtual void WriteFileBelow(const std::string& base, const std::string& relPath,
                              std::string_view bytes) = 0;
  // Deletes the file base + "\" + relPath by one handle, opened without following a link,
  // checked to be no folder and deleted through it; nothing when a folder on the way below
  // `base` is a link. False when nothing was deleted.
  virtual bool DeleteFileBelow(const std::string& base, const std::string& relPath) = 0;
  // The folder at `path`, held (see HeldFolder); null when there is no folder there.
  virtual std::unique_ptr<HeldFolder> OpenFolder(const std::string& path) = 0;
  virtual std::string WindowsDirectory() = 0;  // without trailing "\"
  virtual std::string SystemDirectory() = 0;   // without trailing "\"
  virtual std::string ModuleFileName() = 0;    // the running program's full path
  // The 8.3 form of an existing path (GetShortPathName); the path itself when there is none.
  virtual std::string ShortPathName(const std::string& path) = 0;

  // --- payload resources of the running program ---------------------------------------
  // The bytes of the entry (name, type), matched without regard to case; nullopt if absent.
  virtual std::optional<std::string_view> FindPayload(const std::string& name,
                                                      const std::string& type) = 0;

  // --- registry -----------------------------------------------------------------------
  // Opens (creating it and its parents) a key below `parent` for all access; 0 on failure.
  virtual RegKey RegCreateKey(RegKey parent, const std::string& path) = 0;
  virtual RegKey RegOpenKey(RegKey parent, const std::string& path) = 0;  // 0 if it fails
  // Opens or creates one key `name` (no "\") below `parent` for all access, and says whether
  // this call made it; 0 on failure.
  virtual RegKey RegCreateSubKey(RegKey parent, const std::string& name, bool& created) = 0;
  // A value as stored (any type); Missing only when the key has no value of that name.
  virtual Lookup RegQueryValue(RegKey key, const std::string& name, RegValue& value) = 0;
  // Stores a value read by RegQueryValue back as it was.
  virtual bool RegSetValue(RegKey key, const std::string& name, const RegValue& value) = 0;
  virtual bool RegDeleteValue(RegKey key, const std::string& name) = 0;
  virtual bool RegSetString(RegKey key, const std::string& name, const std::string& value) = 0;
  // Number of subkeys and the length of the longest subkey name.
  virtual bool RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) = 0;
  virtual std::optional<std::string> RegEnumKey(RegKey key, std::uint32_t index) = 0;
  // Number of subkeys and of values.
  virtual bool RegCountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) = 0;
  virtual bool RegDeleteKey(RegKey parent, const std::string& path) = 0;  // a leaf key only
  virtual void RegCloseKey(RegKey key) = 0;

  // --- shell --------------------------------------------------------------------------
  // The desktop folder shared by all users, without trailing "\"; nullopt if unknown.
  virtual std::optional<std::string> CommonDesktopDirectory() = 0;
  // Creates a shell link object with the target and working folder; when `savePath` is set,
  // saves it there. Throws Error when the object cannot be created; a failed save is silent.
  virtual void CreateShellLink(const std::string& target, const std::string& workingDir,
                               const std::optional<std::string>& savePath) = 0;
  virtual void NotifyAssociationsChanged() = 0;
  // ShellExecute(owner, verb, file, params, dir, show); the result is not examined.
  virtual void ShellExecute(std::uintptr_t owner, const std::string& verb, const std::string& file,
                            const std::string& params, const std::string& dir, int show) = 0;
  // The same request carried out by the desktop shell's own process, so that what it starts
  // runs with the rights of the signed-in user, not this program's. False when no desktop
  // shell answers (none runs, or it refuses the request); nothing was started then.
  virtual bool ShellExecuteAsUser(const std::string& verb, const std::string& file,
                                  const std::string& params, const std::string& dir, int show) = 0;
  virtual std::unique_ptr<DdeConversation> NewDdeConversation() = 0;

  // --- drives -------------------------------------------------------------------------
  // GetLogicalDriveStrings into a 260-character buffer: "A:\\\0C:\\\0..." as written.
  virtual std::string LogicalDriveStrings() = 0;
  virtual int DriveType(const std::string& root) = 0;
  virtual bool DiskFreeSpace(const std::string& root, std::uint64_t& freeToCaller,
                             std::uint64_t& total) = 0;

  // --- single-instance section and window activation ----------------------------------
  virtual std::uintptr_t OpenSharedSection(const std::string& name) = 0;    // 0 if none
  virtual std::uintptr_t CreateSharedSection(const std::string& name) = 0;  // 4 bytes; 0 fails
  virtual std::uint32_t* MapSharedSection(std::uintptr_t section) = 0;      // null if it fails
  virtual void UnmapSharedSection(std::uint32_t* view) = 0;
  virtual void CloseSharedSection(std::uintptr_t section) = 0;
  virtual void SendRestore(std::uintptr_t window) = 0;  // WM_SYSCOMMAND, SC_RESTORE, waits
  virtual std::uintptr_t LastActivePopup(std::uintptr_t window) = 0;
  virtual bool IsWindowVisibleAndEnabled(std::uintptr_t window) = 0;
  virtual void SetForegroundWindow(std::uintptr_t window) = 0;
};

constexpr int kSwHide = 0;
constexpr int kSwShow = 5;

// An open registry key, closed through its platform when it goes; move-only. The callers'
// way to hold a key, so that no path out of them can leave one open.
class OwnedKey : public winkit::Owner<RegKey, winkit::CloseIn<Platform*, &Platform::RegCloseKey>> {
 public:
  OwnedKey() = default;
  OwnedKey(Platform& system, RegKey key) : Owner(key, {&system}) {}
};

// A shared section and the one view of it that its holder maps, unmapped and closed through
// its platform when it goes; move-only.
class OwnedSection {
 public:
  OwnedSection() = default;
  OwnedSection(Platform& system, std::uintptr_t section)
      : section_(section, {&system}), view_(nullptr, {&system}) {}
  OwnedSection(OwnedSection&&) = default;
  OwnedSection& operator=(OwnedSection&& other) noexcept {
    if (this != &other) {
      Reset();  // the view before its section
      section_ = std::move(other.section_);
      view_ = std::move(other.view_);
    }
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(section_); }
  // The section's bytes, mapped on the first call; null if there is no section or the
  // mapping fails.
  std::uint32_t* View() {
    if (section_ && !view_) view_.Reset(view_.closer().context->MapSharedSection(section_.get()));
    return view_.get();
  }
  void Reset() {
    view_.Reset();
    section_.Reset();
  }

 private:
  // Declared in this order, so that the view goes first.
  winkit::Owner<std::uintptr_t, winkit::CloseIn<Platform*, &Platform::CloseSharedSection>> section_;
  winkit::Owner<std::uint32_t*, winkit::CloseIn<Platform*, &Platform::UnmapSharedSection>> view_;
};

inline OwnedKey OpenKey(Platform& system, RegKey parent, const std::string& path) {
  return OwnedKey(system, system.RegOpenKey(parent, path));
}
inline OwnedKey CreateKey(Platform& system, RegKey parent, const std::string& path) {
  return OwnedKey(system, system.RegCreateKey(parent, path));
}

// A value of an INI file as GetPrivateProfileString gives it, read through the platform: an
// empty text when the file cannot be read.
inline std::string ReadIniFileValue(Platform& system, const std::string& path,
                                    const std::string& section, const std::string& key) {
  auto text = system.TryReadFile(path);
  return text ? ReadIniValue(*text, section, key) : std::string();
}

}  // namespace plat
