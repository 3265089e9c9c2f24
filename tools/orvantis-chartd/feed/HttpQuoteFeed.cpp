// SPDX-License-Identifier: MIT
#include "feed/HttpQuoteFeed.h"

#include "core/common/HttpSession.h"

#include <algorithm>
#include <memory>

namespace {

struct BodySink {
    CURL* curl = nullptr;
    std::string body;
    long refusedStatus = 0; // a status outside 2xx: its body is not read
    bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* sink = static_cast<BodySink*>(context);
    const size_t n = size * count;
    long status = 0;
    curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        sink->refusedStatus = status;
        return 0;
    }
    if (n > HttpQuoteFeed::MAX_BODY - sink->body.size()) {
        sink->tooLarge = true;
        return 0;
    }
    sink->body.append(data, n);
    return n;
}

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

HeaderList MakeHeaders(const std::vector<std::string>& lines) {
    HeaderList list(nullptr, &curl_slist_free_all);
    for (const std::string& line : lines) {
        curl_slist* longer = curl_slist_append(list.get(), line.c_str());
        if (longer != nullptr) {
            list.release();
            list.reset(longer);
        }
    }
    return list;
}

} // namespace

HttpQuoteFeed::HttpQuoteFeed(const FeedSettings& settings, const std::atomic<bool>* stop)
    : m_settings(settings), m_json(settings.pointer), m_stop(stop) {}

FeedSample HttpQuoteFeed::Fetch() {
    const int seconds = std::clamp(m_settings.intervalSeconds, 1, FETCH_LIMIT_SECONDS);
    HttpOptions options;
    options.totalTimeoutMs = seconds * 1000;
    options.stallTimeoutMs = options.totalTimeoutMs;
    options.connectTimeoutMs = std::min(options.totalTimeoutMs, 5000);
    options.stop = m_stop;
    CHttpSession session(options);
    BodySink sink{session.Handle(), {}, 0, false};
    const HeaderList headers = MakeHeaders(m_settings.headers);
    if (CURL* curl = session.Handle()) {
        curl_easy_setopt(curl, CURLOPT_URL, m_settings.url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
        // An https feed never continues in clear text.
        if (m_settings.url.starts_with("https:")) {
            curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        }
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MAX_BODY));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    }
    const CURLcode code = session.Perform();
    if (session.Stopped()) {
        return {};
    }
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return {std::nullopt, "the answer is larger than 1 MiB"};
    }
    if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_TOO_MANY_REDIRECTS) {
        return {std::nullopt, "a redirect refused: " + session.ErrorText()};
    }
    const long status = sink.refusedStatus != 0 ? sink.refusedStatus : session.ResponseCode();
    if ((code == CURLE_OK || sink.refusedStatus != 0) && (status < 200 || status > 299)) {
        return {std::nullopt, "HTTP status " + std::to_string(status)};
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return {std::nullopt, "no whole answer within " + std::to_string(seconds) + " s"};
    }
    if (code != CURLE_OK) {
        return {std::nullopt, "no answer: " + session.ErrorText()};
    }
    FeedSample sample;
    sample.quote = m_json.Read(sink.body, sample.error);
    return sample;
}
