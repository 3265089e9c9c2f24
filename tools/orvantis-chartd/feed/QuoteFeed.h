// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

// How the publisher reaches its quotes: the feed's settings.
struct FeedSettings {
    std::string url;                  // a JSON endpoint, http:// or https://
    std::string pointer;              // where the quote stands in its answer (RFC 6901)
    std::vector<std::string> headers; // "Name: value" lines sent with each request
    std::vector<std::string> command; // or: a program and its arguments, run without a shell
    int intervalSeconds = 30;
};

// One look at a feed: a quote, or why there is none (for the log; empty after a stop).
struct FeedSample {
    std::optional<double> quote;
    std::string error;
};

// A source of quotes, asked once every feed interval.
class QuoteFeed {
public:
    virtual ~QuoteFeed() = default;
    // The newest quote; returns within about the feed interval, or soon after a stop.
    virtual FeedSample Fetch() = 0;
};
