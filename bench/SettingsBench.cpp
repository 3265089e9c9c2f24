// SPDX-License-Identifier: MIT
// One read and one write (flushed to disk and renamed into place) of a gold.ini with the
// program's ten keys' worth of content.
#include "core/settings/ProfileFile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

class SettingsFolder final {
public:
    SettingsFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvantis-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_folder = pattern;
        m_file = m_folder + "/gold.ini";
        const char* keys[] = {"PriceChange", "LastPrice", "TipLastPrice", "CurrentPrice",
                              "SendEmail",   "Popup",     "Email",        "FloatPos",
                              "Extra1",      "Extra2"};
        const char* values[] = {"10", "1662.50", "1650.25",        "1663.75", "1",
                                "1",  "0",       "me@example.com", "100,200", "x"};
        for (int i = 0; i < 10; ++i) {
            WriteProfileString(m_file, "Option", keys[i], values[i]);
        }
    }
    ~SettingsFolder() {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    SettingsFolder(const SettingsFolder&) = delete;
    SettingsFolder& operator=(const SettingsFolder&) = delete;
    const std::string& File() const { return m_file; }

private:
    std::string m_folder;
    std::string m_file;
};

void BM_ReadSetting(benchmark::State& state) {
    const SettingsFolder folder;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetProfileString(folder.File(), "Option", "FloatPos", ""));
    }
}
BENCHMARK(BM_ReadSetting);

// Two values alternate, so every write really replaces the file.
void BM_WriteSetting(benchmark::State& state) {
    const SettingsFolder folder;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        benchmark::DoNotOptimize(
            WriteProfileString(folder.File(), "Option", "CurrentPrice", odd ? "1.00" : "2.00"));
    }
}
BENCHMARK(BM_WriteSetting)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
