// SPDX-License-Identifier: MIT
#pragma once

#include "Delivery.h"
#include "HttpPusher.h"
#include "SmtpRelay.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Every channel's sender, for several threads at once: the relay for mail (one mail at a
// time), and HTTP clients for the push servers and webhooks, one per delivery under way,
// kept with their open connections for the next ones.
class AlertChannels final {
public:
    AlertChannels(const RelaySettings& relay, const PushSettings& push);
    AlertChannels(const AlertChannels&) = delete;
    AlertChannels& operator=(const AlertChannels&) = delete;

    Delivery Deliver(const Channel& channel, const SpooledMail& mail,
                     const std::atomic<bool>& stop);

private:
    Delivery Push(const Channel& channel, const Alert& alert, const std::atomic<bool>& stop);

    const PushSettings m_push;
    std::mutex m_relayMutex;
    SmtpRelay m_relay;
    std::mutex m_pushersMutex;
    std::vector<std::unique_ptr<HttpPusher>> m_idlePushers;
};
