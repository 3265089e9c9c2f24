// SPDX-License-Identifier: MIT
#include "core/alerts/AlertRules.h"

#include "core/settings/SettingText.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int MINUTES_PER_DAY = 24 * 60;

// Whether the move from the reference is to be told. Every difference is at least a
// threshold of zero or below, the price that did not move at all included: with such a
// threshold any change of a cent or more is told, and a price that shows as the
// reference (both as stored, with two decimals) only refreshes.
bool ThresholdReached(double price, double last, double threshold) {
    if (threshold <= 0.0) {
        return FormatPrice(price) != FormatPrice(last);
    }
    // A comparison with a not-a-number value is false, so it counts as below the threshold.
    return std::fabs(price - last) >= threshold;
}

// Compared as move * 100 against percent * reference, so that round figures ("0.5" of
// 2000) are not lost to the rounding of percent / 100.
bool PercentReached(double price, double last, double percent) {
    return percent > 0.0 && last > 0.0 && std::fabs(price - last) * 100.0 >= percent * last;
}

std::optional<AlertHold> QuietHold(const AlertSettings& alerts, const AlertMoment& now) {
    if (!alerts.quietHours || !alerts.quietHours->Contains(now.localMinute)) {
        return std::nullopt;
    }
    const int minutesLeft =
        (alerts.quietHours->toMinute - now.localMinute + MINUTES_PER_DAY) % MINUTES_PER_DAY;
    const std::int64_t minuteStart = now.utc - ((now.utc % 60) + 60) % 60;
    return AlertHold{AlertHold::Kind::Quiet, minuteStart + std::int64_t{minutesLeft} * 60};
}

} // namespace

std::optional<AlertHold> AlertHoldAt(const AlertSettings& alerts, const AlertMoment& now) {
    std::optional<AlertHold> hold = QuietHold(alerts, now);
    if (alerts.snoozeUntil && now.utc < *alerts.snoozeUntil &&
        (!hold || hold->until < *alerts.snoozeUntil)) {
        hold = AlertHold{AlertHold::Kind::Snoozed, *alerts.snoozeUntil};
    }
    return hold;
}

AlertDecision JudgeAlert(const AlertSettings& alerts, double threshold, double last, double price,
                         const AlertMoment& now) {
    AlertDecision decision;
    decision.aboveArmed =
        alerts.aboveArmed || !alerts.alertAbove || price < *alerts.alertAbove - alerts.levelBand;
    decision.belowArmed =
        alerts.belowArmed || !alerts.alertBelow || price > *alerts.alertBelow + alerts.levelBand;
    const bool atAbove = alerts.alertAbove && price >= *alerts.alertAbove;
    const bool atBelow = alerts.alertBelow && price <= *alerts.alertBelow;

    const std::pair<bool, AlertReason> rules[] = {
        {ThresholdReached(price, last, threshold), AlertReason::Move},
        {PercentReached(price, last, alerts.percentChange), AlertReason::Percent},
        {atAbove && decision.aboveArmed, AlertReason::Above},
        {atBelow && decision.belowArmed, AlertReason::Below}};
    const auto fired = std::find_if(std::begin(rules), std::end(rules),
                                    [](const auto& rule) { return rule.first; });
    if (fired == std::end(rules)) {
        return decision;
    }
    decision.hold = AlertHoldAt(alerts, now);
    if (decision.hold) {
        return decision;
    }
    decision.notify = true;
    decision.reason = fired->second;
    // Told now, by whichever rule: a level the price is at is spent until it leaves it.
    decision.aboveArmed = decision.aboveArmed && !atAbove;
    decision.belowArmed = decision.belowArmed && !atBelow;
    return decision;
}
