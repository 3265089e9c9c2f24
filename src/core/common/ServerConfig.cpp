// SPDX-License-Identifier: MIT
#include "core/common/ServerConfig.h"

#include "BuildConfig.h"

#include <cctype>
#include <cstdlib>

namespace {

bool IsHostNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '-' || c == '.' || c == '_';
}

bool IsValidHost(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    if (host.front() == '[') {
        // An IPv6 literal: hex digits, ':' and '.' between the brackets.
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        for (const char c : host.substr(1, host.size() - 2)) {
            if (std::isxdigit(static_cast<unsigned char>(c)) == 0 && c != ':' && c != '.') {
                return false;
            }
        }
        return true;
    }
    for (const char c : host) {
        if (!IsHostNameChar(c)) {
            return false;
        }
    }
    return true;
}

bool IsValidPort(std::string_view port) {
    if (port.empty() || port.size() > 5) {
        return false;
    }
    long value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

std::string ServerFromEnvironment(const char* variable, const char* buildDefault) {
    if (const char* value = std::getenv(variable); value != nullptr) {
        if (auto server = NormalizeServer(value)) {
            return *server;
        }
    }
    return NormalizeServer(buildDefault).value_or(buildDefault);
}

} // namespace

std::optional<std::string> NormalizeServer(std::string_view text) {
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) {
        return std::nullopt;
    }
    std::string scheme(text.substr(0, schemeEnd));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    std::string_view rest = text.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::string_view host = rest;
    // The port follows the last ':' that is not inside an IPv6 literal.
    const auto colon = rest.rfind(':');
    if (colon != std::string_view::npos && rest.find(']', colon) == std::string_view::npos) {
        if (!IsValidPort(rest.substr(colon + 1))) {
            return std::nullopt;
        }
        host = rest.substr(0, colon);
    }
    if (!IsValidHost(host)) {
        return std::nullopt;
    }
    return scheme + "://" + std::string(rest);
}

std::string ChartServer() {
    return ServerFromEnvironment("ORVANTIS_CHART_SERVER", ORVANTIS_CHART_SERVER_DEFAULT);
}

std::string NotifyServer() {
    return ServerFromEnvironment("ORVANTIS_NOTIFY_SERVER", ORVANTIS_NOTIFY_SERVER_DEFAULT);
}
