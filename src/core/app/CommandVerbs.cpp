// SPDX-License-Identifier: MIT
#include "core/app/CommandVerbs.h"

#include "core/app/InstanceProtocol.h"

#include <charconv>

namespace {

// Empty when the argument is good, else what is wrong with it.
using ArgumentCheck = std::string (*)(std::string_view argument);

struct VerbRow {
    const char* name;
    ArgumentCheck check; // nullptr: the verb takes no argument
};

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || next != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string CheckMinutes(std::string_view argument) {
    const std::optional<int> minutes = WholeNumber(argument);
    if (!minutes || *minutes < 1 || *minutes > SNOOZE_MAX_MINUTES) {
        return "--snooze takes the minutes, a whole number from 1 to " +
               std::to_string(SNOOZE_MAX_MINUTES);
    }
    return {};
}

// One row a verb.
constexpr VerbRow VERBS[] = {
    {VERB_SNOOZE, CheckMinutes},
    {VERB_RESUME, nullptr},
    {VERB_RESET_REFERENCE, nullptr},
    {VERB_RULES, nullptr},
};

const VerbRow* FindVerb(std::string_view name) {
    for (const VerbRow& row : VERBS) {
        if (name == row.name) {
            return &row;
        }
    }
    return nullptr;
}

// The verb with its argument, or why not.
VerbParse Check(const VerbRow& row, const std::vector<std::string_view>& arguments) {
    const std::string flag = std::string("--") + row.name;
    if (row.check == nullptr) {
        if (!arguments.empty()) {
            return {std::nullopt, flag + " takes no argument"};
        }
        return {CommandVerb{row.name, {}}, {}};
    }
    std::string error =
        arguments.size() == 1 ? row.check(arguments[0]) : flag + " takes exactly one argument";
    if (!error.empty()) {
        return {std::nullopt, std::move(error)};
    }
    return {CommandVerb{row.name, std::string(arguments[0])}, {}};
}

} // namespace

VerbParse ParseCommandVerb(const std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--", 0) != 0) {
        return {};
    }
    const VerbRow* row = FindVerb(std::string_view(args[0]).substr(2));
    if (row == nullptr) {
        return {};
    }
    return Check(*row, std::vector<std::string_view>(args.begin() + 1, args.end()));
}

std::string EncodeVerbRequest(const CommandVerb& verb) {
    std::string line = std::string(INSTANCE_REQUEST_VERB) + verb.name;
    if (!verb.argument.empty()) {
        line += ' ' + verb.argument;
    }
    return line;
}

std::optional<CommandVerb> DecodeVerbRequest(std::string_view line) {
    const std::string_view lead = INSTANCE_REQUEST_VERB;
    if (line.substr(0, lead.size()) != lead) {
        return std::nullopt;
    }
    line.remove_prefix(lead.size());
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t blank = line.find(' ');
        words.push_back(line.substr(0, blank));
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    const VerbRow* row = words.empty() ? nullptr : FindVerb(words[0]);
    if (row == nullptr) {
        return std::nullopt;
    }
    return Check(*row, std::vector<std::string_view>(words.begin() + 1, words.end())).verb;
}

int SnoozeMinutes(const CommandVerb& verb) {
    return WholeNumber(verb.argument).value_or(0);
}
