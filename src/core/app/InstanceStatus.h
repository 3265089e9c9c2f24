// SPDX-License-Identifier: MIT
#pragma once

#include "core/alerts/AlertRules.h"
#include "core/app/PriceLine.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// What the running program tells a status bar (orvantis-chart --status): the floating
// window's line, a tooltip and a class for styling.
struct InstanceStatus {
    std::string cssClass; // up, down, flat, stale, closed, snoozed, or none before any price
    std::string text;     // "1662.50 +12.50", or "Obtaining..." before any price
    std::string tooltip;  // "Last Notify Price: 1650.00", then one line per problem
    // While alerts are held: "snoozed_until" or "quiet_until" and the UTC instant they
    // come back, "2026-12-08T14:30:00Z"; both empty otherwise.
    std::string holdName = {};
    std::string holdUntil = {};
    std::string reopens = {}; // while closed, "2026-12-13T23:00:00Z" when known

    friend bool operator==(const InstanceStatus&, const InstanceStatus&) = default;
};

// The status classes. Stale comes before the others: a price that is not live is not up.
inline constexpr const char* STATUS_CLASS_UP = "up";
inline constexpr const char* STATUS_CLASS_DOWN = "down";
inline constexpr const char* STATUS_CLASS_FLAT = "flat";
inline constexpr const char* STATUS_CLASS_STALE = "stale";
inline constexpr const char* STATUS_CLASS_NONE = "none";
// The market is closed: after stale, before the others.
inline constexpr const char* STATUS_CLASS_CLOSED = "closed";
// Alerts are held: after closed, before the change.
inline constexpr const char* STATUS_CLASS_SNOOZED = "snoozed";
inline constexpr const char* STATUS_HOLD_SNOOZED = "snoozed_until";
inline constexpr const char* STATUS_HOLD_QUIET = "quiet_until";
inline constexpr const char* STATUS_REOPENS = "reopens";

// The status of the program showing these prices: the floating window's line, the class of
// the change (stale, closed, then snoozed, before the others), and the tooltip as given.
// reopens is the wall-clock reopening of a closed market, 0 when unknown.
InstanceStatus MakeInstanceStatus(const PriceView& prices, bool stale, std::string tooltip,
                                  const std::optional<AlertHold>& hold = std::nullopt,
                                  bool closed = false, std::time_t reopens = 0);

// A status bar line is short: longer texts are cut (at a character boundary) to these
// many bytes before they are sent.
constexpr std::size_t STATUS_TEXT_MAX = 64;
constexpr std::size_t STATUS_TOOLTIP_MAX = 256;

// The answer to INSTANCE_REQUEST_STATUS, without its line break: "STATUS <class> <text>
// <tooltip>", then " <holdName>=<holdUntil>" while alerts are held and " reopens=<instant>"
// while the market is closed, the texts cut as above and
// percent-encoded (space, '%' and control characters), so the line always fits INSTANCE_MAX_ANSWER.
std::string EncodeStatusAnswer(const InstanceStatus& status);
// The status of an answer line; nothing when it is not one.
std::optional<InstanceStatus> DecodeStatusAnswer(std::string_view line);

// The object a waybar custom module reads, on one line:
// {"text":"...","tooltip":"...","class":"..."}, and "snoozed_until" or "quiet_until"
// while alerts are held, "reopens" while closed. Text that is not UTF-8 becomes U+FFFD.
std::string StatusJson(const InstanceStatus& status);
