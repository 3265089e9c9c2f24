// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The command line without the program name: the arguments joined by single blanks.
std::string CommandLineRest(int argc, const char* const argv[]);

// True when the program is to start with its main window hidden: after leading blanks
// and tabs the whole rest is exactly "-s" (case-sensitive; trailing blanks or further
// words make it another text).
bool IsSilentStart(const std::string& commandLine);

// True when the start asks for the price history window: the rest is "--history", blanks
// and tabs around it aside.
bool IsHistoryStart(const std::string& commandLine);
