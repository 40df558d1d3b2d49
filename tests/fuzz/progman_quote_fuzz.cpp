// libFuzzer target: Program Manager arguments as the programs write them. Round trip: every
// composed command parses back, as the server reads it, to exactly the arguments given; no
// argument can end the command or begin another; only what no form carries is refused.
// Input: up to four arguments separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/progman.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool Carried(const std::string& text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (gbk::IsLeadByte(b)) {
      if (i + 1 >= text.size() || !gbk::IsTrailByte(text[i + 1])) return false;
      ++i;
    } else if (b == '"' || b < 0x20 || b == 0x7F) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> arguments;
  for (std::size_t start = 0; arguments.size() < 4;) {
    const std::size_t end = bytes.find('\0', start);
    arguments.push_back(bytes.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  bool all = true;
  for (const std::string& a : arguments) {
    const auto written = ProgManArgument(a);
    Check(written.has_value() == Carried(a), "refused only without a form", a);
    all = all && written;
    if (written && *written == a)
      Check(a.front() != ' ' && a.back() != ' ', "an unquoted argument has no outer blank", a);
  }
  const auto command = ComposeProgManCommand("AddItem", arguments, "\r\n", 1 << 16);
  Check(command.has_value() == all, "composed when every argument has a form", bytes);
  if (!command) return 0;
  Check(ParseProgManArguments(*command) == arguments, "parses back to the same arguments",
        *command);
  // Outside quotes only the command's own brackets: one "[" first, one "]" last before the
  // line end (trail bytes of double-byte characters are no brackets).
  int open = 0, close = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < command->size(); ++i) {
    const unsigned char b = static_cast<unsigned char>((*command)[i]);
    if (gbk::IsLeadByte(b) && i + 1 < command->size()) {
      ++i;
    } else if (b == '"') {
      quoted = !quoted;
    } else if (!quoted) {
      open += b == '[';
      close += b == ']';
    }
  }
  Check(open == 1 && close == 1 && !quoted, "one command", *command);
  return 0;
}
