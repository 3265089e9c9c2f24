// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The hosts reached without a proxy: no_proxy (or NO_PROXY) and the loopback, so that a
// server on this machine is always reached directly; "*" for all. Comma-separated names
// (each with its subdomains), addresses and IPv4 networks ("10.0.0.0/8").
std::string NoProxyList();

// The proxy for a request to scheme://host, as the environment names it, the way libcurl
// reads it: <scheme>_proxy (for http never HTTP_PROXY, which a web server may set from a
// request header; for other schemes also the upper-case name), else all_proxy or
// ALL_PROXY; none for a host of NoProxyList(). Empty when none.
std::string ProxyFor(std::string_view scheme, std::string_view host);

// A proxy text taken apart: [scheme://][user[:password]@]host[:port]; http and port 1080
// when not given.
struct ProxyServer {
    std::string scheme; // http, https, socks4, socks4a, socks5 or socks5h
    std::string host;   // without the brackets of an IPv6 address
    int port = 1080;
    std::string user;
    std::string password;
};
std::optional<ProxyServer> ParseProxy(std::string_view text);
