// The exception that carries a text for the generic error box.
#pragma once
#include <exception>
#include <string>
#include <utility>

// Unlike std::runtime_error and its relatives it keeps its text in a plain std::string: in the
// statically linked Windows programs the standard exception classes bring along a second,
// reference-counted string implementation of the runtime library (about 50 KB a program).
class TextError : public std::exception {
 public:
  explicit TextError(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};
