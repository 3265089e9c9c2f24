// SPDX-License-Identifier: MIT
#include "core/common/HttpSession.h"

#include "BuildConfig.h"

#include <cstdlib>
#include <mutex>

namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The environment's proxy exceptions plus the loopback hosts: a server on this machine
// (the demo chart server) is never reached through a proxy.
std::string NoProxyList() {
    const char* fromEnvironment = std::getenv("no_proxy");
    if (fromEnvironment == nullptr) {
        fromEnvironment = std::getenv("NO_PROXY");
    }
    std::string list = fromEnvironment != nullptr ? fromEnvironment : "";
    if (list == "*") {
        return list;
    }
    return list + (list.empty() ? "" : ",") + "localhost,127.0.0.1,::1";
}

} // namespace

const char* HttpUserAgent() {
    return "Orvantis/" ORVANTIS_VERSION_TEXT;
}

CHttpSession::CHttpSession(const HttpOptions& options)
    : m_stop(options.stop), m_stallTimeout(options.stallTimeoutMs) {
    InitCurlOnce();
    m_curl = curl_easy_init();
    if (m_curl == nullptr) {
        return;
    }
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, HttpUserAgent());
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, NoProxyList().c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options.connectTimeoutMs));
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeoutMs));
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CHttpSession::OnProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
}

CHttpSession::~CHttpSession() {
    if (m_curl != nullptr) {
        curl_easy_cleanup(m_curl);
    }
}

bool CHttpSession::StopRequested() const {
    return m_stop != nullptr && m_stop->load();
}

// libcurl calls this at least once a second, also while the server keeps silent.
int CHttpSession::OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                             curl_off_t sent) {
    auto* session = static_cast<CHttpSession*>(self);
    if (session->StopRequested()) {
        session->m_stopped = true;
        return 1;
    }
    const auto now = std::chrono::steady_clock::now();
    if (received + sent != session->m_bytesMoved) {
        session->m_bytesMoved = received + sent;
        session->m_lastMove = now;
    } else if (now - session->m_lastMove >= session->m_stallTimeout) {
        session->m_stalled = true;
        return 1;
    }
    return 0;
}

CURLcode CHttpSession::Perform() {
    m_errorText.clear();
    m_errorBuffer[0] = '\0';
    m_stopped = false;
    m_stalled = false;
    m_bytesMoved = 0;
    m_lastMove = std::chrono::steady_clock::now();
    if (m_curl == nullptr) {
        m_errorText = "the HTTP client could not be set up";
        return CURLE_FAILED_INIT;
    }
    if (StopRequested()) {
        m_stopped = true;
        m_errorText = "stopped";
        return CURLE_ABORTED_BY_CALLBACK;
    }
    CURLcode code = curl_easy_perform(m_curl);
    if (m_stalled) {
        code = CURLE_OPERATION_TIMEDOUT;
        m_errorText = "no data moved for " + std::to_string(m_stallTimeout.count()) + " ms";
    } else if (code != CURLE_OK) {
        m_errorText = m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code);
    }
    return code;
}

long CHttpSession::ResponseCode() const {
    long status = 0;
    if (m_curl != nullptr) {
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    }
    return status;
}
