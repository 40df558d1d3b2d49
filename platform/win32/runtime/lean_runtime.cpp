// Pieces of the C++ runtime that each statically linked Windows program defines itself.
// Linked as an object into each program, not through a library, so that these definitions
// are there before the runtime library is searched and its own copies are never pulled in.
//
// The runtime's throw helpers (std::__throw_length_error and the like, called by the inline
// code of std::string, std::vector, std::function, ...) live in one library member. The
// linker keeps every function of a member it takes (its unwind tables reference them all),
// and that member constructs the standard exception classes, which bring along a second,
// reference-counted string implementation: about 50 KB a program. Here the helpers that
// carry a text throw TextError with the same what() text; the programs catch exceptions as
// std::exception only, so what a user sees is the same. The others throw the standard
// classes, which carry no text.
//
// The runtime's default terminate handler prints the demangled type of an uncaught exception
// to standard error, which a GUI program does not have, and brings in the demangler (about
// 45 KB). This one ends the program the same way, with abort().
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

#include "common/error.h"

namespace {

// The formats of the runtime's range messages: %s, %zu and %%.
std::string FormatText(const char* format, va_list args) {
  std::string out;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      out += *p;
    } else if (p[1] == 's') {
      out += va_arg(args, const char*);
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      std::size_t v = va_arg(args, std::size_t);
      char digits[24];
      int n = 0;
      do {
        digits[n++] = static_cast<char>('0' + v % 10);
      } while (v /= 10);
      while (n) out += digits[--n];
      p += 2;
    } else if (p[1] == '%') {
      out += '%';
      ++p;
    } else {
      out += '%';
    }
  }
  return out;
}

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* s) { throw TextError(s); }
void __throw_domain_error(const char* s) { throw TextError(s); }
void __throw_invalid_argument(const char* s) { throw TextError(s); }
void __throw_length_error(const char* s) { throw TextError(s); }
void __throw_out_of_range(const char* s) { throw TextError(s); }
void __throw_runtime_error(const char* s) { throw TextError(s); }
void __throw_range_error(const char* s) { throw TextError(s); }
void __throw_overflow_error(const char* s) { throw TextError(s); }
void __throw_underflow_error(const char* s) { throw TextError(s); }

void __throw_out_of_range_fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  throw TextError(std::move(text));
}

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
