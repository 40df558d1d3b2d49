// Which document KVRN.exe was started with, from its raw command line.
#pragma once
#include <functional>
#include <optional>
#include <string>

namespace kvrn {

// The document named on `commandLine` (the whole line, program name first, as
// GetCommandLineW returns it), or nullopt when none is named.
//
// A quoted argument is taken up to its closing quote. An unquoted one normally ends at the
// first blank or tab, but the file type's open command is "<program> %1" with no quotes, so a
// document below "Program Files" arrives split at its blanks: when the whole rest of the line
// names an existing file (`exists`), that is the document.
std::optional<std::wstring> DocumentArgument(
    const std::wstring& commandLine, const std::function<bool(const std::wstring&)>& exists);

}  // namespace kvrn
