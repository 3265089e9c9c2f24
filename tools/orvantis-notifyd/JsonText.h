// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The text as a JSON string, quotes included: quotes, backslashes and control characters
// escaped, a byte beyond ASCII as '?' (every text the service writes is ASCII, and a
// stray byte must not make the document invalid).
std::string JsonString(std::string_view text);
