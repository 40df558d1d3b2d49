// libFuzzer target: which reparse points count as links, and which folders of a relative path
// are checked for one before anything is written or deleted below a folder. The folders are
// checked against the fake platform's own splitting of a path, and each must resolve to a
// folder on the way to the file under Windows path rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/links.h"
#include "common/manifest.h"
#include "platform/fake/fake_internal.h"
#include "platform/fake/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first eight bytes, when there are that many, are an attribute word and a tag.
  if (size >= 8) {
    std::uint32_t attributes = 0, tag = 0;
    std::memcpy(&attributes, data, 4);
    std::memcpy(&tag, data + 4, 4);
    const bool link = IsLinkReparse(attributes, tag);
    const std::string shown(reinterpret_cast<const char*>(data), 8);
    Check(!link || (attributes & kAttrReparsePointBit), "a link is a reparse point", shown);
    if (attributes & kAttrReparsePointBit) {
      Check(link == (tag == 0 || (tag & 0x20000000u)), "a name surrogate or no tag", shown);
      Check(!IsLinkReparse(attributes, kTagCloudFile) && !IsLinkReparse(attributes, kTagDedup),
            "placeholders and deduplicated files are files", shown);
    }
  }

  const std::string rel(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> folders = FoldersOnTheWay(rel);

  // The reference: the fake's splitting at "\" and "/" (never at trail bytes); every non-empty
  // piece but the last is a folder on the way, named by the text up to its end.
  std::vector<std::string> expected;
  const std::vector<std::string> pieces = plat::fake_detail::Split(rel, true);
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    at += pieces[i].size();
    if (!pieces[i].empty()) expected.push_back(rel.substr(0, at));
    ++at;  // the separator
  }
  Check(folders == expected, "the folders are the path's non-empty leading pieces", rel);

  // A contained path's folders lie below the base, each on the way to the file.
  if (IsContainedRelPath(rel) && rel.find('\0') == std::string::npos) {
    plat::FakePlatform fs;
    try {
      fs.AddFile("C:\\B\\" + rel, "x");
    } catch (const std::logic_error&) {
      return 0;  // a name the fake cannot hold (too odd for Windows too)
    }
    for (const std::string& folder : folders)
      Check(fs.DirExists("C:\\B\\" + folder), "each folder on the way exists below the base", rel);
  }
  return 0;
}
