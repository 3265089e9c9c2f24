// SPDX-License-Identifier: MIT
// Any byte string as a downloaded chart: the reader must neither crash, hang nor run away
// with memory, and what it reads is only digits and points.
#include "core/acquisition/ChartReader.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > INT_MAX) {
        return 0;
    }
    const std::optional<std::string> text = ReadChartPrice(data, static_cast<int>(size));
    if (text && text->find_first_not_of("0123456789.") != std::string::npos) {
        std::abort();
    }
    return 0;
}
