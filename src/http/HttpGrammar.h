// SPDX-License-Identifier: MIT
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>

// The pieces of the HTTP/1.1 message grammar that the server's request reader, the
// client's answer reader and the tests' loopback server read alike. Pure rules on bytes:
// no sockets, no state, no limits; each reader keeps its own limits and its own answer
// to a message that breaks them.
namespace http {

// A header name or a method (a "token"): one or more letters, digits or !#$%&'*+-.^_`|~,
// so no blank, no separator, no control byte.
bool IsToken(std::string_view text);

// A NUL, or a CR that does not end a line: front ends disagree on what these mean, so a
// message that holds one could be read as two by one of them and as one by us.
bool HasAmbiguousBytes(std::string_view text);

// Header names compare without regard to ASCII case (no locale).
bool EqualNoCase(std::string_view a, std::string_view b);

// The line without the CR of a CR LF line end.
constexpr std::string_view WithoutCr(std::string_view line) {
    return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

// The line that starts at pos, up to its LF or the end of the text, without its line end;
// pos moves past the LF.
std::string_view CutLine(std::string_view text, std::size_t& pos);

struct HeaderLine {
    std::string_view name;
    std::string_view value;
};

// "Name: value": the name is everything before the first colon and not empty, the value
// is the rest without the blanks around it. A blank before the colon or at the start of
// the line (an old-style folded line) stays in the name, for the reader to refuse.
std::optional<HeaderLine> SplitHeaderLine(std::string_view line);

// The digits of a chunk's size line: before any ";extension", without blanks.
std::string_view ChunkSizeDigits(std::string_view line);

// A whole number in base (10 for a length, 16 for a chunk size): digits only, no sign,
// nothing around them, and it fits Number.
template <typename Number> std::optional<Number> ParseNumber(std::string_view digits, int base) {
    Number value{};
    const auto [next, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || next != digits.data() + digits.size()) {
        return std::nullopt;
    }
    if constexpr (std::is_signed_v<Number>) {
        if (value < 0) {
            return std::nullopt;
        }
    }
    return value;
}

} // namespace http
