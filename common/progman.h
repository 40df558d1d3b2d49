// Program Manager's command texts, "[name(argument,...)]", as both programs compose them.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The command buffers the two programs copy a command into, with its terminating zero byte.
constexpr std::size_t kInstallerCommandBuffer = 255;    // the command alone
constexpr std::size_t kUninstallerCommandBuffer = 256;  // the command and its CR LF

// True when `text` can stand unchanged as one argument: not empty, and none of the syntax's
// own characters [ ] ( ) , " (bytes inside a double-byte character are not characters of
// the syntax). Arguments are never quoted, so anything else would end the command early or
// add one of its own.
bool IsProgManArgument(const std::string& text);

// "[" + name + "(" + the arguments joined with "," + ")]" + ending, or nothing when an
// argument cannot stand unchanged or the text does not fit `buffer` with its zero byte.
std::optional<std::string> ComposeProgManCommand(const std::string& name,
                                                 const std::vector<std::string>& arguments,
                                                 const std::string& ending, std::size_t buffer);

// --- the client's choices, the same in the real platform and the fake one -----------------

// The program started when no server answers: the service's program in the Windows folder,
// by full path. Never a program found by a search, which would look in this program's own
// folder first (Downloads for Setup.exe), where anyone may have put a file of that name.
std::string ServerProgramPath(const std::string& windowsDir, const std::string& service);
// Its command line: the quoted program and the topic.
std::string ServerCommandLine(const std::string& program, const std::string& topic);

// How an execute's text is handed over: UTF-16 to a Unicode server window, the system code
// page's bytes to an ANSI one; under Wine always the GBK bytes (its DDE layer mangles UTF-16
// above U+00FF, see the Win32 conversation).
enum class DdeTextForm { Utf16, SystemCodePage, Gbk };
DdeTextForm ExecuteTextForm(bool onWine, bool serverWindowIsUnicode);
