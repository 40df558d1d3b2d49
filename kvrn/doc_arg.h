// Which document KVRN.exe was started with, from its raw command line.
#pragma once
#include <functional>
#include <optional>
#include <string>

namespace kvrn {

// The document named on `commandLine` (the whole line, program name first, as
// GetCommandLineW returns it), or nullopt when none is named. `programPath` is the running
// program's own path (GetModuleFileNameW).
//
// The installer registers the file type's open command as `"<program>" "%1"`, both quoted,
// but a line from anywhere else (a start by hand, an open command written by another tool) may
// carry the program and the document unquoted with blanks in them. The program name is
// therefore skipped as `programPath` when the line starts with it (letter case ignored), else as
// a quoted token or up to the first blank. A quoted argument is taken up to its closing quote.
// An unquoted one normally ends at the first blank or tab, but when the whole rest of the line
// names an existing file (`exists`), that is the document.
std::optional<std::wstring> DocumentArgument(
    const std::wstring& commandLine, const std::wstring& programPath,
    const std::function<bool(const std::wstring&)>& exists);

}  // namespace kvrn
