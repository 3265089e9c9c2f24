// SPDX-License-Identifier: MIT
#pragma once

#include "platform/common/Trim.h"

#include <string>
#include <string_view>

// ASCII letters in lower case, every other byte as it is (no locale).
std::string LowerAscii(std::string_view text);

// True when the text holds a control byte (below 0x20, or 0x7F).
bool HasControl(std::string_view text);

// A whole decimal number from low to high, nothing else around it; value is set only then.
bool ParseWholeNumber(std::string_view text, int low, int high, int& value);
