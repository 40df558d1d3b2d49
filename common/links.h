// Which folder entries lead elsewhere, and which names of a path below a folder are checked
// for that. Both programs run elevated and must not write or delete through a link that they
// did not make.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The reparse-point attribute bit and the tags the programs meet.
constexpr std::uint32_t kAttrReparsePointBit = 0x400;
constexpr std::uint32_t kTagMountPoint = 0xA0000003;  // a junction
constexpr std::uint32_t kTagSymlink = 0xA000000C;
constexpr std::uint32_t kTagCloudFile = 0x9000001A;  // a cloud placeholder
constexpr std::uint32_t kTagDedup = 0x80000013;      // a deduplicated file

// A link: a reparse point whose tag is a name surrogate (a symbolic link, a junction). Other
// reparse points (cloud placeholders, deduplicated files) are ordinary files to the user. A
// tag of 0 is no tag: the system did not say which kind it is (Wine says none), so such a
// reparse point is taken for a link.
bool IsLinkReparse(std::uint32_t attributes, std::uint32_t tag);

// The folders that a path relative to a folder passes through, each relative to that folder:
// "A\B\f.txt" gives "A" and "A\B"; "f.txt" none. Separators are "\" and "/" (not trail bytes
// of double-byte characters); empty components are skipped.
std::vector<std::string> FoldersOnTheWay(const std::string& relPath);
