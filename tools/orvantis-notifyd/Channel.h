// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One way an alert can reach its recipient: the SMTP relay, or an HTTP POST to a push
// server's topic, a push server's message endpoint or a webhook.
struct Channel {
    enum class Kind { Mail, Ntfy, Gotify, Webhook };

    Kind kind = Kind::Mail;
    std::string url; // http:// or https://, scheme in lower case; empty for mail

    // As a route names it ("mail", "ntfy:https://push.example.com/gold"); a receipt keeps
    // the state of each channel under this text, so a changed route starts that channel
    // afresh.
    std::string Text() const;
    // "mail", "ntfy", "gotify" or "webhook": all that a receipt shows of it, since a topic's
    // address is as good as its password.
    const char* KindName() const;
    // For the log: "mail" or "ntfy at push.example.com".
    std::string Label() const;

    // One channel of a route; false with the reason in error.
    static bool Parse(std::string_view text, Channel& channel, std::string& error);

    bool operator==(const Channel&) const = default;
};

// Channels tried in order: the next one only once the one before has failed.
using Route = std::vector<Channel>;
