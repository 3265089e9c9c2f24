// SPDX-License-Identifier: MIT
#include "RouteTable.h"

#include "MailAddress.h"
#include "httpd/TextRules.h"

#include <algorithm>

bool RouteTable::Add(std::string_view target, std::string_view channels, std::string& error) {
    std::string key;
    if (target.starts_with('@') && IsMailDomain(target.substr(1))) {
        key = "@" + MailDomainOf(target);
    } else if (IsMailAddress(target)) {
        key = NormalMailAddress(target);
    } else {
        error = "'" + std::string(target) + "' is neither an address nor @domain";
        return false;
    }
    if (m_routes.contains(key)) {
        error = "a second route for " + key;
        return false;
    }
    Route route;
    for (std::size_t pos = 0; pos <= channels.size();) {
        const std::size_t comma = std::min(channels.find(',', pos), channels.size());
        Channel channel;
        if (!Channel::Parse(TrimBlanks(channels.substr(pos, comma - pos)), channel, error)) {
            return false;
        }
        if (std::find(route.begin(), route.end(), channel) != route.end()) {
            error = channel.KindName() + std::string(" is named twice");
            return false;
        }
        route.push_back(std::move(channel));
        pos = comma + 1;
    }
    if (route.size() > MAX_CHANNELS) {
        error = "more than " + std::to_string(MAX_CHANNELS) + " channels";
        return false;
    }
    m_routes.emplace(std::move(key), std::move(route));
    return true;
}

Route RouteTable::Find(std::string_view address) const {
    if (const auto own = m_routes.find(NormalMailAddress(address)); own != m_routes.end()) {
        return own->second;
    }
    if (const auto domain = m_routes.find("@" + MailDomainOf(address)); domain != m_routes.end()) {
        return domain->second;
    }
    return {Channel{}};
}

bool RouteTable::Uses(Channel::Kind kind) const {
    return std::any_of(m_routes.begin(), m_routes.end(), [kind](const auto& entry) {
        return std::any_of(entry.second.begin(), entry.second.end(),
                           [kind](const Channel& channel) { return channel.kind == kind; });
    });
}
