// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A verb of the command line ("orvantis --snooze 60"): handed to the running copy over
// the hand-over socket, or carried out by this start when none runs.
struct CommandVerb {
    std::string name; // "snooze", without the dashes
    std::string argument;

    bool operator==(const CommandVerb&) const = default;
};

inline constexpr const char* VERB_SNOOZE = "snooze";
inline constexpr const char* VERB_RESUME = "resume";
inline constexpr const char* VERB_RESET_REFERENCE = "reset-reference";
// Opens the alert rules; with no copy running, the program starts with them open.
inline constexpr const char* VERB_RULES = "rules";

// The longest snooze: a week.
inline constexpr int SNOOZE_MAX_MINUTES = 7 * 24 * 60;

// What the command line asks for: a verb, an error for the user, or neither (a start of
// the program as before).
struct VerbParse {
    std::optional<CommandVerb> verb;
    std::string error;
};
// The arguments after the program name. A first argument that is not a verb leaves the
// command line to the program as it always was.
VerbParse ParseCommandVerb(const std::vector<std::string>& args);

// "VERB snooze 60", without the line break.
std::string EncodeVerbRequest(const CommandVerb& verb);
// The verb of a request line, checked as on the command line; nothing when it is not one.
std::optional<CommandVerb> DecodeVerbRequest(std::string_view line);

// The minutes of a checked snooze argument.
int SnoozeMinutes(const CommandVerb& verb);
