// SPDX-License-Identifier: MIT
#pragma once

#include "core/history/HistoryReading.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;

// Every reading for this long, then the last of each hour.
inline constexpr std::int64_t HISTORY_FULL_SECONDS = 90LL * 24 * 3600;
// Nothing older than this is kept.
inline constexpr std::int64_t HISTORY_KEPT_SECONDS = 5LL * 365 * 24 * 3600;

// The price history in an SQLite database (write-ahead log): one row per poll. Every
// failure costs the history only: it is told once on standard error, until a write
// succeeds again, and the caller goes on. One thread at a time uses one store; readers
// open their own.
class CHistoryStore final {
public:
    CHistoryStore() = default;
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore&) = delete;
    CHistoryStore& operator=(const CHistoryStore&) = delete;

    // $XDG_DATA_HOME/Tamberlo/Orvantis/history.sqlite3
    static std::string DefaultPath();

    // Opens (and for writing creates) the database; false, told on standard error, when
    // it cannot be used.
    bool Open(const std::string& path, bool readOnly = false);
    bool IsOpen() const { return m_db != nullptr; }

    // Keeps one reading (a second one at the same second replaces the first) and, once an
    // hour, thins what is older than the full period.
    bool Insert(const HistoryReading& reading);
    // Keeps many readings at once, in one transaction, as they are (not thinned).
    bool InsertAll(const std::vector<HistoryReading>& readings);
    // Keeps the last reading of each hour for what is older than nowUtc minus the full
    // period, and nothing older than the kept period.
    bool Thin(std::int64_t nowUtc);
    // The readings from sinceUtc (inclusive) to untilUtc (exclusive), oldest first.
    std::vector<HistoryReading> Read(std::int64_t sinceUtc, std::int64_t untilUtc);
    // The same readings handed one by one to visit, held nowhere at once.
    void Visit(std::int64_t sinceUtc, std::int64_t untilUtc,
               const std::function<void(const HistoryReading&)>& visit);

private:
    bool Exec(const char* sql);
    bool Write(const HistoryReading& reading);
    bool Fail(const char* what);

    sqlite3* m_db = nullptr;
    std::string m_path;
    bool m_failing = false; // told already; quiet until a write succeeds
    std::int64_t m_lastThinHour = -1;
};
