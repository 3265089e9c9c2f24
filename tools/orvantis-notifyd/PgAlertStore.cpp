// SPDX-License-Identifier: MIT
#include "PgAlertStore.h"

#include <array>
#include <cstdlib>

namespace {

using State = AlertProgress::State;

// Whoever creates or upgrades the schema holds this lock: "Orvantis" in ASCII.
constexpr const char* SCHEMA_LOCK = "5724264816389843315";
// Admissions are counted one at a time across all copies under this lock.
constexpr const char* ADMIT_LOCK = "5724264816389843316";

// Each upgrade, one statement at a time; the Nth list leads from version N to N+1.
const std::array<std::vector<const char*>, PgAlertStore::SCHEMA_VERSION>& Upgrades() {
    static const std::array<std::vector<const char*>, PgAlertStore::SCHEMA_VERSION> upgrades = {{
        {"CREATE TABLE alerts (id text PRIMARY KEY, recipient text NOT NULL,"
         " message text NOT NULL, line text NOT NULL, receipt text NOT NULL,"
         " due timestamptz, lease_owner text, lease_until timestamptz,"
         " changed timestamptz NOT NULL DEFAULT now())",
         // Finished alerts have no due time and leave the index.
         "CREATE INDEX alerts_due ON alerts (due) WHERE due IS NOT NULL",
         "CREATE TABLE admissions (kind text NOT NULL, key text NOT NULL,"
         " at timestamptz NOT NULL DEFAULT now())",
         "CREATE INDEX admissions_at ON admissions (kind, key, at)"},
    }};
    return upgrades;
}

std::string Millis(std::chrono::milliseconds duration) {
    return std::to_string(duration.count());
}

// A row read back is checked like any other input: the database may hold what an older
// or broken copy, or a person, put there.
bool ReadClaim(const PGresult* rows, int row, PgAlertStore::Claim& claim) {
    SpooledMail& mail = claim.mail;
    const std::string id = PgConnection::Text(rows, row, 0);
    mail.recipient = PgConnection::Text(rows, row, 1);
    mail.message = PgConnection::Text(rows, row, 2);
    if (!MailSpool::IsAlertId(id) || mail.recipient.empty() ||
        !Alert::FromLine(PgConnection::Text(rows, row, 3), mail.alert) ||
        !AlertProgress::FromText(PgConnection::Text(rows, row, 4), claim.progress)) {
        return false;
    }
    mail.alert.id = id;
    mail.alert.email = mail.recipient;
    const std::optional<std::size_t> current = claim.progress.Current();
    claim.channel = current.value_or(0);
    return current.has_value();
}

} // namespace

bool PgAlertStore::Open(int& foundVersion, std::string& error) {
    const auto timeout = static_cast<int>(m_settings.statementTimeout.count());
    if (!m_db.Open(m_settings.conninfo, timeout, error)) {
        return false;
    }
    if (!m_db.Run("SELECT pg_advisory_lock($1::bigint)", {SCHEMA_LOCK}, error)) {
        return false;
    }
    const bool upgraded = UpgradeSchema(foundVersion, error);
    std::string unlockError;
    const bool unlocked =
        m_db.Run("SELECT pg_advisory_unlock($1::bigint)", {SCHEMA_LOCK}, unlockError);
    if (upgraded && !unlocked) {
        error = unlockError;
    }
    return upgraded && unlocked;
}

bool PgAlertStore::UpgradeSchema(int& foundVersion, std::string& error) {
    if (!m_db.Run("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)", {},
                  error)) {
        return false;
    }
    const PgConnection::Result found =
        m_db.Exec("SELECT coalesce(max(version), 0) FROM schema_version", {}, error);
    if (!found) {
        return false;
    }
    foundVersion = std::atoi(PQgetvalue(found.get(), 0, 0));
    if (foundVersion > SCHEMA_VERSION || foundVersion < 0) {
        error = "the database holds schema version " + std::to_string(foundVersion) +
                ", newer than this version of the service knows (" +
                std::to_string(SCHEMA_VERSION) + ")";
        return false;
    }
    for (int version = foundVersion; version < SCHEMA_VERSION; ++version) {
        bool done = m_db.Run("BEGIN", {}, error);
        for (const char* statement : Upgrades()[static_cast<std::size_t>(version)]) {
            done = done && m_db.Run(statement, {}, error);
        }
        done = done &&
               m_db.Run("INSERT INTO schema_version VALUES ($1)", {std::to_string(version + 1)},
                        error) &&
               m_db.Run("COMMIT", {}, error);
        if (!done) {
            m_db.Rollback();
            return false;
        }
    }
    return true;
}

bool PgAlertStore::Store(const SpooledMail& mail, const AlertProgress& progress, bool& inserted,
                         std::string& error) {
    inserted = false;
    if (!MailSpool::IsAlertId(mail.alert.id)) {
        error = "not an alert id";
        return false;
    }
    const PgConnection::Result result =
        m_db.Exec("INSERT INTO alerts (id, recipient, message, line, receipt, due)"
                  " VALUES ($1, $2, $3, $4, $5, CASE WHEN $6::int = 1 THEN now() END)"
                  " ON CONFLICT (id) DO NOTHING",
                  {mail.alert.id, mail.recipient, mail.message, mail.alert.Line(), progress.Text(),
                   progress.Current() ? "1" : "0"},
                  error);
    if (!result) {
        return false;
    }
    inserted = std::string_view(PQcmdTuples(result.get())) == "1";
    return true;
}

std::vector<PgAlertStore::Claim> PgAlertStore::ClaimDue(int limit, std::string& error) {
    std::vector<Claim> claims;
    const PgConnection::Result rows =
        m_db.Exec("UPDATE alerts SET lease_owner = $1, lease_until = now() + $2 * interval '1 ms'"
                  " WHERE id IN (SELECT id FROM alerts WHERE due IS NOT NULL AND due <= now()"
                  " AND (lease_until IS NULL OR lease_until < now()) ORDER BY due LIMIT $3"
                  " FOR UPDATE SKIP LOCKED)"
                  " RETURNING id, recipient, message, line, receipt",
                  {m_settings.copyName, Millis(m_settings.lease), std::to_string(limit)}, error);
    if (!rows) {
        return claims;
    }
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        Claim claim;
        if (ReadClaim(rows.get(), row, claim)) {
            claims.push_back(std::move(claim));
        } else {
            MarkUnreadable(PgConnection::Text(rows.get(), row, 0), error);
        }
    }
    return claims;
}

bool PgAlertStore::MarkUnreadable(const std::string& id, std::string& error) {
    // Kept for the administrator until keep_days, never tried again.
    return m_db.Run("UPDATE alerts SET due = NULL, lease_owner = NULL, lease_until = NULL,"
                    " changed = now() WHERE id = $1",
                    {id}, error);
}

PgAlertStore::Recorded PgAlertStore::Record(const Claim& claim, const Delivery& delivery,
                                            std::chrono::milliseconds retryIn, std::string& error) {
    AlertProgress progress = claim.progress;
    const auto now = std::chrono::system_clock::now();
    const std::size_t step = claim.channel;
    bool retry = false;
    switch (delivery.outcome) {
    case Delivery::Outcome::Sent:
        progress.Record(step, State::Delivered, now, delivery.Summary(), true);
        break;
    case Delivery::Outcome::Refused:
        progress.Record(step, State::Failed, now, delivery.Summary(), true);
        break;
    case Delivery::Outcome::Retry:
    case Delivery::Outcome::ServerFault:
        retry = now - progress.WaitingSince(step) < m_settings.fallbackAfter;
        progress.Record(step, retry ? State::Retrying : State::Failed, now, delivery.Summary(),
                        true);
        break;
    }
    // Due again after the back-off, at once on the next channel, or never: finished.
    const std::string delay = retry ? Millis(retryIn) : "0";
    const PgConnection::Param finished =
        retry || progress.Current() ? PgConnection::Param() : PgConnection::Param("1");
    const PgConnection::Result result = m_db.Exec(
        "UPDATE alerts SET receipt = $1, changed = now(), lease_owner = NULL,"
        " lease_until = NULL,"
        " due = CASE WHEN $2::int IS NULL THEN now() + $3 * interval '1 ms' ELSE NULL END"
        " WHERE id = $4 AND lease_owner = $5",
        {progress.Text(), finished, delay, claim.mail.alert.id, m_settings.copyName}, error);
    if (!result) {
        return Recorded::Failed;
    }
    return std::string_view(PQcmdTuples(result.get())) == "1" ? Recorded::Ok : Recorded::LeaseLost;
}

std::optional<AlertProgress> PgAlertStore::Status(const std::string& id, std::string& error) {
    if (!MailSpool::IsAlertId(id)) {
        return std::nullopt;
    }
    const PgConnection::Result rows =
        m_db.Exec("SELECT receipt FROM alerts WHERE id = $1", {id}, error);
    AlertProgress progress;
    if (!rows || PQntuples(rows.get()) != 1 ||
        !AlertProgress::FromText(PgConnection::Text(rows.get(), 0, 0), progress)) {
        return std::nullopt;
    }
    return progress;
}

bool PgAlertStore::Prune(int keepDays, std::string& error) {
    return m_db.Run("DELETE FROM alerts WHERE due IS NULL AND changed < now() - $1 * interval "
                    "'1 day'",
                    {std::to_string(keepDays)}, error) &&
           m_db.Run("DELETE FROM admissions WHERE at < now() - interval '1 hour'", {}, error);
}

std::optional<RateLimiter::Verdict> PgAlertStore::Admit(const std::string& client,
                                                        const std::string& recipient,
                                                        const Limits& limits, std::string& error) {
    using Verdict = RateLimiter::Verdict;
    if (!m_db.Run("BEGIN", {}, error) ||
        !m_db.Run("SELECT pg_advisory_xact_lock($1::bigint)", {ADMIT_LOCK}, error)) {
        m_db.Rollback();
        return std::nullopt;
    }
    const PgConnection::Result counts =
        m_db.Exec("SELECT count(*) FILTER (WHERE kind = 'recipient' AND key = $1),"
                  " count(*) FILTER (WHERE kind = 'client' AND key = $2"
                  " AND at > now() - interval '1 minute'),"
                  " count(*) FILTER (WHERE kind = 'service' AND at > now() - interval '1 minute')"
                  " FROM admissions WHERE at > now() - interval '1 hour'",
                  {recipient, client}, error);
    if (!counts) {
        m_db.Rollback();
        return std::nullopt;
    }
    std::optional<Verdict> verdict;
    // The same order as the limiter of one copy: the service, the client, the recipient.
    if (std::atoll(PQgetvalue(counts.get(), 0, 2)) >= limits.perMinute) {
        verdict = Verdict::ServiceLimited;
    } else if (std::atoll(PQgetvalue(counts.get(), 0, 1)) >= limits.perClientPerMinute) {
        verdict = Verdict::ClientLimited;
    } else if (std::atoll(PQgetvalue(counts.get(), 0, 0)) >= limits.perRecipientPerHour) {
        verdict = Verdict::RecipientLimited;
    } else if (!m_db.Run("INSERT INTO admissions (kind, key) VALUES ('recipient', $1),"
                         " ('client', $2), ('service', '')",
                         {recipient, client}, error)) {
        m_db.Rollback();
        return std::nullopt;
    } else {
        verdict = Verdict::Allowed;
    }
    if (!m_db.Run("COMMIT", {}, error)) {
        m_db.Rollback();
        return std::nullopt;
    }
    return verdict;
}
