// SPDX-License-Identifier: MIT
#include "http/HttpGrammar.h"

#include "platform/common/Trim.h"

#include <algorithm>

namespace http {

bool IsToken(std::string_view text) {
    constexpr std::string_view SYMBOLS = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               SYMBOLS.find(ch) != std::string_view::npos;
    });
}

bool HasAmbiguousBytes(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool bareCr = text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n');
        if (text[at] == '\0' || bareCr) {
            return true;
        }
    }
    return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view CutLine(std::string_view text, std::size_t& pos) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    return WithoutCr(line);
}

std::optional<HeaderLine> SplitHeaderLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    return HeaderLine{line.substr(0, colon), TrimBlanks(line.substr(colon + 1))};
}

std::string_view ChunkSizeDigits(std::string_view line) {
    return TrimBlanks(line.substr(0, line.find(';')));
}

} // namespace http
