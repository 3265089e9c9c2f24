// SPDX-License-Identifier: MIT
// The floating window's shape from a skin: checkerboards of a side up to 1024 pixels, the
// most runs a skin within the size check can have (one per opaque pixel). The time must
// grow with the number of runs, not with its square.
#include "gui/desktop/SkinRegion.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

QImage Checkerboard(int side) {
    QImage skin(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(skin.scanLine(y));
        for (int x = 0; x < side; ++x) {
            line[x] = (x + y) % 2 == 0 ? qRgb(255, 0, 255) : qRgb(40, 40, 40);
        }
    }
    return skin;
}

void BM_SkinShape(benchmark::State& state) {
    const QImage skin = Checkerboard(static_cast<int>(state.range(0)));
    int rects = 0;
    for (auto _ : state) {
        const QRegion shape = BuildRegionFromBitmap(skin);
        rects = shape.rectCount();
        benchmark::DoNotOptimize(rects);
    }
    state.counters["rects"] = rects;
    state.SetComplexityN(rects);
}
BENCHMARK(BM_SkinShape)
    ->RangeMultiplier(2)
    ->Range(128, 1024)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
