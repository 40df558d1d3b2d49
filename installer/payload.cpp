#include "installer/payload.h"

std::string_view OpenPayloadEntry(plat::Platform& system, const std::string& name,
                                  const std::string& type) {
  auto bytes = system.FindPayload(name, type);
  if (!bytes) throw plat::Error("Resource " + name + " not found");
  return *bytes;
}
