// The fuzz targets' one way to report a broken invariant: the rule and the input (printable
// bytes as they are, others as dots), then an abort that libFuzzer keeps as a crash input.
#pragma once
#include <cstdlib>
#include <iostream>
#include <string>

inline void Check(bool ok, const char* what, const std::string& subject) {
  if (ok) return;
  std::cerr << "invariant broken: " << what << " for [";
  for (unsigned char c : subject) std::cerr << (c >= 32 && c < 127 ? static_cast<char>(c) : '.');
  std::cerr << "]\n";
  std::abort();
}
