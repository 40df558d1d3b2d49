// libFuzzer target: a caption used as a Program Manager group name. One that the rule accepts
// names exactly one folder directly below the groups' folder under Windows path rules (the
// fake platform's), and is carried by a command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/progman.h"
#include "platform/fake/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  if (!IsProgManGroupName(name)) return 0;
  Check(!name.empty() && name != "." && name != "..", "a name", name);
  if (name.find('\0') != std::string::npos) return 0;
  plat::FakePlatform fs;
  const std::string groups = "C:\\Programs\\";
  fs.AddDir(groups);
  try {
    fs.AddFile(groups + name, "group");
  } catch (const std::logic_error&) {
    Check(false, "the name is a file name below the groups' folder", name);
  }
  std::vector<std::string> below;
  for (const std::string& path : fs.Listing())
    if (path.size() > groups.size() && path.compare(0, groups.size(), groups) == 0)
      below.push_back(path.substr(groups.size()));
  Check(below.size() == 1, "exactly one new entry", name);
  Check(gbk::LastSeparator(below[0]) == std::string::npos, "directly below the groups' folder",
        name);
  return 0;
}
