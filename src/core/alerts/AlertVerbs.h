// SPDX-License-Identifier: MIT
#pragma once

#include "core/alerts/AlertRules.h"
#include "core/app/CommandVerbs.h"

#include <optional>
#include <string>

// Carries out a verb that only changes the settings file (snooze, resume, reset the
// reference), the same in the running copy and in a start with none running. Empty when
// done, else why not, for the user; nothing when the verb is not one of these.
std::optional<std::string> RunSettingsVerb(const CommandVerb& verb);

// Whether alerts are held now, as the settings file says.
std::optional<AlertHold> CurrentAlertHold();
