// SPDX-License-Identifier: MIT
#pragma once

#include "Alert.h"
#include "Channel.h"
#include "Delivery.h"
#include "PushRequest.h"

#include <curl/curl.h>

#include <atomic>

// Posts alerts to push servers and webhooks over http or https with libcurl, one at a
// time, keeping connections open between them. A redirect is not followed (it could lead
// to another scheme, or take a token to another host, or go round in circles): it refuses
// the alert, and the log names where it pointed. For one thread.
class HttpPusher final {
public:
    explicit HttpPusher(PushSettings settings);
    ~HttpPusher();
    HttpPusher(const HttpPusher&) = delete;
    HttpPusher& operator=(const HttpPusher&) = delete;

    Delivery Push(const Channel& channel, const Alert& alert, const std::atomic<bool>& stop);

private:
    PushSettings m_settings;
    CURL* m_curl;
};
