#include "installer/install_undo.h"

#include <exception>
#include <memory>

#include "common/gbk.h"
#include "common/links.h"
#include "common/progman.h"

namespace {

// The levels of a key path ("Software\KORVX" -> "Software", "KORVX"); "\" inside a
// double-byte character does not separate.
std::vector<std::string> KeyLevels(const std::string& path) {
  std::vector<std::string> levels(1);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(path[i]);
    if (gbk::IsLeadByte(b) && i + 1 < path.size()) {
      levels.back() += path.substr(i++, 2);
    } else if (b == '\\') {
      levels.emplace_back();
    } else {
      levels.back() += static_cast<char>(b);
    }
  }
  return levels;
}

// Folder names tried for the saved copies, in this order.
constexpr int kCopyFolderTries = 10;

}  // namespace

InstallUndo::~InstallUndo() {
  for (const std::string& copy : copies_) system_.ReleaseHeldFile(copy);
}

bool InstallUndo::Noted(Kind kind, plat::RegKey root, const std::string& path,
                        const std::string& name) const {
  for (const Step& s : steps_)
    if (s.kind == kind && s.root == root && gbk::EqualsNoCase(s.path, path) &&
        gbk::EqualsNoCase(s.name, name))
      return true;
  return false;
}

void InstallUndo::MadeFolder(const std::string& path) { Add(Kind::Folder, 0, path); }

std::string InstallUndo::NewCopyPath() {
  // A folder of our own, made anew: a name that exists already belongs to someone else.
  for (int i = 0; copiesFolder_.empty() && i < kCopyFolderTries; ++i) {
    const std::string folder =
        copiesParent_ + "\\~KorvUndo" + (i == 0 ? std::string() : std::to_string(i + 1));
    // Protected, so that no other user can swap it for a link while the copies go in.
    if (system_.CreateProtectedDir(folder)) copiesFolder_ = folder;
  }
  if (copiesFolder_.empty())
    throw plat::Error("Cannot create file \"" + copiesParent_ +
                      "\\~KorvUndo\". The old files cannot be saved");
  return copiesFolder_ + "\\" + std::to_string(copies_.size() + 1);
}

void InstallUndo::BeforeWrite(const std::string& base, const std::string& relPath) {
  if (Noted(Kind::NewFile, 0, base, relPath) || Noted(Kind::ReplacedFile, 0, base, relPath)) return;
  const std::string path = base + "\\" + relPath;
  // The folders on the way are held while the old bytes are read, so that none of them can be
  // swapped for a link in between; one that is a link already is refused as the write would be.
  std::vector<std::unique_ptr<plat::HeldFolder>> held;
  for (const std::string& folder : FoldersOnTheWay(relPath)) {
    std::unique_ptr<plat::HeldFolder> hold = system_.OpenFolder(base + "\\" + folder);
    if (!hold) break;  // nothing below a missing folder to save
    if (hold->IsLink())
      throw plat::Error("Cannot create file \"" + path + "\". The path passes through a link");
    held.push_back(std::move(hold));
  }
  const std::optional<std::string> old = system_.ReadPlainFile(path);
  if (!old) {
    Add(Kind::NewFile, 0, base, relPath);
    return;
  }
  const std::string copy = NewCopyPath();
  copies_.push_back(copy);  // removed at the end even when only part of it was written
  // Held until the end, so that nobody can change the copy in between.
  system_.CreateHeldFile(copy, *old);
  Add(Kind::ReplacedFile, 0, base, relPath, copy);
}

plat::OwnedKey InstallUndo::CreateKey(plat::RegKey root, const std::string& path) {
  if (path.empty()) return plat::CreateKey(system_, root, path);
  plat::OwnedKey key;
  plat::RegKey parent = root;
  std::string sofar;
  for (const std::string& level : KeyLevels(path)) {
    bool created = false;
    plat::OwnedKey next(system_, system_.RegCreateSubKey(parent, level, created));
    if (!next) return plat::OwnedKey();
    sofar += (sofar.empty() ? "" : "\\") + level;
    if (created) Add(Kind::Key, root, sofar);
    key = std::move(next);
    parent = key.get();
  }
  return key;
}

void InstallUndo::BeforeSetValue(plat::RegKey root, const std::string& path, plat::RegKey key,
                                 const std::string& name) {
  if (Noted(Kind::Value, root, path, name)) return;
  plat::RegValue value;
  switch (system_.RegQueryValue(key, name, value)) {
    case plat::Lookup::Found:
      Add(Kind::Value, root, path, name, "", value);
      break;
    case plat::Lookup::Missing:
      Add(Kind::Value, root, path, name);
      break;
    case plat::Lookup::Failed:
      // Old data that cannot be read could not be put back.
      throw plat::Error("Failed to set data for '" + name + "'");
  }
}

void InstallUndo::MadeGroup(const std::string& name) {
  if (!Noted(Kind::Group, 0, "", name)) Add(Kind::Group, 0, "", name);
}

void InstallUndo::UndoStep(const Step& step) {
  switch (step.kind) {
    case Kind::Folder:
      system_.RemoveDir(step.path);  // only when empty
      break;
    // Neither goes through a link below the folder; a link at the name goes itself.
    case Kind::NewFile:
      system_.DeleteFileBelow(step.path, step.name);
      break;
    case Kind::ReplacedFile:
      system_.WriteFileBelow(step.path, step.name, system_.ReadFile(step.copy));
      break;
    case Kind::Key: {
      plat::OwnedKey key = plat::OpenKey(system_, step.root, step.path);
      std::uint32_t subkeys = 0, values = 0;
      if (!key || !system_.RegCountEntries(key.get(), subkeys, values) || subkeys || values) break;
      key.Reset();
      system_.RegDeleteKey(step.root, step.path);
      break;
    }
    case Kind::Value: {
      plat::OwnedKey key = plat::OpenKey(system_, step.root, step.path);
      if (!key) break;
      if (step.old)
        system_.RegSetValue(key.get(), step.name, *step.old);
      else
        system_.RegDeleteValue(key.get(), step.name);
      break;
    }
    case Kind::Group: {
      const auto command =
          ComposeProgManCommand("DeleteGroup", {step.name}, "", kInstallerCommandBuffer);
      std::unique_ptr<plat::DdeConversation> conv = system_.NewDdeConversation();
      if (command && conv->Open("ProgMan", "ProgMan")) conv->Execute(*command);
      conv->Close();
      break;
    }
  }
}

void InstallUndo::Undo() {
  bool associations = false;
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
    try {
      UndoStep(*it);
    } catch (const std::exception&) {
      // Passed over: the rest is still taken back.
    }
    associations = associations || it->root == plat::kClassesRoot;
  }
  if (associations) system_.NotifyAssociationsChanged();
  steps_.clear();
  DropCopies();
}

void InstallUndo::Keep() {
  steps_.clear();
  DropCopies();
}

void InstallUndo::DropCopies() {
  for (const std::string& copy : copies_) {
    system_.ReleaseHeldFile(copy);
    system_.DeleteFile(copy);
  }
  copies_.clear();
  if (!copiesFolder_.empty()) system_.RemoveDir(copiesFolder_);
  copiesFolder_.clear();
}
