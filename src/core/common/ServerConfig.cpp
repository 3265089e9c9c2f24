// SPDX-License-Identifier: MIT
#include "core/common/ServerConfig.h"

#include "BuildConfig.h"

#include <cctype>
#include <cstdlib>
#include <string>

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

// A variable that is set but not a server gives no server at all, so that requests fail
// rather than go to the build's server, which the user did not choose.
std::string ServerFromEnvironment(const char* variable, const char* buildDefault) {
    if (const char* value = std::getenv(variable); value != nullptr) {
        return NormalizeServer(value).value_or(std::string());
    }
    return NormalizeServer(buildDefault).value_or(buildDefault);
}

std::nullopt_t Refuse(std::string* why, const char* reason) {
    if (why != nullptr) {
        *why = reason;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> NormalizeServer(std::string_view text, std::string* why) {
    if (text.empty()) {
        return Refuse(why, "it is empty");
    }
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) {
        return Refuse(why, "it does not start with http:// or https://");
    }
    std::string scheme(text.substr(0, schemeEnd));
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme != "http" && scheme != "https") {
        return Refuse(why, "the scheme is not http or https");
    }
    std::string_view rest = text.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest.find_first_of("/?#@") != std::string_view::npos) {
        return Refuse(why, "only scheme://host[:port] is taken: no path, query or user name");
    }
    std::string_view host = rest;
    // The port follows the last ':' that is not inside an IPv6 literal.
    const auto colon = rest.rfind(':');
    if (colon != std::string_view::npos && rest.find(']', colon) == std::string_view::npos) {
        if (!IsValidPort(rest.substr(colon + 1))) {
            return Refuse(why, "the port is not a number from 1 to 65535");
        }
        host = rest.substr(0, colon);
    }
    if (!IsValidHost(host)) {
        return Refuse(why, "the host name is missing or not valid");
    }
    return scheme + "://" + std::string(rest);
}

std::string ServerVariableError(const char* variable) {
    const char* value = std::getenv(variable);
    std::string why;
    if (value == nullptr || NormalizeServer(value, &why)) {
        return {};
    }
    return std::string(variable) + "=\"" + value +
           "\" is not a server of the form scheme://host[:port]: " + why +
           " (unset it for the built-in server)";
}

std::string ChartServer() {
    return ServerFromEnvironment(CHART_SERVER_VARIABLE, ORVANTIS_CHART_SERVER_DEFAULT);
}

std::string NotifyServer() {
    return ServerFromEnvironment(NOTIFY_SERVER_VARIABLE, ORVANTIS_NOTIFY_SERVER_DEFAULT);
}

std::string ServerEnvironmentError() {
    std::string error = ServerVariableError(CHART_SERVER_VARIABLE);
    return error.empty() ? ServerVariableError(NOTIFY_SERVER_VARIABLE) : error;
}
