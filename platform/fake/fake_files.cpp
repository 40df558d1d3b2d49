// The fake platform's files and folders.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "common/gbk.h"
#include "common/links.h"
#include "common/progman.h"
#include "platform/fake/fake_internal.h"

namespace plat {

using namespace fake_detail;

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

void FakePlatform::SetReparsePoint(const std::string& path, std::uint32_t tag) {
  Path p = Parse(path);
  Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n) throw std::logic_error("SetReparsePoint: no such file or folder " + path);
  n->reparsePoint = true;
  n->reparseTag = tag;
}

void FakePlatform::SwapForLink(const std::string& path) {
  Path p = Parse(path);
  Node* n = p.ok ? Find(p.key) : nullptr;
  if (!n || !n->dir) throw std::logic_error("SwapForLink: no such folder " + path);
  n->id = ++Node::lastNodeId;
  n->reparsePoint = true;
  n->reparseTag = kTagSymlink;
}

bool FakePlatform::IsLinkNode(const std::string& key) const {
  const Node* n = Find(key);
  return n && IsLinkReparse(AttributesOf(*n), n->reparseTag);
}

std::optional<std::string> FakePlatform::LinkOnTheWay(const std::string& base,
                                                      const std::string& relPath) {
  for (const std::string& folder : FoldersOnTheWay(relPath)) {
    Path p = Parse(base + "\\" + folder);
    if (p.ok && IsLinkNode(p.key)) return p.full;
  }
  return std::nullopt;
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

bool FakePlatform::CreateDir(const std::string& path) { return MakeDir(path, false); }

bool FakePlatform::CreateProtectedDir(const std::string& path) { return MakeDir(path, true); }

bool FakePlatform::IsProtectedDir(const std::string& path) const {
  Path p = Parse(path);
  const Node* n = p.ok ? Find(p.key) : nullptr;
  return n && n->dir && n->protectedAccess;
}

bool FakePlatform::MakeDir(const std::string& path, bool protectedAccess) {
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
    Find(p.key)->protectedAccess = protectedAccess;
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
    out.push_back({name, AttributesOf(n), n.reparsePoint ? n.reparseTag : 0});
  }
  return out;
}

std::optional<std::string> FakePlatform::Read(const std::string& path, FakeOp op, bool plain) {
  Path p = Parse(path);
  std::string shown = p.ok ? p.full : path;
  const Node* n = p.ok ? Find(p.key) : nullptr;
  std::uint32_t code = 0;
  if (Injected(op))
    code = kAccessDenied;
  else if (!p.ok || p.trailingSep)
    code = kInvalidName;
  else if (!n)
    code = ParentIsDir(p) ? kFileNotFound : kPathNotFound;
  else if (n->dir || (plain && n->reparsePoint))
    code = kAccessDenied;
  if (plain && (code == kFileNotFound || code == kPathNotFound)) return Fail(code), std::nullopt;
  if (code) {
    Fail(code);
    throw Error("Cannot open file \"" + shown + "\". " + ErrorText(code));
  }
  lastError = 0;
  return n->bytes;
}

std::string FakePlatform::ReadFile(const std::string& path) {
  return *Read(path, FakeOp::ReadFile, false);
}

std::optional<std::string> FakePlatform::TryReadFile(const std::string& path) {
  try {
    return ReadFile(path);
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::optional<std::string> FakePlatform::ReadPlainFile(const std::string& path) {
  return Read(path, FakeOp::ReadPlainFile, true);
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

void FakePlatform::WriteFileBelow(const std::string& base, const std::string& relPath,
                                  std::string_view bytes) {
  // Repeated separators collapse as Windows collapses them.
  const std::string& top = base;
  Path p = Parse(top + "\\" + relPath);
  std::string shown = p.ok ? p.full : top + "\\" + relPath;
  std::string reason;
  if (Injected(FakeOp::WriteFile))
    reason = ErrorText(kAccessDenied);
  else if (LinkOnTheWay(top, relPath))
    reason = "The path passes through a link";
  else if (const Node* n = p.ok ? Find(p.key) : nullptr; n && n->reparsePoint)
    reason = "The name is a link";
  else if (std::uint32_t code = Store(p, bytes))
    reason = ErrorText(code), Fail(code);
  Note("WriteFile", shown, reason.empty());
  if (!reason.empty()) throw Error("Cannot create file \"" + shown + "\". " + reason);
}

bool FakePlatform::DeleteFileBelow(const std::string& base, const std::string& relPath) {
  if (LinkOnTheWay(base, relPath)) return Fail(kAccessDenied);
  return DeleteFile(base + "\\" + relPath);
}

// A folder held by key and by the identity of the node found there when it was opened.
class FakeHeldFolder final : public HeldFolder {
 public:
  FakeHeldFolder(FakePlatform& fake, std::string path, std::string key, std::uint64_t id)
      : fake_(fake), path_(std::move(path)), key_(std::move(key)), id_(id) {
    link_ = fake_.IsLinkNode(key_);
  }
  bool IsLink() override { return link_; }
  std::vector<DirEntry> List() override {
    std::vector<DirEntry> entries;
    if (link_ || !StillHeld()) return entries;
    for (DirEntry& e : fake_.ListDir(path_ + "\\*"))
      if (e.name != "." && e.name != "..") entries.push_back(std::move(e));
    return entries;
  }
  bool DeleteFile(const std::string& name) override {
    if (link_ || !StillHeld()) return fake_.Fail(kAccessDenied);
    return fake_.DeleteFile(path_ + "\\" + name);
  }
  bool Remove() override {
    if (!link_) return StillHeld() ? fake_.RemoveDir(path_) : fake_.Fail(kAccessDenied);
    // The link itself goes; the entries standing for what it leads to stay.
    const FakePlatform::Node* n = fake_.Find(key_);
    const bool ok = n && n->id == id_ && !fake_.Injected(FakeOp::RemoveDir);
    if (ok) fake_.nodes_.erase(key_);
    fake_.Note("RemoveDir", path_, ok);
    return ok;
  }

 private:
  bool StillHeld() const {
    const FakePlatform::Node* n = fake_.Find(key_);
    return n && n->id == id_ && !fake_.IsLinkNode(key_);
  }
  FakePlatform& fake_;
  std::string path_, key_;
  std::uint64_t id_;
  bool link_ = false;
};

std::unique_ptr<HeldFolder> FakePlatform::OpenFolder(const std::string& path) {
  Path p = Parse(path);
  const Node* n = p.ok && !p.parts.empty() ? Find(p.key) : nullptr;
  if (!n || !n->dir) return nullptr;
  return std::make_unique<FakeHeldFolder>(*this, p.full, p.key, n->id);
}

void FakePlatform::ReleaseHeldFile(const std::string& path) {
  Path p = Parse(path);
  if (Node* n = p.ok ? Find(p.key) : nullptr) n->locked = false;
}

}  // namespace plat
