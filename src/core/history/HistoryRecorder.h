// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/PollStatus.h"
#include "core/history/HistoryStore.h"

#include <cstdint>
#include <string>

// The wall clock of the history, in seconds since 1970 UTC.
std::int64_t HistoryNow();

// Keeps every poll in the price history; lives on the polling thread, which it never
// holds up for long. The database is opened at the first poll, and tried again once an
// hour while it cannot be.
class CHistoryRecorder final {
public:
    explicit CHistoryRecorder(std::string path = CHistoryStore::DefaultPath())
        : m_path(std::move(path)) {}

    void Record(bool accepted, const std::string& priceText, const PollStatusSnapshot& status,
                bool notified, std::int64_t nowUtc);

private:
    std::string m_path;
    CHistoryStore m_store;
    std::int64_t m_lastTry = -1;
};
