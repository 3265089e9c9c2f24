// SPDX-License-Identifier: MIT
#pragma once

#include "Delivery.h"

#include <curl/curl.h>

#include <string>

// Where and how mails are handed on.
struct RelaySettings {
    std::string url;  // smtp://host[:port] (STARTTLS) or smtps://host[:port]
    std::string user; // empty: no login
    std::string password;
    bool requireTls = false; // smtp:// only: refuse a relay that offers no STARTTLS
    std::string from;
};

// Delivers mails through the relay with libcurl, one at a time, keeping the connection
// open between mails. For one thread.
class SmtpRelay final {
public:
    explicit SmtpRelay(RelaySettings settings);
    ~SmtpRelay();
    SmtpRelay(const SmtpRelay&) = delete;
    SmtpRelay& operator=(const SmtpRelay&) = delete;

    Delivery Deliver(const SpooledMail& mail, const std::atomic<bool>& stop);

private:
    RelaySettings m_settings;
    std::string m_url; // with this host's name as the greeting's domain
    CURL* m_curl;
};
