// SPDX-License-Identifier: MIT
#include "ClientAddress.h"

#include "TextRules.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr std::string_view MAPPED_PREFIX = "::ffff:";

std::string Unmapped(std::string text) {
    if (text.starts_with(MAPPED_PREFIX) && text.find('.') != std::string::npos) {
        return text.substr(MAPPED_PREFIX.size());
    }
    return text;
}

} // namespace

std::optional<std::string> NormalIpAddress(std::string_view text) {
    const std::string address(text);
    char written[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return inet_ntop(AF_INET, &v4, written, sizeof written);
    }
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1 &&
        inet_ntop(AF_INET6, &v6, written, sizeof written) != nullptr) {
        return Unmapped(written);
    }
    return std::nullopt;
}

std::string PeerAddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text,
                  sizeof text);
    }
    return text[0] == '\0' ? "?" : Unmapped(text);
}

std::string ClientAddressOf(const HttpRequest& request,
                            const std::set<std::string>& trustedProxies) {
    if (!trustedProxies.contains(request.remoteAddress)) {
        return request.remoteAddress;
    }
    std::string_view lastHop;
    for (const auto& [name, value] : request.headers) {
        if (name == "x-forwarded-for") {
            const std::string_view hops = value;
            const std::size_t comma = hops.rfind(',');
            lastHop = TrimBlanks(comma == std::string_view::npos ? hops : hops.substr(comma + 1));
        }
    }
    return NormalIpAddress(lastHop).value_or(request.remoteAddress);
}
