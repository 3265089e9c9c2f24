// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The quote in a feed's JSON answer, found by an RFC 6901 JSON pointer. The document is
// read as a stream of events, never built as a tree, and nesting deeper than
// MAX_DEPTH stops the reading: a body of any shape costs no more memory than its bytes.
class JsonQuote final {
public:
    static constexpr std::size_t MAX_DEPTH = 64;

    // False for a text that is not a JSON pointer ("" is the whole document).
    static bool ValidPointer(std::string_view pointer);

    explicit JsonQuote(std::string_view pointer); // a valid pointer

    // The number at the pointer, or a number written as a string there; nullopt with the
    // reason in `error` for anything else.
    std::optional<double> Read(std::string_view body, std::string& error) const;

private:
    std::string m_pointer;
    std::vector<std::string> m_tokens;
};
