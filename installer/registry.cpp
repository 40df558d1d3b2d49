#include "installer/registry.h"

bool TRegistry::OpenKey(const std::string& path, bool create) {
  CloseKey();
  std::string relative = (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
  current_ = create ? system_.RegCreateKey(root_, relative) : system_.RegOpenKey(root_, relative);
  return current_ != 0;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!current_ || !system_.RegSetString(current_, name, value))
    throw plat::Error("Failed to set data for '" + name + "'");
}

void TRegistry::CloseKey() {
  if (current_) system_.RegCloseKey(current_);
  current_ = 0;
}
