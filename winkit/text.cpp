#include "winkit/text.h"

#include <windows.h>

#include "winkit/handles.h"

namespace winkit {

namespace {
constexpr UINT kGbk = 936;
}

std::wstring Widen(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int length = static_cast<int>(gbk.size());
  const int needed = MultiByteToWideChar(kGbk, 0, gbk.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), length, wide.data(), needed);
  return wide;
}

std::string Narrow(std::wstring_view wide) { return ToCodePage(wide, kGbk); }

std::string ToCodePage(std::wstring_view wide, unsigned codePage) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

std::string SystemMessage(unsigned long code) {
  LocalMem<wchar_t> buffer;  // FORMAT_MESSAGE_ALLOCATE_BUFFER: the system allocates it
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.out()), 0, nullptr);
  if (length == 0 || !buffer.get()) return {};
  std::wstring_view text(buffer.get(), length);
  // Messages end in a line break and usually a full stop; the error box adds its own stop.
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.remove_suffix(1);
  return Narrow(text);
}

}  // namespace winkit
