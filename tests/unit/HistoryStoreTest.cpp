// SPDX-License-Identifier: MIT
#include "core/history/HistoryStore.h"
#include "core/history/HistoryCsv.h"
#include "core/history/HistoryRecorder.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t NOW = 1796000000; // 2026-11-30T00:53:20Z
constexpr std::int64_t HOUR = 3600;
constexpr std::int64_t DAY = 24 * HOUR;

HistoryReading Live(std::int64_t t, std::int64_t cents, bool notified = false) {
    return {t, cents, HistoryState::Live, {}, notified};
}

std::vector<HistoryReading> ReadAll(const std::string& path) {
    CHistoryStore store;
    EXPECT_TRUE(store.Open(path, true));
    return store.Read(0, INT64_MAX);
}

// What a failing database may cost: the lines written on standard error while the
// recorder keeps a day of polls.
int ErrorLinesOfADayOfPolls(const std::string& path) {
    CHistoryRecorder recorder(path);
    PollStatusSnapshot status;
    testing::internal::CaptureStderr();
    for (std::int64_t t = NOW; t < NOW + DAY; t += 120) {
        recorder.Record(true, "2345.67", status, false, t);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    return static_cast<int>(std::count(err.begin(), err.end(), '\n'));
}

// A small file system of its own at the folder; false where mounting is not allowed.
bool MountTmpfs(const std::string& folder, const char* options) {
    return mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
}

struct StoreCase {
    const char* name;
    void (*run)(const TempDir& dir);
};

const StoreCase STORE_CASES[] = {
    {"KeepsEveryReadingExactly",
     [](const TempDir& dir) {
         const std::vector<HistoryReading> rows = {
             Live(NOW, 234567),
             Live(NOW + 120, 234599, true),
             {NOW + 240, std::nullopt, HistoryState::Stale, "the chart server timed out", false},
             {NOW + 360, 234599, HistoryState::Closed, {}, false}};
         CHistoryStore store;
         ASSERT_TRUE(store.Open(dir.File("history.sqlite3")));
         for (const auto& row : rows) {
             ASSERT_TRUE(store.Insert(row));
         }
         EXPECT_EQ(store.Read(0, INT64_MAX), rows);
         EXPECT_EQ(store.Read(NOW + 120, NOW + 360).size(), 2U);
     }},
    {"KeepsThemAcrossAReopen",
     [](const TempDir& dir) {
         {
             CHistoryStore store;
             ASSERT_TRUE(store.Open(dir.File("history.sqlite3")));
             ASSERT_TRUE(store.Insert(Live(NOW, 199999)));
         }
         CHistoryStore again;
         ASSERT_TRUE(again.Open(dir.File("history.sqlite3")));
         ASSERT_TRUE(again.Insert(Live(NOW + 120, 200001)));
         EXPECT_EQ(again.Read(0, INT64_MAX),
                   (std::vector<HistoryReading>{Live(NOW, 199999), Live(NOW + 120, 200001)}));
     }},
    {"ThinsToTheLastOfEachHourAfterNinetyDaysAndDropsWhatIsOlderThanFiveYears",
     [](const TempDir& dir) {
         CHistoryStore store;
         ASSERT_TRUE(store.Open(dir.File("history.sqlite3")));
         const std::int64_t oldHour = (NOW - 100 * DAY) / HOUR * HOUR;
         const std::int64_t recentHour = (NOW - 10 * DAY) / HOUR * HOUR;
         for (std::int64_t t : {oldHour, oldHour + 1200, oldHour + 3480, recentHour,
                                recentHour + 1200, NOW - 6 * 365 * DAY}) {
             ASSERT_TRUE(store.Insert(Live(t, t % 100000)));
         }
         ASSERT_TRUE(store.Thin(NOW));
         std::vector<std::int64_t> times;
         for (const auto& row : store.Read(0, INT64_MAX)) {
             times.push_back(row.timeUtc);
         }
         EXPECT_EQ(times,
                   (std::vector<std::int64_t>{oldHour + 3480, recentHour, recentHour + 1200}));
     }},
    {"TellsACorruptFileOnceAndGoesOn",
     [](const TempDir& dir) {
         WriteFileBytes(dir.File("history.sqlite3"), std::string(8192, 'x'));
         EXPECT_EQ(ErrorLinesOfADayOfPolls(dir.File("history.sqlite3")), 1);
     }},
    {"TellsAFolderItCannotWriteOnceAndGoesOn",
     [](const TempDir& dir) {
         const std::string folder = dir.File("ro");
         mkdir(folder.c_str(), 0700);
         const bool mounted =
             MountTmpfs(folder, "size=64k") &&
             mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
         if (!mounted && geteuid() == 0) {
             umount(folder.c_str());
             GTEST_SKIP() << "no read-only mount here, and a folder's mode does not stop root";
         }
         if (!mounted) {
             chmod(folder.c_str(), 0500);
         }
         EXPECT_EQ(ErrorLinesOfADayOfPolls(folder + "/history.sqlite3"), 1);
         EXPECT_TRUE(mounted ? umount(folder.c_str()) == 0 : chmod(folder.c_str(), 0700) == 0);
     }},
    {"TellsAFullDiskOnceAndGoesOn",
     [](const TempDir& dir) {
         const std::string folder = dir.File("small");
         mkdir(folder.c_str(), 0700);
         const bool mounted = MountTmpfs(folder, "size=64k");
         // Without a mount the file size limit makes the disk full for this process.
         rlimit saved{};
         getrlimit(RLIMIT_FSIZE, &saved);
         const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
         if (!mounted) {
             rlimit small = saved;
             small.rlim_cur = 64 * 1024;
             setrlimit(RLIMIT_FSIZE, &small);
         }
         EXPECT_EQ(ErrorLinesOfADayOfPolls(folder + "/history.sqlite3"), 1);
         setrlimit(RLIMIT_FSIZE, &saved);
         std::signal(SIGXFSZ, savedSignal);
         if (mounted) {
             EXPECT_EQ(umount(folder.c_str()), 0);
         }
     }},
    {"GivesTheStoredRowsBackExactlyThroughCsv",
     [](const TempDir& dir) {
         CHistoryStore store;
         ASSERT_TRUE(store.Open(dir.File("history.sqlite3")));
         for (const auto& row : std::vector<HistoryReading>{
                  Live(NOW, 5),
                  Live(NOW + 120, 123456789, true),
                  {NOW + 240, std::nullopt, HistoryState::Stale,
                   "the chart server answered \"busy\", then, nothing", false},
                  {NOW + 360, 100, HistoryState::Closed, {}, false}}) {
             ASSERT_TRUE(store.Insert(row));
         }
         const std::vector<HistoryReading> stored = ReadAll(dir.File("history.sqlite3"));
         std::string csv = HistoryCsvHeader();
         for (const auto& row : stored) {
             csv += HistoryCsvLine(row);
         }
         EXPECT_EQ(ParseHistoryCsv(csv), stored);
         EXPECT_NE(csv.find("\r\n2026-11-30T00:55:20Z,1234567.89,live+notified\r\n"),
                   std::string::npos);
     }},
};

class HistoryStoreTest : public ::testing::TestWithParam<StoreCase> {};

TEST_P(HistoryStoreTest, Case) {
    const TempDir dir;
    GetParam().run(dir);
}

INSTANTIATE_TEST_SUITE_P(Store, HistoryStoreTest, ::testing::ValuesIn(STORE_CASES),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
