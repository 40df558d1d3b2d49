#include "common/progman.h"

#include "common/gbk.h"

bool IsProgManArgument(const std::string& text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (gbk::IsLeadByte(b) && i + 1 < text.size()) {
      ++i;  // the trail byte may be 0x5B or 0x5D: it is half of a character, not a bracket
      continue;
    }
    switch (b) {
      case '[':
      case ']':
      case '(':
      case ')':
      case ',':
      case '"':
        return false;
    }
  }
  return true;
}

std::optional<std::string> ComposeProgManCommand(const std::string& name,
                                                 const std::vector<std::string>& arguments,
                                                 const std::string& ending, std::size_t buffer) {
  std::string text = "[" + name + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!IsProgManArgument(arguments[i])) return std::nullopt;
    text += (i ? "," : "") + arguments[i];
  }
  text += ")]" + ending;
  // A command that does not fit is not sent at all: a cut one would be another command.
  if (text.size() >= buffer) return std::nullopt;
  return text;
}

std::string ServerProgramPath(const std::string& windowsDir, const std::string& service) {
  return windowsDir + "\\" + service + ".exe";
}

std::string ServerCommandLine(const std::string& program, const std::string& topic) {
  return "\"" + program + "\" " + topic;
}

DdeTextForm ExecuteTextForm(bool onWine, bool serverWindowIsUnicode) {
  if (onWine) return DdeTextForm::Gbk;
  return serverWindowIsUnicode ? DdeTextForm::Utf16 : DdeTextForm::SystemCodePage;
}
