// SPDX-License-Identifier: MIT
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One connection to the PostgreSQL store. Every statement takes its values as parameters,
// never pasted into its text, and a statement that runs longer than the time-out is cut by
// the server. The connection string holds a password: only Masked() of it is ever shown.
class PgConnection final {
public:
    using Param = std::optional<std::string>; // nullopt is SQL NULL
    struct ResultFree {
        void operator()(PGresult* result) const { PQclear(result); }
    };
    using Result = std::unique_ptr<PGresult, ResultFree>;

    PgConnection() = default;
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects and sets the statement time-out; false with the reason in error, which
    // never holds the password.
    bool Open(const std::string& conninfo, int statementTimeoutMs, std::string& error);
    bool Connected() const;
    // Runs one statement; null with the server's reason in error when it failed. A
    // connection that was lost (the server restarted, the network broke) is made again
    // first, so that the store resumes by itself once the database is back.
    Result Exec(std::string_view sql, const std::vector<Param>& params, std::string& error);
    // A statement whose rows do not matter.
    bool Run(std::string_view sql, const std::vector<Param>& params, std::string& error) {
        return Exec(sql, params, error) != nullptr;
    }
    // Ends an open transaction without keeping anything; for paths that failed.
    void Rollback();

    // A field's text, empty for NULL.
    static std::string Text(const PGresult* result, int row, int column);
    // A connection string or URI as a message may show it: the password replaced by ***.
    static std::string Masked(std::string_view conninfo);
    // Whether a text is a connection string or URI that libpq takes.
    static bool IsConninfo(std::string_view text);

private:
    bool SetTimeout(std::string& error);

    PGconn* m_conn = nullptr;
    int m_timeoutMs = 0;
    bool m_lost = false; // made again before the next statement
};
