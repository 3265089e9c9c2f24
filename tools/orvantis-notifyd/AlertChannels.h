// SPDX-License-Identifier: MIT
#pragma once

#include "Delivery.h"
#include "HttpPusher.h"
#include "SmtpRelay.h"

#include <atomic>

// Every channel's sender, for one thread: the relay for mail, one HTTP client for the
// push servers and webhooks.
class AlertChannels final {
public:
    AlertChannels(const RelaySettings& relay, const PushSettings& push);
    AlertChannels(const AlertChannels&) = delete;
    AlertChannels& operator=(const AlertChannels&) = delete;

    Delivery Deliver(const Channel& channel, const SpooledMail& mail,
                     const std::atomic<bool>& stop);

private:
    SmtpRelay m_relay;
    HttpPusher m_pusher;
};
