// SPDX-License-Identifier: MIT
#include "PriceMail.h"

#include "MailAddress.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::array<const char*, 7> DAY_NAMES = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> MONTH_NAMES = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm Utc(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    return utc;
}

} // namespace

std::string PriceMail::DateHeader(std::chrono::system_clock::time_point time) {
    const std::tm utc = Utc(time);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000",
                  DAY_NAMES.at(static_cast<std::size_t>(utc.tm_wday)), utc.tm_mday,
                  MONTH_NAMES.at(static_cast<std::size_t>(utc.tm_mon)), utc.tm_year + 1900,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string PriceMail::Render(const Alert& alert, const std::string& from) {
    std::string mail;
    mail += "From: " + from + "\r\n";
    mail += "To: " + alert.email + "\r\n";
    mail += "Subject: " + alert.Title() + "\r\n";
    mail += "Date: " + DateHeader(alert.received) + "\r\n";
    mail += "Message-ID: <" + alert.id + "@" + MailDomainOf(from) + ">\r\n";
    mail += "MIME-Version: 1.0\r\n";
    mail += "Content-Type: text/plain; charset=UTF-8\r\n";
    mail += "Content-Transfer-Encoding: 7bit\r\n";
    // Tells vacation responders not to answer a machine.
    mail += "Auto-Submitted: auto-generated\r\n";
    mail += "\r\n";
    for (const char ch : alert.Text()) {
        mail += ch == '\n' ? "\r\n" : std::string(1, ch);
    }
    return mail;
}
