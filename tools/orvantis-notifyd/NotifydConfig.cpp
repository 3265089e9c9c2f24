// SPDX-License-Identifier: MIT
#include "NotifydConfig.h"

#include "MailAddress.h"
#include "ServiceFiles.h"
#include "httpd/ClientAddress.h"
#include "httpd/TextRules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace {

constexpr std::size_t MAX_CONFIG_BYTES = 1024 * 1024;
constexpr int MAX_LIMIT = 1000000;
constexpr int MAX_CONNECTIONS = 100000;
constexpr int MAX_FALLBACK_SECONDS = 86400;
constexpr int MAX_KEEP_DAYS = 3650;
constexpr std::string_view ROUTE_KEY = "route";
// Keys whose values are never repeated in a message.
constexpr std::array<std::string_view, 4> SECRET_KEYS = {"relay_password", "ntfy_token",
                                                         "gotify_token", "webhook_secret"};

bool ParseInteger(std::string_view text, int low, int high, int& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value >= low &&
           value <= high;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; });
}

// host:port, with an IPv6 host in brackets.
bool ParseListen(std::string_view value, NotifydConfig& config) {
    std::size_t colon = value.rfind(':');
    std::string_view host = value.substr(0, std::min(colon, value.size()));
    if (host.starts_with('[')) {
        if (!host.ends_with(']')) {
            return false;
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return false; // an IPv6 address without brackets
    }
    if (colon == std::string_view::npos || host.empty() || HasControl(host) ||
        host.find(' ') != std::string_view::npos) {
        return false;
    }
    config.listenHost = std::string(host);
    return ParseInteger(value.substr(colon + 1), 0, 65535, config.listenPort);
}

// smtp://host[:port] or smtps://host[:port]: the credentials have keys of their own.
bool ParseRelay(std::string_view value, NotifydConfig& config) {
    const std::string lower = LowerAscii(value);
    const std::size_t schemeEnd = lower.find("://");
    if (schemeEnd == std::string::npos ||
        (lower.substr(0, schemeEnd) != "smtp" && lower.substr(0, schemeEnd) != "smtps")) {
        return false;
    }
    std::string_view authority = value.substr(schemeEnd + 3);
    if (authority.ends_with('/')) {
        authority.remove_suffix(1);
    }
    if (authority.empty() || HasControl(authority) ||
        authority.find_first_of(" @/?#") != std::string_view::npos) {
        return false;
    }
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    int port = 0;
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket) &&
        !ParseInteger(authority.substr(colon + 1), 1, 65535, port)) {
        return false;
    }
    config.relay.url = lower.substr(0, schemeEnd) + "://" + std::string(authority);
    return true;
}

// Comma-separated IP addresses, kept in the server's one text form.
bool ParseProxies(std::string_view value, NotifydConfig& config) {
    std::vector<std::string>& proxies = config.http.trustedProxies;
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
}

// The value as the message about it shows it: never a password, nor a login inside the
// relay's address.
std::string Shown(std::string_view name, std::string_view value) {
    if (std::find(SECRET_KEYS.begin(), SECRET_KEYS.end(), name) != SECRET_KEYS.end()) {
        return {};
    }
    const std::size_t at = value.rfind('@');
    const std::size_t schemeEnd = value.find("://");
    if (name == "relay" && at != std::string_view::npos && schemeEnd != std::string_view::npos &&
        schemeEnd < at) {
        return " '" + std::string(value.substr(0, schemeEnd + 3)) + "...@" +
               std::string(value.substr(at + 1)) +
               "' (the login goes into relay_user and relay_password)";
    }
    return " '" + std::string(value) + "'";
}

// The address or @domain of a "route <target>" key; nullopt for another key.
std::optional<std::string_view> RouteTarget(std::string_view name) {
    if (!name.starts_with(ROUTE_KEY) || name.size() == ROUTE_KEY.size() ||
        (name[ROUTE_KEY.size()] != ' ' && name[ROUTE_KEY.size()] != '\t')) {
        return std::nullopt;
    }
    return TrimBlanks(name.substr(ROUTE_KEY.size()));
}

// A password or token goes into a header or a login as it is: one line of printable text.
bool SetSecret(std::string_view value, std::string& secret) {
    secret = std::string(value);
    return !value.empty() && !HasControl(value);
}

struct Key {
    const char* name;
    const char* expected; // for the message on a bad value
    std::function<bool(std::string_view, NotifydConfig&)> parse;
};

const std::array<Key, 18>& Keys() {
    static const std::array<Key, 18> keys = {{
        {"listen", "address:port, such as 127.0.0.1:8025 or [::1]:8025", ParseListen},
        {"relay", "smtp://host[:port] or smtps://host[:port]", ParseRelay},
        {"relay_user", "a user name",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.user = std::string(v);
             return !v.empty() && !HasControl(v);
         }},
        {"relay_password", "a password",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.relay.password); }},
        {"ntfy_token", "an access token",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.ntfyToken); }},
        {"gotify_token", "an application token",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.gotifyToken); }},
        {"webhook_secret", "a secret",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.webhookSecret); }},
        {"relay_starttls", "try or required",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.requireTls = v == "required";
             return v == "try" || v == "required";
         }},
        {"from", "one address, such as orvantis@example.org",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.from = std::string(v);
             return IsMailAddress(v);
         }},
        {"allow", "addresses and @domains separated by commas",
         [](std::string_view v, NotifydConfig& c) {
             std::string ignored;
             return c.allow.Parse(v, ignored);
         }},
        {"per_recipient_per_hour", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseInteger(v, 1, MAX_LIMIT, c.perRecipientPerHour);
         }},
        {"per_client_per_minute", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseInteger(v, 1, MAX_LIMIT, c.perClientPerMinute);
         }},
        {"per_minute", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseInteger(v, 1, MAX_LIMIT, c.perMinute);
         }},
        {"per_client_connections", "a whole number from 0 (no cap) to 100000",
         [](std::string_view v, NotifydConfig& c) {
             int connections = 0;
             const bool valid = ParseInteger(v, 0, MAX_CONNECTIONS, connections);
             c.http.connectionsPerClient = static_cast<std::size_t>(connections);
             return valid;
         }},
        {"trusted_proxies", "IP addresses separated by commas", ParseProxies},
        {"fallback_after", "seconds from 0 to 86400",
         [](std::string_view v, NotifydConfig& c) {
             int seconds = 0;
             const bool valid = ParseInteger(v, 0, MAX_FALLBACK_SECONDS, seconds);
             c.fallbackAfter = std::chrono::seconds(seconds);
             return valid;
         }},
        {"keep_days", "days from 1 to 3650",
         [](std::string_view v, NotifydConfig& c) {
             return ParseInteger(v, 1, MAX_KEEP_DAYS, c.keepDays);
         }},
        {"spool", "an absolute folder path",
         [](std::string_view v, NotifydConfig& c) {
             c.spool = std::string(v);
             return v.starts_with('/') && !HasControl(v);
         }},
    }};
    return keys;
}

// What the keys must be together, once every line is read.
bool CheckWhole(const std::set<std::string>& seen, NotifydConfig& config, std::string& error) {
    for (const char* required : {"relay", "from", "allow"}) {
        if (!seen.contains(required)) {
            error = std::string("'") + required + "' is not set";
            return false;
        }
    }
    if (config.routes.Uses(Channel::Kind::Gotify) && config.push.gotifyToken.empty()) {
        error = "'gotify_token' is not set, and a route sends to gotify";
        return false;
    }
    if (seen.contains("relay_password") != seen.contains("relay_user")) {
        error = "'relay_user' and 'relay_password' go together";
        return false;
    }
    // A login never goes over a connection that might stay in clear text, unless asked.
    if (!seen.contains("relay_starttls") && !config.relay.user.empty()) {
        config.relay.requireTls = true;
    }
    return true;
}

} // namespace

bool NotifydConfig::Parse(std::string_view text, NotifydConfig& config, std::string& error) {
    std::set<std::string> seen;
    int lineNumber = 0;
    for (std::size_t pos = 0; pos <= text.size();) {
        std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        if (line.ends_with('\r')) {
            line.remove_suffix(1); // a file written with CR LF line ends
        }
        line = TrimBlanks(line);
        pos = end + 1;
        ++lineNumber;
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = where + "expected 'key = value'";
            return false;
        }
        const std::string name(TrimBlanks(line.substr(0, equals)));
        const std::string_view value = TrimBlanks(line.substr(equals + 1));
        if (const std::optional<std::string_view> target = RouteTarget(name)) {
            if (!config.routes.Add(*target, value, error)) {
                error = where + "bad route: " + error;
                return false;
            }
            continue;
        }
        const auto key = std::find_if(Keys().begin(), Keys().end(),
                                      [&name](const Key& k) { return name == k.name; });
        if (key == Keys().end()) {
            error = where + "unknown key '" + name + "'";
            return false;
        }
        if (!seen.insert(name).second) {
            error = where + "'" + name + "' is set twice";
            return false;
        }
        if (!key->parse(value, config)) {
            error = where + "bad value for '" + name + "':" + Shown(name, value) + " (expected " +
                    key->expected + ")";
            return false;
        }
    }
    return CheckWhole(seen, config, error);
}

bool NotifydConfig::Load(const std::string& path, NotifydConfig& config, std::string& error) {
    // Without blocking: a FIFO there would hold the start until someone writes into it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        error = path + ": cannot be read: " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    std::string text;
    const std::string distrust = WhyNotTrusted(info, true);
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
    } else if (!distrust.empty()) {
        error = path + ": not used, since " + distrust;
    } else if (!ReadWhole(fd, MAX_CONFIG_BYTES, text)) {
        error = path + ": unreadable or larger than 1 MiB";
    } else if (Parse(text, config, error)) {
        error.clear();
    } else {
        error = path + ": " + error;
    }
    close(fd);
    const bool secret = !config.relay.password.empty() || !config.push.ntfyToken.empty() ||
                        !config.push.gotifyToken.empty() || !config.push.webhookSecret.empty();
    if (error.empty() && secret && (info.st_mode & S_IROTH) != 0) {
        error = path + ": not used, since it holds a password, token or secret and others can " +
                "read it (mode " + ModeText(info.st_mode) + "; chmod o-r)";
    }
    return error.empty();
}
