// SPDX-License-Identifier: MIT
#include "Channel.h"

#include "httpd/TextRules.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

constexpr std::size_t MAX_URL = 2000;

struct KindEntry {
    Channel::Kind kind;
    std::string_view name;
};
constexpr std::array<KindEntry, 4> KINDS = {{{Channel::Kind::Mail, "mail"},
                                             {Channel::Kind::Ntfy, "ntfy"},
                                             {Channel::Kind::Gotify, "gotify"},
                                             {Channel::Kind::Webhook, "webhook"}}};

bool IsUrlByte(char ch) {
    return ch > 0x20 && ch < 0x7F && ch != '"' && ch != '<' && ch != '>' && ch != '\\' &&
           ch != '`' && ch != '{' && ch != '}' && ch != '|' && ch != '^';
}

bool IsHostName(std::string_view host) {
    if (host.starts_with('[')) {
        return host.size() > 2 && host.ends_with(']') &&
               std::all_of(host.begin() + 1, host.end() - 1, [](char ch) {
                   return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') ||
                          (ch >= 'A' && ch <= 'F') || ch == ':' || ch == '.';
               });
    }
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
               ch == '-' || ch == '.';
    });
}

// The authority of an http(s) URL: host[:port], without a login (tokens have keys of
// their own, and a login would show in the log).
std::string_view Authority(std::string_view url) {
    const std::string_view rest = url.substr(url.find("://") + 3);
    return rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size()));
}

bool IsAuthority(std::string_view authority) {
    const std::size_t bracket = authority.rfind(']');
    std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && bracket != std::string_view::npos && colon < bracket) {
        colon = std::string_view::npos; // a colon of an IPv6 address
    }
    int port = 0;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || port < 1 ||
            port > 65535) {
            return false;
        }
    }
    return IsHostName(authority.substr(0, colon));
}

// http:// or https:// with a host, printable, without a login or a fragment; for a base
// URL, without a query too. The scheme in lower case in normal.
bool IsHttpUrl(std::string_view url, bool base, std::string& normal) {
    const std::string scheme = LowerAscii(url.substr(0, std::min(url.find("://"), url.size())));
    if ((scheme != "http" && scheme != "https") || url.size() > MAX_URL ||
        !std::all_of(url.begin(), url.end(), IsUrlByte)) {
        return false;
    }
    const std::string_view authority = Authority(url);
    const std::string_view tail = url.substr(scheme.size() + 3 + authority.size());
    if (!IsAuthority(authority) || tail.find('#') != std::string_view::npos ||
        (base && tail.find('?') != std::string_view::npos)) {
        return false;
    }
    normal = scheme + std::string(url.substr(scheme.size()));
    return true;
}

} // namespace

std::string Channel::Text() const {
    return kind == Kind::Mail ? "mail" : std::string(KindName()) + ":" + url;
}

const char* Channel::KindName() const {
    const auto entry =
        std::find_if(KINDS.begin(), KINDS.end(), [this](const auto& k) { return k.kind == kind; });
    return entry->name.data();
}

std::string Channel::Label() const {
    return kind == Kind::Mail ? "mail"
                              : std::string(KindName()) + " at " + std::string(Authority(url));
}

bool Channel::Parse(std::string_view text, Channel& channel, std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string name = LowerAscii(TrimBlanks(text.substr(0, colon)));
    const auto entry = std::find_if(KINDS.begin(), KINDS.end(),
                                    [&name](const KindEntry& k) { return k.name == name; });
    if (entry == KINDS.end()) {
        error = "unknown channel kind '" + name +
                "' (expected mail, ntfy:URL, gotify:URL or webhook:URL)";
        return false;
    }
    channel.kind = entry->kind;
    channel.url.clear();
    if (channel.kind == Kind::Mail) {
        if (colon != std::string_view::npos) {
            error = "mail takes no address of its own (the relay is set by 'relay')";
            return false;
        }
        return true;
    }
    const std::string_view url =
        colon == std::string_view::npos ? "" : TrimBlanks(text.substr(colon + 1));
    if (!IsHttpUrl(url, channel.kind == Kind::Gotify, channel.url)) {
        // Not shown: it may hold a login.
        error = std::string(entry->name) +
                ": not an http:// or https:// URL with a host and without a login or a fragment" +
                (channel.kind == Kind::Gotify ? " or a query" : "");
        return false;
    }
    return true;
}
