// SPDX-License-Identifier: MIT
// What one chart request of the demo server costs: drawing and PNG encoding.
#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"

#include <benchmark/benchmark.h>

namespace {

ChartSpec DefaultChart() {
    ChartSpec drawn;
    drawn.priceText = "1662.50";
    drawn.seed = 42;
    return drawn;
}

void BM_DrawChart(benchmark::State& state) {
    ChartSpec drawn = DefaultChart();
    drawn.width = static_cast<int>(state.range(0));
    drawn.height = static_cast<int>(state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(DrawChart(drawn));
    }
}
BENCHMARK(BM_DrawChart)->Args({500, 300})->Args({1000, 600});

void BM_EncodeChart(benchmark::State& state) {
    const RgbaImage chart = DrawChart(DefaultChart());
    const PngOptions options{static_cast<PngEncoding>(state.range(0)), state.range(1) != 0, 6};
    std::size_t size = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> png = EncodePng(chart, options);
        size = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_EncodeChart)
    ->ArgNames({"encoding", "interlaced"})
    ->Args({static_cast<int>(PngEncoding::Rgb8), 0})
    ->Args({static_cast<int>(PngEncoding::Rgb8), 1})
    ->Args({static_cast<int>(PngEncoding::Rgba16), 0})
    ->Args({static_cast<int>(PngEncoding::Palette8), 0});

} // namespace

BENCHMARK_MAIN();
