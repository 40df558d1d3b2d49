// Reading one value from an INI text with the rules of the Windows profile API
// (GetPrivateProfileString with an empty default and a 2048-byte buffer), on GBK bytes.
#pragma once
#include <cstddef>
#include <string>

constexpr std::size_t kIniValueMax = 2047;

// `text` is the whole file's bytes. Section and key names match without regard to ASCII case
// and surrounding blanks; only the first section of a name is searched, and the first key of
// a name in it. Lines before the first header form the section "", a "[" line without "]"
// is no header, and a leading UTF-8 byte-order mark is skipped. The value is the text after the
// first "=", trimmed, with one pair of matching quotes removed, cut to at most 2047 bytes (never
// inside a double-byte character). Anything missing gives the empty string.
std::string ReadIniValue(const std::string& text, const std::string& section,
                         const std::string& key);
