// SPDX-License-Identifier: MIT
#include "AlertChannels.h"

AlertChannels::AlertChannels(const RelaySettings& relay, const PushSettings& push)
    : m_relay(relay), m_pusher(push) {}

Delivery AlertChannels::Deliver(const Channel& channel, const SpooledMail& mail,
                                const std::atomic<bool>& stop) {
    if (channel.kind == Channel::Kind::Mail) {
        return m_relay.Deliver(mail, stop);
    }
    if (mail.alert.type.empty()) {
        return {Delivery::Outcome::Refused, "a spool file of an older version holds a mail alone"};
    }
    return m_pusher.Push(channel, mail.alert, stop);
}
