// SPDX-License-Identifier: MIT
#include "HttpPusher.h"

#include "TransferSummary.h"
#include "httpd/ServiceLog.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// An answer is read this far and no further; only its first line is kept for the log.
constexpr std::size_t MAX_ANSWER = 64 * 1024;
constexpr std::size_t KEPT_ANSWER = 200;
constexpr const char* USER_AGENT = "orvantis-notifyd";

struct Exchange {
    const std::atomic<bool>* stop;
    std::size_t received = 0;
    std::string answer; // its first KEPT_ANSWER bytes
};

size_t OnAnswer(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    const std::size_t bytes = size * count;
    exchange->received += bytes;
    if (exchange->answer.size() < KEPT_ANSWER) {
        exchange->answer.append(data, std::min(bytes, KEPT_ANSWER - exchange->answer.size()));
    }
    return exchange->received > MAX_ANSWER ? 0 : bytes; // 0 ends the transfer
}

// Once the whole request is out the server may have the alert: then its answer is
// awaited (within the transfer's time-out) rather than risking a repeat.
int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploaded) {
    const auto* exchange = static_cast<const Exchange*>(context);
    const bool sent = uploadTotal > 0 && uploaded >= uploadTotal;
    return exchange->stop->load() && !sent ? 1 : 0;
}

struct HeaderList {
    ~HeaderList() { curl_slist_free_all(list); }
    curl_slist* list = nullptr;
};

std::string FirstLine(const std::string& answer) {
    return Printable(answer.substr(0, answer.find_first_of("\r\n")));
}

// By the status alone once there is one: an answer cut short by its size or the time-out
// after a 2xx still means the server took the alert.
Delivery Judge(CURL* curl, CURLcode code, const Exchange& exchange, const char* errorText) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status == 0) {
        return {Delivery::Outcome::ServerFault,
                errorText[0] != '\0' ? errorText : curl_easy_strerror(code), TransferSummary(code)};
    }
    const std::string summary = "HTTP " + std::to_string(status);
    if (status >= 200 && status < 300) {
        return {Delivery::Outcome::Sent, summary, summary};
    }
    if (status >= 300 && status < 400) {
        // Where it points may carry a token: the log only.
        char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        return {Delivery::Outcome::Refused,
                summary + ", a redirect to '" + Printable(location == nullptr ? "" : location) +
                    "', not followed: set the channel's URL to where it leads",
                "refused: redirect"};
    }
    // The server's words may echo the path, which is as good as a password: the log only.
    const std::string line = FirstLine(exchange.answer);
    const bool temporary = status >= 500 || status == 408 || status == 429 || status < 200;
    return {temporary ? Delivery::Outcome::ServerFault : Delivery::Outcome::Refused,
            summary + (line.empty() ? "" : ": " + line), summary};
}

} // namespace

HttpPusher::HttpPusher(PushSettings settings)
    : m_settings(std::move(settings)), m_curl(curl_easy_init()) {}

HttpPusher::~HttpPusher() {
    if (m_curl != nullptr) {
        curl_easy_cleanup(m_curl);
    }
}

Delivery HttpPusher::Push(const Channel& channel, const Alert& alert,
                          const std::atomic<bool>& stop) {
    if (m_curl == nullptr) {
        return {Delivery::Outcome::ServerFault, "libcurl has no handle"};
    }
    const PushRequest request = PushRequest::For(channel, alert, m_settings);
    HeaderList headers;
    std::vector<std::string> lines = request.headers;
    // Without this libcurl may wait for a "100 Continue" that some servers never send.
    lines.emplace_back("Expect:");
    for (const std::string& line : lines) {
        curl_slist* longer = curl_slist_append(headers.list, line.c_str());
        if (longer == nullptr) {
            return {Delivery::Outcome::ServerFault, "out of memory"};
        }
        headers.list = longer;
    }
    // A reset keeps the open connections for the next alert.
    curl_easy_reset(m_curl);
    char errorText[CURL_ERROR_SIZE] = {};
    Exchange exchange{&stop, 0, {}};
    curl_easy_setopt(m_curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, CONNECT_TIMEOUT_MS);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, TRANSFER_TIMEOUT_MS);
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, USER_AGENT);
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, request.body.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &OnAnswer);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &exchange);

    const CURLcode code = curl_easy_perform(m_curl);
    Delivery delivery = Judge(m_curl, code, exchange, errorText);
    // The handle keeps the connections; nothing of this call may be used after it.
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, nullptr);
    return delivery;
}
