// SPDX-License-Identifier: MIT
#include "TestAlert.h"

#include "AlertChannels.h"
#include "MailAddress.h"
#include "MailSpool.h"
#include "PriceMail.h"

#include <atomic>
#include <chrono>

namespace {

const char* OutcomeText(Delivery::Outcome outcome) {
    switch (outcome) {
    case Delivery::Outcome::Sent:
        return "delivered";
    case Delivery::Outcome::Retry:
        return "not now";
    case Delivery::Outcome::Refused:
        return "refused";
    case Delivery::Outcome::ServerFault:
        return "failed";
    }
    return "failed";
}

} // namespace

int SendTestAlert(const NotifydConfig& config, const std::string& address, std::FILE* out,
                  std::FILE* err) {
    if (!IsMailAddress(address) || !config.allow.Allows(address)) {
        std::fprintf(err, "orvantis-notifyd: '%s' is not an address on the allow-list\n",
                     address.c_str());
        return 2;
    }
    const std::string id = MailSpool::NewName();
    SpooledMail mail{address, {}, Alert::Test(address, id, std::chrono::system_clock::now())};
    mail.message = PriceMail::Render(mail.alert, config.relay.from);
    const Route route = config.routes.Find(address);
    std::fprintf(out, "test alert %s to %s, %zu channel%s:\n", id.c_str(), address.c_str(),
                 route.size(), route.size() == 1 ? "" : "s");
    std::fflush(out);
    AlertChannels channels(config.relay, config.push);
    const std::atomic<bool> stop{false};
    bool allDelivered = true;
    for (std::size_t i = 0; i < route.size(); ++i) {
        const Delivery delivery = channels.Deliver(route[i], mail, stop);
        allDelivered = allDelivered && delivery.outcome == Delivery::Outcome::Sent;
        std::fprintf(out, "  %zu. %s: %s (%s)\n", i + 1, route[i].Label().c_str(),
                     OutcomeText(delivery.outcome), delivery.detail.c_str());
        std::fflush(out);
    }
    return allDelivered ? 0 : 1;
}
