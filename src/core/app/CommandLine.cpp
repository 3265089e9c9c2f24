// SPDX-License-Identifier: MIT
#include "core/app/CommandLine.h"

namespace {
constexpr const char* RULES_OPTION = "--rules";
} // namespace

std::string CommandLineRest(int argc, const char* const argv[]) {
    std::string rest;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            rest += ' ';
        }
        rest += argv[i];
    }
    return rest;
}

bool IsSilentStart(const std::string& commandLine) {
    const auto start = commandLine.find_first_not_of(" \t");
    return start != std::string::npos && commandLine.compare(start, std::string::npos, "-s") == 0;
}

bool IsRulesStart(const std::string& commandLine) {
    const auto start = commandLine.find_first_not_of(" \t");
    const auto end = commandLine.find_last_not_of(" \t");
    return start != std::string::npos &&
           commandLine.compare(start, end - start + 1, RULES_OPTION) == 0;
}
