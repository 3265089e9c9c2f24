// SPDX-License-Identifier: MIT
#pragma once

#include "HttpMessage.h"

#include <sys/socket.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>

// An IP address in the one text form the server uses: as inet_ntop writes it, and an
// IPv4 address mapped into IPv6 (a dual-stack listener's view of an IPv4 client) as plain
// IPv4. nullopt for anything that is not one address.
std::optional<std::string> NormalIpAddress(std::string_view text);

// The peer of an accepted connection in that form; "?" when it has none.
std::string PeerAddressText(const sockaddr_storage& address);

// Who sent the request: the peer, or, when the peer is one of the trusted proxies, the
// last hop of X-Forwarded-For, the one that proxy added (the hops before it are the
// client's own word). A hop that is no address leaves the proxy's.
std::string ClientAddressOf(const HttpRequest& request,
                            const std::set<std::string>& trustedProxies);
