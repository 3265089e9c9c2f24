// SPDX-License-Identifier: MIT
#include "core/common/ProxyRule.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

const char* Variable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::optional<std::uint32_t> Ipv4(std::string_view text) {
    in_addr address{};
    if (inet_pton(AF_INET, std::string(text).c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

// One entry of no_proxy against the host: a domain and its subdomains, an address, or an
// IPv4 network in CIDR form.
bool EntryMatches(std::string_view entry, const std::string& host) {
    while (entry.starts_with('.')) {
        entry.remove_prefix(1);
    }
    if (entry.empty()) {
        return false;
    }
    if (const auto slash = entry.find('/'); slash != std::string_view::npos) {
        const auto network = Ipv4(entry.substr(0, slash));
        const auto address = Ipv4(host);
        int bits = -1;
        const std::string_view count = entry.substr(slash + 1);
        std::from_chars(count.data(), count.data() + count.size(), bits);
        if (!network || !address || bits < 0 || bits > 32) {
            return false;
        }
        const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
        return (*network & mask) == (*address & mask);
    }
    const std::string name = Lower(entry);
    return host == name || (host.size() > name.size() && host.ends_with("." + name));
}

bool Bypassed(std::string_view hostText) {
    std::string host = Lower(hostText);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    while (host.ends_with('.')) {
        host.pop_back();
    }
    const std::string list = NoProxyList();
    const std::string_view entries = list;
    if (entries == "*") {
        return true;
    }
    std::size_t start = 0;
    while (start < entries.size()) {
        const std::size_t end = std::min(entries.find_first_of(", \t", start), entries.size());
        if (EntryMatches(entries.substr(start, end - start), host)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

std::string NoProxyList() {
    const char* fromEnvironment = std::getenv("no_proxy");
    if (fromEnvironment == nullptr) {
        fromEnvironment = std::getenv("NO_PROXY");
    }
    std::string list = fromEnvironment != nullptr ? fromEnvironment : "";
    if (list == "*") {
        return list;
    }
    return list + (list.empty() ? "" : ",") + "localhost,127.0.0.1,::1";
}

std::string ProxyFor(std::string_view scheme, std::string_view host) {
    if (Bypassed(host)) {
        return {};
    }
    const std::string name = Lower(scheme) + "_proxy";
    const char* proxy = Variable(name);
    if (proxy == nullptr && name != "http_proxy") {
        proxy = Variable(Upper(name));
    }
    if (proxy == nullptr) {
        proxy = Variable("all_proxy");
    }
    if (proxy == nullptr) {
        proxy = Variable("ALL_PROXY");
    }
    return proxy != nullptr ? proxy : "";
}

std::optional<ProxyServer> ParseProxy(std::string_view text) {
    ProxyServer proxy;
    proxy.scheme = "http";
    if (const auto end = text.find("://"); end != std::string_view::npos) {
        proxy.scheme = Lower(text.substr(0, end));
        text.remove_prefix(end + 3);
    }
    text = text.substr(0, text.find('/'));
    if (const auto at = text.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = text.substr(0, at);
        const auto colon = credentials.find(':');
        proxy.user = credentials.substr(0, colon);
        if (colon != std::string_view::npos) {
            proxy.password = credentials.substr(colon + 1);
        }
        text.remove_prefix(at + 1);
    }
    std::string_view port;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        proxy.host = text.substr(1, close - 1);
        port = text.substr(close + 1);
    } else {
        const auto colon = text.find(':');
        proxy.host = text.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (!port.empty()) {
        if (!port.starts_with(':')) {
            return std::nullopt;
        }
        port.remove_prefix(1);
        const auto [next, error] =
            std::from_chars(port.data(), port.data() + port.size(), proxy.port);
        if (error != std::errc() || next != port.data() + port.size() || proxy.port < 1 ||
            proxy.port > 65535) {
            return std::nullopt;
        }
    }
    const bool known = proxy.scheme == "http" || proxy.scheme == "https" ||
                       proxy.scheme.starts_with("socks4") || proxy.scheme.starts_with("socks5");
    if (proxy.host.empty() || !known) {
        return std::nullopt;
    }
    return proxy;
}
