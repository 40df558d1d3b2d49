#include "common/gbk.h"

namespace gbk {

std::size_t CharStart(const std::string& s, std::size_t pos) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    if (pos < i + len) return i;
    i += len;
  }
  return s.size();
}

std::string SafePrefix(const std::string& s, std::size_t n) {
  if (n >= s.size()) return s;
  return s.substr(0, CharStart(s, n));
}

std::size_t LastSeparator(const std::string& path) {
  std::size_t found = std::string::npos;
  std::size_t i = 0;
  while (i < path.size()) {
    unsigned char b = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(b) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (b == '\\' || b == ':') found = i;
    ++i;
  }
  return found;
}

std::string FolderPart(const std::string& path) {
  std::size_t sep = LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::string UpperAscii(std::string s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) {
      ++i;  // both bytes of a double-byte character stay as they are
      continue;
    }
    s[i] = Upper(s[i]);
  }
  return s;
}

}  // namespace gbk
