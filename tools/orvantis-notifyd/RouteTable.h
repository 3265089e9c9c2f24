// SPDX-License-Identifier: MIT
#pragma once

#include "Channel.h"

#include <map>
#include <string>
#include <string_view>

// Which channels an alert to an address takes: the route of the address itself, else
// the route of its domain, else mail alone.
class RouteTable final {
public:
    // More than a fallback chain of any sense needs.
    static constexpr std::size_t MAX_CHANNELS = 8;

    // target is an address or "@domain"; channels is "ntfy:URL, mail" and the like. False
    // with the reason in error (a bad target or channel, a repeated target or channel).
    bool Add(std::string_view target, std::string_view channels, std::string& error);
    Route Find(std::string_view address) const;
    bool Uses(Channel::Kind kind) const;

private:
    std::map<std::string, Route> m_routes; // NormalMailAddress(), or '@' and the domain
};
