// SPDX-License-Identifier: MIT
#include "HistoryExport.h"

#include "core/history/HistoryCsv.h"
#include "core/history/HistoryStore.h"

#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

namespace {
constexpr int EXIT_EXPORTED = 0;
constexpr int EXIT_TROUBLE = 2;
constexpr std::int64_t DAY_SECONDS = 24 * 3600;

int HistoryUsage(const char* message) {
    std::fprintf(stderr,
                 "orvantis-chart: %s\nusage: orvantis-chart --history [--since DATE] [--until "
                 "DATE]  (DATE: 2026-12-08 or 2026-12-08T14:00:00Z, UTC)\n",
                 message);
    return EXIT_TROUBLE;
}
} // namespace

int ExportHistory(int argc, char** argv, int first) {
    std::int64_t since = 0;
    std::int64_t until = std::numeric_limits<std::int64_t>::max();
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg != "--since" && arg != "--until") || i + 1 >= argc) {
            return HistoryUsage("--history takes only --since DATE and --until DATE");
        }
        const std::string_view value = argv[++i];
        const auto time = ParseUtcIso(value);
        if (!time) {
            return HistoryUsage("a date is YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ");
        }
        if (arg == "--since") {
            since = *time;
        } else {
            // A bare date includes its whole day.
            until = value.size() == 10 ? *time + DAY_SECONDS : *time + 1;
        }
    }
    CHistoryStore store;
    if (!store.Open(CHistoryStore::DefaultPath(), true)) {
        return EXIT_TROUBLE;
    }
    std::fputs(HistoryCsvHeader().c_str(), stdout);
    store.Visit(since, until,
                [](const HistoryReading& row) { std::fputs(HistoryCsvLine(row).c_str(), stdout); });
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? EXIT_EXPORTED : EXIT_TROUBLE;
}
