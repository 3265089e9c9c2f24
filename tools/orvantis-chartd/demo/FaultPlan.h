// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// How the server misbehaves for one chart request.
enum class FaultKind {
    None,      // a normal chart
    Status,    // answer with an HTTP status and no chart
    Garbage,   // random bytes with status 200
    Truncated, // the chart's PNG cut in half
    Oversized, // a body larger than any chart, streamed
    Stall,     // read the request and never answer
    NoAnchor,  // a chart drawn without the anchor before its price
};

struct FaultMode {
    FaultKind kind = FaultKind::None;
    int status = 0; // for FaultKind::Status

    // "ok", "status:CODE" (200 to 599), "garbage", "truncated", "oversized", "stall" or
    // "noanchor".
    static bool Parse(std::string_view text, FaultMode& mode);
    // The mode named in a file (blanks around it ignored); false when the file is missing
    // or names none.
    static bool ReadFile(const std::string& path, FaultMode& mode);
    std::string Name() const;
};

// Chooses the fault of each chart request in arrival order: the scripted list first, one
// entry per request; after it, the fixed fault from the request with index `faultAfter`
// (counted from the first request, 0-based) onwards.
class FaultPlan final {
public:
    FaultPlan(std::vector<FaultMode> script, FaultMode fault, std::uint64_t faultAfter);

    FaultMode Next();

private:
    std::mutex m_mutex;
    std::vector<FaultMode> m_script;
    FaultMode m_fault;
    std::uint64_t m_faultAfter;
    std::uint64_t m_count = 0;
};
