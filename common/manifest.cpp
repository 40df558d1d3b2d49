#include "common/manifest.h"

#include "common/gbk.h"

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t end = bytes.find('\0');
  if (end == std::string::npos) end = bytes.size();
  std::size_t i = 0;
  while (i < end) {
    std::size_t start = i;
    while (i < end && bytes[i] != '\r' && bytes[i] != '\n') ++i;
    lines.push_back(bytes.substr(start, i - start));
    if (i < end && bytes[i] == '\r') ++i;
    if (i < end && bytes[i] == '\n') ++i;
  }
  return lines;
}

ManifestEntry ParseManifestLine(const std::string& line) {
  ManifestEntry e;
  std::size_t firstBlank = line.find(' ');
  e.ResName = line.substr(0, firstBlank);  // whole line when there is no blank
  if (firstBlank != std::string::npos) {
    std::size_t typeEnd = line.find(' ', firstBlank + 1);
    e.ResType =
        line.substr(firstBlank + 1,
                    typeEnd == std::string::npos ? std::string::npos : typeEnd - firstBlank - 1);
  }
  // The path starts two separators past the two fields, wherever the blanks really are.
  std::size_t pathStart = e.ResName.size() + e.ResType.size() + 2;
  if (pathStart < line.size()) e.RelPath = line.substr(pathStart);
  return e;
}

bool IsContainedRelPath(const std::string& relPath) {
  if (relPath.empty()) return false;
  std::string component;
  // Windows drops trailing dots and blanks from a component, so ". ." or "..." still climbs;
  // a device name (CON, NUL, COM1, ...) names no file in the folder at all.
  auto componentOk = [&component] {
    if (component.find_first_not_of(". ") == std::string::npos) return false;
    std::string stem = gbk::UpperAscii(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* d : devices)
      if (stem == d) return false;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
        stem[3] >= '1' && stem[3] <= '9')
      return false;
    return true;
  };
  for (std::size_t i = 0; i < relPath.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(relPath[i]);
    if (gbk::IsLeadByte(b) && i + 1 < relPath.size()) {
      component += relPath.substr(i, 2);
      ++i;
      continue;
    }
    if (b == ':') return false;  // a drive ("C:x") or an alternate data stream
    if (b == '\\' || b == '/') {
      if (!componentOk()) return false;
      component.clear();
      continue;
    }
    component += static_cast<char>(b);
  }
  return componentOk();
}

bool IsContainedLinkName(const std::string& name) {
  return !name.empty() && name[0] == '\\' && IsContainedRelPath(name.substr(1));
}
