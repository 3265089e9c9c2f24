// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The text without its leading and trailing blanks (spaces and tabs).
std::string_view TrimBlanks(std::string_view text);

// ASCII letters in lower case, every other byte as it is (no locale).
std::string LowerAscii(std::string_view text);
