// SPDX-License-Identifier: MIT
#pragma once

#include "AlertProgress.h"
#include "Delivery.h"
#include "MailSpool.h"
#include "PgConnection.h"
#include "RateLimiter.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The alerts of every copy of the service in one PostgreSQL database: what the file spool
// and its receipts hold on one host. An alert's row carries its mail and its receipt; a copy
// claims a due alert with a lease under its own name, and once the lease has run out (the
// copy died or hangs) any other copy takes it. The rate-limit counts live there too, so that
// the limits hold across copies. One store per thread: it owns one connection.
class PgAlertStore final {
public:
    // The schema this version writes; older ones are upgraded at Open().
    static constexpr int SCHEMA_VERSION = 1;

    struct Settings {
        std::string conninfo;
        std::string copyName;                              // who holds a lease, for the operator
        std::chrono::milliseconds lease{120000};           // longer than one attempt may take
        std::chrono::milliseconds statementTimeout{10000}; // a stuck statement is cut
        std::chrono::seconds fallbackAfter{300};
    };

    // One alert taken for delivery until the lease ends.
    struct Claim {
        SpooledMail mail;
        AlertProgress progress;
        std::size_t channel = 0; // the step of progress to try
    };

    struct Limits {
        int perRecipientPerHour = 12;
        int perClientPerMinute = 30;
        int perMinute = 600;
    };

    enum class Recorded { Ok, LeaseLost, Failed };

    explicit PgAlertStore(Settings settings) : m_settings(std::move(settings)) {}

    // Connects, then creates or upgrades the schema under an advisory lock, so that copies
    // starting together do it once. foundVersion is what the database held (0: nothing).
    bool Open(int& foundVersion, std::string& error);
    // Keeps the alert with its receipt, all channels queued; true only once committed.
    // An alert of that id kept before stays as it is (a repeated import), and inserted
    // turns false then.
    bool Store(const SpooledMail& mail, const AlertProgress& progress, bool& inserted,
               std::string& error);
    // Takes up to limit alerts that are due and not leased by a live copy, oldest first.
    // A row that cannot be read is marked failed and left out.
    std::vector<Claim> ClaimDue(int limit, std::string& error);
    // What became of an attempt: a delivery or a refusal ends the step, a fault retries it
    // after retryIn until fallback_after has passed since the step began, then the next
    // channel is due. LeaseLost when another copy took the alert in the meantime.
    Recorded Record(const Claim& claim, const Delivery& delivery, std::chrono::milliseconds retryIn,
                    std::string& error);
    // The receipt of that alert; nullopt when there is none or it cannot be read.
    std::optional<AlertProgress> Status(const std::string& id, std::string& error);
    // Removes finished alerts, and rate-limit counts, older than keepDays.
    bool Prune(int keepDays, std::string& error);
    // Counts one request in every window across all copies, or refuses it; nullopt with
    // the reason in error when the database cannot tell.
    std::optional<RateLimiter::Verdict> Admit(const std::string& client,
                                              const std::string& recipient, const Limits& limits,
                                              std::string& error);

private:
    bool UpgradeSchema(int& foundVersion, std::string& error);
    bool MarkUnreadable(const std::string& id, std::string& error);

    Settings m_settings;
    PgConnection m_db;
};
