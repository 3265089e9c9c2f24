// SPDX-License-Identifier: MIT
#include "Alert.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr std::string_view LINE_START = "alert ";
constexpr std::string_view NONE = "-";
constexpr std::size_t MAX_VALUE = 24; // a checked price or change is shorter

std::string ReceivedText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string OrNone(const std::string& text) {
    return text.empty() ? "none" : text;
}

std::string Stored(const std::string& value) {
    return value.empty() ? std::string(NONE) : value;
}

// A price or a change as NotifyRequest lets it through, or '-'.
bool FromStored(std::string_view token, std::string& value) {
    value = token == NONE ? std::string() : std::string(token);
    return token == NONE || (!token.empty() && token.size() <= MAX_VALUE &&
                             std::all_of(token.begin(), token.end(), [](char ch) {
                                 return (ch >= '0' && ch <= '9') || ch == '.' || ch == '+' ||
                                        ch == '-';
                             }));
}

} // namespace

Alert Alert::FromRequest(const NotifyRequest& request, std::string id,
                         std::chrono::system_clock::time_point received) {
    return {std::move(id), std::string(GOLD), request.email, request.last,
            request.price, request.change,    received};
}

Alert Alert::Test(std::string email, std::string id, std::chrono::system_clock::time_point now) {
    return {std::move(id), std::string(TEST), std::move(email), {}, {}, {}, now};
}

std::string Alert::Title() const {
    if (type == TEST) {
        return "Orvantis test alert";
    }
    return "Gold price changed: " + price + (change.empty() ? "" : " (" + change + ")");
}

std::string Alert::Text() const {
    if (type == TEST) {
        return "A test alert for " + email +
               " from orvantis-notifyd --test: price alerts take this way too.\n\n"
               "Sent:                " +
               ReceivedText(received) + "\n";
    }
    return "The gold price has moved by your threshold.\n\n"
           "Last notified price: " +
           OrNone(last) + "\nNew price:           " + price +
           "\nChange:              " + OrNone(change) +
           "\nReceived:            " + ReceivedText(received) + "\n";
}

std::string Alert::Line() const {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(received.time_since_epoch()).count();
    return std::string(LINE_START) + type + " " + std::to_string(seconds) + " " + Stored(last) +
           " " + Stored(price) + " " + Stored(change);
}

bool Alert::IsLine(std::string_view line) {
    return line.starts_with(LINE_START);
}

bool Alert::FromLine(std::string_view line, Alert& alert) {
    if (!IsLine(line)) {
        return false;
    }
    std::vector<std::string_view> tokens;
    for (std::size_t pos = LINE_START.size(); pos <= line.size() && tokens.size() < 6;) {
        const std::size_t blank = std::min(line.find(' ', pos), line.size());
        tokens.push_back(line.substr(pos, blank - pos));
        pos = blank + 1;
    }
    long long seconds = -1;
    const std::string_view when = tokens.size() > 1 ? tokens[1] : "";
    const auto parsed = std::from_chars(when.data(), when.data() + when.size(), seconds);
    if (tokens.size() != 5 || (tokens[0] != GOLD && tokens[0] != TEST) ||
        parsed.ptr != when.data() + when.size() || parsed.ec != std::errc() || seconds < 0 ||
        seconds > 99999999999LL || !FromStored(tokens[2], alert.last) ||
        !FromStored(tokens[3], alert.price) || !FromStored(tokens[4], alert.change) ||
        (tokens[0] == GOLD && alert.price.empty())) {
        return false;
    }
    alert.type = std::string(tokens[0]);
    alert.received = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
    return true;
}
