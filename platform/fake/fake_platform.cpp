#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "common/gbk.h"
#include "common/progman.h"

namespace plat {

namespace {

constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kWriteProtect = 19;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kDiskFull = 112;
constexpr std::uint32_t kInvalidName = 123;
constexpr std::uint32_t kDirNotEmpty = 145;
constexpr std::uint32_t kBadPathname = 161;
constexpr std::uint32_t kAlreadyExists = 183;
constexpr std::uint32_t kNoMoreItems = 259;
constexpr std::uint32_t kDirectoryName = 267;
constexpr std::uint32_t kKeyDeleted = 1018;

// ASCII upper case, leaving both bytes of a double-byte character alone.
std::string Upper(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(out[i]);
    if (gbk::IsLeadByte(b) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (b >= 'a' && b <= 'z') out[i] = static_cast<char>(b - 32);
  }
  return out;
}

// Splits at "\" (and "/" when `slash`), not at trail bytes; keeps empty pieces.
std::vector<std::string> Split(const std::string& s, bool slash) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (gbk::IsLeadByte(b) && i + 1 < s.size()) {
      parts.back() += s.substr(i, 2);
      ++i;
    } else if (b == '\\' || (slash && b == '/')) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(b);
    }
  }
  return parts;
}

// FindFirstFile's name match: "*" any run, "?" one byte, without regard to ASCII case;
// "*.*" and "*" match every name.
bool MaskMatches(const std::string& mask, const std::string& name) {
  if (mask == "*" || mask == "*.*") return true;
  std::string m = Upper(mask), n = Upper(name);
  std::function<bool(std::size_t, std::size_t)> match = [&](std::size_t i, std::size_t j) {
    if (i == m.size()) return j == n.size();
    if (m[i] == '*') return match(i + 1, j) || (j < n.size() && match(i, j + 1));
    if (j == n.size()) return false;
    return (m[i] == '?' || m[i] == n[j]) && match(i + 1, j + 1);
  };
  return match(0, 0);
}

const char* RootName(RegKey root) {
  switch (root) {
    case kClassesRoot:
      return "HKCR";
    case kCurrentUser:
      return "HKCU";
    case kLocalMachine:
      return "HKLM";
    default:
      return nullptr;
  }
}

// The Program Manager client over the fake's recording server.
class FakeConversation : public DdeConversation {
 public:
  explicit FakeConversation(FakePlatform& fake) : fake_(fake) {}
  ~FakeConversation() override { Disconnect(); }

  bool Open(const std::string& service, const std::string& topic) override {
    Disconnect();
    fake_.conversations.push_back({service, topic, false});
    if (fake_.Injected(FakeOp::DdeOpen)) return false;
    auto answers = [&] {
      return fake_.progManRunning && gbk::EqualsNoCase(service, "ProgMan") &&
             gbk::EqualsNoCase(topic, "ProgMan");
    };
    if (!answers()) {
      // The client starts the service's program from the Windows folder, only if it is
      // there, once, and tries again.
      const std::string program = ServerProgramPath(fake_.windowsDirectory, service);
      if (!fake_.FileExists(program)) return false;
      fake_.launches.push_back(ServerCommandLine(program, topic));
      if (fake_.progManStartsOnLaunch) fake_.progManRunning = true;
      if (!answers()) return false;
    }
    connected_ = true;
    ++fake_.ddeConnected;
    fake_.conversations.back().connected = true;
    return true;
  }

  bool Execute(const std::string& command) override {
    bool ok = !fake_.Injected(FakeOp::DdeExecute) && connected_ && !fake_.progManRefusesExecute;
    if (ok) fake_.ddeCommands.push_back(command);
    fake_.journal.push_back({"DdeExecute", command, "", ok});
    return ok;
  }

  void Close() override {
    ++fake_.ddeCloses;
    Disconnect();
  }

 private:
  void Disconnect() {
    if (!connected_) return;
    connected_ = false;
    --fake_.ddeConnected;
  }
  FakePlatform& fake_;
  bool connected_ = false;
};

}  // namespace

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
                                      "CreateSharedSection", "MapSharedSection"};
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
    for (unsigned char b : piece)
      if (b < 32 || std::strchr("<>:\"|?*", b)) return p;
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

// ===== file helpers =======================================================================

void FakePlatform::AddFile(const std::string& path, std::string_view bytes) {
  Path p = Parse(path);
  if (!p.ok || p.parts.empty() || p.trailingSep || (Find(p.key) && Find(p.key)->dir))
    throw std::logic_error("AddFile: bad path " + path);
  if (!RootExists(p.drive)) SetDrive(Drive{p.drive, kDriveFixed, 100ull << 30, 50ull << 30});
  MakeDirs(p, p.parts.size() - 1);
  Node& n = nodes_[p.key];
  if (n.path.empty()) {
    const Node* parent = Find(p.ParentKey());
    n.path = (parent ? parent->path + "\\" : p.full.substr(0, 3)) + p.parts.back();
    n.parent = p.ParentKey();
  }
  n.dir = false;
  n.bytes = std::string(bytes);
}

void FakePlatform::AddDir(const std::string& path) {
  Path p = Parse(path);
  if (!p.ok) throw std::logic_error("AddDir: bad path " + path);
  if (!RootExists(p.drive)) SetDrive(Drive{p.drive, kDriveFixed, 100ull << 30, 50ull << 30});
  MakeDirs(p, p.parts.size());
}

std::optional<std::string> FakePlatform::Content(const std::string& path) const {
  Path p = Parse(path);
  const Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n || n->dir) return std::nullopt;
  return n->bytes;
}

std::vector<std::string> FakePlatform::Listing() const {
  std::vector<std::string> out;
  for (const auto& [key, n] : nodes_)
    if (RootExists(key[0])) out.push_back(n.dir ? n.path + "\\" : n.path);
  return out;
}

void FakePlatform::SetReadOnly(const std::string& path, bool readOnly) {
  Path p = Parse(path);
  Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n) throw std::logic_error("SetReadOnly: no such file " + path);
  n->readOnly = readOnly;
}

void FakePlatform::SetLocked(const std::string& path, bool locked) {
  Path p = Parse(path);
  Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n) throw std::logic_error("SetLocked: no such file " + path);
  n->locked = locked;
}

// ===== files and folders ==================================================================

std::uint32_t FakePlatform::AttributesOf(const Node& n) {
  std::uint32_t attrs = n.dir ? kAttrDirectory : 0x20;  // archive
  if (n.readOnly) attrs |= kAttrReadOnly;
  if (n.reparsePoint) attrs |= kAttrReparsePoint;
  return attrs;
}

std::optional<std::uint32_t> FakePlatform::Attributes(const std::string& path) {
  Path p = Parse(path);
  const Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n || (p.trailingSep && !n->dir)) return std::nullopt;
  return AttributesOf(*n);
}

void FakePlatform::SetReparsePoint(const std::string& path) {
  Path p = Parse(path);
  Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n) throw std::logic_error("SetReparsePoint: no such file or folder " + path);
  n->reparsePoint = true;
}

bool FakePlatform::FileExists(const std::string& path) {
  Path p = Parse(path);
  if (!p.ok || p.trailingSep) return false;
  const Node* n = Find(p.key);
  return n && !n->dir;
}

bool FakePlatform::DirExists(const std::string& path) {
  Path p = Parse(path);
  if (!p.ok) return false;
  if (p.parts.empty()) return RootExists(p.drive);
  const Node* n = Find(p.key);
  return n && n->dir;
}

bool FakePlatform::CreateDir(const std::string& path) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  bool ok = false;
  if (Injected(FakeOp::CreateDir))
    Fail(kAccessDenied);
  else if (!p.ok)
    Fail(kInvalidName);
  else if (p.parts.empty())
    Fail(RootExists(p.drive) ? kAccessDenied : kPathNotFound);
  else if (Find(p.key))
    Fail(kAlreadyExists);
  else if (!ParentIsDir(p))
    Fail(kPathNotFound);
  else if (drives_[p.drive].readOnly)
    Fail(kWriteProtect);
  else {
    MakeDirs(p, p.parts.size());
    ok = true;
  }
  Note("CreateDir", shown, ok);
  return ok;
}

bool FakePlatform::DeleteFile(const std::string& path) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  Node* n = p.ok ? Find(p.key) : nullptr;
  bool ok = false;
  if (Injected(FakeOp::DeleteFile))
    Fail(kAccessDenied);
  else if (!p.ok || p.trailingSep)
    Fail(kInvalidName);
  else if (!n)
    Fail(ParentIsDir(p) ? kFileNotFound : kPathNotFound);
  else if (drives_[p.drive].readOnly)
    Fail(kWriteProtect);
  else if (n->dir || n->readOnly || n->locked)
    Fail(kAccessDenied);
  else {
    nodes_.erase(p.key);
    ok = true;
  }
  Note("DeleteFile", shown, ok);
  return ok;
}

bool FakePlatform::RemoveDir(const std::string& path) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  Node* n = p.ok ? Find(p.key) : nullptr;
  bool ok = false;
  if (Injected(FakeOp::RemoveDir))
    Fail(kAccessDenied);
  else if (!p.ok)
    Fail(kInvalidName);
  else if (p.parts.empty())
    Fail(kAccessDenied);
  else if (!n)
    Fail(ParentIsDir(p) ? kFileNotFound : kPathNotFound);
  else if (!n->dir)
    Fail(kDirectoryName);
  else if (HasChildren(p.key))
    Fail(kDirNotEmpty);
  else if (drives_[p.drive].readOnly)
    Fail(kWriteProtect);
  else {
    nodes_.erase(p.key);
    ok = true;
  }
  Note("RemoveDir", shown, ok);
  return ok;
}

std::vector<DirEntry> FakePlatform::ListDir(const std::string& pattern) {
  std::vector<DirEntry> out;
  std::size_t sep = std::string::npos;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(pattern[i]);
    if (gbk::IsLeadByte(b) && i + 1 < pattern.size())
      ++i;
    else if (b == '\\' || b == '/')
      sep = i;
  }
  if (sep == std::string::npos) return out;
  std::string mask = pattern.substr(sep + 1);
  Path folder = Parse(pattern.substr(0, sep));
  if (mask.empty() || !folder.ok || !DirExists(folder.full)) return out;
  if (!folder.parts.empty()) {
    if (MaskMatches(mask, ".")) out.push_back({".", kAttrDirectory});
    if (MaskMatches(mask, "..")) out.push_back({"..", kAttrDirectory});
  }
  for (const auto& [key, n] : nodes_) {
    if (n.parent != folder.key) continue;
    std::string name = n.path.substr(n.path.size() - (key.size() - n.parent.size() - 1));
    if (!MaskMatches(mask, name)) continue;
    std::uint32_t attrs = AttributesOf(n);
    out.push_back({name, attrs});
  }
  return out;
}

std::string FakePlatform::ReadFile(const std::string& path) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  const Node* n = p.ok ? Find(p.key) : nullptr;
  std::uint32_t code = 0;
  if (Injected(FakeOp::ReadFile))
    code = kAccessDenied;
  else if (!p.ok || p.trailingSep)
    code = kInvalidName;
  else if (!n)
    code = ParentIsDir(p) ? kFileNotFound : kPathNotFound;
  else if (n->dir)
    code = kAccessDenied;
  if (code) {
    Fail(code);
    throw Error("Cannot open file \"" + shown + "\". " + ErrorText(code));
  }
  lastError = 0;
  return n->bytes;
}

std::optional<std::string> FakePlatform::TryReadFile(const std::string& path) {
  try {
    return ReadFile(path);
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::uint32_t FakePlatform::Store(const Path& p, std::string_view bytes) {
  if (!p.ok || p.trailingSep) return kInvalidName;
  if (p.parts.empty()) return RootExists(p.drive) ? kAccessDenied : kPathNotFound;
  if (!ParentIsDir(p)) return kPathNotFound;
  const Drive& d = drives_[p.drive];
  if (d.readOnly) return kWriteProtect;
  Node* n = Find(p.key);
  if (n && (n->dir || n->readOnly)) return kAccessDenied;
  if (n && n->locked) return kSharingViolation;
  if (!n) {
    const Node* parent = Find(p.ParentKey());
    Node fresh;
    fresh.path = (parent ? parent->path + "\\" : p.full.substr(0, 3)) + p.parts.back();
    fresh.parent = p.ParentKey();
    n = &nodes_.emplace(p.key, fresh).first->second;
  }
  // The file is created (truncated) before the bytes go in, so a full disk leaves it empty.
  n->bytes.clear();
  if (d.full && !bytes.empty()) return kDiskFull;
  n->bytes = std::string(bytes);
  return 0;
}

void FakePlatform::WriteFile(const std::string& path, std::string_view bytes) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  std::uint32_t code = Injected(FakeOp::WriteFile) ? kAccessDenied : Store(p, bytes);
  Note("WriteFile", shown, code == 0);
  if (code) {
    Fail(code);
    throw Error("Cannot create file \"" + shown + "\". " + ErrorText(code));
  }
}

void FakePlatform::CreateHeldFile(const std::string& path, std::string_view bytes) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  std::uint32_t code = 0;
  if (Injected(FakeOp::CreateHeldFile)) {
    code = kAccessDenied;
  } else if (Node* n = p.ok ? Find(p.key) : nullptr) {
    // An earlier file of that name goes first, read-only or not; one held open elsewhere or
    // a folder stays, and then no new file can be made.
    if (n->dir || drives_[p.drive].readOnly)
      code = kAccessDenied;
    else if (n->locked)
      code = kSharingViolation;
    else
      nodes_.erase(p.key);
  }
  if (!code) code = Store(p, bytes);
  Note("CreateHeldFile", shown, code == 0);
  if (code) {
    Fail(code);
    throw Error("Cannot create file \"" + shown + "\". " + ErrorText(code));
  }
  Find(p.key)->locked = true;  // readable, not writable or deletable while held
}

void FakePlatform::ReleaseHeldFile(const std::string& path) {
  Path p = Parse(path);
  if (Node* n = p.ok ? Find(p.key) : nullptr) n->locked = false;
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

// ===== registry ===========================================================================

FakePlatform::RegNode* FakePlatform::Root(RegKey root) const {
  if (root == kCurrentUser) return hkcu_.get();
  if (root == kLocalMachine) return hklm_.get();
  return nullptr;
}

std::string FakePlatform::UpperKey(const std::vector<std::string>& names) {
  std::string k;
  for (const auto& n : names) k += "\\" + Upper(n);
  return k;
}

bool FakePlatform::Locate(RegKey parent, const std::string& path, Handle& out) const {
  if (parent == kClassesRoot) {
    out = Handle{kLocalMachine, {"Software", "Classes"}, "HKCR"};
  } else if (RootName(parent)) {
    out = Handle{parent, {}, RootName(parent)};
  } else {
    auto it = handles_.find(parent);
    if (it == handles_.end()) return Fail(kInvalidHandle);
    out = it->second;
  }
  if (path.empty()) return true;
  if (path[0] == '\\') return Fail(kBadPathname);
  std::vector<std::string> names = Split(path, false);
  if (names.back().empty()) names.pop_back();  // one trailing "\" is accepted
  for (const auto& n : names) {
    if (n.empty()) return Fail(kBadPathname);
    out.names.push_back(n);
    out.shown += "\\" + n;
  }
  return true;
}

FakePlatform::RegNode* FakePlatform::Resolve(const Handle& h) const {
  RegNode* node = Root(h.root);
  for (const auto& n : h.names) {
    if (!node) return nullptr;
    auto it = node->subkeys.find(Upper(n));
    node = it == node->subkeys.end() ? nullptr : it->second.get();
  }
  return node;
}

bool FakePlatform::Denied(const Handle& h) const {
  std::string key = UpperKey(h.names);
  for (const auto& [root, d] : denied_)
    if (root == h.root && (key == d || key.compare(0, d.size() + 1, d + "\\") == 0)) return true;
  return false;
}

RegKey FakePlatform::NewHandle(Handle h) {
  RegKey k = nextKey_;
  nextKey_ += 4;
  handles_[k] = std::move(h);
  return k;
}

void FakePlatform::AddKey(RegKey root, const std::string& path) {
  Handle h;
  if (!Locate(root, path, h)) throw std::logic_error("AddKey: bad key " + path);
  RegNode* node = Root(h.root);
  for (const auto& n : h.names) {
    auto& slot = node->subkeys[Upper(n)];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = n;
    }
    node = slot.get();
  }
}

void FakePlatform::SetValue(RegKey root, const std::string& path, const std::string& name,
                            const std::string& value) {
  AddKey(root, path);
  Handle h;
  Locate(root, path, h);
  Resolve(h)->values[Upper(name)] = {name, value};
}

bool FakePlatform::KeyExists(RegKey root, const std::string& path) const {
  Handle h;
  return Locate(root, path, h) && Resolve(h);
}

std::optional<std::string> FakePlatform::Value(RegKey root, const std::string& path,
                                               const std::string& name) const {
  Handle h;
  RegNode* node = Locate(root, path, h) ? Resolve(h) : nullptr;
  if (!node) return std::nullopt;
  auto it = node->values.find(Upper(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.second;
}

std::vector<std::string> FakePlatform::RegistryListing() const {
  std::vector<std::string> out;
  std::function<void(const RegNode&, const std::string&)> walk = [&](const RegNode& node,
                                                                     const std::string& shown) {
    for (const auto& [upper, v] : node.values)
      out.push_back(shown + "\\\\" + v.first + "=" + v.second);
    for (const auto& [upper, sub] : node.subkeys) {
      out.push_back(shown + "\\" + sub->name);
      walk(*sub, shown + "\\" + sub->name);
    }
  };
  walk(*hkcu_, "HKCU");
  walk(*hklm_, "HKLM");
  return out;
}

void FakePlatform::SetRegistryDenied(RegKey root, const std::string& path) {
  Handle h;
  if (!Locate(root, path, h)) throw std::logic_error("SetRegistryDenied: bad key " + path);
  denied_.emplace_back(h.root, UpperKey(h.names));
}

RegKey FakePlatform::RegCreateKey(RegKey parent, const std::string& path) {
  Handle h, base;
  bool ok = false;
  if (Injected(FakeOp::RegCreateKey))
    Fail(kAccessDenied);
  else if (!Locate(parent, path, h) || !Locate(parent, "", base))
    ;
  else if (!Resolve(base))
    Fail(kKeyDeleted);  // the parent handle's key was deleted meanwhile
  else if (Denied(h))
    Fail(kAccessDenied);
  else {
    RegNode* node = Root(h.root);
    for (const auto& n : h.names) {
      auto& slot = node->subkeys[Upper(n)];
      if (!slot) {
        slot = std::make_unique<RegNode>();
        slot->name = n;
      }
      node = slot.get();
    }
    ok = true;
  }
  Note("RegCreateKey", h.shown.empty() ? path : h.shown, ok);
  return ok ? NewHandle(h) : 0;
}

RegKey FakePlatform::RegOpenKey(RegKey parent, const std::string& path) {
  Handle h;
  if (Injected(FakeOp::RegOpenKey)) return Fail(kAccessDenied), 0;
  if (!Locate(parent, path, h)) return 0;
  if (!Resolve(h)) return Fail(kFileNotFound), 0;
  if (Denied(h)) return Fail(kAccessDenied), 0;
  lastError = 0;
  return NewHandle(h);
}

bool FakePlatform::RegSetString(RegKey key, const std::string& name, const std::string& value) {
  Handle h;
  RegNode* node = nullptr;
  bool ok = false;
  if (Injected(FakeOp::RegSetString))
    Fail(kAccessDenied);
  else if (!Locate(key, "", h))
    ;
  else if (!(node = Resolve(h)))
    Fail(kKeyDeleted);
  else if (Denied(h))
    Fail(kAccessDenied);
  else {
    node->values[Upper(name)] = {name, value};
    ok = true;
  }
  Note("RegSetString", h.shown, ok, name);
  return ok;
}

bool FakePlatform::RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) {
  Handle h;
  if (Injected(FakeOp::RegQueryInfo)) return Fail(kAccessDenied);
  if (!Locate(key, "", h)) return false;
  RegNode* node = Resolve(h);
  if (!node) return Fail(kKeyDeleted);
  subkeys = static_cast<std::uint32_t>(node->subkeys.size());
  maxNameLen = 0;
  for (const auto& [upper, sub] : node->subkeys)
    maxNameLen = std::max<std::uint32_t>(maxNameLen, static_cast<std::uint32_t>(sub->name.size()));
  lastError = 0;
  return true;
}

std::optional<std::string> FakePlatform::RegEnumKey(RegKey key, std::uint32_t index) {
  Handle h;
  if (Injected(FakeOp::RegEnumKey)) return Fail(kAccessDenied), std::nullopt;
  if (!Locate(key, "", h)) return std::nullopt;
  RegNode* node = Resolve(h);
  if (!node) return Fail(kKeyDeleted), std::nullopt;
  if (index >= node->subkeys.size()) return Fail(kNoMoreItems), std::nullopt;
  auto it = node->subkeys.begin();
  std::advance(it, index);
  lastError = 0;
  return it->second->name;
}

bool FakePlatform::RegDeleteKey(RegKey parent, const std::string& path) {
  Handle h;
  RegNode* node = nullptr;
  bool ok = false;
  if (Injected(FakeOp::RegDeleteKey))
    Fail(kAccessDenied);
  else if (!Locate(parent, path, h))
    ;
  else if (h.names.empty() || (parent == kClassesRoot && h.names.size() == 2))
    Fail(kAccessDenied);  // a root cannot be deleted
  else if (!(node = Resolve(h)))
    Fail(kFileNotFound);
  else if (!node->subkeys.empty() || Denied(h))
    Fail(kAccessDenied);
  else {
    Handle up = h;
    up.names.pop_back();
    Resolve(up)->subkeys.erase(Upper(h.names.back()));
    ok = true;
  }
  Note("RegDeleteKey", h.shown.empty() ? path : h.shown, ok);
  return ok;
}

void FakePlatform::RegCloseKey(RegKey key) {
  if (RootName(key)) return;
  if (!handles_.erase(key)) ++badKeyCloses;
}

// ===== shell ==============================================================================

std::optional<std::string> FakePlatform::CommonDesktopDirectory() {
  if (Injected(FakeOp::CommonDesktopDirectory)) return std::nullopt;
  return commonDesktop;
}

void FakePlatform::CreateShellLink(const std::string& target, const std::string& workingDir,
                                   const std::optional<std::string>& savePath) {
  if (Injected(FakeOp::CreateShellLink) || linkObjectFails) {
    Note("CreateShellLink", savePath.value_or(""), false);
    throw Error("Class not registered");
  }
  Link link{target, workingDir, savePath, false};
  if (savePath) {
    std::string bytes = "[link]\r\ntarget=" + target + "\r\nworkdir=" + workingDir + "\r\n";
    link.saved = Store(Parse(*savePath), bytes) == 0;
  }
  Note("CreateShellLink", savePath.value_or(""), !savePath || link.saved);
  links.push_back(std::move(link));
}

void FakePlatform::ShellExecute(std::uintptr_t owner, const std::string& verb,
                                const std::string& file, const std::string& params,
                                const std::string& dir, int show) {
  executes.push_back({owner, verb, file, params, dir, show});
  Note("ShellExecute", file, true);
}

std::unique_ptr<DdeConversation> FakePlatform::NewDdeConversation() {
  return std::make_unique<FakeConversation>(*this);
}

// ===== drives =============================================================================

void FakePlatform::SetDrive(const Drive& drive) {
  Drive d = drive;
  d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(d.letter)));
  drives_[d.letter] = d;
}

void FakePlatform::RemoveDrive(char letter) {
  drives_.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
}

FakePlatform::Drive* FakePlatform::FindDrive(char letter) {
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? nullptr : &it->second;
}

std::string FakePlatform::LogicalDriveStrings() {
  std::string out;
  for (const auto& [letter, d] : drives_) {
    out += letter;
    out += ":\\";
    out += '\0';
  }
  return out;
}

int FakePlatform::DriveType(const std::string& root) {
  if (root.size() < 2 || root[1] != ':') return kDriveNoRootDir;
  Drive* d = FindDrive(root[0]);
  return d ? d->type : kDriveNoRootDir;
}

bool FakePlatform::DiskFreeSpace(const std::string& root, std::uint64_t& freeToCaller,
                                 std::uint64_t& total) {
  if (Injected(FakeOp::DiskFreeSpace)) return false;
  Drive* d = root.size() >= 2 && root[1] == ':' ? FindDrive(root[0]) : nullptr;
  if (!d || d->freeSpaceFails || d->type == kDriveNoRootDir) return false;
  freeToCaller = d->free;
  total = d->total;
  return true;
}

// ===== shared sections ====================================================================

std::uintptr_t FakePlatform::OpenSharedSection(const std::string& name) {
  if (Injected(FakeOp::OpenSharedSection)) return 0;
  auto it = sections->byName.find(name);
  if (it == sections->byName.end()) return 0;
  ++it->second->refs;
  std::uintptr_t h = nextSection_;
  nextSection_ += 4;
  sectionHandles_[h] = it->second;
  return h;
}

std::uintptr_t FakePlatform::CreateSharedSection(const std::string& name) {
  if (Injected(FakeOp::CreateSharedSection)) return 0;
  auto& slot = sections->byName[name];
  if (!slot) slot = std::make_shared<FakeSections::Section>();
  ++slot->refs;
  std::uintptr_t h = nextSection_;
  nextSection_ += 4;
  sectionHandles_[h] = slot;
  return h;
}

std::uint32_t* FakePlatform::MapSharedSection(std::uintptr_t section) {
  if (Injected(FakeOp::MapSharedSection)) return nullptr;
  auto it = sectionHandles_.find(section);
  if (it == sectionHandles_.end()) return nullptr;
  ++it->second->refs;
  views_.emplace_back(&it->second->value, it->second);
  return &it->second->value;
}

void FakePlatform::UnmapSharedSection(std::uint32_t* view) {
  auto it =
      std::find_if(views_.begin(), views_.end(), [view](const auto& v) { return v.first == view; });
  if (it == views_.end()) return;
  auto s = it->second;
  views_.erase(it);
  Release(s);
}

void FakePlatform::CloseSharedSection(std::uintptr_t section) {
  auto it = sectionHandles_.find(section);
  if (it == sectionHandles_.end()) return;
  auto s = it->second;
  sectionHandles_.erase(it);
  Release(s);
}

// The section goes away with the last handle or view in any instance.
void FakePlatform::Release(const std::shared_ptr<FakeSections::Section>& section) {
  if (--section->refs > 0) return;
  for (auto it = sections->byName.begin(); it != sections->byName.end(); ++it)
    if (it->second == section) {
      sections->byName.erase(it);
      return;
    }
}

}  // namespace plat
