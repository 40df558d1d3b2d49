// An in-memory platform for native tests: files and folders with Windows path rules, a
// registry tree, scripted drives, a recording shell and Program Manager, shared sections that
// several instances (two "processes") can see, and fault injection.
//
// Paths: a drive letter and ":" first; "\" or "/" separate; ASCII letters match without regard
// to case (GBK trail bytes are never folded and a 0x5C trail byte is no separator); repeated
// separators collapse, "." and ".." are resolved, and trailing dots and blanks of a name are
// dropped, as Windows normalises a path. A trailing "\" is accepted on folders only. A path
// without a drive fails. A drive's root exists while the drive is in the drive list (C: by
// default).
//
// Registry: HKEY_CLASSES_ROOT is a view of HKLM\Software\Classes. Key and value names match
// without regard to ASCII case; a subkey path must not begin with "\" (ERROR_BAD_PATHNAME, as
// Windows and Wine do); enumeration is in name order.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace plat {

// Named 4-byte sections, shared by the FakePlatform instances given the same object.
class FakeSections {
 public:
  struct Section {
    std::uint32_t value = 0;
    int refs = 0;  // open handles and mapped views in all instances
  };
  std::map<std::string, std::shared_ptr<Section>> byName;  // names are case-sensitive
};

// The operations of the fake that can be made to fail (FakePlatform::FailNth).
enum class FakeOp {
  WriteFile,
  CreateHeldFile,
  DeleteFile,
  CreateDir,
  RemoveDir,
  ReadFile,
  RegCreateKey,
  RegOpenKey,
  RegSetString,
  RegDeleteKey,
  RegQueryInfo,
  RegEnumKey,
  CreateShellLink,
  CommonDesktopDirectory,
  DiskFreeSpace,
  DdeOpen,
  DdeExecute,
  OpenSharedSection,
  CreateSharedSection,
  MapSharedSection,
  ReadPlainFile,
  RegQueryValue,
  RegSetValue,
  RegDeleteValue,
};
const char* OpName(FakeOp op);  // the method's name, as in the journal

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(std::shared_ptr<FakeSections> sections = nullptr);
  ~FakePlatform() override;

  // ===== settings and test helpers =======================================================

  // --- files ---
  std::string windowsDirectory = "C:\\WINDOWS";  // created as a folder, with "Temp"
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  std::string moduleFileName = "C:\\Setup.exe";                       // no file is made for it
  void AddFile(const std::string& path, std::string_view bytes);      // makes missing folders
  void AddDir(const std::string& path);                               // with its parents
  std::optional<std::string> Content(const std::string& path) const;  // a file's bytes
  // Every folder and file, in name order, as full paths; folders end in "\".
  std::vector<std::string> Listing() const;
  void SetReadOnly(const std::string& path, bool readOnly = true);
  // Like the file of a running program: it can be read, not written or deleted.
  void SetLocked(const std::string& path, bool locked = true);
  // Marks a file or folder as a reparse point with this tag (by default a symbolic link). Where
  // a link leads is not modelled: the entries below a linked folder stand for what it leads
  // to.
  void SetReparsePoint(const std::string& path, std::uint32_t tag = 0xA000000C);
  // Replaces a folder by a symbolic link to a folder with the same entries, as another
  // program could while this one waits: a held folder no longer is what the name leads to.
  void SwapForLink(const std::string& path);
  // A folder made by CreateProtectedDir (any other folder has the access its parent passes on).
  bool IsProtectedDir(const std::string& path) const;

  // --- drives ---
  struct Drive {
    char letter = 'C';
    int type = kDriveFixed;
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    bool freeSpaceFails = false;  // DiskFreeSpace returns false
    bool full = false;            // writing any byte fails: "There is not enough space ..."
    bool readOnly = false;        // every change fails: "The media is write protected"
  };
  void SetDrive(const Drive& drive);  // adds or replaces the drive of that letter
  void RemoveDrive(char letter);      // its root and everything on it then are unreachable
  Drive* FindDrive(char letter);

  // --- payload ---
  void AddPayload(const std::string& name, const std::string& type, std::string_view bytes);

  // --- registry ---
  void AddKey(RegKey root, const std::string& path);  // with its parents
  void SetValue(RegKey root, const std::string& path, const std::string& name,
                const std::string& value);  // creates the key
  bool KeyExists(RegKey root, const std::string& path) const;
  std::optional<std::string> Value(RegKey root, const std::string& path,
                                   const std::string& name) const;
  // Every key of the three roots (HKCR is listed inside HKLM\Software\Classes) as
  // "HKLM\Software\X" and every value as "HKLM\Software\X\\name=value", in name order.
  std::vector<std::string> RegistryListing() const;
  // Creating, writing, opening and deleting the key and anything below it fail with
  // "access denied".
  void SetRegistryDenied(RegKey root, const std::string& path);
  std::size_t OpenKeyCount() const { return handles_.size(); }
  int badKeyCloses = 0;  // RegCloseKey of a handle that is not open

  // --- shell ---
  std::optional<std::string> commonDesktop = "C:\\users\\Public\\Desktop";  // made at start
  bool linkObjectFails = false;  // CreateShellLink throws
  struct Link {
    std::string target, workingDir;
    std::optional<std::string> savePath;
    bool saved = false;
  };
  std::vector<Link> links;
  int associationNotifications = 0;
  struct Execute {
    std::uintptr_t owner;
    std::string verb, file, params, dir;
    int show;
  };
  std::vector<Execute> executes;
  // ShellExecuteAsUser: whether the desktop shell answers, and what it was asked to start (the
  // owner is 0: the shell's process starts it).
  bool desktopShellAnswers = false;  // none, as under Wine
  std::vector<Execute> userExecutes;

  // --- Program Manager (DDE) ---
  bool progManRunning = true;          // the server answers a connect
  bool progManStartsOnLaunch = false;  // starting the server's program brings it up
  bool progManRefusesExecute = false;
  struct Conversation {
    std::string service, topic;
    bool connected = false;
  };
  std::vector<Conversation> conversations;  // each Open call
  std::vector<std::string> launches;        // command lines the client started
  std::vector<std::string> ddeCommands;     // every command handed over, exactly
  int ddeCloses = 0;                        // Close calls
  int ddeConnected = 0;                     // conversations connected right now

  // --- shared sections and windows ---
  std::shared_ptr<FakeSections> sections;
  std::vector<std::uintptr_t> restored;    // SendRestore
  std::vector<std::uintptr_t> foreground;  // SetForegroundWindow
  std::uintptr_t lastActivePopup = 0;      // 0: the window itself
  bool windowVisibleAndEnabled = true;
  std::size_t OpenSectionCount() const { return sectionHandles_.size(); }
  std::size_t MappedViewCount() const { return views_.size(); }

  // --- fault injection and journal ---
  // The n-th call (from 1) of operation `op` fails as Windows would. Operations are named by
  // the method they fail (OpName gives the name the journal uses).
  void FailNth(FakeOp op, int n);
  void FailAlways(FakeOp op);
  int CallCount(FakeOp op) const;
  struct JournalEntry {
    std::string op;      // the method
    std::string target;  // full path, or key path such as "HKCU\Software\X"
    std::string name;    // value name for RegSetString, else empty
    bool ok = false;
  };
  // Every call that changes something or tries to (files, folders, registry, links,
  // shell execute, DDE commands).
  std::vector<JournalEntry> journal;
  // Windows error code of the last failed file or registry call, 0 after success.
  mutable std::uint32_t lastError = 0;
  static std::string ErrorText(std::uint32_t code);

  // ===== Platform ===========================================================================
  bool FileExists(const std::string& path) override;
  bool DirExists(const std::string& path) override;
  bool CreateDir(const std::string& path) override;
  // Counted, failed and journalled as CreateDir; the folder is marked as protected.
  bool CreateProtectedDir(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  std::vector<DirEntry> ListDir(const std::string& pattern) override;
  std::optional<std::uint32_t> Attributes(const std::string& path) override;
  std::string ReadFile(const std::string& path) override;
  std::optional<std::string> TryReadFile(const std::string& path) override;
  void WriteFile(const std::string& path, std::string_view bytes) override;
  void CreateHeldFile(const std::string& path, std::string_view bytes) override;
  void ReleaseHeldFile(const std::string& path) override;
  std::optional<std::string> ReadPlainFile(const std::string& path) override;
  void WriteFileBelow(const std::string& base, const std::string& relPath,
                      std::string_view bytes) override;
  bool DeleteFileBelow(const std::string& base, const std::string& relPath) override;
  std::unique_ptr<HeldFolder> OpenFolder(const std::string& path) override;
  std::string WindowsDirectory() override { return windowsDirectory; }
  std::string SystemDirectory() override { return systemDirectory; }
  std::string ModuleFileName() override { return moduleFileName; }
  std::map<std::string, std::string> shortNames;  // path -> its 8.3 form, where it has one
  std::string ShortPathName(const std::string& path) override {
    auto it = shortNames.find(path);
    return it == shortNames.end() ? path : it->second;
  }

  std::optional<std::string_view> FindPayload(const std::string& name,
                                              const std::string& type) override;

  RegKey RegCreateKey(RegKey parent, const std::string& path) override;
  RegKey RegOpenKey(RegKey parent, const std::string& path) override;
  // Fails as RegCreateKey does (FakeOp::RegCreateKey) and is journalled under that name.
  RegKey RegCreateSubKey(RegKey parent, const std::string& name, bool& created) override;
  // Every value is a string here: type 1 (REG_SZ), the GBK bytes as data.
  Lookup RegQueryValue(RegKey key, const std::string& name, RegValue& value) override;
  bool RegSetValue(RegKey key, const std::string& name, const RegValue& value) override;
  bool RegDeleteValue(RegKey key, const std::string& name) override;
  bool RegSetString(RegKey key, const std::string& name, const std::string& value) override;
  bool RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) override;
  std::optional<std::string> RegEnumKey(RegKey key, std::uint32_t index) override;
  // Fails as RegQueryInfo does (FakeOp::RegQueryInfo).
  bool RegCountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) override;
  bool RegDeleteKey(RegKey parent, const std::string& path) override;
  void RegCloseKey(RegKey key) override;

  std::optional<std::string> CommonDesktopDirectory() override;
  void CreateShellLink(const std::string& target, const std::string& workingDir,
                       const std::optional<std::string>& savePath) override;
  void NotifyAssociationsChanged() override { ++associationNotifications; }
  void ShellExecute(std::uintptr_t owner, const std::string& verb, const std::string& file,
                    const std::string& params, const std::string& dir, int show) override;
  bool ShellExecuteAsUser(const std::string& verb, const std::string& file,
                          const std::string& params, const std::string& dir, int show) override;
  std::unique_ptr<DdeConversation> NewDdeConversation() override;

  std::string LogicalDriveStrings() override;
  int DriveType(const std::string& root) override;
  bool DiskFreeSpace(const std::string& root, std::uint64_t& freeToCaller,
                     std::uint64_t& total) override;

  std::uintptr_t OpenSharedSection(const std::string& name) override;
  std::uintptr_t CreateSharedSection(const std::string& name) override;
  std::uint32_t* MapSharedSection(std::uintptr_t section) override;
  void UnmapSharedSection(std::uint32_t* view) override;
  void CloseSharedSection(std::uintptr_t section) override;
  void SendRestore(std::uintptr_t window) override { restored.push_back(window); }
  std::uintptr_t LastActivePopup(std::uintptr_t window) override {
    return lastActivePopup ? lastActivePopup : window;
  }
  bool IsWindowVisibleAndEnabled(std::uintptr_t) override { return windowVisibleAndEnabled; }
  void SetForegroundWindow(std::uintptr_t window) override { foreground.push_back(window); }

  // Used by the fake conversation.
  bool Injected(FakeOp op);

 private:
  struct Node {
    std::string path;    // full path as first written
    std::string parent;  // upper-cased key of the folder holding it
    bool dir = false;
    std::string bytes;
    bool readOnly = false;
    bool locked = false;
    bool reparsePoint = false;
    std::uint32_t reparseTag = 0;
    bool protectedAccess = false;     // a folder made by CreateProtectedDir
    std::uint64_t id = ++lastNodeId;  // what a handle on it knows it by
    inline static std::uint64_t lastNodeId = 0;
  };
  friend class FakeHeldFolder;
  bool IsLinkNode(const std::string& key) const;
  // The first folder on the way from `base` to `relPath` that is a link; nothing if none.
  std::optional<std::string> LinkOnTheWay(const std::string& base, const std::string& relPath);
  static std::uint32_t AttributesOf(const Node& n);
  struct Path {
    bool ok = false;
    char drive = 0;
    std::vector<std::string> parts;  // names as given
    bool trailingSep = false;
    std::string key;   // upper-cased, "C:\A\B"; "C:" for the root
    std::string full;  // "C:\a\b"; "C:\" for the root
    std::string ParentKey() const;
  };
  struct RegNode {
    std::string name;
    std::map<std::string, std::unique_ptr<RegNode>> subkeys;            // by upper name
    std::map<std::string, std::pair<std::string, std::string>> values;  // upper -> name, data
  };
  struct Handle {
    RegKey root;                     // kCurrentUser or kLocalMachine (HKCR resolved)
    std::vector<std::string> names;  // from that root
    std::string shown;               // "HKCU\Software\X"
  };

  Path Parse(const std::string& path) const;
  bool RootExists(char drive) const;
  Node* Find(const std::string& key);
  const Node* Find(const std::string& key) const;
  bool ParentIsDir(const Path& p) const;
  bool Fail(std::uint32_t code) const;  // sets lastError, returns false
  void Note(const std::string& op, const std::string& target, bool ok,
            const std::string& name = "");
  bool HasChildren(const std::string& key) const;
  bool MakeDir(const std::string& path, bool protectedAccess);
  void MakeDirs(const Path& p, std::size_t levels);
  std::uint32_t Store(const Path& p, std::string_view bytes);  // 0 or an error code
  // A file's bytes, failing as `op`; `plain`: a link is refused and a missing file is none.
  std::optional<std::string> Read(const std::string& path, FakeOp op, bool plain);
  void Release(const std::shared_ptr<FakeSections::Section>& section);

  // Registry: a key position from a parent handle or root and a relative path.
  bool Locate(RegKey parent, const std::string& path, Handle& out) const;
  RegNode* Resolve(const Handle& h) const;
  RegNode* Root(RegKey root) const;
  void MakePath(const Handle& h);
  bool Denied(const Handle& h) const;
  // An open key's node for RegQueryInfo and RegCountEntries, failing as RegQueryInfo; null
  // on failure.
  RegNode* QueriedKey(RegKey key);
  // A change of the values of an open key, failing as `op` (journalled under its name) or
  // with "not found" when `change` finds nothing to change.
  bool ChangeValue(RegKey key, FakeOp op, const std::string& name,
                   const std::function<bool(RegNode&)>& change);
  RegKey NewHandle(Handle h);
  static std::string UpperKey(const std::vector<std::string>& names);

  std::map<std::string, Node> nodes_;  // by upper-cased full path
  std::map<char, Drive> drives_;
  std::map<std::string, std::string> payload_;  // "NAME\nTYPE" upper-cased
  std::unique_ptr<RegNode> hkcu_, hklm_;
  std::map<RegKey, Handle> handles_;
  RegKey nextKey_ = 0x1000;
  std::vector<std::pair<RegKey, std::string>> denied_;  // root and upper path
  std::map<FakeOp, int> calls_;
  std::map<FakeOp, std::set<int>> failAt_;
  std::set<FakeOp> failAlways_;
  std::map<std::uintptr_t, std::shared_ptr<FakeSections::Section>> sectionHandles_;
  std::vector<std::pair<std::uint32_t*, std::shared_ptr<FakeSections::Section>>> views_;
  std::uintptr_t nextSection_ = 0x200;
};

}  // namespace plat
