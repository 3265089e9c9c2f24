// SPDX-License-Identifier: MIT
#pragma once

#include "feed/QuoteFeed.h"
#include "feed/QuoteGate.h"
#include "httpd/HttpLimits.h"

#include <string>
#include <string_view>

// The publisher's settings, read from "key = value" lines; '#' starts a comment line.
struct ChartdConfig {
    static constexpr const char* DEFAULT_PATH = "/etc/orvantis/chartd.conf";

    std::string listenHost = "127.0.0.1";
    int listenPort = 8080; // 0: any free port (it is logged); -1: no HTTP side
    FeedSettings feed;     // feed, feed_pointer, feed_header, feed_command, feed_interval
    QuoteLimits limits;    // min_price, max_price, max_jump_percent
    std::string stateDir = "/var/lib/orvantis-chartd";
    std::string publishDir; // empty: no published file
    int staleAfterSeconds = 600;
    // per_client_connections, trusted_proxies; the rest are the server's own limits. A web
    // server on this host in front (127.0.0.1 or ::1) is trusted unless set otherwise.
    HttpLimits http = DefaultHttp();

    static HttpLimits DefaultHttp();

    // False with a message naming the line (or the missing key) when the text cannot be
    // used: an unknown or repeated key, a bad value, no feed or two, limits that
    // contradict each other, nowhere to publish.
    static bool Parse(std::string_view text, ChartdConfig& config, std::string& error);
    // Parse() of a file's content; the error then names the file too. A file that is no
    // regular file, that another user owns or others can write, or that others can read
    // while it holds a feed_header, is refused before (or instead of) being used.
    static bool Load(const std::string& path, ChartdConfig& config, std::string& error);
};

// A command line split into words: blanks separate them, double or single quotes keep
// blanks in a word, and inside double quotes a backslash takes the next character as it
// is. False for an unclosed quote or no word.
bool SplitCommandLine(std::string_view text, std::vector<std::string>& words);
