// SPDX-License-Identifier: MIT
#pragma once

#include "core/settings/TextCodecs.h"

#include <optional>
#include <string>
#include <string_view>

// The grammar of an ini file, as Windows reads and writes its private profile files. A
// line is a section header ("[Name]", ending at its first ']' or at the line's end), a key
// ("Name=Value", split at its first '='), a comment (first non-blank character ';') or
// nothing. Lines before the first header belong to no section. Spaces and tabs around names
// and values are not part of them, and names match without regard to the case of ASCII
// letters. Of equal sections only the first counts, and of equal keys in it the first.

// The value of key in section: one outer pair of matching quotes removed. Nothing when the
// section or the key is missing.
std::optional<std::u16string_view>
FindIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key);

// Replaces the key's value in its line, or adds the key after the last key line of its
// section, or adds the section at the end. Values are written verbatim. False when the key
// already holds the value: the text is then left as it is, as the Windows functions leave
// the file (no rewritten line, no final line break added).
bool SetIniValue(IniText& file, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value);

// A section or key name as a caller gives it: UTF-8, losing the spaces around it only.
std::u16string IniName(std::string_view argument);
