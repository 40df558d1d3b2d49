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
