// SPDX-License-Identifier: MIT
#include "NotifydConfig.h"

#include "MailAddress.h"
#include "PgConnection.h"
#include "httpd/ClientSettings.h"
#include "httpd/ListenAddress.h"
#include "httpd/SettingsFile.h"
#include "httpd/TextRules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <vector>

namespace {

constexpr int MAX_LIMIT = 1000000;
constexpr int MAX_FALLBACK_SECONDS = 86400;
constexpr int MAX_KEEP_DAYS = 3650;
constexpr std::string_view ROUTE_KEY = "route";

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
        !ParseWholeNumber(authority.substr(colon + 1), 1, 65535, port)) {
        return false;
    }
    config.relay.url = lower.substr(0, schemeEnd) + "://" + std::string(authority);
    return true;
}

// A relay's address as a message shows it: never with a login inside.
std::string ShownRelay(std::string_view value) {
    const std::size_t at = value.rfind('@');
    const std::size_t schemeEnd = value.find("://");
    if (at != std::string_view::npos && schemeEnd != std::string_view::npos && schemeEnd < at) {
        return " '" + std::string(value.substr(0, schemeEnd + 3)) + "...@" +
               std::string(value.substr(at + 1)) +
               "' (the login goes into relay_user and relay_password)";
    }
    return QuotedValue(value);
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

// A password, token or secret is never repeated in a message.
using Key = SettingKey<NotifydConfig>;

const std::array<Key, 19>& Keys() {
    static const std::array<Key, 19> keys = {{
        {"listen", "address:port, such as 127.0.0.1:8025 or [::1]:8025",
         [](std::string_view v, NotifydConfig& c) {
             return ParseHostPort(v, c.listenHost, c.listenPort);
         }},
        {"relay", "smtp://host[:port] or smtps://host[:port]", ParseRelay, false, ShownRelay},
        {"relay_user", "a user name",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.user = std::string(v);
             return !v.empty() && !HasControl(v);
         }},
        {"relay_password", "a password",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.relay.password); }, false,
         HiddenValue},
        {"ntfy_token", "an access token",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.ntfyToken); }, false,
         HiddenValue},
        {"gotify_token", "an application token",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.gotifyToken); },
         false, HiddenValue},
        {"webhook_secret", "a secret",
         [](std::string_view v, NotifydConfig& c) { return SetSecret(v, c.push.webhookSecret); },
         false, HiddenValue},
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
             return ParseWholeNumber(v, 1, MAX_LIMIT, c.perRecipientPerHour);
         }},
        {"per_client_per_minute", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseWholeNumber(v, 1, MAX_LIMIT, c.perClientPerMinute);
         }},
        {"per_minute", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseWholeNumber(v, 1, MAX_LIMIT, c.perMinute);
         }},
        PerClientConnectionsKey<NotifydConfig>(),
        TrustedProxiesKey<NotifydConfig>(),
        {"fallback_after", "seconds from 0 to 86400",
         [](std::string_view v, NotifydConfig& c) {
             int seconds = 0;
             const bool valid = ParseWholeNumber(v, 0, MAX_FALLBACK_SECONDS, seconds);
             c.fallbackAfter = std::chrono::seconds(seconds);
             return valid;
         }},
        {"keep_days", "days from 1 to 3650",
         [](std::string_view v, NotifydConfig& c) {
             return ParseWholeNumber(v, 1, MAX_KEEP_DAYS, c.keepDays);
         }},
        {"spool", "an absolute folder path",
         [](std::string_view v, NotifydConfig& c) {
             c.spool = std::string(v);
             return v.starts_with('/') && !HasControl(v);
         }},
        {"store", "a PostgreSQL connection string or postgresql:// URI",
         [](std::string_view v, NotifydConfig& c) {
             c.store = std::string(v);
             return PgConnection::IsConninfo(v);
         },
         false, [](std::string_view v) { return " " + PgConnection::Masked(v); }},
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
    if (seen.contains("store") && seen.contains("spool")) {
        error = "'store' and 'spool' exclude each other: alerts are kept in one place";
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
    std::vector<SettingLine> lines;
    if (!SplitSettingLines(text, lines, error)) {
        return false;
    }
    std::set<std::string> seen;
    for (const SettingLine& line : lines) {
        if (const std::optional<std::string_view> target = RouteTarget(line.key)) {
            if (!config.routes.Add(*target, line.value, error)) {
                error = "line " + std::to_string(line.number) + ": bad route: " + error;
                return false;
            }
        } else if (!ApplySetting(line, Keys(), config, seen, error)) {
            return false;
        }
    }
    return CheckWhole(seen, config, error);
}

bool NotifydConfig::Load(const std::string& path, NotifydConfig& config, std::string& error) {
    return LoadSettingsFile(
        path,
        [&config](std::string_view text, std::string& why) { return Parse(text, config, why); },
        [&config] {
            const bool secret = !config.relay.password.empty() || !config.push.ntfyToken.empty() ||
                                !config.push.gotifyToken.empty() ||
                                !config.push.webhookSecret.empty() ||
                                PgConnection::Masked(config.store) != "'" + config.store + "'";
            return secret ? "a password, token or secret" : std::string();
        },
        error);
}
