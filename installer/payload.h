// The payload store: the named, typed byte entries carried inside Setup.exe.
#pragma once
#include <string>
#include <string_view>

#include "platform/platform.h"

// Throws plat::Error("Resource <name> not found") when no entry matches (without regard to
// case).
std::string_view OpenPayloadEntry(plat::Platform& system, const std::string& name,
                                  const std::string& type);

// Creates or replaces the file folder + "\" + relPath with all bytes of the entry, held
// exclusively while it is written, never through a link below `folder`. Throws
// plat::Error("Cannot create file ..."). The platform's WriteFileBelow does all of that; the
// name keeps the install steps reading as open-then-save of an entry.
inline void SavePayloadEntry(plat::Platform& system, std::string_view entry,
                             const std::string& folder, const std::string& relPath) {
  system.WriteFileBelow(folder, relPath, entry);
}
