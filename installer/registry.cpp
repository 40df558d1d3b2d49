#include "installer/registry.h"

bool TRegistry::OpenKey(const std::string& path, bool create) {
  CloseKey();
  std::string relative = (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
  current_ =
      create ? plat::CreateKey(system_, root_, relative) : plat::OpenKey(system_, root_, relative);
  return static_cast<bool>(current_);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!current_ || !system_.RegSetString(current_.get(), name, value))
    throw plat::Error("Failed to set data for '" + name + "'");
}

void TRegistry::CloseKey() { current_.Reset(); }
