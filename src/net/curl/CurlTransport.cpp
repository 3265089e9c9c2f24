// SPDX-License-Identifier: MIT
#include "net/curl/CurlTransport.h"

#include "core/common/ProxyRule.h"

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One transfer's state, seen by libcurl's callbacks.
struct Transfer {
    CURL* curl = nullptr;
    IHttpReceiver* receiver = nullptr;
    const std::atomic<bool>* stop = nullptr;
    const std::function<void()>* tick = nullptr;
    std::chrono::milliseconds stallTimeout{0};
    curl_off_t bytesMoved = 0;
    Clock::time_point lastMove = Clock::now();
    bool headTold = false;
    bool refused = false;
    bool stopped = false;
    bool stalled = false;

    // The receiver hears the final answer's status before its first byte, or at the end.
    bool TellHead() {
        if (!headTold) {
            headTold = true;
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            refused = !receiver->OnHead(status);
        }
        return !refused;
    }
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const size_t n = size * count;
    if (!transfer->TellHead() || !transfer->receiver->OnBody(std::string_view(data, n))) {
        transfer->refused = true;
        return 0; // ends the transfer
    }
    return n;
}

// libcurl calls this at least once a second, also while the server keeps silent.
int OnProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* transfer = static_cast<Transfer*>(context);
    if (*transfer->tick) {
        (*transfer->tick)();
    }
    if (transfer->stop != nullptr && transfer->stop->load()) {
        transfer->stopped = true;
        return 1;
    }
    const auto now = Clock::now();
    if (received + sent != transfer->bytesMoved) {
        transfer->bytesMoved = received + sent;
        transfer->lastMove = now;
    } else if (now - transfer->lastMove >= transfer->stallTimeout) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

struct HeaderList {
    ~HeaderList() { curl_slist_free_all(list); }
    bool Add(const std::string& header) {
        curl_slist* grown = curl_slist_append(list, header.c_str());
        list = grown != nullptr ? grown : list;
        return grown != nullptr;
    }
    curl_slist* list = nullptr;
};

HttpFailure FailureOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return HttpFailure::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpFailure::TimedOut;
    case CURLE_FILESIZE_EXCEEDED:
        return HttpFailure::TooLarge;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpFailure::Redirect;
    default:
        return HttpFailure::Other;
    }
}

void SetUp(CURL* curl, const HttpClientRequest& request, const HeaderList& headers,
           Transfer& transfer, char* errorBuffer) {
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, NoProxyList().c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    const bool keepTls = request.redirectsKeepTls && request.url.starts_with("https:");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, keepTls ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.limits.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.totalTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    if (request.maxRedirects > 0) {
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
    }
    if (request.maxBody >= 0) {
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBody));
    }
}

} // namespace

HttpResult CCurlTransport::Perform(const HttpClientRequest& request, IHttpReceiver& receiver) {
    InitCurlOnce();
    if (request.limits.stop != nullptr && request.limits.stop->load()) {
        return {HttpFailure::Stopped, 0, "stopped"};
    }
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    HeaderList headers;
    bool headersMade = true;
    for (const std::string& header : request.headers) {
        headersMade = headersMade && headers.Add(header);
    }
    // Keeps libcurl from waiting for "100 Continue" before a body.
    if (!curl || !headersMade || !headers.Add("Expect:")) {
        return {HttpFailure::Other, 0, "the HTTP client could not be set up"};
    }
    Transfer transfer{curl.get(), &receiver, request.limits.stop, &request.limits.tick,
                      std::chrono::milliseconds(request.limits.stallTimeoutMs)};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    SetUp(curl.get(), request, headers, transfer, errorBuffer);
    const CURLcode code = curl_easy_perform(curl.get());
    HttpResult result;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
    if (code == CURLE_OK) {
        // An answer without a body still tells its status.
        result.failure = transfer.TellHead() ? HttpFailure::None : HttpFailure::Refused;
    } else if (transfer.stopped) {
        result = {HttpFailure::Stopped, result.status, "stopped"};
    } else if (transfer.stalled) {
        result = {HttpFailure::TimedOut, result.status,
                  "no data moved for " + std::to_string(request.limits.stallTimeoutMs) + " ms"};
    } else if (transfer.refused) {
        result.failure = HttpFailure::Refused;
    } else {
        result.failure = FailureOf(code);
        result.error = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    }
    return result;
}
