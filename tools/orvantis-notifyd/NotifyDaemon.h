// SPDX-License-Identifier: MIT
#pragma once

#include "AlertChannels.h"
#include "MailSpool.h"
#include "NotifyService.h"
#include "NotifydConfig.h"
#include "SpoolSender.h"

#include <chrono>
#include <string>

// The whole service as it runs: the spool, the sender that empties it through the relay
// and the other channels, and the HTTP side that fills it.
class NotifyDaemon final {
public:
    explicit NotifyDaemon(const NotifydConfig& config, RetryTimes times = {});
    NotifyDaemon(const NotifyDaemon&) = delete;
    NotifyDaemon& operator=(const NotifyDaemon&) = delete;

    // Opens the spool, binds the HTTP side and starts the sender. 0, or the exit status
    // with the reason in error: 2 when the spool is not this user's alone, 1 when the
    // service cannot start.
    int Start(std::string& error);
    int Port() const { return m_port; }
    // Serves until Stop(), on the calling thread.
    void Serve();
    void Stop();
    // After Serve() returned: ends the sender, waiting at most grace. False when it still
    // waits for a server's answer to a whole alert.
    bool Finish(std::chrono::milliseconds grace);

private:
    // A spooled mail may be older than today's allow-list, or not from this service.
    std::string Recheck(const SpooledMail& mail) const;

    const NotifydConfig& m_config;
    MailSpool m_spool;
    AlertChannels m_channels;
    SpoolSender m_sender;
    NotifyService m_service;
    int m_port = -1;
};
