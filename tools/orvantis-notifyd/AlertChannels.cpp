// SPDX-License-Identifier: MIT
#include "AlertChannels.h"

AlertChannels::AlertChannels(const RelaySettings& relay, const PushSettings& push)
    : m_push(push), m_relay(relay) {}

Delivery AlertChannels::Deliver(const Channel& channel, const SpooledMail& mail,
                                const std::atomic<bool>& stop) {
    if (channel.kind == Channel::Kind::Mail) {
        std::lock_guard lock(m_relayMutex);
        return m_relay.Deliver(mail, stop);
    }
    if (mail.alert.type.empty()) {
        return {Delivery::Outcome::Refused, "a spool file of an older version holds a mail alone"};
    }
    return Push(channel, mail.alert, stop);
}

Delivery AlertChannels::Push(const Channel& channel, const Alert& alert,
                             const std::atomic<bool>& stop) {
    std::unique_ptr<HttpPusher> pusher;
    {
        std::lock_guard lock(m_pushersMutex);
        if (!m_idlePushers.empty()) {
            pusher = std::move(m_idlePushers.back());
            m_idlePushers.pop_back();
        }
    }
    if (pusher == nullptr) {
        pusher = std::make_unique<HttpPusher>(m_push);
    }
    Delivery delivery = pusher->Push(channel, alert, stop);
    std::lock_guard lock(m_pushersMutex);
    m_idlePushers.push_back(std::move(pusher));
    return delivery;
}
