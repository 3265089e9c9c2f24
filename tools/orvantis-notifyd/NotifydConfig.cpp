// SPDX-License-Identifier: MIT
#include "NotifydConfig.h"

#include "MailAddress.h"
#include "httpd/TextRules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <functional>
#include <set>

namespace {

constexpr std::streamsize MAX_CONFIG_BYTES = 1024 * 1024;
constexpr int MAX_LIMIT = 1000000;

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

struct Key {
    const char* name;
    const char* expected; // for the message on a bad value
    std::function<bool(std::string_view, NotifydConfig&)> parse;
};

const std::array<Key, 10>& Keys() {
    static const std::array<Key, 10> keys = {{
        {"listen", "address:port, such as 127.0.0.1:8025 or [::1]:8025", ParseListen},
        {"relay", "smtp://host[:port] or smtps://host[:port]", ParseRelay},
        {"relay_user", "a user name",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.user = std::string(v);
             return !v.empty() && !HasControl(v);
         }},
        {"relay_password", "a password",
         [](std::string_view v, NotifydConfig& c) {
             c.relay.password = std::string(v);
             return !v.empty() && !HasControl(v);
         }},
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
        {"per_minute", "a whole number from 1 to 1000000",
         [](std::string_view v, NotifydConfig& c) {
             return ParseInteger(v, 1, MAX_LIMIT, c.perMinute);
         }},
        {"spool", "an absolute folder path",
         [](std::string_view v, NotifydConfig& c) {
             c.spool = std::string(v);
             return v.starts_with('/') && !HasControl(v);
         }},
    }};
    return keys;
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
            // A password is not repeated on the screen.
            const std::string shown =
                name == "relay_password" ? std::string() : " '" + std::string(value) + "'";
            error = where + "bad value for '" + name + "':" + shown + " (expected " +
                    key->expected + ")";
            return false;
        }
    }
    for (const char* required : {"relay", "from", "allow"}) {
        if (!seen.contains(required)) {
            error = std::string("'") + required + "' is not set";
            return false;
        }
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

bool NotifydConfig::Load(const std::string& path, NotifydConfig& config, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::string text(static_cast<std::size_t>(MAX_CONFIG_BYTES) + 1, '\0');
    file.read(text.data(), MAX_CONFIG_BYTES + 1);
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad() || text.size() > static_cast<std::size_t>(MAX_CONFIG_BYTES)) {
        error = path + ": unreadable or larger than 1 MiB";
        return false;
    }
    if (!Parse(text, config, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
