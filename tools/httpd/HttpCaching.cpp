// SPDX-License-Identifier: MIT
#include "HttpCaching.h"

#include "TextRules.h"
#include "platform/common/WallClock.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::array<const char*, 7> DAYS = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> MONTHS = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// "Sun, 06 Nov 1994 08:49:37 GMT"
constexpr std::size_t DATE_LENGTH = 29;

// The digits at text[at, at + count) as a number, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    const char* first = text.data() + at;
    const auto parsed = std::from_chars(first, first + count, value);
    return parsed.ec == std::errc() && parsed.ptr == first + count ? value : -1;
}

// The index of the three letters at text[at] in names, or -1.
template <std::size_t N>
int NameIndex(const std::array<const char*, N>& names, std::string_view text, std::size_t at) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text.substr(at, 3) == names[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A list of entity tags: true when one of them is etag or "*". W/ is ignored, since a
// 304 only needs the weak comparison.
bool ListsTag(std::string_view list, std::string_view etag) {
    const auto strong = [](std::string_view tag) {
        return tag.starts_with("W/") ? tag.substr(2) : tag;
    };
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        const std::string_view tag = TrimBlanks(list.substr(0, comma));
        if (tag == "*" || (!etag.empty() && strong(tag) == strong(etag))) {
            return true;
        }
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return false;
}

} // namespace

std::string HttpDate(std::time_t time) {
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64] = {}; // room for any year
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  DAYS[static_cast<std::size_t>(parts.tm_wday) % 7], parts.tm_mday,
                  MONTHS[static_cast<std::size_t>(parts.tm_mon) % 12], parts.tm_year + 1900,
                  parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::optional<std::time_t> ParseHttpDate(std::string_view text) {
    if (text.size() != DATE_LENGTH || text.substr(3, 2) != ", " || text[7] != ' ' ||
        text[11] != ' ' || text[16] != ' ' || text[19] != ':' || text[22] != ':' ||
        text.substr(25) != " GMT" || NameIndex(DAYS, text, 0) < 0) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_mday = Digits(text, 5, 2);
    parts.tm_mon = NameIndex(MONTHS, text, 8);
    parts.tm_year = Digits(text, 12, 4) - 1900;
    parts.tm_hour = Digits(text, 17, 2);
    parts.tm_min = Digits(text, 20, 2);
    parts.tm_sec = Digits(text, 23, 2);
    if (parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_mon < 0 || parts.tm_year < 0 ||
        parts.tm_hour < 0 || parts.tm_hour > 23 || parts.tm_min < 0 || parts.tm_min > 59 ||
        parts.tm_sec < 0 || parts.tm_sec > 60) {
        return std::nullopt;
    }
    return timegm(&parts);
}

bool NotModified(const HttpRequest& request, std::string_view etag, std::time_t lastModified) {
    if (request.method != "GET" && request.method != "HEAD") {
        return false;
    }
    // When both are sent, the entity tag decides: it is the more exact of the two.
    const std::string_view noneMatch = request.Header("if-none-match");
    if (!noneMatch.empty()) {
        return ListsTag(noneMatch, etag);
    }
    const std::optional<std::time_t> since = ParseHttpDate(request.Header("if-modified-since"));
    return since && *since <= WallClock::NowSeconds() && lastModified <= *since;
}
