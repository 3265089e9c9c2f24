// SPDX-License-Identifier: MIT
#pragma once

#include "AllowList.h"
#include "HttpPusher.h"
#include "RouteTable.h"
#include "SmtpRelay.h"
#include "httpd/HttpLimits.h"

#include <chrono>
#include <string>
#include <string_view>

// The service's settings, read from "key = value" lines; '#' starts a comment line.
struct NotifydConfig {
    static constexpr const char* DEFAULT_PATH = "/etc/orvantis/notifyd.conf";

    std::string listenHost = "127.0.0.1";
    int listenPort = 8025; // 0: any free port (it is logged)
    RelaySettings relay;   // relay, relay_user, relay_password, relay_starttls, from
    AllowList allow;
    int perRecipientPerHour = 12;
    int perClientPerMinute = 30;
    int perMinute = 600;
    // per_client_connections and trusted_proxies; the rest are the server's own limits.
    HttpLimits http;
    std::string spool = "/var/lib/orvantis-notifyd";
    // A PostgreSQL connection string or URI shared by several copies, in place of the
    // spool; empty: the spool. It may hold a password and is never shown whole.
    std::string store;
    RouteTable routes;                       // "route <address or @domain> = <channel>, ..." lines
    PushSettings push;                       // ntfy_token, gotify_token, webhook_secret
    std::chrono::seconds fallbackAfter{300}; // of failures before the next channel is tried
    int keepDays = 7; // how long receipts, and alerts that cannot be delivered, are kept

    // False with a message naming the line (or the missing key) when the text cannot be
    // used: an unknown or repeated key, a bad value or route, no relay, sender or
    // allow-list, a route to gotify without gotify_token.
    static bool Parse(std::string_view text, NotifydConfig& config, std::string& error);
    // Parse() of a file's content; the error then names the file too. A file that is
    // no regular file, that another user owns or others can write, or that others can
    // read while it holds relay_password or a token or secret, is refused before (or
    // instead of) being used.
    static bool Load(const std::string& path, NotifydConfig& config, std::string& error);
};
