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
    std::string detail; // for the log: what the server answered, and where it pointed
    // For the receipt, which anybody with the alert's id reads: the outcome alone ("HTTP
    // 503", "timed out", "refused: redirect"), never an address, a path or a server's
    // words. Without it the receipt names the outcome's kind.
    std::string summary = {};

    std::string Summary() const {
        if (!summary.empty()) {
            return summary;
        }
        switch (outcome) {
        case Outcome::Sent:
            return "delivered";
        case Outcome::Retry:
            return "not now";
        case Outcome::Refused:
            return "refused";
        case Outcome::ServerFault:
            break;
        }
        return "no answer";
    }
};

// Hands one alert to one channel. stop turns true when the service ends: an attempt that
// has not yet sent the whole alert should give up then.
using Deliverer = std::function<Delivery(const Channel& channel, const SpooledMail& mail,
                                         const std::atomic<bool>& stop)>;
