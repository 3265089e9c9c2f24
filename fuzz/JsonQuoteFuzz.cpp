// SPDX-License-Identifier: MIT
// Any bytes as a quote feed's answer: its first line is the JSON pointer, the rest the
// document. The reader must neither crash nor overflow its stack on any nesting, and says
// why whenever it finds no number.
#include "feed/JsonQuote.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    if (end == std::string_view::npos || !JsonQuote::ValidPointer(input.substr(0, end))) {
        return 0;
    }
    const JsonQuote quote(input.substr(0, end));
    std::string error;
    if (!quote.Read(input.substr(end + 1), error) && error.empty()) {
        std::abort();
    }
    return 0;
}
