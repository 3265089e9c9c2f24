// SPDX-License-Identifier: MIT
#include "ChartdConfig.h"

#include "feed/JsonQuote.h"
#include "feed/QuoteNumber.h"
#include "httpd/ClientSettings.h"
#include "httpd/ListenAddress.h"
#include "httpd/SettingsFile.h"
#include "httpd/TextRules.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <set>

namespace {

constexpr int MAX_SECONDS = 7 * 24 * 60 * 60;

bool ParseFeedUrl(std::string_view value, ChartdConfig& config) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
    const std::string text(value);
    if (!url || HasControl(value) || value.find(' ') != std::string_view::npos ||
        curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(url.get(), CURLUPART_HOST, &host, 0);
    const bool web = scheme != nullptr &&
                     (std::string_view(scheme) == "http" || std::string_view(scheme) == "https");
    const bool named = host != nullptr && host[0] != '\0';
    curl_free(scheme);
    curl_free(host);
    config.feed.url = text;
    return web && named;
}

// "Name: value", the name an HTTP token; never a header that decides how the body comes.
bool ParseHeader(std::string_view value, ChartdConfig& config) {
    const std::size_t colon = value.find(':');
    if (colon == 0 || colon == std::string_view::npos || HasControl(value)) {
        return false;
    }
    const std::string_view name = value.substr(0, colon);
    const bool token = std::all_of(name.begin(), name.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) != 0 ||
               std::string_view("!#$%&'*+-.^_`|~").find(ch) != std::string_view::npos;
    });
    const std::string lower = LowerAscii(name);
    const std::set<std::string> framing = {"host", "content-length", "transfer-encoding",
                                           "accept-encoding", "connection"};
    config.feed.headers.emplace_back(value);
    return token && !framing.contains(lower);
}

bool ParseAmount(std::string_view value, double low, double high, double& amount) {
    const std::optional<double> parsed = ParseQuoteNumber(value);
    if (!parsed || !std::isfinite(*parsed) || *parsed < low || *parsed > high) {
        return false;
    }
    amount = *parsed;
    return true;
}

bool ParseFolder(std::string_view value, std::string& folder) {
    folder = std::string(value);
    return value.starts_with('/') && !HasControl(value);
}

using Key = SettingKey<ChartdConfig>;

const std::array<Key, 14>& Keys() {
    static const std::array<Key, 14> keys = {{
        {"listen", "address:port, such as 127.0.0.1:8080 or [::1]:8080, or off",
         [](std::string_view v, ChartdConfig& c) {
             c.listenPort = -1;
             return v == "off" || ParseHostPort(v, c.listenHost, c.listenPort);
         }},
        {"feed", "an http:// or https:// address", ParseFeedUrl},
        {"feed_pointer", "a JSON pointer such as /quote/price",
         [](std::string_view v, ChartdConfig& c) {
             c.feed.pointer = std::string(v);
             return JsonQuote::ValidPointer(v);
         }},
        // A header may carry an API key: it is not repeated on the screen.
        {"feed_header", "Name: value", ParseHeader, true, HiddenValue},
        {"feed_command", "a program and its arguments",
         [](std::string_view v, ChartdConfig& c) {
             return !HasControl(v) && SplitCommandLine(v, c.feed.command);
         }},
        {"feed_interval", "seconds from 1 to 3600",
         [](std::string_view v, ChartdConfig& c) {
             return ParseWholeNumber(v, 1, 3600, c.feed.intervalSeconds);
         }},
        {"min_price", "a price in dollars",
         [](std::string_view v, ChartdConfig& c) {
             return ParseAmount(v, 0.01, 1e12, c.limits.minPrice);
         }},
        {"max_price", "a price in dollars",
         [](std::string_view v, ChartdConfig& c) {
             return ParseAmount(v, 0.01, 1e12, c.limits.maxPrice);
         }},
        {"max_jump_percent", "a percentage above 0, at most 1000",
         [](std::string_view v, ChartdConfig& c) {
             return ParseAmount(v, 0.001, 1000.0, c.limits.maxJumpPercent);
         }},
        {"stale_after", "seconds from 2 to 604800",
         [](std::string_view v, ChartdConfig& c) {
             return ParseWholeNumber(v, 2, MAX_SECONDS, c.staleAfterSeconds);
         }},
        {"state_dir", "an absolute folder path",
         [](std::string_view v, ChartdConfig& c) { return ParseFolder(v, c.stateDir); }},
        {"publish_dir", "an absolute folder path",
         [](std::string_view v, ChartdConfig& c) { return ParseFolder(v, c.publishDir); }},
        PerClientConnectionsKey<ChartdConfig>(),
        TrustedProxiesKey<ChartdConfig>(),
    }};
    return keys;
}

// What no single line shows.
bool CheckWhole(const std::set<std::string>& seen, const ChartdConfig& config, std::string& error) {
    if (seen.contains("feed") == seen.contains("feed_command")) {
        error = "set either 'feed' or 'feed_command'";
    } else if (seen.contains("feed") != seen.contains("feed_pointer")) {
        error = "'feed' and 'feed_pointer' go together";
    } else if (seen.contains("feed_header") && !seen.contains("feed")) {
        error = "'feed_header' goes with 'feed'";
    } else if (config.limits.minPrice >= config.limits.maxPrice) {
        error = "'min_price' must be below 'max_price'";
    } else if (config.staleAfterSeconds < 2 * config.feed.intervalSeconds) {
        // Closer, every late answer would turn the chart stale and back.
        error = "'stale_after' must be at least twice 'feed_interval'";
    } else if (config.listenPort < 0 && config.publishDir.empty()) {
        error = "with 'listen = off' set 'publish_dir', or the chart goes nowhere";
    } else {
        return true;
    }
    return false;
}

} // namespace

HttpLimits ChartdConfig::DefaultHttp() {
    HttpLimits http;
    http.maxBody = 0; // nothing is posted here
    // A web server in front keeps its connections and asks again and again.
    http.requestsPerConnection = 10000;
    http.trustedProxies = {"127.0.0.1", "::1"};
    return http;
}

bool ChartdConfig::Parse(std::string_view text, ChartdConfig& config, std::string& error) {
    std::vector<SettingLine> lines;
    if (!SplitSettingLines(text, lines, error)) {
        return false;
    }
    std::set<std::string> seen;
    for (const SettingLine& line : lines) {
        if (!ApplySetting(line, Keys(), config, seen, error)) {
            return false;
        }
    }
    return CheckWhole(seen, config, error);
}

bool ChartdConfig::Load(const std::string& path, ChartdConfig& config, std::string& error) {
    return LoadSettingsFile(
        path,
        [&config](std::string_view text, std::string& why) { return Parse(text, config, why); },
        [&config] {
            return config.feed.headers.empty() ? std::string()
                                               : "a feed_header, which may carry an API key";
        },
        error);
}

bool SplitCommandLine(std::string_view text, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quote == 0 && (ch == ' ' || ch == '\t')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
            }
            inWord = false;
        } else if (quote == 0 && (ch == '"' || ch == '\'')) {
            quote = ch;
            inWord = true;
        } else if (ch == quote) {
            quote = 0;
        } else if (quote == '"' && ch == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return quote == 0 && !words.empty() && !words.front().empty();
}
