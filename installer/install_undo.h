// What an install run changes, noted as it changes it, so that a run that is cancelled or
// fails can be taken back before the installer ends: folders and files it made, files it
// replaced (their old bytes saved first in a private folder the run makes and removes),
// registry keys it made and values it wrote (with their old data), and the Program Manager
// group it asked for. The undo touches only what is noted here.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

class InstallUndo {
 public:
  explicit InstallUndo(plat::Platform& system) : system_(system) {}
  InstallUndo(const InstallUndo&) = delete;
  InstallUndo& operator=(const InstallUndo&) = delete;
  // Lets go of the saved copies without undoing anything.
  ~InstallUndo();

  // The folder in which the private folder for saved copies is made when first needed.
  void SaveCopiesIn(const std::string& folder) { copiesParent_ = folder; }
  bool Empty() const { return steps_.empty(); }

  // A folder this run made.
  void MadeFolder(const std::string& path);
  // Before a file is created or replaced at base + "\" + relPath: notes a new file, or saves
  // the bytes of the file there. Throws plat::Error when a folder on the way below `base` is a
  // link (nothing is read through one), or when something is there that cannot be saved (a
  // link, a folder, a file with other names, one that cannot be read): it must not be
  // replaced.
  void BeforeWrite(const std::string& base, const std::string& relPath);
  // Opens `path` below `root`, making each missing key level by level and noting the ones
  // made; an empty key when a level cannot be opened or made.
  plat::OwnedKey CreateKey(plat::RegKey root, const std::string& path);
  // Before value `name` of the open key (root, path) is written: notes its old data, or that
  // it had none. Throws plat::Error("Failed to set data for '<name>'") when the old data
  // cannot be read.
  void BeforeSetValue(plat::RegKey root, const std::string& path, plat::RegKey key,
                      const std::string& name);
  // Program Manager was asked to make the group `name`.
  void MadeGroup(const std::string& name);

  // Takes back every noted change, newest first; a step that fails is passed over and the
  // rest goes on. Then the saved copies and their folder go, and the record is empty.
  void Undo();
  // The run is complete: its changes stay; the saved copies and their folder go.
  void Keep();

 private:
  enum class Kind { Folder, NewFile, ReplacedFile, Key, Value, Group };
  struct Step {
    Kind kind;
    plat::RegKey root = 0;
    std::string path;  // folder, the folder a file lies below, or key path below root
    std::string name;  // a file's path below `path`, value name, group name
    std::string copy;  // the saved copy of a replaced file
    std::optional<plat::RegValue> old;  // a value's old data; none when it had none
  };
  void Add(Kind kind, plat::RegKey root, std::string path, std::string name = {},
           std::string copy = {}, std::optional<plat::RegValue> old = std::nullopt) {
    steps_.push_back(
        {kind, root, std::move(path), std::move(name), std::move(copy), std::move(old)});
  }
  bool Noted(Kind kind, plat::RegKey root, const std::string& path, const std::string& name) const;
  std::string NewCopyPath();
  void UndoStep(const Step& step);
  void DropCopies();

  plat::Platform& system_;
  std::vector<Step> steps_;
  std::string copiesParent_;
  std::string copiesFolder_;  // made by this run; empty until the first copy
  std::vector<std::string> copies_;
};
