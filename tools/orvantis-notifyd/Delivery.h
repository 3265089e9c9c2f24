// SPDX-License-Identifier: MIT
#pragma once

#include "Channel.h"
#include "MailSpool.h"

#include <atomic>
#include <functional>
#include <string>

// How long one attempt may take, through any channel: to connect, and as a whole.
constexpr long CONNECT_TIMEOUT_MS = 10000;
constexpr long TRANSFER_TIMEOUT_MS = 60000;

// How one attempt to hand an alert to a channel's server ended.
struct Delivery {
    enum class Outcome {
        Sent,        // the server took it
        Retry,       // not now, for this alert: the relay answered 4xx to its recipient or data
        Refused,     // never, for this alert: the relay answered 5xx to its recipient or data, a
                     // push server or webhook 3xx or 4xx (but 408 and 429)
        ServerFault, // not now, for any alert: the server cannot be reached, times out, answers
                     // 408, 429 or 5xx, or (the relay) refuses the session itself: its
                     // greeting, EHLO, STARTTLS, the login, MAIL FROM
    };
    Outcome outcome = Outcome::ServerFault;
    std::string detail; // for the log and the receipt: what the server answered
};

// Hands one alert to one channel. stop turns true when the service ends: an attempt that
// has not yet sent the whole alert should give up then.
using Deliverer = std::function<Delivery(const Channel& channel, const SpooledMail& mail,
                                         const std::atomic<bool>& stop)>;
