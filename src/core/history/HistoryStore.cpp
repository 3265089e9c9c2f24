// SPDX-License-Identifier: MIT
#include "core/history/HistoryStore.h"

#include "core/common/Globals.h"
#include "platform/Platform.h"

#include <cstdio>
#include <sqlite3.h>

namespace {
// A locked database is waited for this long, then the reading is given up: the poll
// must not stall behind a reader.
constexpr int BUSY_TIMEOUT_MS = 250;

constexpr const char* SCHEMA = "CREATE TABLE IF NOT EXISTS readings("
                               "t INTEGER PRIMARY KEY, cents INTEGER, state INTEGER NOT NULL, "
                               "reason TEXT, notified INTEGER NOT NULL DEFAULT 0)";

// Closes a statement at the end of its scope.
class CStatement final {
public:
    CStatement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};
} // namespace

CHistoryStore::~CHistoryStore() {
    sqlite3_close_v2(m_db);
}

std::string CHistoryStore::DefaultPath() {
    return platform::UserDataDir() + "/" + APP_FOLDER_VENDOR + "/" + APP_FOLDER_NAME +
           "/history.sqlite3";
}

bool CHistoryStore::Fail(const char* what) {
    if (!m_failing) {
        std::fprintf(stderr, "orvantis: the price history in %s cannot be %s: %s\n", m_path.c_str(),
                     what, m_db != nullptr ? sqlite3_errmsg(m_db) : "no database");
    }
    m_failing = true;
    return false;
}

bool CHistoryStore::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CHistoryStore::Open(const std::string& path, bool readOnly) {
    m_path = path;
    if (!readOnly) {
        const auto slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            platform::CreateFolderChain(path.substr(0, slash));
        }
    }
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        Fail("opened");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, BUSY_TIMEOUT_MS);
    // A corrupt file shows here at the latest, where the schema is read.
    const bool ready = readOnly ? Exec("SELECT count(*) FROM sqlite_master")
                                : Exec("PRAGMA journal_mode=WAL") &&
                                      Exec("PRAGMA synchronous=NORMAL") && Exec(SCHEMA);
    if (!ready) {
        Fail("opened");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    return true;
}

bool CHistoryStore::Write(const HistoryReading& reading) {
    if (m_db == nullptr) {
        return false;
    }
    CStatement insert(m_db, "INSERT OR REPLACE INTO readings(t, cents, state, reason, notified) "
                            "VALUES(?, ?, ?, ?, ?)");
    sqlite3_stmt* stmt = insert.get();
    if (stmt == nullptr) {
        return Fail("written");
    }
    sqlite3_bind_int64(stmt, 1, reading.timeUtc);
    if (reading.cents) {
        sqlite3_bind_int64(stmt, 2, *reading.cents);
    } else {
        sqlite3_bind_null(stmt, 2);
    }
    sqlite3_bind_int(stmt, 3, static_cast<int>(reading.state));
    if (reading.reason.empty()) {
        sqlite3_bind_null(stmt, 4);
    } else {
        sqlite3_bind_text(stmt, 4, reading.reason.c_str(), static_cast<int>(reading.reason.size()),
                          SQLITE_TRANSIENT);
    }
    sqlite3_bind_int(stmt, 5, reading.notified ? 1 : 0);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        return Fail("written");
    }
    return true;
}

bool CHistoryStore::Insert(const HistoryReading& reading) {
    if (m_db == nullptr || !Write(reading)) {
        return false;
    }
    if (m_failing) {
        std::fprintf(stderr, "orvantis: the price history is written again\n");
        m_failing = false;
    }
    const std::int64_t hour = reading.timeUtc / 3600;
    if (hour != m_lastThinHour) {
        m_lastThinHour = hour;
        Thin(reading.timeUtc);
    }
    return true;
}

bool CHistoryStore::InsertAll(const std::vector<HistoryReading>& readings) {
    if (m_db == nullptr || !Exec("BEGIN")) {
        return false;
    }
    for (const HistoryReading& reading : readings) {
        if (!Write(reading)) {
            Exec("ROLLBACK");
            return false;
        }
    }
    return Exec("COMMIT") || Fail("written");
}

bool CHistoryStore::Thin(std::int64_t nowUtc) {
    if (m_db == nullptr) {
        return false;
    }
    CStatement dropOld(m_db, "DELETE FROM readings WHERE t < ?");
    CStatement thin(m_db, "DELETE FROM readings WHERE t < ?1 AND t NOT IN "
                          "(SELECT max(t) FROM readings WHERE t < ?1 GROUP BY t / 3600)");
    if (dropOld.get() == nullptr || thin.get() == nullptr) {
        return Fail("thinned");
    }
    sqlite3_bind_int64(dropOld.get(), 1, nowUtc - HISTORY_KEPT_SECONDS);
    // Whole hours only: the hour that straddles the limit is thinned once it is past.
    sqlite3_bind_int64(thin.get(), 1, (nowUtc - HISTORY_FULL_SECONDS) / 3600 * 3600);
    if (sqlite3_step(dropOld.get()) != SQLITE_DONE || sqlite3_step(thin.get()) != SQLITE_DONE) {
        return Fail("thinned");
    }
    return true;
}

std::vector<HistoryReading> CHistoryStore::Read(std::int64_t sinceUtc, std::int64_t untilUtc) {
    std::vector<HistoryReading> rows;
    Visit(sinceUtc, untilUtc, [&rows](const HistoryReading& row) { rows.push_back(row); });
    return rows;
}

void CHistoryStore::Visit(std::int64_t sinceUtc, std::int64_t untilUtc,
                          const std::function<void(const HistoryReading&)>& visit) {
    if (m_db == nullptr) {
        return;
    }
    CStatement select(m_db, "SELECT t, cents, state, reason, notified FROM readings "
                            "WHERE t >= ? AND t < ? ORDER BY t");
    sqlite3_stmt* stmt = select.get();
    if (stmt == nullptr) {
        Fail("read");
        return;
    }
    sqlite3_bind_int64(stmt, 1, sinceUtc);
    sqlite3_bind_int64(stmt, 2, untilUtc);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(stmt)) == SQLITE_ROW) {
        HistoryReading row;
        row.timeUtc = sqlite3_column_int64(stmt, 0);
        if (sqlite3_column_type(stmt, 1) == SQLITE_INTEGER) {
            row.cents = sqlite3_column_int64(stmt, 1);
        }
        const int state = sqlite3_column_int(stmt, 2);
        // A row this program did not write reads as stale rather than as a price.
        row.state = state >= 0 && state <= static_cast<int>(HistoryState::Closed)
                        ? static_cast<HistoryState>(state)
                        : HistoryState::Stale;
        if (const auto* reason = sqlite3_column_text(stmt, 3)) {
            row.reason = reinterpret_cast<const char*>(reason);
        }
        row.notified = sqlite3_column_int(stmt, 4) != 0;
        visit(row);
    }
    if (step != SQLITE_DONE) {
        Fail("read");
    }
}
