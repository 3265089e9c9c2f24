// SPDX-License-Identifier: MIT
#include "PushRequest.h"

#include "httpd/ServiceLog.h"
#include "platform/common/JsonString.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>

namespace {

// Loud enough to reach the phone through its quiet settings, short of an emergency.
constexpr const char* NTFY_PRIORITY = "high";
constexpr int GOTIFY_PRIORITY = 8;

std::string Tags(const Alert& alert) {
    if (alert.type == Alert::TEST) {
        return "bell";
    }
    return alert.Falling() ? "chart_with_downwards_trend" : "chart_with_upwards_trend";
}

PushRequest Ntfy(const Channel& channel, const Alert& alert, const PushSettings& settings) {
    PushRequest request{channel.url,
                        {"Title: " + alert.Title(), std::string("Priority: ") + NTFY_PRIORITY,
                         "Tags: " + Tags(alert), "Content-Type: text/plain; charset=utf-8"},
                        alert.Text()};
    if (!settings.ntfyToken.empty()) {
        request.headers.push_back("Authorization: Bearer " + settings.ntfyToken);
    }
    return request;
}

PushRequest Gotify(const Channel& channel, const Alert& alert, const PushSettings& settings) {
    std::string base = channel.url;
    while (base.ends_with('/')) {
        base.pop_back();
    }
    return {base + "/message",
            {"X-Gotify-Key: " + settings.gotifyToken, "Content-Type: application/json"},
            "{\"title\":" + JsonString(alert.Title(), JsonNonAscii::Question) +
                ",\"message\":" + JsonString(alert.Text(), JsonNonAscii::Question) +
                ",\"priority\":" + std::to_string(GOTIFY_PRIORITY) + "}"};
}

PushRequest Webhook(const Channel& channel, const Alert& alert, const PushSettings& settings) {
    PushRequest request{channel.url,
                        {"Content-Type: application/json"},
                        "{\"id\":" + JsonString(alert.id, JsonNonAscii::Question) + ",\"time\":" +
                            JsonString(UtcTime(alert.received), JsonNonAscii::Question) +
                            ",\"type\":" + JsonString(alert.type, JsonNonAscii::Question) +
                            ",\"email\":" + JsonString(alert.email, JsonNonAscii::Question) +
                            ",\"last\":" + JsonString(alert.last, JsonNonAscii::Question) +
                            ",\"new\":" + JsonString(alert.price, JsonNonAscii::Question) +
                            ",\"chg\":" + JsonString(alert.change, JsonNonAscii::Question) + "}"};
    if (!settings.webhookSecret.empty()) {
        request.headers.push_back(std::string(PushRequest::SIGNATURE_HEADER) + ": " +
                                  WebhookSignature(settings.webhookSecret, request.body));
    }
    return request;
}

} // namespace

PushRequest PushRequest::For(const Channel& channel, const Alert& alert,
                             const PushSettings& settings) {
    PushRequest request;
    switch (channel.kind) {
    case Channel::Kind::Ntfy:
        request = Ntfy(channel, alert, settings);
        break;
    case Channel::Kind::Gotify:
        request = Gotify(channel, alert, settings);
        break;
    case Channel::Kind::Webhook:
        request = Webhook(channel, alert, settings);
        break;
    case Channel::Kind::Mail:
        break; // the relay carries it
    }
    request.headers.push_back(std::string(ID_HEADER) + ": " + alert.id);
    return request;
}

std::string WebhookSignature(std::string_view secret, std::string_view body) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(body.data()), body.size(), digest, &size);
    std::string signature = "sha256=";
    for (unsigned int i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        signature += hex;
    }
    return signature;
}
