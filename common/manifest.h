// The install manifest: one line per payload entry, "ResName ResType RelPath".
#pragma once
#include <string>
#include <vector>

struct ManifestEntry {
  std::string ResName;
  std::string ResType;
  std::string RelPath;
};

// Splits text into lines as a manifest file is split (a memo shows its text the same way):
// CR LF, a lone CR and a lone LF each end a line, a NUL ends the text, and a line end at the
// very end adds no empty last line.
std::vector<std::string> SplitLines(const std::string& bytes);

// Cuts one line into its three fields. Never fails; see the field rules in manifest.cpp.
ManifestEntry ParseManifestLine(const std::string& line);

// True when `relPath` stays inside the folder it is relative to: not empty, no drive or
// root, no "." or ".." component, no empty component. GBK trail bytes are not separators.
bool IsContainedRelPath(const std::string& relPath);

// A config value that names a file in a folder as "\<relative path>" (the desktop link):
// true when the part after the "\" is a contained relative path.
bool IsContainedLinkName(const std::string& name);
