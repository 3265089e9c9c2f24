// SPDX-License-Identifier: MIT
#pragma once

#include "core/alerts/AlertClock.h"
#include "core/settings/AlertSettings.h"

#include <cstdint>
#include <optional>

// Why alerts are held back, and until when (UTC).
struct AlertHold {
    enum class Kind { Snoozed, Quiet };
    Kind kind = Kind::Snoozed;
    std::int64_t until = 0;

    bool operator==(const AlertHold&) const = default;
};

// Whether alerts are held at that moment: by the snooze or by the quiet hours; when both
// hold, the one that ends later, since alerts come back only then.
std::optional<AlertHold> AlertHoldAt(const AlertSettings& alerts, const AlertMoment& now);

enum class AlertReason { None, Move, Percent, Above, Below };

struct AlertDecision {
    bool notify = false;
    AlertReason reason = AlertReason::None; // the first rule that fired
    std::optional<AlertHold> hold;          // set when a price could not notify now
    bool aboveArmed = true;
    bool belowArmed = true;

    bool operator==(const AlertDecision&) const = default;
};

// Judges a price against the reference: the dollar threshold, the percentage of the
// reference and the two levels, with the levels' armed states after this price. While
// alerts are held nothing notifies and no level is spent; a level is re-armed all the same
// once the price has left it by the band.
AlertDecision JudgeAlert(const AlertSettings& alerts, double threshold, double last, double price,
                         const AlertMoment& now);
