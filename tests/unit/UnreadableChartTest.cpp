// SPDX-License-Identifier: MIT
#include "core/acquisition/UnreadableChart.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

struct CacheCase {
    const char* name;
    // Prepares the cache folder; `elsewhere` holds a file the chart must never reach.
    void (*prepare)(const fs::path& cache, const fs::path& elsewhere);
    bool kept;
};

class UnreadableChartTest : public ::testing::TestWithParam<CacheCase> {};

TEST_P(UnreadableChartTest, IsKeptOnlyInARealFolderOfItsOwnAndNeverThroughALink) {
    TempDir cache;
    TempDir elsewhere;
    const ScopedEnv cacheHome("XDG_CACHE_HOME", cache.Path());
    std::ofstream(elsewhere.File("target")) << "old";
    GetParam().prepare(cache.Path(), elsewhere.Path());

    CByteBuffer chart;
    chart.Append("chart bytes");
    const std::string kept = KeepUnreadableChart(chart);
    EXPECT_EQ(kept.empty(), !GetParam().kept);
    EXPECT_EQ(ReadFileBytes(elsewhere.File("target")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.Path()), fs::directory_iterator()), 1);
    if (GetParam().kept) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kept)));
        EXPECT_EQ(ReadFileBytes(kept), "chart bytes");
        // Nothing but the chart: no temporary file is left beside it.
        const fs::path folder = fs::path(kept).parent_path();
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UnreadableChartTest,
    ::testing::Values(CacheCase{"AFileWhereTheFolderGoes",
                                [](const fs::path& cache, const fs::path&) {
                                    std::ofstream(cache / "Tamberlo") << "file";
                                },
                                false},
                      CacheCase{"TheFolderIsALinkElsewhere",
                                [](const fs::path& cache, const fs::path& elsewhere) {
                                    fs::create_directories(cache / "Tamberlo");
                                    fs::create_directory_symlink(elsewhere,
                                                                 cache / "Tamberlo" / "Orvantis");
                                },
                                false},
                      CacheCase{"TheFileIsALinkElsewhere",
                                [](const fs::path& cache, const fs::path& elsewhere) {
                                    fs::create_directories(cache / "Tamberlo" / "Orvantis");
                                    fs::create_symlink(elsewhere / "target",
                                                       cache / "Tamberlo" / "Orvantis" /
                                                           UNREADABLE_CHART_NAME);
                                },
                                true}),
    [](const auto& param) { return param.param.name; });

} // namespace
