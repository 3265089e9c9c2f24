// SPDX-License-Identifier: MIT
#pragma once

#include "ClientAddress.h"
#include "SettingsFile.h"
#include "TextRules.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings of a service's HTTP side about its clients, the same in every service
// whose settings keep their HTTP limits in a member "http".

inline constexpr int MAX_CONNECTIONS_PER_CLIENT = 100000;

// per_client_connections: connections one client address may hold at once, 0 for no cap.
template <typename Settings> SettingKey<Settings> PerClientConnectionsKey() {
    return {"per_client_connections", "a whole number from 0 (no cap) to 100000",
            [](std::string_view value, Settings& settings) {
                int connections = 0;
                const bool valid =
                    ParseWholeNumber(value, 0, MAX_CONNECTIONS_PER_CLIENT, connections);
                settings.http.connectionsPerClient = static_cast<std::size_t>(connections);
                return valid;
            }};
}

// trusted_proxies: comma-separated IP addresses, kept in the server's one text form; they
// replace the service's default list.
template <typename Settings> SettingKey<Settings> TrustedProxiesKey() {
    return {"trusted_proxies", "IP addresses separated by commas",
            [](std::string_view value, Settings& settings) {
                std::vector<std::string>& proxies = settings.http.trustedProxies;
                proxies.clear();
                for (std::size_t pos = 0; pos <= value.size();) {
                    const std::size_t comma = std::min(value.find(',', pos), value.size());
                    const std::optional<std::string> address =
                        NormalIpAddress(TrimBlanks(value.substr(pos, comma - pos)));
                    if (!address) {
                        return false;
                    }
                    proxies.push_back(*address);
                    pos = comma + 1;
                }
                return true;
            }};
}
