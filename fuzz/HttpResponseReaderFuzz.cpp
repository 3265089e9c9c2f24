// SPDX-License-Identifier: MIT
// Any bytes as a server's answer, arriving in pieces whose size the first byte chooses:
// the reader must neither crash nor hang, and never hands on more body than it was given.
#include "net/qt/HttpResponseReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = data[0] % 16 + 1;
    const std::string_view answer(reinterpret_cast<const char*>(data + 1), size - 1);
    CHttpResponseReader reader;
    std::string body;
    for (std::size_t at = 0; at < answer.size(); at += piece) {
        if (!reader.Feed(answer.substr(at, piece), body)) {
            break;
        }
    }
    reader.Closed();
    if (body.size() > answer.size()) {
        std::abort();
    }
    return 0;
}
