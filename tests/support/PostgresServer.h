// SPDX-License-Identifier: MIT
#pragma once

#include "support/TempDir.h"

#include <string>

// A PostgreSQL server of the test's own in a temporary folder: made by initdb, started by
// pg_ctl, reachable only on a Unix socket in that folder (no TCP port), and stopped at the
// end. The server refuses to run as root, so under root it runs as nobody. Available() is
// false when the Debian binaries are not installed (the test then skips); any other trouble
// is a failure with the server's log in Failure().
class PostgresServer final {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Available() const { return !m_bin.empty(); }
    bool Running() const { return m_running; }
    const std::string& Failure() const { return m_failure; }
    // Stops the server at once, as a crash or a lost network would, and starts it again.
    bool Stop();
    bool Start();
    // A connection string of a fresh, empty database of that name (letters and digits).
    std::string NewDatabase(const std::string& name);
    // The connection string of the database every server has.
    std::string Conninfo(const std::string& database = "postgres") const;

private:
    // The program's exit status; its output goes to the log.
    int Run(const std::string& program, const std::string& arguments) const;

    TempDir m_dir;
    std::string m_bin;
    bool m_asNobody = false;
    bool m_running = false;
    std::string m_failure;
};
