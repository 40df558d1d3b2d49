#include "common/formats.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/gbk.h"

namespace {

// Fixed-point text with `decimals` places, halves rounded away from zero. printf rounds
// halves to even on the binary value, so the rounding is done here first.
std::string Fixed(long double v, int decimals) {
  long double scale = decimals == 1 ? 10.0L : 100.0L;
  long double rounded = std::round(v * scale) / scale;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Lf", decimals, rounded);
  return buf;
}

}  // namespace

std::string FormatGbValue(long double gb) { return Fixed(gb, gb >= 10 ? 1 : 2); }

std::string FormatGigabytes(double bytes) {
  double gb = bytes / 1024.0 / 1024.0 / 1024.0;
  return FormatGbValue(gb);
}

std::string RemainingSpaceText(const std::string& shownFree) {
  if (shownFree.empty()) return std::string();
  std::size_t space = shownFree.find(' ');
  std::string number =
      shownFree.substr(0, space == std::string::npos ? std::string::npos : space + 1);
  long double v = std::strtold(number.c_str(), nullptr);
  if (!(v > 0)) return std::string();
  const long double kReserve = 0.019L;
  return " " + FormatGbValue(v - kReserve) + " GB";
}

std::string DisplayPath(const std::string& folder, const std::string& name) {
  std::string whole = folder + "\\" + name;
  if (whole.size() < 46) return whole;
  return gbk::SafePrefix(folder, 17) + "...\\" + name;
}
