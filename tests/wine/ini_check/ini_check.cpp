// ini_check.exe: compares our INI reader (ReadIniValue on the file's bytes) with the system's
// profile API (GetPrivateProfileStringA, empty default, 2048-byte buffer) for a list of
// queries, and prints one JSON line per query.
//
// usage: ini_check QUERIES DIR
//   QUERIES: a UTF-8 text file, one query a line: FILE <tab> SECTION <tab> KEY; lines starting
//            with "#" and empty lines are skipped. Section and key are converted to GBK.
//   DIR:     the folder holding the INI files (a Windows path, ASCII).
#include <windows.h>
#include "tests/wine/common/json_text.h"

#include <cstdio>
#include <string>
#include <vector>

#include "common/ini.h"

namespace {

std::wstring Widen(const std::string& s, UINT cp) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w, UINT cp) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool ReadWhole(const std::wstring& path, std::string* out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  out->clear();
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
  CloseHandle(f);
  return true;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// JSON text of GBK bytes, shown as UTF-8.
std::string Json(const std::string& gbkBytes) {
  return JsonQuoted(Narrow(Widen(gbkBytes, 936), CP_UTF8));
}

void Print(const std::string& s) {
  std::string line = s + "\n";
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &done,
            nullptr);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) {
    std::fputs("usage: ini_check QUERIES DIR\n", stderr);
    return 1;
  }
  std::string queries;
  if (!ReadWhole(argv[1], &queries)) {
    std::fputs("ini_check: cannot read the query file\n", stderr);
    return 1;
  }
  std::wstring dir = argv[2];
  if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
  int mismatches = 0, count = 0;
  for (std::string line : Split(queries, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 3) {
      std::fprintf(stderr, "ini_check: bad query line: %s\n", line.c_str());
      return 1;
    }
    std::wstring file = dir + Widen(f[0], CP_UTF8);
    std::string section = Narrow(Widen(f[1], CP_UTF8), 936);
    std::string key = Narrow(Widen(f[2], CP_UTF8), 936);
    // A missing file reads as no text at all, as the config reader treats it.
    std::string text;
    if (!ReadWhole(file, &text)) text.clear();
    std::string ours = ReadIniValue(text, section, key);
    char buf[2048];
    std::string pathA = Narrow(file, CP_ACP);
    DWORD n =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buf, sizeof buf, pathA.c_str());
    std::string wine(buf, n);
    bool match = ours == wine;
    ++count;
    if (!match) ++mismatches;
    Print("{\"file\":" + Json(Narrow(Widen(f[0], CP_UTF8), 936)) + ",\"section\":" + Json(section) +
          ",\"key\":" + Json(key) + ",\"match\":" + (match ? "true" : "false") +
          ",\"ours_hex\":\"" + Hex(ours) + "\",\"wine_hex\":\"" + Hex(wine) +
          "\",\"ours\":" + Json(ours) + ",\"wine\":" + Json(wine) + "}");
  }
  std::fprintf(stderr, "ini_check: %d queries, %d mismatches\n", count, mismatches);
  return 0;
}
