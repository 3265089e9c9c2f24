// SPDX-License-Identifier: MIT
#include "SmtpRelay.h"

#include "TransferSummary.h"

#include "httpd/ServiceLog.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t MAX_REPLY = 512; // a reply line is at most that long

// The commands a session is made of, and how the log names the stage each opens.
struct Stage {
    std::string_view verb;
    const char* name;
};
constexpr std::array<Stage, 7> STAGES = {{{"EHLO", "EHLO"},
                                          {"HELO", "HELO"},
                                          {"STARTTLS", "STARTTLS"},
                                          {"AUTH", "the login"},
                                          {"MAIL", "MAIL FROM"},
                                          {"RCPT", "RCPT TO"},
                                          {"DATA", "the data"}}};

// What the session said last: the command sent last, and the relay's last reply line
// since (the greeting, before any command). The goodbye after a failure tells nothing.
struct Transcript {
    const Stage* command = nullptr;
    std::string reply;
    bool quitting = false;
};

// Sees the command and reply lines. Only a command's verb is kept: the rest of an AUTH
// line, and the lines that follow it, hold the login.
int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* context) {
    auto* transcript = static_cast<Transcript*>(context);
    std::string_view line(data, size);
    while (line.ends_with('\n') || line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    if (transcript->quitting) {
        return 0;
    }
    if (type == CURLINFO_HEADER_OUT) {
        const std::string_view verb = line.substr(0, line.find_first_of(" :"));
        transcript->quitting = verb == "QUIT";
        const auto stage = std::find_if(STAGES.begin(), STAGES.end(),
                                        [verb](const Stage& s) { return s.verb == verb; });
        if (stage != STAGES.end()) {
            transcript->command = &*stage;
            transcript->reply.clear();
        }
    } else if (type == CURLINFO_HEADER_IN) {
        transcript->reply = std::string(line.substr(0, MAX_REPLY));
    }
    return 0;
}

int ReplyCode(const std::string& reply) {
    const bool coded =
        reply.size() >= 3 && std::all_of(reply.begin(), reply.begin() + 3,
                                         [](char ch) { return ch >= '0' && ch <= '9'; });
    return coded ? std::stoi(reply.substr(0, 3)) : 0;
}

// Only a refusal of the recipient or of the data concerns this one mail. Anything before
// them (a greeting of 554, a 502 to EHLO, a 530 to MAIL FROM: a relay that wants a login
// or blocks this host) would refuse every mail alike, and is the relay's fault.
Delivery Judge(CURLcode code, const Transcript& transcript, const char* errorText) {
    if (code == CURLE_OK) {
        return {Delivery::Outcome::Sent, "accepted by the relay", "accepted by the relay"};
    }
    const int reply = ReplyCode(transcript.reply);
    if (reply < 400) {
        return {Delivery::Outcome::ServerFault,
                errorText[0] != '\0' ? errorText : curl_easy_strerror(code), TransferSummary(code)};
    }
    const std::string answer =
        "'" + Printable(transcript.reply) + "' " +
        (transcript.command == nullptr ? "as its greeting"
                                       : std::string("to ") + transcript.command->name);
    const std::string_view verb = transcript.command == nullptr ? "" : transcript.command->verb;
    // The relay's words may name its host or the recipient: the log only.
    const std::string summary = "SMTP " + std::to_string(reply);
    if (verb != "RCPT" && verb != "DATA") {
        return {Delivery::Outcome::ServerFault, answer, summary};
    }
    return {reply >= 500 ? Delivery::Outcome::Refused : Delivery::Outcome::Retry, answer, summary};
}

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
        return {Delivery::Outcome::ServerFault, "libcurl has no handle"};
    }
    // A reset keeps the open connection for the next mail.
    curl_easy_reset(m_curl);
    char errorText[CURL_ERROR_SIZE] = {};
    Upload upload{&mail.message, 0, &stop};
    RecipientList recipients;
    recipients.list = curl_slist_append(nullptr, ("<" + mail.recipient + ">").c_str());
    const std::string from = "<" + m_settings.from + ">";
    if (recipients.list == nullptr) {
        return {Delivery::Outcome::ServerFault, "out of memory"};
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
    Transcript transcript;
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &OnDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, &transcript);

    const CURLcode code = curl_easy_perform(m_curl);
    // The handle keeps the connection; nothing of this call may be used after it.
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 0L);
    return Judge(code, transcript, errorText);
}
