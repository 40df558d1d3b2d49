#include "installer/payload.h"

std::string_view OpenPayloadEntry(plat::Platform& system, const std::string& name,
                                  const std::string& type) {
  auto bytes = system.FindPayload(name, type);
  if (!bytes) throw plat::Error("Resource " + name + " not found");
  return *bytes;
}

void SavePayloadEntry(plat::Platform& system, std::string_view entry, const std::string& path) {
  system.WriteFile(path, entry);
}
