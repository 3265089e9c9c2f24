// SPDX-License-Identifier: MIT
#include "core/app/CommandLine.h"

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

bool IsHistoryStart(const std::string& commandLine) {
    const auto start = commandLine.find_first_not_of(" \t");
    const auto end = commandLine.find_last_not_of(" \t");
    return start != std::string::npos &&
           commandLine.compare(start, end + 1 - start, "--history") == 0;
}

bool IsSilentStart(const std::string& commandLine) {
    const auto start = commandLine.find_first_not_of(" \t");
    return start != std::string::npos && commandLine.compare(start, std::string::npos, "-s") == 0;
}
