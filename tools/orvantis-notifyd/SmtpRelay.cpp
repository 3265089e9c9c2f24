// SPDX-License-Identifier: MIT
#include "SmtpRelay.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr long CONNECT_TIMEOUT_MS = 10000;
constexpr long TRANSFER_TIMEOUT_MS = 60000;

struct Upload {
    const std::string* bytes;
    std::size_t offset = 0;
    const std::atomic<bool>* stop;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* context) {
    auto* upload = static_cast<Upload*>(context);
    const std::size_t n = std::min(size * count, upload->bytes->size() - upload->offset);
    std::memcpy(buffer, upload->bytes->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

// Once the whole message is out the relay may already have it: then the answer is
// awaited (within the transfer's time-out) rather than risking a second copy later.
int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* upload = static_cast<const Upload*>(context);
    return upload->stop->load() && upload->offset < upload->bytes->size() ? 1 : 0;
}

struct RecipientList {
    ~RecipientList() { curl_slist_free_all(list); }
    curl_slist* list = nullptr;
};

// The greeting names this host; relays may refuse the library's "localhost".
std::string GreetingDomain() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return {};
    }
    std::string name = host;
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '-' || ch == '.';
    });
    return plain ? name : std::string();
}

} // namespace

SmtpRelay::SmtpRelay(RelaySettings settings)
    : m_settings(std::move(settings)), m_curl(curl_easy_init()) {
    m_url = m_settings.url;
    while (m_url.ends_with('/')) {
        m_url.pop_back();
    }
    const std::string domain = GreetingDomain();
    if (!domain.empty()) {
        m_url += "/" + domain;
    }
}

SmtpRelay::~SmtpRelay() {
    if (m_curl != nullptr) {
        curl_easy_cleanup(m_curl);
    }
}

Delivery SmtpRelay::Deliver(const SpooledMail& mail, const std::atomic<bool>& stop) {
    if (m_curl == nullptr) {
        return {Delivery::Outcome::Retry, "libcurl has no handle"};
    }
    // A reset keeps the open connection for the next mail.
    curl_easy_reset(m_curl);
    char errorText[CURL_ERROR_SIZE] = {};
    Upload upload{&mail.message, 0, &stop};
    RecipientList recipients;
    recipients.list = curl_slist_append(nullptr, ("<" + mail.recipient + ">").c_str());
    const std::string from = "<" + m_settings.from + ">";
    if (recipients.list == nullptr) {
        return {Delivery::Outcome::Retry, "out of memory"};
    }
    curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, CONNECT_TIMEOUT_MS);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, TRANSFER_TIMEOUT_MS);
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL,
                     m_settings.requireTls ? static_cast<long>(CURLUSESSL_ALL)
                                           : static_cast<long>(CURLUSESSL_TRY));
    if (!m_settings.user.empty()) {
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_settings.user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_settings.password.c_str());
    }
    curl_easy_setopt(m_curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, recipients.list);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &ReadMessage);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE,
                     static_cast<curl_off_t>(mail.message.size()));
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &upload);

    const CURLcode code = curl_easy_perform(m_curl);
    long reply = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    if (code == CURLE_OK) {
        return {Delivery::Outcome::Sent, "accepted by the relay"};
    }
    std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    // A refused login is the configuration's fault, not the mail's: keep trying it.
    if (reply >= 500 && reply < 600 && code != CURLE_LOGIN_DENIED) {
        return {Delivery::Outcome::Refused, detail};
    }
    return {Delivery::Outcome::Retry, detail};
}
