#include "common/progman.h"

#include <string_view>

#include "common/gbk.h"
#include "common/manifest.h"

std::optional<std::string> ProgManArgument(const std::string& text) {
  if (text.empty()) return std::nullopt;
  bool quote = text.front() == ' ' || text.back() == ' ';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (gbk::IsLeadByte(b)) {
      // A whole character: its trail byte may be 0x5B or 0x5D, half of the character and not a
      // bracket. A lead byte without a trail byte would swallow the next byte of the syntax (a
      // closing quote) where the server reads the text as GBK.
      if (!gbk::IsTrailByte(i + 1 < text.size() ? text[i + 1] : 0)) return std::nullopt;
      ++i;
      continue;
    }
    if (b == '"' || b < 0x20 || b == 0x7F) return std::nullopt;
    if (b == ',' || b == '(' || b == ')' || b == '[' || b == ']') quote = true;
  }
  return quote ? "\"" + text + "\"" : text;
}

std::optional<std::string> ComposeProgManCommand(const std::string& name,
                                                 const std::vector<std::string>& arguments,
                                                 const std::string& ending, std::size_t buffer) {
  std::string text = "[" + name + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::optional<std::string> argument = ProgManArgument(arguments[i]);
    if (!argument) return std::nullopt;
    text += (i ? "," : "") + *argument;
  }
  text += ")]" + ending;
  // A command that does not fit is not sent at all: a cut one would be another command.
  if (text.size() >= buffer) return std::nullopt;
  return text;
}

std::optional<std::vector<std::string>> ParseProgManArguments(const std::string& command) {
  std::size_t i = 0;
  const std::size_t n = command.size();
  auto skipBlanks = [&] {
    while (i < n && command[i] == ' ') ++i;
  };
  if (i >= n || command[i] != '[') return std::nullopt;
  const std::size_t open = command.find('(', i);
  if (open == std::string::npos) return std::nullopt;
  i = open + 1;
  std::vector<std::string> arguments;
  skipBlanks();
  while (i < n && command[i] != ')') {
    std::string argument;
    if (command[i] == '"') {
      const std::size_t close = command.find('"', i + 1);
      if (close == std::string::npos) return std::nullopt;
      argument = command.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      // GBK-aware: a trail byte is never "," or ")" (trail bytes start at 0x40).
      const std::size_t end = command.find_first_of(",)", i);
      if (end == std::string::npos) return std::nullopt;
      argument = command.substr(i, end - i);
      i = end;
    }
    arguments.push_back(argument);
    skipBlanks();
    if (i < n && command[i] == ',') {
      ++i;
      skipBlanks();
    } else if (i >= n || command[i] != ')') {
      return std::nullopt;
    }
  }
  if (i >= n) return std::nullopt;
  ++i;  // ")"
  skipBlanks();
  if (i >= n || command[i] != ']') return std::nullopt;
  for (++i; i < n; ++i)
    if (command[i] != ' ' && command[i] != '\r' && command[i] != '\n') return std::nullopt;
  return arguments;
}

bool IsProgManGroupName(const std::string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(name[i]);
    if (gbk::IsLeadByte(b)) {
      if (i + 1 >= name.size() || !gbk::IsTrailByte(name[i + 1])) return false;  // no character
      ++i;
    } else if (b < 0x20 || std::string_view("\\/<>|?*\"").find(static_cast<char>(b)) !=
                               std::string_view::npos) {
      return false;  // a separator, or what no file name holds (wildcards among it)
    }
  }
  // One component that stays where it is: no drive, no "." or "..", no device name.
  return IsContainedRelPath(name);
}

std::vector<std::string> ServerProgramPaths(const std::string& systemDir,
                                            const std::string& windowsDir,
                                            const std::string& service) {
  return {systemDir + "\\" + service + ".exe", windowsDir + "\\" + service + ".exe"};
}

std::string ServerCommandLine(const std::string& program, const std::string& topic) {
  return "\"" + program + "\" " + topic;
}

DdeTextForm ExecuteTextForm(bool onWine, bool serverWindowIsUnicode) {
  if (onWine) return DdeTextForm::Gbk;
  return serverWindowIsUnicode ? DdeTextForm::Utf16 : DdeTextForm::SystemCodePage;
}
