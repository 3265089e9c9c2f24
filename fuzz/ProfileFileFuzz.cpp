// SPDX-License-Identifier: MIT
// Any bytes as gold.ini: reading never crashes, and a write that succeeds changes its own
// key and no other.
#include "app/ProfileFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
const std::string& IniPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/orvantis-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            std::abort();
        }
        return std::string(folder) + "/gold.ini";
    }();
    return path;
}

constexpr const char* OTHER_KEYS[] = {"LastPrice", "Email", "Popup", "A", ";c", "#k"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = IniPath();
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    std::string before[std::size(OTHER_KEYS)];
    for (std::size_t i = 0; i < std::size(OTHER_KEYS); ++i) {
        before[i] = GetProfileString(path, "Option", OTHER_KEYS[i], "<none>");
    }
    if (WriteProfileString(path, "Option", "PriceChange", "7.5")) {
        if (GetProfileString(path, "Option", "PriceChange", "<none>") != "7.5") {
            std::abort();
        }
        for (std::size_t i = 0; i < std::size(OTHER_KEYS); ++i) {
            if (GetProfileString(path, "Option", OTHER_KEYS[i], "<none>") != before[i]) {
                std::abort();
            }
        }
    }
    return 0;
}
