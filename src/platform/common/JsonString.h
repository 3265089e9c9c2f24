// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// What a JSON string makes of the text beyond ASCII.
enum class JsonNonAscii {
    // Kept as UTF-8; a broken sequence becomes U+FFFD, and DEL and the two Unicode line
    // separators are escaped, so that a reader taking the document line by line sees one.
    Utf8,
    // Each byte beyond ASCII becomes '?': for documents that are plain ASCII by contract,
    // where a stray byte must not make them invalid. DEL stays as it is.
    Question,
};

// Appends the text as a JSON string, quotes included: quotes, backslashes and control
// characters escaped.
void AppendJsonString(std::string& out, std::string_view text, JsonNonAscii nonAscii);

inline std::string JsonString(std::string_view text, JsonNonAscii nonAscii) {
    std::string json;
    AppendJsonString(json, text, nonAscii);
    return json;
}
