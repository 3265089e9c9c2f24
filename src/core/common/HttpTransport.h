// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Limits of one HTTP transfer. The defaults are the program's; tests lower them.
struct HttpOptions {
    int connectTimeoutMs = 15000; // to look up the name and set up the connection
    int stallTimeoutMs = 30000;   // without a byte moving either way
    int totalTimeoutMs = 60000;   // for the whole exchange
    // This transfer's own stop: when it becomes true the transfer ends soon after.
    const std::atomic<bool>* stop = nullptr;
    // Optional: called on the transfer's thread while it runs, at least once a second
    // whatever the server does (sends nothing or never stops); must not block.
    std::function<void()> tick;
};

// One request as the program makes it: the transport sends the request line, "Host", the
// headers in this order, and "Content-Length" for a body.
struct HttpClientRequest {
    std::string method; // "GET" or "POST"
    std::string url;    // http:// or https://
    std::vector<std::string> headers;
    std::string_view body;
    int maxRedirects = 0;          // followed only to http:// and https://
    bool redirectsKeepTls = false; // an https request is never sent on to http://
    long long maxBody = -1;        // an announced body beyond this is refused unread (TooLarge)
    HttpOptions limits;
};

// What receives the answer while it arrives.
class IHttpReceiver {
public:
    virtual ~IHttpReceiver() = default;
    // The status of the final answer, before its body (and also when it has none);
    // false refuses the body and ends the transfer (HttpFailure::Refused).
    virtual bool OnHead(long status) = 0;
    // A piece of the body; false ends the transfer (HttpFailure::Refused).
    virtual bool OnBody(std::string_view piece) = 0;
};

enum class HttpFailure {
    None,
    Unreachable, // the name did not resolve, or nobody listens
    TimedOut,    // a time-out of HttpOptions passed
    TooLarge,    // an announced body beyond maxBody
    Redirect,    // a redirect not followed: too many, or to an address it may not go to
    Refused,     // the receiver ended it
    Stopped,     // the transfer's own stop ended it
    Other,       // anything else; see error
};

struct HttpResult {
    HttpFailure failure = HttpFailure::None;
    long status = 0;   // of the last answer, 0 when none came
    std::string error; // the transport's words for a failure
};

// Makes HTTP requests for the core: the desktop program's goes through Qt Network, the
// command-line tools' through libcurl.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    // Blocks the calling thread until the exchange is over.
    virtual HttpResult Perform(const HttpClientRequest& request, IHttpReceiver& receiver) = 0;
};

// The transport of this process, set once at start-up before any transfer. Until then
// every request fails.
void SetHttpTransport(IHttpTransport& transport);
IHttpTransport& HttpTransport();

// "Orvantis/<version>"
const char* HttpUserAgent();
