// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <string>

// Limits of one HTTP transfer. The defaults are the program's; tests lower them.
struct HttpOptions {
    int connectTimeoutMs = 15000; // to set up the connection
    int stallTimeoutMs = 30000;   // without a byte moving either way (checked every second)
    int totalTimeoutMs = 60000;   // for the whole exchange
    // This transfer's own stop: when it becomes true the transfer ends within a second.
    const std::atomic<bool>* stop = nullptr;
};

// One libcurl easy handle set up the way every request of the program is made: a fixed
// user agent, the environment's proxies, no signals, the time-outs of HttpOptions and a
// progress check that aborts the transfer when a stop is requested. Only http and https.
class CHttpSession final {
public:
    explicit CHttpSession(const HttpOptions& options);
    ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // Null when libcurl could not make a handle; Perform() then fails.
    CURL* Handle() const { return m_curl; }
    // Runs the transfer set up on Handle(); refuses to start when a stop is requested.
    CURLcode Perform();
    // True when the last Perform() ended because of a stop.
    bool Stopped() const { return m_stopped; }
    // libcurl's reason for the failure of the last Perform(), empty after a success.
    const std::string& ErrorText() const { return m_errorText; }
    // The HTTP status of the last answer, 0 when none came.
    long ResponseCode() const;

private:
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    bool StopRequested() const;

    CURL* m_curl = nullptr;
    const std::atomic<bool>* m_stop = nullptr;
    std::chrono::milliseconds m_stallTimeout;
    curl_off_t m_bytesMoved = 0;
    std::chrono::steady_clock::time_point m_lastMove;
    bool m_stopped = false;
    bool m_stalled = false;
    std::string m_errorText;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

// "Orvantis/<version>"
const char* HttpUserAgent();
