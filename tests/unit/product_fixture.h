// The product the unit tests install and remove: its config (Setup.ini), its payload entries
// with the manifest (Setup.log) that lists them, and what a finished installation leaves on
// the system, which the uninstaller's tests start from.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

inline const char kProductConfig[] =
    "[***]\r\n\r\n[Form]\r\nCaption=Korvanev2.5（专业版）\r\nVersion=2.5（专业版）\r\n"
    "SQXY=用户授权协议\r\ndesKtopLink=\\Korvanev2.5(专业版).lnk\r\n\r\n[SetupDir]\r\n"
    "Drive=D:\r\nDirName=Korvn25\r\nSetupPath=D:\\Program Files\\Korvn25\r\n\r\n[Run]\r\n"
    "FileName=KVRN.exe\r\nRJSize=15\r\n\r\n";
inline const char kCaption[] = "Korvanev2.5（专业版）";
inline const char kDefaultDir[] = "D:\\Program Files\\Korvn25";
inline const char kDesktopLink[] = "C:\\users\\Public\\Desktop\\Korvanev2.5(专业版).lnk";
inline const char kUninstallKey[] =
    "software\\microsoft\\windows\\currentversion\\uninstall\\Korvane";

// The config with the value of `key` (the first line "key=...") replaced.
inline std::string ProductConfigWith(const std::string& key, const std::string& value) {
  std::string config = kProductConfig;
  const std::size_t line = config.find("\r\n" + key + "=");
  if (line == std::string::npos) throw std::logic_error("no " + key + " in the config");
  const std::size_t start = line + key.size() + 3;
  return config.replace(start, config.find("\r\n", start) - start, value);
}

struct PayloadEntry {
  std::string name, type, relPath, bytes;
  bool stored = true;  // false: the manifest names it, the payload lacks it
};

// The manifest's own entry (FileTxt5) is empty here: StorePayload fills it in.
inline std::vector<PayloadEntry> ProductEntries() {
  return {
      {"FileExe", "exename", "KVRN.exe", "MZ program"},
      {"uninstall", "exename", "Uninstall.exe", "MZ uninstaller"},
      {"FileTxt4", "txtname", "用户授权协议.txt", "第一条 授权\r\n第二条 限制"},
      {"FileTxt5", "txtname", "Setup.log", ""},
      {"FileTxt6", "txtname", "Setup.ini", kProductConfig},
      {"SdbFileDB1d", "DBname1", "SdbFile\\词库.dat", std::string(300, '\x01')},
      {"SdbFileDB1i", "DBname1", "SdbFile\\词库.idx", std::string(64, '\x02')},
      {"UserFile", "name1", "UserFile\\示例 文档.Kvx", "KVX1"},
  };
}

// One line "ResName ResType RelPath" per entry.
inline std::string ManifestOf(const std::vector<PayloadEntry>& entries) {
  std::string text;
  for (const PayloadEntry& e : entries)
    text += (text.empty() ? "" : "\r\n") + e.name + " " + e.type + " " + e.relPath;
  return text;
}

inline std::vector<std::string> RelPathsOf(const std::vector<PayloadEntry>& entries) {
  std::vector<std::string> paths;
  for (const PayloadEntry& e : entries) paths.push_back(e.relPath);
  return paths;
}

// Puts the stored entries into the payload; the manifest's entry gets `manifest`, in `entries` too.
inline void StorePayload(plat::FakePlatform& sys, std::vector<PayloadEntry>& entries,
                         const std::string& manifest) {
  for (PayloadEntry& e : entries) {
    if (e.name == "FileTxt5") e.bytes = manifest;
    if (e.stored) sys.AddPayload(e.name, e.type, e.bytes);
  }
}

// What a finished installation into `dir` (ending in "\") leaves: every entry's file, with
// `manifest` and `config` as Setup.log and Setup.ini; the uninstall entry; the document type;
// the desktop link. And the application's own settings in HKLM, removed with the product.
inline void PutInstalledProduct(plat::FakePlatform& sys,
                                const std::string& dir = std::string(kDefaultDir) + "\\",
                                const std::string& manifest = ManifestOf(ProductEntries()),
                                const std::string& config = kProductConfig) {
  for (const PayloadEntry& e : ProductEntries()) sys.AddFile(dir + e.relPath, e.bytes);
  sys.AddFile(dir + "Setup.log", manifest);
  sys.AddFile(dir + "Setup.ini", config);
  const std::string program = dir + "KVRN.exe", cls = "Software\\KORVX";
  auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
  sys.SetValue(plat::kCurrentUser, kUninstallKey, "displayname", "Korvane卸载");
  sys.SetValue(plat::kCurrentUser, kUninstallKey, "uninstallstring", quoted(dir + "Uninstall.exe"));
  sys.SetValue(plat::kClassesRoot, ".Kvx", "", cls);
  sys.SetValue(plat::kClassesRoot, cls, "", kCaption);
  sys.SetValue(plat::kClassesRoot, cls + "\\DefaultIcon", "", program + ",0");
  sys.SetValue(plat::kClassesRoot, cls + "\\Shell\\Open", "", "&Open");
  sys.SetValue(plat::kClassesRoot, cls + "\\Shell\\Open\\Command", "", quoted(program) + " \"%1\"");
  sys.SetValue(plat::kCurrentUser, cls + "\\Shell\\PathName", "Path", dir);
  sys.SetValue(plat::kCurrentUser, cls + "\\Shell\\Version", "Version", "2.5（专业版）");
  sys.AddFile(kDesktopLink, "[link]\r\ntarget=" + program + "\r\nworkdir=" + dir + "\r\n");
  sys.SetValue(plat::kLocalMachine, "Software\\Korvane\\Options\\Deep", "x", "1");
  sys.SetValue(plat::kLocalMachine, "Software\\Korvane\\Paths", "x", "1");
}

// The uninstaller as it runs from `dir`: its own file is in use.
inline void RunUninstallerFrom(plat::FakePlatform& sys, const std::string& dir) {
  sys.moduleFileName = dir + "Uninstall.exe";
  sys.SetLocked(sys.moduleFileName);
}

// Things of others beside the product, which a removal must leave as they are.
inline void PutThingsOfOthers(plat::FakePlatform& sys) {
  sys.SetValue(plat::kCurrentUser, "Software\\Other", "keep", "1");
  sys.AddKey(plat::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\X");
  sys.AddFile("C:\\users\\Public\\Desktop\\Other.lnk", "lnk");
  sys.AddFile("D:\\Program Files\\Other\\keep.txt", "keep");
}
