#include "common/ini.h"

#include "common/gbk.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace

std::string ReadIniValue(const std::string& text, const std::string& section,
                         const std::string& key) {
  const std::string wantSection = Trim(section);
  const std::string wantKey = Trim(key);
  // Lines before the first header belong to a section named "", which always comes first.
  bool searching = wantSection.empty();
  bool found = searching;
  std::size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  std::size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 mark
  while (pos < end) {
    std::size_t lineEnd = text.find_first_of("\r\n", pos);
    if (lineEnd == std::string::npos || lineEnd > end) lineEnd = end;
    const std::string line = Trim(text.substr(pos, lineEnd - pos));
    pos = lineEnd + 1;
    if (line.empty()) continue;
    std::size_t close = line[0] == '[' ? line.rfind(']') : std::string::npos;
    if (close != std::string::npos) {       // "[" without "]" is an ordinary line
      if (searching) return std::string();  // only the first section of that name counts
      searching = !found && gbk::EqualsNoCase(Trim(line.substr(1, close - 1)), wantSection);
      found = found || searching;
      continue;
    }
    if (!searching) continue;
    std::size_t eq = line.find('=');
    if (!gbk::EqualsNoCase(Trim(line.substr(0, eq)), wantKey)) continue;
    if (eq == std::string::npos) return std::string();
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    return gbk::SafePrefix(value, kIniValueMax);
  }
  return std::string();
}
