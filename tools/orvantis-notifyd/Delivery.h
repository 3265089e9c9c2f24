// SPDX-License-Identifier: MIT
#pragma once

#include "MailSpool.h"

#include <atomic>
#include <functional>
#include <string>

// How one attempt to hand a mail to the relay ended.
struct Delivery {
    enum class Outcome {
        Sent,       // the relay accepted it
        Retry,      // not now, for this mail: the relay answered 4xx to its recipient or data
        Refused,    // never, for this mail: the relay answered 5xx to its recipient or data
        RelayFault, // not now, for any mail: the relay cannot be reached, or it refuses the
                    // session itself (its greeting, EHLO, STARTTLS, the login, MAIL FROM)
    };
    Outcome outcome = Outcome::RelayFault;
    std::string detail; // for the log and the service's state: what the relay answered
};

// Hands one mail to the relay. stop turns true when the service ends: an attempt that has
// not yet sent the whole message should give up then.
using Deliverer = std::function<Delivery(const SpooledMail& mail, const std::atomic<bool>& stop)>;
