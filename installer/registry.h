// A registry accessor with one current key, as the installer writes its values: keys are
// opened creating missing parents, values are strings, and a refused write is an error.
#pragma once
#include <string>

#include "platform/platform.h"

class InstallUndo;

class TRegistry {
 public:
  TRegistry(plat::Platform& system, plat::RegKey root) : system_(system), root_(root) {}
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  plat::RegKey RootKey() const { return root_; }
  void SetRootKey(plat::RegKey root) {
    CloseKey();
    root_ = root;
  }
  // Opens `path` below the root (a leading "\" is dropped), creating it and its parents when
  // `create` is set. The result is what the system said; a failed open shows up as a failed
  // write afterwards.
  bool OpenKey(const std::string& path, bool create);
  // Throws plat::Error("Failed to set data for '<name>'") when the value is not stored.
  void WriteString(const std::string& name, const std::string& value);
  void CloseKey();
  // While set, keys made and values written are noted in `undo` (nullptr: not noted).
  void NoteIn(InstallUndo* undo) { undo_ = undo; }

 private:
  plat::Platform& system_;
  plat::RegKey root_;
  plat::OwnedKey current_;
  std::string path_;  // of the current key, below the root
  InstallUndo* undo_ = nullptr;
};
