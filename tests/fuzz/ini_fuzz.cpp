// libFuzzer target: the INI reader behind both programs' config reads. The input is cut into
// a section name, a key name and the file's text. Checks the shape of every answer, that the
// answer does not depend on the letter case of the names asked for, and that no text before
// it can hide a well-formed section that comes later.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "common/gbk.h"
#include "common/ini.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// ASCII lower case of the single-byte characters only: a trail byte is left alone.
std::string LowerAscii(const std::string& s) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(out[i]);
    if (gbk::IsLeadByte(b) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (b >= 'A' && b <= 'Z') out[i] = static_cast<char>(b + 32);
  }
  return out;
}

void CheckAnswer(const std::string& text, const std::string& value) {
  Check(value.size() <= kIniValueMax, "at most 2047 bytes", text);
  Check(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos, "one line's value",
        text);
  Check(text.find(value) != std::string::npos, "the value is text of the file", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(24);
  const std::string key = in.ConsumeRandomLengthString(24);
  const std::string text = in.ConsumeRemainingBytesAsString();

  const std::string value = ReadIniValue(text, section, key);
  CheckAnswer(text, value);
  Check(ReadIniValue(text, LowerAscii(section), LowerAscii(key)) == value,
        "names match without regard to case", text);
  // A name before the first "=" of a line never holds one, so such a key is never found.
  Check(ReadIniValue(text, section, key + "=").empty(), "a key with \"=\" is never found", text);

  // A section of a name the text does not use, appended after whatever the text holds, is
  // found with its value (unless a NUL ended the text before it).
  const std::string fresh = "[zqxfuzz]\r\nKey = \"v a l\" \r\n";
  if (text.find('\0') == std::string::npos &&
      LowerAscii(text).find("zqxfuzz") == std::string::npos) {
    Check(ReadIniValue(text + "\r\n" + fresh, "ZQXFUZZ", "key") == "v a l",
          "a later section is found", text);
  }
  return 0;
}
