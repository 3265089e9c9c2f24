// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/RgbaImage.h"

#include <cstdint>
#include <string_view>

constexpr int LABEL_HEIGHT = 7;
constexpr int LABEL_ADVANCE = 6; // five columns and a space

// The width in pixels of a label drawn with DrawLabel().
int LabelWidth(std::string_view text);

// Draws a text in a small 5 x 7 font whose digits differ from the price glyphs, so a label
// can never be read as a price. Only the set pixels are drawn, so it sits on whatever is
// below it; lower-case letters are drawn as capitals, characters without a glyph as gaps.
void DrawLabel(RgbaImage& image, int x, int y, std::string_view text, std::uint32_t color);
