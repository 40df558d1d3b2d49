// GBK (code page 936) byte-string helpers. Every text in both programs is a GBK byte string;
// lengths and cuts count bytes, and a cut must never fall inside a double-byte character.
#pragma once
#include <cstddef>
#include <string>

namespace gbk {

// A lead byte starts a double-byte character; the byte after it is its trail byte.
inline bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
// A byte that may follow a lead byte as the second half of a character.
inline bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Index of the first byte of the character containing byte `pos`, scanning from the start.
std::size_t CharStart(const std::string& s, std::size_t pos);

// The first at most `n` bytes of `s`, shortened by one byte if the cut would split a character.
std::string SafePrefix(const std::string& s, std::size_t n);

// Position of the last "\" or ":" that is a character of its own (not a trail byte),
// or npos.
std::size_t LastSeparator(const std::string& path);

// The folder part of a relative path: the text before the last "\" or ":" (without it);
// empty when there is none.
std::string FolderPart(const std::string& path);

// True for an ASCII-case-insensitive equality of two byte strings.
bool EqualsNoCase(const std::string& a, const std::string& b);
// ASCII letters in upper case; both bytes of a double-byte character stay as they are (a
// trail byte may be an ASCII letter's byte).
std::string UpperAscii(std::string s);

}  // namespace gbk
