// SPDX-License-Identifier: MIT
#pragma once

#include "Alert.h"
#include "Channel.h"

#include <string>
#include <string_view>
#include <vector>

// The credentials of the HTTP channels.
struct PushSettings {
    std::string ntfyToken;     // optional: sent as a bearer token
    std::string gotifyToken;   // the application's token, which gotify routes need
    std::string webhookSecret; // optional: signs each webhook's body
};

// One POST to a push server or a webhook. Each carries the alert's id in X-Orvantis-Id,
// the same on every repeat, so a receiver can drop a copy it has seen.
struct PushRequest {
    static constexpr const char* ID_HEADER = "X-Orvantis-Id";
    static constexpr const char* SIGNATURE_HEADER = "X-Orvantis-Signature";

    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;

    // ntfy: the text to the topic, with Title, Priority and Tags. gotify: JSON title,
    // message and priority to <base>/message. webhook: a JSON object of the form's fields,
    // the time and the id, signed when there is a secret.
    static PushRequest For(const Channel& channel, const Alert& alert,
                           const PushSettings& settings);
};

// "sha256=" and the HMAC-SHA256 of the body under the secret, in lower-case hex: what a
// webhook receiver recomputes to know the body came from this service, unchanged.
std::string WebhookSignature(std::string_view secret, std::string_view body);
