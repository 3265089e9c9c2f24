// SPDX-License-Identifier: MIT
#pragma once

#include "feed/JsonQuote.h"
#include "feed/QuoteFeed.h"

#include <atomic>
#include <cstddef>

// A JSON quote endpoint, fetched with a fresh GET every feed interval: http or https only,
// redirects only to http or https (only to https from an https feed), no compressed
// answers, an answer of at most MAX_BODY bytes that must arrive whole within the feed
// interval (at most FETCH_LIMIT_SECONDS).
class HttpQuoteFeed final : public QuoteFeed {
public:
    static constexpr std::size_t MAX_BODY = 1024 * 1024; // a quote is a few hundred bytes
    static constexpr int FETCH_LIMIT_SECONDS = 15;

    // The settings must outlive the feed; `stop` ends a fetch within a second.
    HttpQuoteFeed(const FeedSettings& settings, const std::atomic<bool>* stop);

    FeedSample Fetch() override;

private:
    const FeedSettings& m_settings;
    const JsonQuote m_json;
    const std::atomic<bool>* m_stop;
};
