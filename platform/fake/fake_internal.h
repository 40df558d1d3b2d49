// What the fake platform's files share and no one else needs: the system's error codes it
// reports, and its name rules.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "platform/platform.h"

namespace plat::fake_detail {

inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kWriteProtect = 19;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kDiskFull = 112;
inline constexpr std::uint32_t kInvalidName = 123;
inline constexpr std::uint32_t kDirNotEmpty = 145;
inline constexpr std::uint32_t kBadPathname = 161;
inline constexpr std::uint32_t kAlreadyExists = 183;
inline constexpr std::uint32_t kNoMoreItems = 259;
inline constexpr std::uint32_t kDirectoryName = 267;
inline constexpr std::uint32_t kKeyDeleted = 1018;

// ASCII upper case, leaving both bytes of a double-byte character alone.
inline std::string Upper(const std::string& s) { return gbk::UpperAscii(s); }

// Splits at "\" (and "/" when `slash`), not at trail bytes; keeps empty pieces.
inline std::vector<std::string> Split(const std::string& s, bool slash) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (gbk::IsLeadByte(b) && i + 1 < s.size()) {
      parts.back() += s.substr(i, 2);
      ++i;
    } else if (b == '\\' || (slash && b == '/')) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(b);
    }
  }
  return parts;
}

// FindFirstFile's name match: "*" any run, "?" one byte, without regard to ASCII case;
// "*.*" and "*" match every name.
inline bool MaskMatches(const std::string& mask, const std::string& name) {
  if (mask == "*" || mask == "*.*") return true;
  std::string m = Upper(mask), n = Upper(name);
  std::function<bool(std::size_t, std::size_t)> match = [&](std::size_t i, std::size_t j) {
    if (i == m.size()) return j == n.size();
    if (m[i] == '*') return match(i + 1, j) || (j < n.size() && match(i, j + 1));
    if (j == n.size()) return false;
    return (m[i] == '?' || m[i] == n[j]) && match(i + 1, j + 1);
  };
  return match(0, 0);
}

inline const char* RootName(RegKey root) {
  switch (root) {
    case kClassesRoot:
      return "HKCR";
    case kCurrentUser:
      return "HKCU";
    case kLocalMachine:
      return "HKLM";
    default:
      return nullptr;
  }
}

}  // namespace plat::fake_detail
