#include "kvrn/doc_arg.h"

namespace kvrn {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix) {
  if (prefix.empty() || s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

}  // namespace

std::optional<std::wstring> DocumentArgument(
    const std::wstring& commandLine, const std::wstring& programPath,
    const std::function<bool(const std::wstring&)>& exists) {
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  // The program name: the program's own path written out unquoted, else quoted up to the
  // next quote, else up to the first blank (no escapes, as Windows reads the first token).
  if (StartsWithNoCase(commandLine, programPath) &&
      (commandLine.size() == programPath.size() || IsBlank(commandLine[programPath.size()]))) {
    i = programPath.size();
  } else if (i < n && commandLine[i] == L'"') {
    std::size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring::npos ? n : close + 1;
  } else {
    while (i < n && !IsBlank(commandLine[i])) ++i;
  }
  while (i < n && IsBlank(commandLine[i])) ++i;
  std::size_t end = n;
  while (end > i && (IsBlank(commandLine[end - 1]) || commandLine[end - 1] == L'\r' ||
                     commandLine[end - 1] == L'\n'))
    --end;
  if (i >= end) return std::nullopt;

  std::wstring rest = commandLine.substr(i, end - i);
  if (rest[0] == L'"') {
    std::size_t close = rest.find(L'"', 1);
    std::wstring quoted =
        rest.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    if (quoted.empty()) return std::nullopt;
    return quoted;
  }
  std::size_t blank = 0;
  while (blank < rest.size() && !IsBlank(rest[blank])) ++blank;
  if (blank < rest.size() && exists(rest)) return rest;
  return rest.substr(0, blank);
}

}  // namespace kvrn
