// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/RgbaImage.h"

#include <gtest/gtest.h>

#include <string_view>

// Checks a chart's top band pixel by pixel against the glyph table: the first anchor in
// rows 0 to 14 (leftmost, then topmost), any blank columns, then each character of `text`
// as its exact glyph columns followed by one blank column, then a column holding a
// pixel that is neither ink nor paper.
::testing::AssertionResult HasPriceBand(const RgbaImage& image, std::string_view text);
