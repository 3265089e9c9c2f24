// SPDX-License-Identifier: MIT
#include "core/app/InstanceStatus.h"

#include "core/app/InstanceProtocol.h"
#include "platform/common/JsonString.h"
#include "platform/common/WallClock.h"

#include <array>
#include <cstdio>
#include <utility>

namespace {

constexpr std::string_view ANSWER_LEAD = "STATUS ";
constexpr std::array<std::string_view, 6> CLASSES = {STATUS_CLASS_UP,     STATUS_CLASS_DOWN,
                                                     STATUS_CLASS_FLAT,   STATUS_CLASS_STALE,
                                                     STATUS_CLASS_CLOSED, STATUS_CLASS_NONE};
constexpr std::size_t INSTANT_SIZE = 20; // 2026-12-13T23:00:00Z

// Every byte may become three, and the longest class is six bytes.
static_assert(ANSWER_LEAD.size() + 6 + 1 + 3 * STATUS_TEXT_MAX + 1 + 3 * STATUS_TOOLTIP_MAX + 1 +
                  INSTANT_SIZE <=
              INSTANCE_MAX_ANSWER);

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
                                  bool closed, std::time_t reopens) {
    InstanceStatus status{stale    ? STATUS_CLASS_STALE
                          : closed ? STATUS_CLASS_CLOSED
                                   : ClassOf(SignOfChange(prices)),
                          PriceLine(prices),
                          std::move(tooltip),
                          {}};
    if (!stale && closed && reopens != 0) {
        status.reopens =
            WallClock::FormatInstant(std::chrono::sys_seconds{std::chrono::seconds{reopens}});
    }
    return status;
}

std::string EncodeStatusAnswer(const InstanceStatus& status) {
    const std::string_view cssClass =
        IsKnownClass(status.cssClass) ? std::string_view(status.cssClass) : STATUS_CLASS_NONE;
    return std::string(ANSWER_LEAD) + std::string(cssClass) + " " +
           PercentEncode(Cut(status.text, STATUS_TEXT_MAX)) + " " +
           PercentEncode(Cut(status.tooltip, STATUS_TOOLTIP_MAX)) +
           (cssClass == STATUS_CLASS_CLOSED && WallClock::ParseInstant(status.reopens)
                ? " " + status.reopens
                : std::string());
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
    // Only a closed market may add its reopening, and only as a well-formed instant.
    const auto third = line.find(' ', second + 1);
    std::string reopens;
    if (third != std::string_view::npos) {
        reopens = line.substr(third + 1);
        if (cssClass != STATUS_CLASS_CLOSED || !WallClock::ParseInstant(reopens)) {
            return std::nullopt;
        }
    }
    std::optional<std::string> text = PercentDecode(line.substr(first + 1, second - first - 1));
    std::optional<std::string> tooltip = PercentDecode(
        line.substr(second + 1, third == std::string_view::npos ? third : third - second - 1));
    if (!IsKnownClass(cssClass) || !text || !tooltip) {
        return std::nullopt;
    }
    return InstanceStatus{std::string(cssClass), std::move(*text), std::move(*tooltip),
                          std::move(reopens)};
}

std::string StatusJson(const InstanceStatus& status) {
    std::string out = "{\"text\":";
    AppendJsonString(out, status.text, JsonNonAscii::Utf8);
    out += ",\"tooltip\":";
    AppendJsonString(out, status.tooltip, JsonNonAscii::Utf8);
    out += ",\"class\":";
    AppendJsonString(out, status.cssClass, JsonNonAscii::Utf8);
    if (!status.reopens.empty()) {
        out += ",\"reopens\":";
        AppendJsonString(out, status.reopens, JsonNonAscii::Utf8);
    }
    out += '}';
    return out;
}
