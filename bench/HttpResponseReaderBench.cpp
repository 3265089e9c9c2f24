// SPDX-License-Identifier: MIT
// The response reader on a server that sends its body in chunks of one byte: every chunk
// is two short lines, so the cost of taking a line decides the time. The answer arrives
// in reads of 64 KiB, as a socket hands it over.

#include "net/qt/HttpResponseReader.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

namespace {

constexpr std::size_t READ_SIZE = 64 * 1024;

std::string OneByteChunks(std::size_t bodySize) {
    std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    answer.reserve(answer.size() + bodySize * 6 + 5);
    for (std::size_t i = 0; i < bodySize; ++i) {
        answer += "1\r\nx\r\n";
    }
    return answer + "0\r\n\r\n";
}

void BM_OneByteChunks(benchmark::State& state) {
    const auto bodySize = static_cast<std::size_t>(state.range(0));
    const std::string answer = OneByteChunks(bodySize);
    for (auto _ : state) {
        CHttpResponseReader reader;
        std::string body;
        for (std::size_t at = 0; at < answer.size(); at += READ_SIZE) {
            reader.Feed(std::string_view(answer).substr(at, READ_SIZE), body);
        }
        if (!reader.Done() || body.size() != bodySize) {
            state.SkipWithError("the answer was not read whole");
        }
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}

} // namespace

BENCHMARK(BM_OneByteChunks)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
