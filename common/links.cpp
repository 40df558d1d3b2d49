#include "common/links.h"

#include "common/gbk.h"

bool IsLinkReparse(std::uint32_t attributes, std::uint32_t tag) {
  if (!(attributes & kAttrReparsePointBit)) return false;
  constexpr std::uint32_t kNameSurrogate = 0x20000000;
  return tag == 0 || (tag & kNameSurrogate) != 0;
}

std::vector<std::string> FoldersOnTheWay(const std::string& relPath) {
  std::vector<std::string> folders;
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i < relPath.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(relPath[i]);
    if (gbk::IsLeadByte(b) && i + 1 < relPath.size()) {
      ++i;  // a trail byte is never a separator
    } else if (b == '\\' || b == '/') {
      if (i > componentStart) folders.push_back(relPath.substr(0, i));
      componentStart = i + 1;
    }
  }
  return folders;
}
