// SPDX-License-Identifier: MIT
#include "core/app/InstanceStatus.h"

#include "core/app/InstanceProtocol.h"
#include "platform/common/JsonString.h"
#include "platform/common/WallClock.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace {

constexpr std::string_view ANSWER_LEAD = "STATUS ";
constexpr std::array<std::string_view, 7> CLASSES = {
    STATUS_CLASS_UP,     STATUS_CLASS_DOWN, STATUS_CLASS_FLAT,   STATUS_CLASS_STALE,
    STATUS_CLASS_CLOSED, STATUS_CLASS_NONE, STATUS_CLASS_SNOOZED};
constexpr std::string_view HOLD_NAMES[] = {STATUS_HOLD_SNOOZED, STATUS_HOLD_QUIET};
constexpr std::size_t INSTANT_SIZE = 20; // 2026-12-13T23:00:00Z

// Every byte may become three, the longest class is seven bytes, the hold at most
// " snoozed_until=" and an instant, the reopening " reopens=" and an instant.
static_assert(ANSWER_LEAD.size() + 7 + 1 + 3 * STATUS_TEXT_MAX + 1 + 3 * STATUS_TOOLTIP_MAX + 15 +
                  INSTANT_SIZE + 9 + INSTANT_SIZE <=
              INSTANCE_MAX_ANSWER);

bool IsInstant(std::string_view text) {
    return WallClock::ParseInstant(text).has_value() && text.size() == INSTANT_SIZE;
}

bool IsHold(std::string_view name, std::string_view until) {
    return std::find(std::begin(HOLD_NAMES), std::end(HOLD_NAMES), name) != std::end(HOLD_NAMES) &&
           IsInstant(until);
}

bool IsKnownClass(std::string_view name) {
    for (const std::string_view known : CLASSES) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

const char* ClassOf(ChangeSign sign) {
    switch (sign) {
    case ChangeSign::Up:
        return STATUS_CLASS_UP;
    case ChangeSign::Down:
        return STATUS_CLASS_DOWN;
    case ChangeSign::Flat:
        return STATUS_CLASS_FLAT;
    case ChangeSign::None:
        break;
    }
    return STATUS_CLASS_NONE;
}

// At most max bytes, never ending inside a UTF-8 character.
std::string_view Cut(std::string_view text, std::size_t max) {
    if (text.size() <= max) {
        return text;
    }
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

std::string PercentEncode(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

} // namespace

InstanceStatus MakeInstanceStatus(const PriceView& prices, bool stale, std::string tooltip,
                                  const std::optional<AlertHold>& hold, bool closed,
                                  std::time_t reopens) {
    InstanceStatus status{stale    ? STATUS_CLASS_STALE
                          : closed ? STATUS_CLASS_CLOSED
                          : hold   ? STATUS_CLASS_SNOOZED
                                   : ClassOf(SignOfChange(prices)),
                          PriceLine(prices), std::move(tooltip)};
    if (hold) {
        status.holdName =
            hold->kind == AlertHold::Kind::Snoozed ? STATUS_HOLD_SNOOZED : STATUS_HOLD_QUIET;
        status.holdUntil =
            WallClock::FormatInstant(std::chrono::sys_seconds{std::chrono::seconds{hold->until}});
    }
    if (!stale && closed && reopens != 0) {
        status.reopens =
            WallClock::FormatInstant(std::chrono::sys_seconds{std::chrono::seconds{reopens}});
    }
    return status;
}

std::string EncodeStatusAnswer(const InstanceStatus& status) {
    const std::string_view cssClass =
        IsKnownClass(status.cssClass) ? std::string_view(status.cssClass) : STATUS_CLASS_NONE;
    std::string answer = std::string(ANSWER_LEAD) + std::string(cssClass) + " " +
                         PercentEncode(Cut(status.text, STATUS_TEXT_MAX)) + " " +
                         PercentEncode(Cut(status.tooltip, STATUS_TOOLTIP_MAX));
    // Only while they hold, so that a status bar of an older version still reads the others.
    if (IsHold(status.holdName, status.holdUntil)) {
        answer += " " + status.holdName + "=" + status.holdUntil;
    }
    if (cssClass == STATUS_CLASS_CLOSED && IsInstant(status.reopens)) {
        answer += std::string(" ") + STATUS_REOPENS + "=" + status.reopens;
    }
    return answer;
}

std::optional<InstanceStatus> DecodeStatusAnswer(std::string_view line) {
    if (line.substr(0, ANSWER_LEAD.size()) != ANSWER_LEAD) {
        return std::nullopt;
    }
    line.remove_prefix(ANSWER_LEAD.size());
    const auto first = line.find(' ');
    const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view cssClass = line.substr(0, first);
    std::optional<std::string> text = PercentDecode(line.substr(first + 1, second - first - 1));
    const auto third = line.find(' ', second + 1);
    std::optional<std::string> tooltip = PercentDecode(line.substr(
        second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1));
    if (!IsKnownClass(cssClass) || !text || !tooltip) {
        return std::nullopt;
    }
    InstanceStatus status{std::string(cssClass), std::move(*text), std::move(*tooltip)};
    // Then "name=instant" fields: the hold once, and the reopening once, of a closed market.
    std::string_view rest =
        third == std::string_view::npos ? std::string_view() : line.substr(third + 1);
    while (third != std::string_view::npos) {
        const auto blank = rest.find(' ');
        const std::string_view field = rest.substr(0, blank);
        const auto equals = field.find('=');
        const std::string_view name = field.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
        if (IsHold(name, value) && status.holdName.empty()) {
            status.holdName = std::string(name);
            status.holdUntil = std::string(value);
        } else if (name == STATUS_REOPENS && cssClass == STATUS_CLASS_CLOSED && IsInstant(value) &&
                   status.reopens.empty()) {
            status.reopens = std::string(value);
        } else {
            return std::nullopt;
        }
        if (blank == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(blank + 1);
    }
    return status;
}

std::string StatusJson(const InstanceStatus& status) {
    std::string out = "{\"text\":";
    AppendJsonString(out, status.text, JsonNonAscii::Utf8);
    out += ",\"tooltip\":";
    AppendJsonString(out, status.tooltip, JsonNonAscii::Utf8);
    out += ",\"class\":";
    AppendJsonString(out, status.cssClass, JsonNonAscii::Utf8);
    if (IsHold(status.holdName, status.holdUntil)) {
        out += ",\"" + status.holdName + "\":\"" + status.holdUntil + "\"";
    }
    if (!status.reopens.empty()) {
        out += std::string(",\"") + STATUS_REOPENS + "\":";
        AppendJsonString(out, status.reopens, JsonNonAscii::Utf8);
    }
    out += '}';
    return out;
}
