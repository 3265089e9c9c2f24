// SPDX-License-Identifier: MIT
#include "NotifyDaemon.h"

#include "MailAddress.h"

NotifyDaemon::NotifyDaemon(const NotifydConfig& config, RetryTimes times)
    : m_config(config), m_spool(config.spool), m_channels(config.relay, config.push),
      m_sender(
          m_spool,
          [this](const Channel& channel, const SpooledMail& mail, const std::atomic<bool>& stop) {
              return m_channels.Deliver(channel, mail, stop);
          },
          times,
          SendPolicy{
              [this](const SpooledMail& mail) { return Recheck(mail); },
              [this](const std::string& recipient) { return m_config.routes.Find(recipient); },
              config.fallbackAfter, std::chrono::hours(24) * config.keepDays}),
      m_service(
          config, m_spool, [this] { m_sender.Wake(); }, [this] { return m_sender.State(); }) {}

int NotifyDaemon::Start(std::string& error) {
    switch (m_spool.Open(error)) {
    case MailSpool::Opened::Ok:
        break;
    case MailSpool::Opened::Untrusted:
        return 2;
    case MailSpool::Opened::Failed:
        return 1;
    }
    m_port = m_service.Bind();
    if (m_port <= 0) {
        error =
            "cannot listen on " + m_config.listenHost + ":" + std::to_string(m_config.listenPort);
        return 1;
    }
    m_sender.Start();
    return 0;
}

void NotifyDaemon::Serve() {
    m_service.Run();
}

void NotifyDaemon::Stop() {
    m_service.Stop();
}

bool NotifyDaemon::Finish(std::chrono::milliseconds grace) {
    return m_sender.Stop(grace);
}

std::string NotifyDaemon::Recheck(const SpooledMail& mail) const {
    if (!IsMailAddress(mail.recipient)) {
        return "the recipient is not one address";
    }
    return m_config.allow.Allows(mail.recipient) ? std::string()
                                                 : "the recipient is not on the allow-list";
}
