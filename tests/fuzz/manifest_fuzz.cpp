// libFuzzer target: the install manifest, from file bytes to entries, as both programs read
// it. Checks the splitter's and the parser's rules on every input, and that a RelPath the
// containment guard accepts really stays below the folder when the fake platform resolves it
// with Windows path rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/manifest.h"
#include "platform/fake/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void CheckLine(const std::string& line) {
  const ManifestEntry e = ParseManifestLine(line);
  // The first field runs to the first blank; the second to the next one.
  Check(line.compare(0, e.ResName.size(), e.ResName) == 0, "ResName is the line's head", line);
  Check(e.ResName.find(' ') == std::string::npos, "ResName holds no blank", line);
  Check(e.ResType.find(' ') == std::string::npos, "ResType holds no blank", line);
  if (e.ResName.size() < line.size()) {
    Check(line[e.ResName.size()] == ' ', "ResName ends at a blank", line);
    Check(line.compare(e.ResName.size() + 1, e.ResType.size(), e.ResType) == 0,
          "ResType follows the first blank", line);
  } else {
    Check(e.ResType.empty() && e.RelPath.empty(), "no blank: one field only", line);
  }
  // RelPath is the tail that the two lengths give, not what a scan would find.
  const std::size_t start = e.ResName.size() + e.ResType.size() + 2;
  Check(e.RelPath == (start < line.size() ? line.substr(start) : std::string()),
        "RelPath is the tail after both lengths", line);

  // The folder part is a prefix of the path and never ends on half a character.
  const std::string folder = gbk::FolderPart(e.RelPath);
  Check(e.RelPath.compare(0, folder.size(), folder) == 0, "folder part is a prefix", line);
  Check(gbk::CharStart(e.RelPath, folder.size()) == folder.size() || folder.empty(),
        "folder part ends on a character boundary", line);
  const std::size_t sep = gbk::LastSeparator(e.RelPath);
  if (sep != std::string::npos)
    Check(gbk::CharStart(e.RelPath, sep) == sep, "a separator is a character of its own", line);
}

// A RelPath the guard accepts is created (as a test helper does, with its folders) below
// a fresh folder: the fake must have put everything new inside that folder.
void CheckContainment(const std::string& relPath) {
  if (!IsContainedRelPath(relPath)) return;
  Check(relPath[0] != '\\' && relPath[0] != '/', "accepted path is relative", relPath);
  plat::FakePlatform fake;
  fake.AddDir("C:\\Base\\Inner");
  const std::vector<std::string> before = fake.Listing();
  try {
    fake.AddFile("C:\\Base\\Inner\\" + relPath, "x");
  } catch (const std::logic_error&) {
    return;  // a name Windows refuses (a wildcard, a control byte): nothing is made
  }
  for (const std::string& p : fake.Listing()) {
    bool old = false;
    for (const std::string& b : before) old = old || b == p;
    if (!old)
      Check(p.compare(0, 14, "C:\\Base\\Inner\\") == 0 && p.size() > 14,
            "accepted path resolves inside its folder", relPath);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitLines(bytes);

  const std::size_t end = std::min(bytes.find('\0'), bytes.size());
  std::size_t total = 0;
  for (const std::string& line : lines) {
    Check(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
          "a line holds no CR, LF or NUL", line);
    total += line.size();
  }
  Check(total <= end, "lines come from the text before the NUL", bytes);
  Check(lines.empty() == (end == 0), "only an empty text gives no lines", bytes);

  // Each line ended by CR LF and split again gives the same lines: no line end is lost or
  // invented.
  std::string joined;
  for (const std::string& line : lines) joined += line + "\r\n";
  Check(SplitLines(joined) == lines, "re-split of CR LF lines", bytes);

  for (const std::string& line : lines) {
    CheckLine(line);
    CheckContainment(ParseManifestLine(line).RelPath);
  }
  return 0;
}
