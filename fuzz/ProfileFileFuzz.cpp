// SPDX-License-Identifier: MIT
// Any bytes as gold.ini: reading never crashes, and a write that succeeds changes its own
// key and no other.
#include "core/settings/ProfileFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
const std::string& IniPath() {
    static const std::string path = [] {
        const char* temp = std::getenv("TMPDIR");
        std::string folder =
            std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/orvantis-fuzz-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) {
            std::abort();
        }
        return folder + "/gold.ini";
    }();
    return path;
}

constexpr const char* OTHER_KEYS[] = {"LastPrice", "Email", "Popup", "A", ";c", "#k"};

bool IsUtf8(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t c = p[i];
        const std::size_t len = c < 0x80         ? 1
                                : (c >> 5) == 6  ? 2
                                : (c >> 4) == 14 ? 3
                                : (c >> 3) == 30 ? 4
                                                 : 0;
        if (len == 0 || i + len > n) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

// An 8-bit file that is not UTF-8 is read as Windows-1252. When the rewritten line held its
// only non-UTF-8 bytes, the file reads as UTF-8 afterwards: the other lines keep their
// bytes, but their texts change. That is the one case the check below leaves out.
bool EncodingMayFlip(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        return false;
    }
    const std::size_t skip =
        size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    return !IsUtf8(data + skip, size - skip);
}
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
        for (std::size_t i = 0; i < std::size(OTHER_KEYS) && !EncodingMayFlip(data, size); ++i) {
            if (GetProfileString(path, "Option", OTHER_KEYS[i], "<none>") != before[i]) {
                std::abort();
            }
        }
    }
    return 0;
}
