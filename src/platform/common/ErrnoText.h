// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// The system's words for an errno value.
std::string ErrnoText(int error);

// "what: " and the system's words for the errno value.
std::string ErrnoText(std::string_view what, int error);
