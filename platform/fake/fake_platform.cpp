// The fake platform: construction, fault injection, the journal, error texts, paths and the
// payload.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "common/gbk.h"
#include "common/progman.h"
#include "platform/fake/fake_internal.h"

namespace plat {

using namespace fake_detail;

// ===== construction, injection, journal ===================================================

FakePlatform::FakePlatform(std::shared_ptr<FakeSections> shared)
    : sections(shared ? std::move(shared) : std::make_shared<FakeSections>()),
      hkcu_(std::make_unique<RegNode>()),
      hklm_(std::make_unique<RegNode>()) {
  SetDrive(Drive{'C', kDriveFixed, 80ull << 30, 40ull << 30});
  AddDir(windowsDirectory + "\\Temp");
  AddDir(*commonDesktop);
  AddKey(kLocalMachine, "Software\\Classes");
}

FakePlatform::~FakePlatform() {
  // Like the end of a process: its section handles and views go away.
  auto handles = std::move(sectionHandles_);
  for (auto& [h, s] : handles) Release(s);
  auto views = std::move(views_);
  for (auto& [v, s] : views) Release(s);
}

const char* OpName(FakeOp op) {
  static const char* const names[] = {"WriteFile",           "CreateHeldFile",
                                      "DeleteFile",          "CreateDir",
                                      "RemoveDir",           "ReadFile",
                                      "RegCreateKey",        "RegOpenKey",
                                      "RegSetString",        "RegDeleteKey",
                                      "RegQueryInfo",        "RegEnumKey",
                                      "CreateShellLink",     "CommonDesktopDirectory",
                                      "DiskFreeSpace",       "DdeOpen",
                                      "DdeExecute",          "OpenSharedSection",
                                      "CreateSharedSection", "MapSharedSection",
                                      "ReadPlainFile",       "RegQueryValue",
                                      "RegSetValue",         "RegDeleteValue"};
  return names[static_cast<int>(op)];
}

bool FakePlatform::Injected(FakeOp op) {
  int n = ++calls_[op];
  if (failAlways_.count(op)) return true;
  auto it = failAt_.find(op);
  return it != failAt_.end() && it->second.count(n);
}

void FakePlatform::FailNth(FakeOp op, int n) { failAt_[op].insert(n); }
void FakePlatform::FailAlways(FakeOp op) { failAlways_.insert(op); }

int FakePlatform::CallCount(FakeOp op) const {
  auto it = calls_.find(op);
  return it == calls_.end() ? 0 : it->second;
}

bool FakePlatform::Fail(std::uint32_t code) const {
  lastError = code;
  return false;
}

void FakePlatform::Note(const std::string& op, const std::string& target, bool ok,
                        const std::string& name) {
  if (ok) lastError = 0;
  journal.push_back({op, target, name, ok});
}

std::string FakePlatform::ErrorText(std::uint32_t code) {
  switch (code) {
    case kFileNotFound:
      return "The system cannot find the file specified";
    case kPathNotFound:
      return "The system cannot find the path specified";
    case kAccessDenied:
      return "Access is denied";
    case kInvalidHandle:
      return "The handle is invalid";
    case kWriteProtect:
      return "The media is write protected";
    case kSharingViolation:
      return "The process cannot access the file because it is being used by another process";
    case kDiskFull:
      return "There is not enough space on the disk";
    case kInvalidName:
      return "The filename, directory name, or volume label syntax is incorrect";
    case kDirNotEmpty:
      return "The directory is not empty";
    case kBadPathname:
      return "The specified path is invalid";
    case kAlreadyExists:
      return "Cannot create a file when that file already exists";
    case kNoMoreItems:
      return "No more data is available";
    case kDirectoryName:
      return "The directory name is invalid";
    case kKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion";
    default:
      return "Error " + std::to_string(code);
  }
}

// ===== paths ==============================================================================

FakePlatform::Path FakePlatform::Parse(const std::string& in) const {
  Path p;
  if (in.size() < 2 || in[1] != ':' || !std::isalpha(static_cast<unsigned char>(in[0]))) return p;
  p.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(in[0])));
  std::vector<std::string> pieces = Split(in.substr(2), true);
  for (std::string& piece : pieces) {
    // A trail byte is half of a character, which Windows sees after the code page's
    // conversion: only single bytes can be characters no name may hold.
    for (std::size_t i = 0; i < piece.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(piece[i]);
      if (gbk::IsLeadByte(b) && i + 1 < piece.size())
        ++i;
      else if (b < 32 || std::strchr("<>:\"|?*", b))
        return p;
    }
    if (piece == ".") continue;
    if (piece == "..") {
      if (!p.parts.empty()) p.parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name (never trail bytes: those are >= 0x40).
    while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ')) piece.pop_back();
    if (!piece.empty()) p.parts.push_back(piece);
  }
  p.trailingSep = pieces.size() > 1 && pieces.back().empty() && !p.parts.empty();
  p.key = std::string(1, p.drive) + ":";
  p.full = p.key + "\\";
  for (std::size_t i = 0; i < p.parts.size(); ++i) {
    p.key += "\\" + Upper(p.parts[i]);
    p.full += (i ? "\\" : "") + p.parts[i];
  }
  p.ok = true;
  return p;
}

std::string FakePlatform::Path::ParentKey() const {
  std::string k(1, drive);
  k += ":";
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) k += "\\" + Upper(parts[i]);
  return k;
}

bool FakePlatform::RootExists(char drive) const { return drives_.count(drive) != 0; }

FakePlatform::Node* FakePlatform::Find(const std::string& key) {
  return const_cast<Node*>(static_cast<const FakePlatform*>(this)->Find(key));
}

const FakePlatform::Node* FakePlatform::Find(const std::string& key) const {
  if (key.empty() || !RootExists(key[0])) return nullptr;
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

bool FakePlatform::ParentIsDir(const Path& p) const {
  if (!RootExists(p.drive)) return false;
  if (p.parts.size() <= 1) return true;
  const Node* n = Find(p.ParentKey());
  return n && n->dir;
}

bool FakePlatform::HasChildren(const std::string& key) const {
  return std::any_of(nodes_.begin(), nodes_.end(),
                     [&](const auto& kv) { return kv.second.parent == key; });
}

void FakePlatform::MakeDirs(const Path& p, std::size_t levels) {
  std::string key(1, p.drive), shown;
  key += ":";
  shown = key;
  for (std::size_t i = 0; i < levels; ++i) {
    std::string parent = key;
    key += "\\" + Upper(p.parts[i]);
    auto it = nodes_.find(key);
    if (it == nodes_.end()) {
      Node n;
      n.path = shown + "\\" + p.parts[i];
      n.parent = parent;
      n.dir = true;
      it = nodes_.emplace(key, n).first;
    }
    shown = it->second.path;
  }
}

// ===== payload ============================================================================

void FakePlatform::AddPayload(const std::string& name, const std::string& type,
                              std::string_view bytes) {
  payload_[Upper(name) + "\n" + Upper(type)] = std::string(bytes);
}

std::optional<std::string_view> FakePlatform::FindPayload(const std::string& name,
                                                          const std::string& type) {
  auto it = payload_.find(Upper(name) + "\n" + Upper(type));
  if (it == payload_.end()) return std::nullopt;
  return std::string_view(it->second);
}

}  // namespace plat
