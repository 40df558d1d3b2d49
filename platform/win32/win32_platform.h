// The real system services on Windows. Every GBK string is converted explicitly with code page
// 936 and handed to the W functions, so the programs behave the same whatever the system code
// page is. This header does not pull in <windows.h>.
#pragma once
#include <map>
#include <memory>

#include "platform/platform.h"
#include "winkit/owner.h"

namespace plat {

class Win32Platform final : public Platform {
 public:
  bool FileExists(const std::string& path) override;
  bool DirExists(const std::string& path) override;
  bool CreateDir(const std::string& path) override;
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
  std::string WindowsDirectory() override;
  std::string SystemDirectory() override;
  std::string ModuleFileName() override;
  std::string ShortPathName(const std::string& path) override;

  std::optional<std::string_view> FindPayload(const std::string& name,
                                              const std::string& type) override;

  RegKey RegCreateKey(RegKey parent, const std::string& path) override;
  RegKey RegOpenKey(RegKey parent, const std::string& path) override;
  RegKey RegCreateSubKey(RegKey parent, const std::string& name, bool& created) override;
  Lookup RegQueryValue(RegKey key, const std::string& name, RegValue& value) override;
  bool RegSetValue(RegKey key, const std::string& name, const RegValue& value) override;
  bool RegDeleteValue(RegKey key, const std::string& name) override;
  bool RegSetString(RegKey key, const std::string& name, const std::string& value) override;
  bool RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) override;
  std::optional<std::string> RegEnumKey(RegKey key, std::uint32_t index) override;
  bool RegCountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) override;
  bool RegDeleteKey(RegKey parent, const std::string& path) override;
  void RegCloseKey(RegKey key) override;

  std::optional<std::string> CommonDesktopDirectory() override;
  void CreateShellLink(const std::string& target, const std::string& workingDir,
                       const std::optional<std::string>& savePath) override;
  void NotifyAssociationsChanged() override;
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
  void SendRestore(std::uintptr_t window) override;
  std::uintptr_t LastActivePopup(std::uintptr_t window) override;
  bool IsWindowVisibleAndEnabled(std::uintptr_t window) override;
  void SetForegroundWindow(std::uintptr_t window) override;

 private:
  unsigned long ReadPath(const std::string& path, std::string& out);  // 0 or the error code
  // CreateHeldFile's handles, by path; closed as kernel handles (this header keeps
  // <windows.h> out).
  struct CloseHeldFile {
    void operator()(void* handle) const;
  };
  using HeldFile = winkit::Owner<void*, CloseHeldFile>;
  std::map<std::string, HeldFile> held_;
};

}  // namespace plat
