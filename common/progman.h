// Program Manager's command texts, "[name(argument,...)]", as both programs compose them.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The command buffers the two programs copy a command into, with its terminating zero byte.
constexpr std::size_t kInstallerCommandBuffer = 255;    // the command alone
constexpr std::size_t kUninstallerCommandBuffer = 256;  // the command and its CR LF

// One argument as it stands in a command. An argument holding a character of the syntax
// ("," "(" ")" "[" "]") or starting or ending with a blank (which the server would drop) goes
// inside double quotes; any other stays exactly as it is. Nothing for what no form carries:
// an empty text, a double quote (the syntax has no escape for it inside quotes), a control
// character, or a lead byte without its trail byte. Bytes inside a double-byte character are
// no characters of the syntax.
std::optional<std::string> ProgManArgument(const std::string& text);

// "[" + name + "(" + the arguments, each as ProgManArgument writes it, joined with "," +
// ")]" + ending; nothing when an argument has no form or the text does not fit `buffer`
// with its zero byte.
std::optional<std::string> ComposeProgManCommand(const std::string& name,
                                                 const std::vector<std::string>& arguments,
                                                 const std::string& ending, std::size_t buffer);

// The arguments of one command as the server reads them: blanks before an argument are
// skipped; a quoted one runs to the next double quote, an unquoted one to "," or ")".
// Nothing when the text is not "[name(...)]" followed by blanks or a line end.
std::optional<std::vector<std::string>> ParseProgManArguments(const std::string& command);

// A caption used as a group's name names one folder among the groups: not empty, no "\", "/"
// or ":", not "." or ".." (nor only dots and blanks, nor a device name), and nothing that no
// file name holds (control characters, < > " | ? *: wildcards would name several groups).
bool IsProgManGroupName(const std::string& name);

// --- the client's choices, the same in the real platform and the fake one -----------------

// The programs tried, in order, when no server answers: the service's program in the system
// folder, then in the Windows folder, by full path. Never a program found by a search, which
// would look in this program's own folder first (Downloads for Setup.exe), where anyone may
// have put a file of that name.
std::vector<std::string> ServerProgramPaths(const std::string& systemDir,
                                            const std::string& windowsDir,
                                            const std::string& service);
// Its command line: the quoted program and the topic.
std::string ServerCommandLine(const std::string& program, const std::string& topic);

// How an execute's text is handed over: UTF-16 to a Unicode server window, the system code
// page's bytes to an ANSI one; under Wine always the GBK bytes (its DDE layer mangles UTF-16
// above U+00FF, see the Win32 conversation).
enum class DdeTextForm { Utf16, SystemCodePage, Gbk };
DdeTextForm ExecuteTextForm(bool onWine, bool serverWindowIsUnicode);
