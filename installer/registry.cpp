#include "installer/registry.h"

#include "installer/install_undo.h"

bool TRegistry::OpenKey(const std::string& path, bool create) {
  CloseKey();
  std::string relative = (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
  if (create && undo_)
    current_ = undo_->CreateKey(root_, relative);
  else
    current_ = create ? plat::CreateKey(system_, root_, relative)
                      : plat::OpenKey(system_, root_, relative);
  path_ = relative;
  return static_cast<bool>(current_);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (current_ && undo_) undo_->BeforeSetValue(root_, path_, current_.get(), name);
  if (!current_ || !system_.RegSetString(current_.get(), name, value))
    throw plat::Error("Failed to set data for '" + name + "'");
}

void TRegistry::CloseKey() { current_.Reset(); }
