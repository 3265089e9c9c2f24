// SPDX-License-Identifier: MIT
#include "feed/HttpQuoteFeed.h"

#include "core/common/HttpTransport.h"
#include "net/curl/CurlTransport.h"

#include <algorithm>

namespace {

// Takes a 2xx answer's body, up to MAX_BODY bytes.
class CBodySink final : public IHttpReceiver {
public:
    bool OnHead(long status) override {
        refused = status < 200 || status > 299; // an error page is not read
        return !refused;
    }
    bool OnBody(std::string_view piece) override {
        tooLarge = piece.size() > HttpQuoteFeed::MAX_BODY - body.size();
        if (!tooLarge) {
            body.append(piece);
        }
        return !tooLarge;
    }

    std::string body;
    bool refused = false;
    bool tooLarge = false;
};

} // namespace

HttpQuoteFeed::HttpQuoteFeed(const FeedSettings& settings, const std::atomic<bool>* stop)
    : m_settings(settings), m_json(settings.pointer), m_stop(stop) {}

FeedSample HttpQuoteFeed::Fetch() {
    const int seconds = std::clamp(m_settings.intervalSeconds, 1, FETCH_LIMIT_SECONDS);
    HttpClientRequest request;
    request.method = "GET";
    request.url = m_settings.url;
    request.headers = {std::string("User-Agent: ") + HttpUserAgent()};
    request.headers.insert(request.headers.end(), m_settings.headers.begin(),
                           m_settings.headers.end());
    request.maxRedirects = 3;
    request.redirectsKeepTls = true; // an https feed never continues in clear text
    request.maxBody = static_cast<long long>(MAX_BODY);
    request.limits.totalTimeoutMs = seconds * 1000;
    request.limits.stallTimeoutMs = request.limits.totalTimeoutMs;
    request.limits.connectTimeoutMs = std::min(request.limits.totalTimeoutMs, 5000);
    request.limits.stop = m_stop;
    CBodySink sink;
    CCurlTransport transport;
    const HttpResult result = transport.Perform(request, sink);
    switch (result.failure) {
    case HttpFailure::None:
        break;
    case HttpFailure::Stopped:
        return {};
    case HttpFailure::TooLarge:
        return {std::nullopt, "the answer is larger than 1 MiB"};
    case HttpFailure::Redirect:
        return {std::nullopt, "a redirect refused: " + result.error};
    case HttpFailure::TimedOut:
        return {std::nullopt, "no whole answer within " + std::to_string(seconds) + " s"};
    case HttpFailure::Refused:
        if (sink.tooLarge) {
            return {std::nullopt, "the answer is larger than 1 MiB"};
        }
        break;
    case HttpFailure::Unreachable:
    case HttpFailure::Other:
        return {std::nullopt, "no answer: " + result.error};
    }
    if (result.status < 200 || result.status > 299) {
        return {std::nullopt, "HTTP status " + std::to_string(result.status)};
    }
    FeedSample sample;
    sample.quote = m_json.Read(sink.body, sample.error);
    return sample;
}
