// The one conversion between the programs' GBK strings and the UTF-16 of the W functions,
// always with code page 936 (never the system code page), and the system's text for an error
// code. Part of the small Win32 toolkit that the platform, the ui backend and KVRN share.
#pragma once
#include <string>
#include <string_view>

namespace winkit {

std::wstring Widen(std::string_view gbk);
std::string Narrow(std::wstring_view wide);
// The bytes of another code page (the system's, CP_ACP, for an ANSI window).
std::string ToCodePage(std::wstring_view wide, unsigned codePage);

// FormatMessage's text for a Win32 error code (or HRESULT), in GBK, without its trailing line
// break, blanks and full stops; empty when the system has no text for it.
std::string SystemMessage(unsigned long code);

// The face name 宋体 (SimSun), the programs' Chinese font.
inline constexpr wchar_t kSongTi[] = L"\x5B8B\x4F53";

}  // namespace winkit
