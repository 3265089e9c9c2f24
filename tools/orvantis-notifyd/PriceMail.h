// SPDX-License-Identifier: MIT
#pragma once

#include "Alert.h"

#include <chrono>
#include <string>
#include <string_view>

// The plain-text mail of one alert, rendered once when the request is accepted, so
// every retry sends the same message (same Date and Message-ID).
class PriceMail final {
public:
    // Headers and body with CR LF line ends. from and the alert's address are checked
    // addresses; its id is a text no other alert of this service has.
    static std::string Render(const Alert& alert, const std::string& from);

    // "Tue, 03 Oct 2023 12:00:00 +0000" in UTC, without the user's locale.
    static std::string DateHeader(std::chrono::system_clock::time_point time);
};
