// SPDX-License-Identifier: MIT
#include "core/alerts/AlertVerbs.h"

#include "core/alerts/AlertClock.h"
#include "core/app/PriceTracker.h"
#include "core/settings/AlertSettings.h"
#include "core/settings/Settings.h"

namespace {

std::string Stored(bool written) {
    return written ? std::string()
                   : "the settings file cannot be written: " + SettingsWriteProblem();
}

std::string SnoozeAlerts(int minutes) {
    const std::int64_t until = AlertClockNow() + std::int64_t{minutes} * 60;
    return Stored(WriteAlertSetting(KEY_SNOOZE_UNTIL, FormatUtcInstant(until)));
}

std::string ResumeAlerts() {
    // Nothing to clear leaves the file as it is.
    if (ReadAlertSetting(KEY_SNOOZE_UNTIL, "").empty()) {
        return {};
    }
    return Stored(WriteAlertSetting(KEY_SNOOZE_UNTIL, ""));
}

} // namespace

std::optional<std::string> RunSettingsVerb(const CommandVerb& verb) {
    if (verb.name == VERB_SNOOZE) {
        return SnoozeAlerts(SnoozeMinutes(verb));
    }
    if (verb.name == VERB_RESUME) {
        return ResumeAlerts();
    }
    if (verb.name == VERB_RESET_REFERENCE) {
        return CPriceTracker::ResetReference();
    }
    return std::nullopt;
}

std::optional<AlertHold> CurrentAlertHold() {
    return AlertHoldAt(ReadAlertSettings(), AlertMomentAt(AlertClockNow()));
}
