// SPDX-License-Identifier: MIT
#pragma once

#include "MailSpool.h"

#include <atomic>
#include <functional>
#include <string>

// How one attempt to hand a mail to the relay ended.
struct Delivery {
    enum class Outcome {
        Sent,    // the relay accepted it
        Retry,   // not now: the relay is unreachable, busy or answered 4xx
        Refused, // never: the relay answered 5xx for this mail
    };
    Outcome outcome = Outcome::Retry;
    std::string detail; // for the log
};

// Hands one mail to the relay. stop turns true when the service ends: an attempt that has
// not yet sent the whole message should give up then.
using Deliverer = std::function<Delivery(const SpooledMail& mail, const std::atomic<bool>& stop)>;
