// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <utility>

// The text forms of the values in the settings file, the same whatever the user's locale.

// "%lf": leading white space skipped, the longest prefix that forms a number taken;
// the preset when the text holds no number.
double ParseDouble(const std::string& text, double preset);
// "%.2f" (the same as "%.02f"), always with a point.
std::string FormatPrice(double value);
// "%.2f", then the trailing run of '0' removed, then the trailing run of '.' removed.
std::string FormatThreshold(double value);
// "%d,%d": both integers, or nothing.
std::optional<std::pair<int, int>> ParseFloatPos(const std::string& text);
