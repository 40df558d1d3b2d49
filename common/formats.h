// Texts the programs compose from numbers and paths.
#pragma once
#include <cstdint>
#include <string>

// A byte count in gigabytes (three divisions by 1024): one decimal from 10 up, two below,
// chosen on the unrounded value; rounded half away from zero.
std::string FormatGigabytes(double bytes);

// A gigabyte value written the same way (one decimal from 10 up, else two).
std::string FormatGbValue(long double gb);

// The free-space text left after the installation: the shown free value minus a fixed 0.019,
// computed in extended precision. `shownFree` is the text of the free-space cell ("74.5 GB").
// Empty when the cell is empty or its value is not above 0.
std::string RemainingSpaceText(const std::string& shownFree);

// The status line's path: folder + "\" + name when shorter than 46 bytes, otherwise the first
// 17 bytes of the folder (never splitting a character), "...\" and the name.
std::string DisplayPath(const std::string& folder, const std::string& name);
