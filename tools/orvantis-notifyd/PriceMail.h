// SPDX-License-Identifier: MIT
#pragma once

#include "NotifyRequest.h"

#include <chrono>
#include <string>
#include <string_view>

// The plain-text mail of one request, rendered once when the request is accepted, so
// every retry sends the same message (same Date and Message-ID).
class PriceMail final {
public:
    // Headers and body with CR LF line ends. from and the request are checked addresses;
    // uniqueId is a text no other mail of this service uses (letters, digits, '-', '.').
    static std::string Render(const NotifyRequest& request, const std::string& from,
                              std::chrono::system_clock::time_point received,
                              std::string_view uniqueId);

    // "Tue, 03 Oct 2023 12:00:00 +0000" in UTC, without the user's locale.
    static std::string DateHeader(std::chrono::system_clock::time_point time);
};
