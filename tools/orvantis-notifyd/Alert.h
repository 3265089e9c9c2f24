// SPDX-License-Identifier: MIT
#pragma once

#include "NotifyRequest.h"

#include <chrono>
#include <string>
#include <string_view>

// What one accepted request tells its recipient, whichever channel carries it.
struct Alert {
    static constexpr std::string_view GOLD = "gold";
    static constexpr std::string_view TEST = "test"; // from orvantis-notifyd --test

    std::string id;    // the spool file's name: unique, unguessable, letters,
                       // digits and '-' only
    std::string type;  // GOLD or TEST; empty for a spool file of an older
                       // version, which holds the mail alone
    std::string email; // the recipient
    std::string last;  // as NotifyRequest checked them; empty for a test
    std::string price;
    std::string change;
    std::chrono::system_clock::time_point received;

    static Alert FromRequest(const NotifyRequest& request, std::string id,
                             std::chrono::system_clock::time_point received);
    static Alert Test(std::string email, std::string id, std::chrono::system_clock::time_point now);

    // "Gold price changed: 1662.50 (+12.50)": the mail's subject, the push's title.
    std::string Title() const;
    // The message, lines ended by LF.
    std::string Text() const;
    bool Falling() const { return change.starts_with('-'); }

    // The spool's line of it: "alert gold 1796640406 1650.00 1662.50 +12.50", '-' for an
    // empty value. FromLine() takes only what Line() writes; id and email come from
    // elsewhere.
    std::string Line() const;
    static bool IsLine(std::string_view line);
    static bool FromLine(std::string_view line, Alert& alert);
};
